// Hashes of file data as checksum tools write them: XXH3-128 (libxxhash) as `xxhsum -H2` does,
// and SHA-256, SHA-512, SHA-1 and MD5 (OpenSSL's libcrypto) as the coreutils' sum tools do.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace rd {

enum class HashKind { Xxh128, Sha256, Sha512, Sha1, Md5 };

// The manifest extension of a kind, with its dot: ".xxh128", ".sha256" …
std::string_view HashExtension(HashKind kind);
// The kind a manifest's name says by its extension; none for any other name.
std::optional<HashKind> HashKindOfName(std::string_view name);
// The number of hex digits of a kind's hash.
size_t HashHexLength(HashKind kind);

// One hash, fed in pieces. Not copyable; any thread, one at a time.
class FileHasher {
public:
    explicit FileHasher(HashKind kind);
    ~FileHasher();
    FileHasher(const FileHasher&) = delete;
    FileHasher& operator=(const FileHasher&) = delete;

    HashKind Kind() const { return kind_; }
    void Update(const void* data, size_t length);
    // The hash of everything fed, in lower-case hex as the tools print it. Ends the hash: a
    // hasher gives its digest once. Empty when the hash could not be made (no memory for it).
    std::string HexDigest();

private:
    struct State;
    HashKind kind_;
    std::unique_ptr<State> state_;
};

// Hashes the whole of the open file `fd` from its start. Returns 0 with `hex` set, or the errno
// of the failing read.
int HashOpenFile(int fd, HashKind kind, std::string& hex);

// Hashes the whole of the open file `fd` as the disk holds it, not as the page cache does: its
// cached pages are dropped before it is read, which drops only clean ones, so the caller syncs
// what it wrote first. (A file system that keeps its files in memory, such as tmpfs, answers
// from memory all the same.) Returns 0 with `hex` set, or the errno of the failing read.
int HashFromDisk(int fd, HashKind kind, std::string& hex);

}  // namespace rd
