#include "engine/transfer.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string_view>

#include "engine/dest_table.h"
#include "engine/source_files.h"
#include "platform/fault_injection.h"
#include "platform/file_hash.h"
#include "platform/path_parts.h"
#include "platform/paths.h"
#include "platform/private_folder.h"
#include "platform/smb_url.h"
#include "platform/text.h"

namespace rd {

namespace {

// What Linux reads ahead of a file opened for reading before any hint (128 KiB).
constexpr uint64_t kFirstReadahead = 131072;

int OpenRetrying(const std::string& path, int flags, mode_t mode) {
    int fd;
    do {
        fd = ::open(path.c_str(), flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Opens `path` unbuffered (O_DIRECT) when `burst` is set. A file system without unbuffered
// access answers EINVAL; the file is then opened buffered, as burst is only a speed choice.
// Returns the descriptor, or -1 with `error` set.
int OpenMaybeDirect(const std::string& path, int flags, mode_t createMode, bool burst, bool& direct,
                    int& error) {
    direct = false;
    error = 0;
    if (burst) {
        int fd = OpenRetrying(path, flags | O_DIRECT, createMode);
        if (fd >= 0) {
            direct = true;
            return fd;
        }
        if (errno != EINVAL) {
            error = errno;
            return -1;
        }
    }
    int fd = OpenRetrying(path, flags, createMode);
    if (fd < 0)
        error = errno;
    return fd;
}

void CloseFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// An unbuffered read that came up short at the end of the file cannot go on: the next offset
// is not aligned and the kernel answers EINVAL instead of 0.
bool AtEndOfFile(int fd, uint64_t offset) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && offset >= static_cast<uint64_t>(st.st_size);
}

void AppendUtf16Le(std::string& out, std::string_view utf8) {
    for (char16_t c : text::Utf8ToUtf16(utf8)) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
    }
    out.append(2, '\0');
}

std::string LittleEndian64(uint64_t value) {
    std::string out(8, '\0');
    for (int i = 0; i < 8; ++i)
        out[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return out;
}

}  // namespace

bool WantsBurst(bool burstSetting, uint64_t length, uint64_t position) {
    return burstSetting && length % kBurstAlignment == 0 &&
           static_cast<uint32_t>(position) % kBurstAlignment == 0;
}

void SourceHandle::Close() {
    if (share && fd >= 0)
        share->Discard(fd);
    else
        CloseFd(fd);
    fd = -1;
    unbuffered = false;
    burstWanted = false;
}

void OpenSource(const std::string& path, SourceHandle& handle, uint64_t length, bool readburst,
                uint64_t position, int* error) {
    const bool burst = WantsBurst(readburst, length, position);
    if (error)
        *error = 0;
    if (handle.fd >= 0 && (handle.share || handle.burstWanted == burst))
        return;
    handle.Close();
    if (handle.share || SourceFiles::OnShare(path)) {
        // An address no share was made for is never opened as a local path.
        const int err = handle.share ? handle.share->OpenRead(path, handle.fd) : EOPNOTSUPP;
        if (error)
            *error = err;
        return;
    }
    bool direct = false;
    int err = 0;
    int fd = OpenMaybeDirect(path, O_RDONLY | O_CLOEXEC, 0, burst, direct, err);
    if (fd < 0) {
        if (error)
            *error = err;
        return;
    }
    // A file within the kernel's first readahead window is read whole without the hint.
    if (!direct && length > kFirstReadahead)
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    handle.fd = fd;
    handle.unbuffered = direct;
    handle.burstWanted = burst;
}

bool PositionedRead(int fd, uint8_t* data, uint32_t& n, uint64_t offset, int& error) {
    error = 0;
    uint32_t done = 0;
    while (done < n) {
        ssize_t got = ::pread(fd, data + done, n - done, static_cast<off_t>(offset + done));
        if (got > 0) {
            done += static_cast<uint32_t>(got);
            continue;
        }
        if (got == 0)
            break;
        const int err = errno;
        if (err == EINTR)
            continue;
        if (err == EINVAL && done > 0 && AtEndOfFile(fd, offset + done))
            break;
        error = err;
        n = 0;
        return false;
    }
    if (int injected = fault::Check(fault::Op::Read, fd, offset, data, done)) {
        // A read that failed delivered nothing.
        std::memset(data, 0, done);
        error = injected;
        n = 0;
        return false;
    }
    n = done;
    return true;
}

bool ReadSource(SourceHandle& handle, uint8_t* data, uint32_t& n, uint64_t offset, int& error) {
    if (!handle.share)
        return PositionedRead(handle.fd, data, n, offset, error);
    error = handle.share->Read(handle.fd, data, n, offset);
    if (error)
        n = 0;
    return error == 0;
}

int StatSource(SourceHandle& handle, struct stat& out) {
    if (handle.share)
        return handle.share->StatOpen(handle.fd, out);
    return ::fstat(handle.fd, &out) == 0 ? 0 : errno;
}

bool HasHoles(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && static_cast<uint64_t>(st.st_size) >= kSparseCheckSize &&
           static_cast<uint64_t>(st.st_blocks) * 512 < static_cast<uint64_t>(st.st_size);
}

DataRange NextData(int fd, uint64_t position, uint64_t size) {
    const DataRange whole{position, size};
    const off_t data = ::lseek(fd, static_cast<off_t>(position), SEEK_DATA);
    if (data < 0) {
        struct stat st {};
        // No data after `position`: a hole to the end, unless the file is shorter than listed.
        if (errno == ENXIO && ::fstat(fd, &st) == 0 && static_cast<uint64_t>(st.st_size) >= size)
            return {size, size};
        return whole;
    }
    const off_t hole = ::lseek(fd, data, SEEK_HOLE);
    if (hole < 0)
        return whole;
    return {std::min<uint64_t>(static_cast<uint64_t>(data), size),
            std::min<uint64_t>(static_cast<uint64_t>(hole), size)};
}

bool ExtendTo(int fd, uint64_t size) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return false;
    return static_cast<uint64_t>(st.st_size) >= size ||
           ::ftruncate(fd, static_cast<off_t>(size)) == 0;
}

bool PositionedWrite(int fd, const uint8_t* data, uint32_t n, uint64_t offset, int& error) {
    error = 0;
    uint32_t done = 0;
    while (done < n) {
        ssize_t put = ::pwrite(fd, data + done, n - done, static_cast<off_t>(offset + done));
        if (put > 0) {
            done += static_cast<uint32_t>(put);
            continue;
        }
        if (put < 0 && errno == EINTR)
            continue;
        // A write that makes no progress without an error would otherwise loop forever.
        error = put < 0 ? errno : EIO;
        return false;
    }
    if (int injected = fault::Check(fault::Op::Write, fd, offset, const_cast<uint8_t*>(data), n)) {
        error = injected;
        return false;
    }
    return true;
}

mode_t NewFileMode(uint32_t sourceMode) {
    return static_cast<mode_t>((sourceMode & 0777) | S_IWUSR);
}

namespace {

// Opens the destination of `slot` when the existing-file check made none: a copy opened again
// (`same`) must still be the file `before` describes.
bool OpenDestAgain(CopyDest& slot, const std::string& path, uint32_t sourceMode, bool burst,
                   bool same, const struct stat& before, int& fd, int* error) {
    int err = 0;
    if (!slot.Local()) {
        // Opened again, the copy must still be there: a new file is never made in its place.
        err = slot.files->OpenWrite(path, !same, NewFileMode(sourceMode), fd);
    } else {
        bool direct = false;
        // No O_TRUNC: a resumed or pre-sized destination keeps what is already in it. A link in
        // the file's place is never written through.
        fd = OpenMaybeDirect(path, O_WRONLY | (same ? 0 : O_CREAT) | O_NOFOLLOW | O_CLOEXEC,
                             NewFileMode(sourceMode), burst, direct, err);
    }
    if (fd < 0) {
        if (error)
            *error = err;
        return false;
    }
    struct stat now {};
    if (same && (slot.files->StatOpen(fd, now) != 0 || now.st_dev != before.st_dev ||
                 now.st_ino != before.st_ino)) {
        slot.files->Discard(fd);
        fd = -1;
        if (error)
            *error = ESTALE;
        return false;
    }
    return true;
}

}  // namespace

bool OpenDestFile(CopyDest& slot, const std::string& path, uint64_t position, uint32_t writeLength,
                  uint64_t fileSize, uint32_t sourceMode, bool writeburst, bool reserve, int* error,
                  uint64_t fileId) {
    // A share has no unbuffered writes of the kernel's: its files stay in one mode.
    const bool burst = slot.Local() && WantsBurst(writeburst, writeLength, position);
    const uint32_t wanted =
        burst ? (openflag::kNoBuffering | openflag::kNormal) : openflag::kInitial;
    if (error)
        *error = 0;
    // A copy opened again for another mode must still be the file that was written so far.
    struct stat before {};
    bool reopened = false;
    if (slot.fileHandle >= 0 && slot.openFlags != wanted) {
        reopened = ::fstat(slot.fileHandle, &before) == 0;
        CloseFd(slot.fileHandle);
    }
    if (slot.fileHandle >= 0)
        return true;
    // The file the existing-file check made is taken as it is, or opened again unbuffered.
    const MadeFile made = reopened ? MadeFile{} : slot.NextMade(fileId);
    bool same = reopened;
    int fd = made.fd;
    if (fd >= 0 && burst) {
        before = made.seen;
        same = made.seen.st_mode != 0;
        CloseFd(fd);
    }
    if (fd < 0 && !OpenDestAgain(slot, path, sourceMode, burst, same, before, fd, error))
        return false;
    if (reopened)
        slot.writeback.Reopened(fd);
    else
        slot.madeSeen = made.seen;
    slot.fileHandle = fd;
    slot.files->Expect(fd, fileSize);
    slot.knownMode = 0;
    // The wanted flags, not the granted ones: a file system that refused O_DIRECT would
    // otherwise have the file reopened for every block.
    slot.openFlags = wanted;
    if (position == 0 && reserve && slot.Local() && fileSize > kReserveThreshold)
        SetFileLength(fd, fileSize);
    return true;
}

namespace {

// Writes marker bytes. Unlike PositionedWrite, never seen by the tests' fault hook, which speaks
// of the copy's own data.
bool WriteMarkerBytes(int fd, const std::string& bytes, uint64_t offset) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                                     static_cast<off_t>(offset + done));
        if (put > 0)
            done += static_cast<size_t>(put);
        else if (put == 0 || errno != EINTR)
            return false;
    }
    return true;
}

