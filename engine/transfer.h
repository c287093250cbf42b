// The file calls of the copy: opening sources and destinations (buffered or "burst"),
// positioned reads and writes, the resume marker, file length and basic information.
#pragma once

#include <sys/types.h>
#include <time.h>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/file_identity.h"

namespace rd {

struct CopyDest;

// Burst (unbuffered) transfer is used only for lengths and offsets that are multiples of this.
constexpr uint64_t kBurstAlignment = 32768;
// Destinations larger than this get their full length reserved before the first write.
constexpr uint64_t kReserveThreshold = 4194304;
// The suffix of a destination's resume marker file.
inline constexpr const char* kMarkerSuffix = ".RedoDori";

// True when burst is on and both `length` and the low 32 bits of `position` are multiples of
// 32768.
bool WantsBurst(bool burstSetting, uint64_t length, uint64_t position);

class ShareFiles;

// An open source file.
struct SourceHandle {
    // The share the source is read through; null for a file of this machine. Kept when the
    // handle is closed, for the next open.
    ShareFiles* share = nullptr;
    // A descriptor of the file, or the share's handle of it.
    int fd = -1;
    // O_DIRECT is in effect.
    bool unbuffered = false;
    // The mode the handle was opened for: burst was wanted, even where the file system refused
    // it and the handle is buffered. Keeps such a handle from being reopened for every block.
    bool burstWanted = false;
    void Close();
    ~SourceHandle() { Close(); }
};

// Opens `path` for reading unless it is already open in the wanted mode: unbuffered when
// `readburst` is on and WantsBurst(length, position), else buffered with sequential read-ahead.
// A file system that refuses unbuffered access is opened buffered; a share's file is opened
// once, as its share reads it. A failed open leaves the handle closed with `error` set; the
// following read then fails.
void OpenSource(const std::string& path, SourceHandle& handle, uint64_t length, bool readburst,
                uint64_t position, int* error = nullptr);

// Reads up to n bytes at `offset`, looping over short reads and EINTR; `n` becomes the count
// read (less at the end of the file). Returns false with `error` on failure (n is then 0).
bool PositionedRead(int fd, uint8_t* data, uint32_t& n, uint64_t offset, int& error);

// PositionedRead of an open source, on either kind.
bool ReadSource(SourceHandle& handle, uint8_t* data, uint32_t& n, uint64_t offset, int& error);
// What the open source is now; 0 or the errno.
int StatSource(SourceHandle& handle, struct stat& out);

// Files from this size on are looked at for holes.
constexpr uint64_t kSparseCheckSize = 131072;

// True when the open file is at least kSparseCheckSize long and takes less room on the disk than
// its length: it has holes worth keeping.
bool HasHoles(int fd);

// The data of a file from `position` on: where it begins and where the hole after it begins,
// both at most `size`. A file that has only a hole left gives {size, size}; a file system that
// does not tell holes, or a file that has shrunk, gives {position, size}, so that the reads
// see the file as it is.
struct DataRange {
    uint64_t start = 0;
    uint64_t end = 0;
};
DataRange NextData(int fd, uint64_t position, uint64_t size);

// Gives the open file the length `size` when it is shorter (its tail a hole). True on success.
bool ExtendTo(int fd, uint64_t size);

// Writes all n bytes at `offset`. Returns false with `error` when not every byte was written.
bool PositionedWrite(int fd, const uint8_t* data, uint32_t n, uint64_t offset, int& error);

// The permissions a new copy is created with: no more open to others than its source while it
// is written, and writable by its owner, so that it can be opened again for the next block.
mode_t NewFileMode(uint32_t sourceMode);

// Opens (without truncating) the destination of `slot` for a block of `writeLength` bytes at
// `position`, reopening it when the burst mode changes; the file the existing-file check made for
// file `fileId` is taken rather than opened. A new file larger than 4 MiB whose first block is at
// 0 gets its full length reserved when `reserve` is on. A new file is created with
// NewFileMode(sourceMode). Returns false with `error` when it cannot be opened.
bool OpenDestFile(CopyDest& slot, const std::string& path, uint64_t position, uint32_t writeLength,
                  uint64_t fileSize, uint32_t sourceMode, bool writeburst, bool reserve,
                  int* error = nullptr, uint64_t fileId = 0);

// What a marker records about the files it was written for, so that a later job can tell that
// the partial copy beside it is still the start of that very source: the source's device,
// inode, size and modification time, and the destination's device and inode. Markers of older
// versions do not have it.
struct MarkerIdentity {
    FileIdentity source;
    dev_t destinationDev = 0;
    ino_t destinationIno = 0;
};

// Keeps the resume marker beside a destination: while end < fileSize it holds end (8 bytes,
// little-endian), then the source path and the switch string, both UTF-16LE with a zero
// terminator, then the identity of `sourceId` and of the open destination; at the end the
// marker is closed and removed.
void UpdateResumeMarker(CopyDest& slot, const std::string& destination, const std::string& source,
                        const std::string& switches, uint64_t end, uint64_t fileSize,
                        const FileIdentity* sourceId = nullptr);

// The bytes of a marker file for the given values; the identity record follows the two strings
// when `identity` is given.
std::string ResumeMarkerBytes(uint64_t end, const std::string& source, const std::string& switches,
                              const MarkerIdentity* identity = nullptr);

// A marker file as read back.
struct ResumeMarker {
    uint64_t written = 0;
    std::string source;
    std::string switches;
    bool hasIdentity = false;
    MarkerIdentity identity;
};

// Reads marker bytes. False when they are too short to hold the count of written bytes.
bool ParseResumeMarker(std::string_view bytes, ResumeMarker& marker);

// The folder of the private state folder that keeps the markers of copies on shares, which
// keep no files of ours.
inline constexpr const char* kShareMarkerFolder = "share-markers";

// Where the marker of `destination` is: beside it, or for a copy on a share (an smb:// path) in
// the private state folder, named by a hash of the destination.
std::string MarkerPathOf(const std::string& destination);

// Reads the marker beside `destination`. False when there is none, or when what stands there is
// not a regular file of this user: a link or another user's file is never taken for one.
bool ReadMarkerBeside(const std::string& destination, ResumeMarker& marker);

// Closes the destination of `slot`, first giving it the source's permissions and modification
// time as SetCopyInfo does when `keepTimes` is set; closes the marker too. Returns 0, or the
// errno of closing the destination: network file systems report delayed write errors there.
// `refused` is set to the errno of a refused change of permissions when it is the first of the
// slot's, else to 0.
int CloseDestFile(CopyDest& slot, bool keepTimes, uint32_t mode, const timespec& modified,
                  int* refused = nullptr);

// Gives an open file the permission bits of `mode` and the modification time `modified`
// (access time unchanged); the bits are not set again when `current`, the file's mode as last
// seen (0: not known), has them. True on success; `modeError` is the errno of a change of
// permissions that failed, else 0.
bool SetBasicInfo(int fd, uint32_t mode, const timespec& modified, mode_t current = 0,
                  int* modeError = nullptr);

// SetBasicInfo for a copy open as `fd` in `slot`, which asks the slot's file system for no
// change of permissions once it refused one for a file the job made (`made`): the copies keep
// the permissions it gives them. Returns the errno of that refusal when this call found it first,
// so that it is told once; else 0.
int SetCopyInfo(CopyDest& slot, int fd, bool made, uint32_t mode, const timespec& modified,
                mode_t current);

// Sets the file's length and reserves its blocks. True when the length was set.
bool SetFileLength(int fd, uint64_t length);

}  // namespace rd
