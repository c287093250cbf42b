// The tests' own Samba server (tests/support/samba_server.sh) for as long as the object lives.
#pragma once

#include <string>

#include "test_support.h"

namespace rd::test {

class SambaServer {
public:
    SambaServer() {
        int status = -1;
        port_ = RunCommand(Script() + " start '" + folder_.Path() + "'", &status);
        while (!port_.empty() && port_.back() == '\n')
            port_.pop_back();
        if (status != 0)
            port_.clear();
    }
    ~SambaServer() { Stop(); }
    SambaServer(const SambaServer&) = delete;
    SambaServer& operator=(const SambaServer&) = delete;

    void Stop() { RunCommand(Script() + " stop '" + folder_.Path() + "'"); }
    // Empty when no server could run here (it needs root and smbd).
    const std::string& Port() const { return port_; }
    std::string Host() const { return "127.0.0.1:" + port_; }
    // A path in the server's folder ("rw/x" is the file x of the share "rw").
    std::string operator/(const std::string& relative) const { return folder_ / relative; }

private:
    static std::string Script() {
        return std::string(REDODORI_TEST_SUPPORT_DIR) + "/samba_server.sh";
    }
    TempDir folder_;
    std::string port_;
};

}  // namespace rd::test
