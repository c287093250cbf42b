// A network-view plug-in for the tests, built as librazavar.so beside the test programs. It
// knows the hosts listed in REDODORI_TEST_HOSTS, one "name|flags|ison|ctime|sdesc|user|pass"
// per line, and says it cannot be used when the variable is not set.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::vector<std::string>> Hosts() {
    std::vector<std::vector<std::string>> hosts;
    const char* text = std::getenv("REDODORI_TEST_HOSTS");
    std::istringstream lines(text ? text : "");
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream parts(line);
        for (std::string field; std::getline(parts, field, '|');)
            fields.push_back(field);
        fields.resize(7);
        hosts.push_back(fields);
    }
    return hosts;
}

}  // namespace

extern "C" {

int NVGetDezUzazStatus(int) {
    return std::getenv("REDODORI_TEST_HOSTS") ? 1 : 0;
}

// The host after the one named in the record; handles are 1-based positions.
int NVGetHostA(int, char* record, int) {
    const auto hosts = Hosts();
    size_t next = 0;
    if (record[0]) {
        while (next < hosts.size() && hosts[next][0] != record)
            ++next;
        ++next;
    }
    uint32_t handle = 0;
    if (next < hosts.size()) {
        std::memset(record, 0, 196);
        std::strncpy(record, hosts[next][0].c_str(), 195);
        handle = static_cast<uint32_t>(next + 1);
    }
    std::memcpy(record + 196, &handle, sizeof handle);
    return handle != 0;
}

int NVGetMetaVarA(int, uint32_t host, const char* name, char* out, uint32_t* length) {
    const auto hosts = Hosts();
    const char* names[] = {"flags", "ison", "ctime", "sdesc", "user", "pass"};
    out[0] = '\0';
    if (host == 0 || host > hosts.size())
        return 0;
    for (int i = 0; i < 6; ++i) {
        if (std::strcmp(name, names[i]) == 0) {
            std::strncpy(out, hosts[host - 1][i + 1].c_str(), *length);
            out[*length] = '\0';
            return 1;
        }
    }
    return 0;
}

uint32_t NVGetHostByTextA(int, const char* name, int) {
    const auto hosts = Hosts();
    for (size_t i = 0; i < hosts.size(); ++i) {
        if (hosts[i][0] == name)
            return static_cast<uint32_t>(i + 1);
    }
    return 0;
}
}