// Marks the identity record that newer markers carry after their two strings.
constexpr std::string_view kIdentityTag = "RDID\x01";
constexpr size_t kIdentityFields = 7;
// No marker of this program comes near this size.
constexpr size_t kMostMarkerBytes = 65536;

uint64_t ReadLittleEndian64(std::string_view bytes) {
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[static_cast<size_t>(i)]);
    return value;
}

// The next zero-terminated UTF-16LE string from `at`; false when it has no terminator.
bool NextUtf16(std::string_view bytes, size_t& at, std::string& out) {
    std::u16string units;
    for (; at + 1 < bytes.size(); at += 2) {
        const char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[at]) |
                                                    static_cast<unsigned char>(bytes[at + 1]) << 8);
        if (unit == 0) {
            at += 2;
            out = text::Utf16ToUtf8(units);
            return true;
        }
        units.push_back(unit);
    }
    out = text::Utf16ToUtf8(units);
    return false;
}

}  // namespace

std::string ResumeMarkerBytes(uint64_t end, const std::string& source, const std::string& switches,
                              const MarkerIdentity* identity) {
    std::string bytes = LittleEndian64(end);
    AppendUtf16Le(bytes, source);
    AppendUtf16Le(bytes, switches);
    if (identity) {
        const FileIdentity& s = identity->source;
        bytes += kIdentityTag;
        for (uint64_t field :
             {static_cast<uint64_t>(s.dev), static_cast<uint64_t>(s.ino), s.size,
              static_cast<uint64_t>(s.modified.tv_sec), static_cast<uint64_t>(s.modified.tv_nsec),
              static_cast<uint64_t>(identity->destinationDev),
              static_cast<uint64_t>(identity->destinationIno)})
            bytes += LittleEndian64(field);
    }
    return bytes;
}

