// Files on one SMB share through libsmbclient: what a copy reads and writes there. A session
// holds one libsmbclient client and its connection to the server; libsmbclient's clients are not
// thread-safe, so a session and its files are used by one thread at a time (a session per
// writer thread). Every call answers 0 or an errno value, which libsmbclient maps from the
// server's status. With Samba 4.17 (tests/unit/platform/smb_files_test.cpp):
//   EACCES from Connect       the user name or password was refused
//   ENOENT from Connect       no such share
//   ECONNREFUSED              no server there
//   EACCES creating or opening a file for writing: a read-only share, or no right to the file
//   EBUSY                     another client holds the file open without sharing it
//   ServerGone(error)         the server went away (ECONNABORTED, ECONNRESET, ...)
// Each call waits at most the session's time-out for the server.
//
// Durable files. libsmbclient 4.17 has no flush call, and an open with O_SYNC does not reach
// an SMB2 server as FILE_WRITE_THROUGH (smbd logs "create_options = 0x40" for it, as without
// it). What does is a write with SMB2's WRITE_THROUGH flag, which smbd answers only after
// fsync() of the file ("strict sync", on by default); a write of no bytes with that flag syncs
// without writing. Close(file, Durability::kSynced) sends that write just before the close,
// through Samba's client call beneath smbc_write (smb_library.h). smbd's audit module
// (full_audit, as bench/smb.sh sets it up) then logs for one file:
//   rw|openat|ok|w|SERVER/rw/dest/f01
//   rw|pwrite_send|ok|SERVER/rw/dest/f01     the data
//   rw|pwrite_recv|ok|SERVER/rw/dest/f01
//   rw|fsync_send|ok|SERVER/rw/dest/f01      the empty write-through write
//   rw|fsync_recv|ok|SERVER/rw/dest/f01
//   rw|close|ok|SERVER/rw/dest/f01
// and a plain close no fsync. Where the library lacks that call, a synced close fails with
// ENOTSUP (the file is closed all the same), so that "finished" is never said of a file that
// may not be on the server's disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/smb_client.h"

namespace rd::smb {

struct FileFacts {
    enum class Kind { kFile, kFolder, kOther };
    Kind kind = Kind::kOther;
    uint64_t size = 0;
    int64_t mtimeNs = 0;  // since 1970, as precise as the server keeps it
    int64_t atimeNs = 0;
    uint64_t inode = 0;  // the server's file id, 0 when it gives none
};

struct ListedName {
    std::string name;
    FileFacts::Kind kind = FileFacts::Kind::kOther;
    // What the listing told of it, where the library tells more than the kind.
    std::optional<FileFacts> facts;
};

enum class Durability {
    kAsWritten,  // the server keeps the data as it likes
    kSynced,     // on the server's disk before Close returns
};

// True for the errno values of a server that went away or stopped answering.
bool ServerGone(int error);

class Session;

// An open file of a session; closed (without checking) when dropped unclosed.
class File {
public:
    File() = default;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File();

    bool IsOpen() const { return handle_ != nullptr; }

private:
    friend class Session;
    Session* session_ = nullptr;
    void* handle_ = nullptr;  // libsmbclient's SMBCFILE
    uint64_t position_ = 0;   // where libsmbclient's offset stands
    bool synced_ = false;     // the last write was synced, and nothing was written since
};

class Session {
public:
    // The share `share` of `host` ("nas", "192.168.1.5", "[fe80::1]:4455"); nothing goes to
    // the network before Connect.
    Session(std::string host, std::string share, Credentials credentials, int timeoutMs);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Logs on and opens the share: EACCES or EPERM for refused credentials, ENOENT for no such
    // share, a network error for no server.
    int Connect();

    // Paths are within the share, with "/" between names ("photos/2024/a.jpg"; "" is the top).
    int OpenRead(const std::string& path, File& out);
    // A new file; EEXIST when the name is taken.
    int CreateExclusive(const std::string& path, File& out);
    // An existing file, to go on writing it (resume); its data stays.
    int OpenWrite(const std::string& path, File& out);

    // Reads up to `size` bytes from `offset`; `done` is 0 at the end of the file.
    int ReadAt(File& file, void* data, size_t size, uint64_t offset, size_t& done);
    // Writes all `size` bytes at `offset`; kSynced: on the server's disk before it returns, so
    // that a close right after needs no sync of its own (the last write of a copy).
    int WriteAt(File& file, const void* data, size_t size, uint64_t offset,
                Durability durability = Durability::kAsWritten);
    int Truncate(File& file, uint64_t size);
    int StatOpen(File& file, FileFacts& out);
    // The close's own result counts: a server that refused the last writes says so here.
    int Close(File& file, Durability durability);

    // The modification time of an open file, in the same request that ends with the file's
    // other writes: ENOTSUP where the library cannot (SetTimes by name then). Writes after it
    // leave the time as set.
    int SetTimesOpen(File& file, int64_t mtimeNs);

    int Stat(const std::string& path, FileFacts& out);
    // Whole microseconds reach the server; finer parts are dropped.
    int SetTimes(const std::string& path, int64_t atimeNs, int64_t mtimeNs);
    int MakeFolder(const std::string& path);
    // Never replaces: EEXIST when `to` exists. libsmbclient's rename replaces an existing file,
    // so the name is looked up first; a file made at `to` between the two calls is replaced.
    int Rename(const std::string& from, const std::string& to);
    int Remove(const std::string& path);
    int RemoveFolder(const std::string& path);
    // The names in a folder, without "." and "..".
    int List(const std::string& path, std::vector<ListedName>& out);

    // After the server went away: `file` is let go without a word to the server, which no longer
    // knows it.
    void Forget(File& file);
    // Ends the connection (every file of it forgotten first); the next Connect makes a new one.
    void Disconnect();

private:
    struct Client;
    int Open(const std::string& path, int flags, File& out);
    int Seek(File& file, uint64_t offset);
    int WriteThrough(File& file, const void* data, size_t size, uint64_t offset);
    int Sync(File& file);
    std::string Url(const std::string& path) const;
    void Drop(File& file);
    friend class File;

    std::string host_;
    std::string share_;
    Credentials credentials_;
    int timeoutMs_;
    std::unique_ptr<Client> client_;
};

}  // namespace rd::smb
