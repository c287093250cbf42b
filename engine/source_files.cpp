#include "engine/source_files.h"

#include <unistd.h>

#include <cerrno>
#include <optional>

#include "platform/smb_url.h"

namespace rd {

void SourceFiles::UseLogins(const std::map<std::string, smb::Credentials>& logins) {
    std::lock_guard<std::mutex> lock(lock_);
    for (const auto& [server, credentials] : logins)
        logins_[server] = credentials;
}

bool SourceFiles::OnShare(std::string_view path) {
    return smb::IsUrl(path);
}

std::string SourceFiles::PlainAddress(std::string_view address) {
    while (address.size() > std::string_view("smb://").size() && address.back() == '/')
        address.remove_suffix(1);
    return std::string(address);
}

int SourceFiles::Add(const std::string& given, std::string& path) {
    std::string problem;
    const std::optional<smb::Url> url = smb::ParseUrl(given, problem);
    if (!url)
        return EINVAL;
    // One client a share, however many of its files or folders are given: each client is a
    // connection and a process of the server's.
    const std::string top =
        "smb://" + (url->user.empty() ? "" : url->user + "@") + url->Server() + "/" + url->share;
    path = top;
    for (const std::string& folder : url->folders)
        path += "/" + folder;
    if (ShareOf(path))
        return 0;
    smb::Credentials credentials;
    {
        std::lock_guard<std::mutex> lock(lock_);
        const auto login = logins_.find(url->Server());
        if (login != logins_.end())
            credentials = login->second;
    }
    smb::Url whole = *url;
    whole.folders.clear();
    auto share = std::make_unique<ShareFiles>(top, whole, std::move(credentials), kShareTimeoutMs);
    if (const int error = share->Open())
        return error;
    std::lock_guard<std::mutex> lock(lock_);
    shares_.push_back(std::move(share));
    return 0;
}

ShareFiles* SourceFiles::ShareOf(const std::string& path) const {
    if (!OnShare(path))
        return nullptr;
    std::lock_guard<std::mutex> lock(lock_);
    for (const std::unique_ptr<ShareFiles>& share : shares_) {
        if (share->Within(path))
            return share.get();
    }
    return nullptr;
}

int SourceFiles::Stat(const std::string& path, struct stat& out) const {
    if (ShareFiles* share = ShareOf(path))
        return share->StatPath(path, out);
    if (OnShare(path))
        return EOPNOTSUPP;
    return ::lstat(path.c_str(), &out) == 0 ? 0 : errno;
}

IdentityChange SourceFiles::Now(const FileIdentity& remembered, const std::string& path) const {
    struct stat st {};
    if (Stat(path, st) != 0)
        return IdentityChange::Replaced;
    return CompareIdentity(remembered, st);
}

int SourceFiles::Remove(const std::string& path) const {
    if (ShareFiles* share = ShareOf(path))
        return share->Remove(path);
    if (OnShare(path))
        return EOPNOTSUPP;
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

int SourceFiles::RemoveFolder(const std::string& path) const {
    if (ShareFiles* share = ShareOf(path))
        return share->RemoveFolder(path);
    if (OnShare(path))
        return EOPNOTSUPP;
    return ::rmdir(path.c_str()) == 0 ? 0 : errno;
}

}  // namespace rd