bool ParseResumeMarker(std::string_view bytes, ResumeMarker& marker) {
    marker = ResumeMarker{};
    if (bytes.size() < 8)
        return false;
    marker.written = ReadLittleEndian64(bytes);
    size_t at = 8;
    if (!NextUtf16(bytes, at, marker.source) || !NextUtf16(bytes, at, marker.switches))
        return true;
    std::string_view rest = bytes.substr(at);
    if (!rest.starts_with(kIdentityTag) || rest.size() < kIdentityTag.size() + 8 * kIdentityFields)
        return true;
    rest.remove_prefix(kIdentityTag.size());
    uint64_t field[kIdentityFields];
    for (size_t i = 0; i < kIdentityFields; ++i)
        field[i] = ReadLittleEndian64(rest.substr(8 * i));
    FileIdentity& s = marker.identity.source;
    s.dev = static_cast<dev_t>(field[0]);
    s.ino = static_cast<ino_t>(field[1]);
    s.size = field[2];
    s.modified = {static_cast<time_t>(field[3]), static_cast<long>(field[4])};
    s.known = true;
    marker.identity.destinationDev = static_cast<dev_t>(field[5]);
    marker.identity.destinationIno = static_cast<ino_t>(field[6]);
    marker.hasIdentity = true;
    return true;
}

