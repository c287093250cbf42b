#include "platform/smb_client.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/smb_library.h"

namespace rd::smb {

namespace {

Result FromErrno(int error) {
    return error == EACCES || error == EPERM ? Result::AccessDenied : Result::Unreachable;
}

// The entries of `url` of the kinds wanted.
Result List(const std::string& url, const Credentials& credentials, int timeoutMs,
            unsigned int wanted, std::vector<Entry>& out) {
    const auto held = HoldLibrary();
    const Library* l = Smb();
    if (!l)
        return Result::NotAvailable;
    const Context context = MakeContext(credentials, timeoutMs);
    if (!context)
        return Result::Unreachable;
    SMBCFILE* folder = l->smbc_getFunctionOpendir(context.get())(context.get(), url.c_str());
    if (!folder)
        return FromErrno(errno);
    while (const smbc_dirent* entry =
               l->smbc_getFunctionReaddir(context.get())(context.get(), folder)) {
        if (entry->smbc_type == wanted)
            out.push_back({entry->name, entry->comment ? entry->comment : ""});
    }
    l->smbc_getFunctionClosedir(context.get())(context.get(), folder);
    return Result::Ok;
}

}  // namespace

bool Available() {
    return true;
}

Result Servers(int timeoutMs, std::vector<Entry>& out) {
    std::vector<Entry> groups;
    const Credentials guest;
    const Result result = List("smb://", guest, timeoutMs, SMBC_WORKGROUP, groups);
    if (result != Result::Ok)
        return result;
    for (const Entry& group : groups)
        List("smb://" + group.name + "/", guest, timeoutMs, SMBC_SERVER, out);
    return Result::Ok;
}

Result Shares(const std::string& host, const Credentials& credentials, int timeoutMs,
              std::vector<Entry>& out) {
    return List("smb://" + host + "/", credentials, timeoutMs, SMBC_FILE_SHARE, out);
}

Result Folders(const std::string& host, const std::string& share, const std::string& folder,
               const Credentials& credentials, int timeoutMs, std::vector<Entry>& out) {
    std::vector<Entry> entries;
    const Result result = List("smb://" + host + "/" + share + "/" + folder, credentials, timeoutMs,
                               SMBC_DIR, entries);
    for (Entry& entry : entries) {
        if (entry.name != "." && entry.name != "..")
            out.push_back(std::move(entry));
    }
    return result;
}

Result WriteTest(const std::string& host, const std::string& share, const Credentials& credentials,
                 int timeoutMs) {
    const auto held = HoldLibrary();
    const Library* l = Smb();
    if (!l)
        return Result::NotAvailable;
    const Context context = MakeContext(credentials, timeoutMs);
    if (!context)
        return Result::Unreachable;
    const std::string url = "smb://" + host + "/" + share + "/vn.dat";
    SMBCFILE* file = l->smbc_getFunctionCreat(context.get())(context.get(), url.c_str(), 0600);
    if (!file)
        return FromErrno(errno);
    l->smbc_getFunctionClose(context.get())(context.get(), file);
    if (l->smbc_getFunctionUnlink(context.get())(context.get(), url.c_str()) != 0)
        return FromErrno(errno);
    return Result::Ok;
}

std::optional<uint64_t> FreeSpace(const std::string& host, const std::string& share,
                                  const Credentials& credentials, int timeoutMs) {
    const auto held = HoldLibrary();
    const Library* l = Smb();
    if (!l)
        return std::nullopt;
    const Context context = MakeContext(credentials, timeoutMs);
    if (!context)
        return std::nullopt;
    std::string url = "smb://" + host + "/" + share + "/";
    struct statvfs facts = {};
    if (l->smbc_getFunctionStatVFS(context.get())(context.get(), url.data(), &facts) != 0)
        return std::nullopt;
    const uint64_t unit = facts.f_frsize ? facts.f_frsize : facts.f_bsize;
    if (unit == 0)
        return std::nullopt;
    return uint64_t{facts.f_bavail} * unit;
}

}  // namespace rd::smb
