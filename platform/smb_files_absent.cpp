// The SMB files of a build without libsmbclient: no share can be reached.
#include "platform/smb_files.h"

#include <cerrno>

namespace rd::smb {

bool ServerGone(int) {
    return false;
}

File::File(File&&) noexcept = default;
File& File::operator=(File&&) noexcept = default;
File::~File() = default;

struct Session::Client {};

Session::Session(std::string host, std::string share, Credentials credentials, int timeoutMs)
    : host_(std::move(host)),
      share_(std::move(share)),
      credentials_(std::move(credentials)),
      timeoutMs_(timeoutMs) {}

Session::~Session() = default;

int Session::Connect() {
    return ENOSYS;
}
int Session::OpenRead(const std::string&, File&) {
    return ENOTCONN;
}
int Session::CreateExclusive(const std::string&, File&) {
    return ENOTCONN;
}
int Session::OpenWrite(const std::string&, File&) {
    return ENOTCONN;
}
int Session::ReadAt(File&, void*, size_t, uint64_t, size_t& done) {
    done = 0;
    return EBADF;
}
int Session::WriteAt(File&, const void*, size_t, uint64_t, Durability) {
    return EBADF;
}
int Session::Truncate(File&, uint64_t) {
    return EBADF;
}
int Session::StatOpen(File&, FileFacts&) {
    return EBADF;
}
int Session::Close(File&, Durability) {
    return EBADF;
}
int Session::Stat(const std::string&, FileFacts&) {
    return ENOTCONN;
}
int Session::SetTimesOpen(File&, int64_t) {
    return ENOTCONN;
}
int Session::SetTimes(const std::string&, int64_t, int64_t) {
    return ENOTCONN;
}
int Session::MakeFolder(const std::string&) {
    return ENOTCONN;
}
int Session::Rename(const std::string&, const std::string&) {
    return ENOTCONN;
}
int Session::Remove(const std::string&) {
    return ENOTCONN;
}
int Session::RemoveFolder(const std::string&) {
    return ENOTCONN;
}
int Session::List(const std::string&, std::vector<ListedName>&) {
    return ENOTCONN;
}

void Session::Forget(File&) {}
void Session::Disconnect() {}

}  // namespace rd::smb