std::string MarkerPathOf(const std::string& destination) {
    if (!smb::IsUrl(destination))
        return destination + kMarkerSuffix;
    FileHasher hasher(HashKind::Xxh128);
    hasher.Update(destination.data(), destination.size());
    return paths::StateDir() + "/" + kShareMarkerFolder + "/" + hasher.HexDigest() + kMarkerSuffix;
}

bool ReadMarkerBeside(const std::string& destination, ResumeMarker& marker) {
    const std::string path = MarkerPathOf(destination);
    const int fd = OpenRetrying(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0);
    if (fd < 0)
        return false;
    struct stat st {};
    std::string bytes;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid()) {
        bytes.resize(std::min<uint64_t>(static_cast<uint64_t>(st.st_size), kMostMarkerBytes));
        uint32_t n = static_cast<uint32_t>(bytes.size());
        int error = 0;
        if (!PositionedRead(fd, reinterpret_cast<uint8_t*>(bytes.data()), n, 0, error))
            n = 0;
        bytes.resize(n);
    }
    ::close(fd);
    return ParseResumeMarker(bytes, marker);
}

void UpdateResumeMarker(CopyDest& slot, const std::string& destination, const std::string& source,
                        const std::string& switches, uint64_t end, uint64_t fileSize,
                        const FileIdentity* sourceId) {
    const std::string markerPath = MarkerPathOf(destination);
    if (end >= fileSize) {
        CloseFd(slot.markerHandle);
        ::unlink(markerPath.c_str());
        return;
    }
    if (slot.markerHandle >= 0) {
        WriteMarkerBytes(slot.markerHandle, LittleEndian64(end), 0);
        return;
    }
    // A share's markers are kept where only this user may plant or read them.
    std::string problem;
    if (!slot.Local() &&
        !fs::PreparePrivateFolder(DirPart(markerPath), "the folder of the markers", problem))
        return;
    // A new file every time: whatever stands at the marker's name (an old marker, or a link
    // that would lead the write elsewhere) is removed, never opened.
    ::unlink(markerPath.c_str());
    int fd = OpenRetrying(markerPath, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    MarkerIdentity identity;
    struct stat written {};
    const bool identified = sourceId && sourceId->known && slot.fileHandle >= 0 &&
                            slot.files->StatOpen(slot.fileHandle, written) == 0;
    if (identified) {
        identity.source = *sourceId;
        identity.destinationDev = written.st_dev;
        identity.destinationIno = written.st_ino;
    }
    const std::string bytes =
        ResumeMarkerBytes(end, source, switches, identified ? &identity : nullptr);
    if (!WriteMarkerBytes(fd, bytes, 0)) {
        // Only the first 8 bytes are rewritten later, so a marker without its paths must not be
        // kept open: the next block creates it afresh.
        ::close(fd);
        ::unlink(markerPath.c_str());
        return;
    }
    slot.markerHandle = fd;
}

int CloseDestFile(CopyDest& slot, bool keepTimes, uint32_t mode, const timespec& modified,
                  int* refused) {
    int result = 0;
    if (refused)
        *refused = 0;
    if (slot.fileHandle >= 0) {
        if (keepTimes) {
            const int first = SetCopyInfo(slot, slot.fileHandle, slot.madeSeen.st_mode != 0, mode,
                                          modified, slot.knownMode);
            if (refused)
                *refused = first;
        }
        slot.knownMode = 0;
        if (slot.Local())
            slot.writeback.Closing(slot.fileHandle);
        result = slot.files->Close(slot.fileHandle);
        slot.fileHandle = -1;
    }
    CloseFd(slot.markerHandle);
    return result;
}

bool SetBasicInfo(int fd, uint32_t mode, const timespec& modified, mode_t current, int* modeError) {
    // Each call writes the inode; a mode that is right already is left as it is.
    int error = 0;
    if (current == 0 || (current & 07777) != (mode & 07777)) {
        error = fault::Check(fault::Op::Chmod, fd, 0, nullptr, 0);
        if (error == 0 && ::fchmod(fd, static_cast<mode_t>(mode & 07777)) != 0)
            error = errno;
    }
    if (modeError)
        *modeError = error;
    const timespec times[2] = {{0, UTIME_OMIT}, modified};
    const bool timeSet = ::futimens(fd, times) == 0;
    return error == 0 && timeSet;
}

int SetCopyInfo(CopyDest& slot, int fd, bool made, uint32_t mode, const timespec& modified,
                mode_t current) {
    // Such a file system's own mode counts as the right one.
    if (slot.modesRefused)
        current = static_cast<mode_t>(mode);
    int error = 0;
    slot.files->SetInfo(fd, mode, modified, current, error);
    // A file the job made is its own: a refusal there is the file system's, not the file's.
    const bool refusal = error == EPERM || error == ENOTSUP || error == EOPNOTSUPP;
    if (!made || !refusal || slot.modesRefused.exchange(true))
        return 0;
    return error;
}

bool SetFileLength(int fd, uint64_t length) {
    if (::ftruncate(fd, static_cast<off_t>(length)) != 0)
        return false;
    // Reserving the blocks is a bonus: a file system without fallocate still has the length.
    // glibc's posix_fallocate would emulate it by writing into every block, a whole extra pass
    // over the file that the copy is about to make anyway, so it is not used.
    if (length > 0) {
        int rc;
        do {
            rc = ::fallocate(fd, 0, 0, static_cast<off_t>(length));
        } while (rc != 0 && errno == EINTR);
    }
    return true;
}

}  // namespace rd
