// The SMB client of a build without libsmbclient: nothing can be reached.
#include "platform/smb_client.h"

namespace rd::smb {

bool Available() {
    return false;
}

Result Servers(int, std::vector<Entry>&) {
    return Result::NotAvailable;
}

Result Shares(const std::string&, const Credentials&, int, std::vector<Entry>&) {
    return Result::NotAvailable;
}

Result Folders(const std::string&, const std::string&, const std::string&, const Credentials&, int,
               std::vector<Entry>&) {
    return Result::NotAvailable;
}

Result WriteTest(const std::string&, const std::string&, const Credentials&, int) {
    return Result::NotAvailable;
}

std::optional<uint64_t> FreeSpace(const std::string&, const std::string&, const Credentials&, int) {
    return std::nullopt;
}

}  // namespace rd::smb
