// What the job's sources are read through: this machine's files, or network shares named by an
// smb:// address, each reached by a client of its own (ShareFiles). An smb:// path is never taken
// for a local one: a call on an address that no share was made for fails.
#pragma once

#include <sys/stat.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "engine/file_identity.h"
#include "engine/share_files.h"
#include "platform/smb_client.h"

namespace rd {

class SourceFiles {
public:
    // The logins for the shares among the sources, by server ("nas", "nas:4455"); a share of a
    // server not named is reached as a guest. Counts for the shares made from then on.
    void UseLogins(const std::map<std::string, smb::Credentials>& logins);

    static bool OnShare(std::string_view path);
    // An smb:// address as the job keeps it: only its trailing slashes go. Nothing of it is this
    // machine's to resolve ("." and ".." are the server's, and ParseUrl refuses "..").
    static std::string PlainAddress(std::string_view address);

    // Readies the share the source at the smb:// address `given` is read from, logging on: 0,
    // or why it cannot be read (EINVAL for an address that names no share). `path` is the
    // address as the job names the source and its files from then on: its names decoded, so
    // that a copy of "smb://nas/s/My%20Files" is named "My Files". Any thread.
    int Add(const std::string& given, std::string& path);
    // The share `path` is read through; null for a local path, and for an address no share was
    // made for.
    ShareFiles* ShareOf(const std::string& path) const;

    // What stands at `path`, its last step not followed; 0 or the errno.
    int Stat(const std::string& path, struct stat& out) const;
    // Whether `path` still leads to `remembered`, in the same state (PathNow, on either kind).
    IdentityChange Now(const FileIdentity& remembered, const std::string& path) const;
    // Removes the file at `path`; 0 or the errno.
    int Remove(const std::string& path) const;
    int RemoveFolder(const std::string& path) const;

private:
    mutable std::mutex lock_;
    std::map<std::string, smb::Credentials> logins_;
    // Kept for the job's life: nodes and open handles point at them.
    std::vector<std::unique_ptr<ShareFiles>> shares_;
};

}  // namespace rd
