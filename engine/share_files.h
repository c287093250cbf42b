// A destination on a network share, written through the share's own client (platform/smb_files)
// rather than a mount: every call is one request to the server, with nothing in between.
//   - Paths are the job's: the destination root as given ("smb://nas/photos/2024") followed by
//     the names below it, which are taken as they are (only the root is an address to decode).
//   - The client is used by one thread at a time: the job thread (the existing-file check) and
//     the slot's writer take turns through one lock.
//   - A copy is closed durably: its last write goes through to the server's disk (else an
//     empty write does, just before the close; smb_files.h says how), so a file is never
//     counted as finished while it may still be only in the server's memory; where that cannot
//     be confirmed, the close fails.
//   - Its modification time is given on the open file after the last write, else by name after
//     the close (a write would move it again). A small file costs five requests: create, a look
//     at what was made (its file id), the write, the time and the close.
//   - A share keeps no permissions, owners or extended attributes of ours: a change of
//     permissions answers ENOTSUP, which the job tells once.
//   - A server that goes away takes its files with it: a file open then fails with ESTALE from
//     then on, and is not opened again by the job (the server may have lost writes it had
//     acknowledged), while other files reconnect and go on once it is back.
//   - What it stands for in identities: st_dev is the share's own number (far above any device
//     of this machine), st_ino the server's file id.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/dest_files.h"
#include "platform/smb_files.h"
#include "platform/smb_url.h"

namespace rd {

// How long a request to a share may wait for the server before it counts as failed.
constexpr int kShareTimeoutMs = 20000;

// An entry of a share's folder, described as StatPath describes it.
struct ShareEntry {
    std::string name;
    struct stat seen {};
};

class ShareFiles final : public DestFiles {
public:
    // `root` is the destination as the job names it; `url` its parsed address.
    ShareFiles(std::string root, const smb::Url& url, smb::Credentials credentials, int timeoutMs);
    ~ShareFiles() override;

    bool Local() const override { return false; }
    int Open() override;
    int Create(const std::string& path, mode_t mode, int& handle, struct stat& seen) override;
    int OpenWrite(const std::string& path, bool create, mode_t mode, int& handle) override;
    int OpenRead(const std::string& path, int& handle) override;
    int Read(int handle, uint8_t* data, uint32_t& n, uint64_t offset) override;
    void Expect(int handle, uint64_t size) override;
    int Write(int handle, const uint8_t* data, uint32_t n, uint64_t offset) override;
    int SetLength(int handle, uint64_t size) override;
    int StatOpen(int handle, struct stat& out) override;
    int SetInfo(int handle, uint32_t mode, const timespec& modified, mode_t current,
                int& modeError) override;
    int Close(int handle) override;
    void Discard(int handle) override;
    int StatPath(const std::string& path, struct stat& out) override;
    int MakeFolderTree(const std::string& path) override;
    int SetTimes(const std::string& path, const timespec& modified) override;
    int Rename(const std::string& from, const std::string& to) override;
    int Remove(const std::string& path) override;

    // What the folder at `path` holds, in the server's order.
    int List(const std::string& path, std::vector<ShareEntry>& out);
    int RemoveFolder(const std::string& path);

    // The path within the share of a path of the job; nothing when it is not below the root.
    std::optional<std::string> Within(const std::string& path) const;

private:
    struct OpenFile {
        smb::File file;
        std::string path;  // within the share
        std::optional<timespec> modified;
        // The server went away while the file was open: what it kept of the writes is not known.
        bool lost = false;
        // The length the copy will have: the write that reaches it goes through to the disk.
        std::optional<uint64_t> expected;
    };
    // Passes on a session's result; a server that went away takes the connection and every
    // open file with it. Under the lock.
    int Seen(int error);
    int Keep(smb::File file, const std::string& path, int& handle);
    OpenFile* Find(int handle);
    // The open file of `handle` that can still be used; else none, with `error`.
    OpenFile* Usable(int handle, int& error);
    void Describe(const smb::FileFacts& facts, struct stat& out) const;
    int Connected();
    // Calls `call` with the path within the share of `path`, connected and under the lock, and
    // passes on its result as Seen does.
    template <typename Call>
    int OnPath(const std::string& path, Call call);

    std::string root_;
    std::string rootPath_;  // the root's folders within the share
    dev_t device_;
    std::mutex lock_;
    smb::Session session_;
    bool connected_ = false;
    std::map<int, std::unique_ptr<OpenFile>> open_;
    // The files that were open when the server went away: never opened again by this job.
    std::set<std::string> lost_;
};

}  // namespace rd
