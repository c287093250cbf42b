#include "platform/smb_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>

#include <cerrno>
#include <utility>

#include "platform/smb_library.h"

namespace rd::smb {

namespace {

// The head of libsmbclient's SMBCFILE, which the library does not publish: the file number
// and Samba's client state the file was opened on. It has been so since Samba 4.0.
struct OpenFileHead {
    int fnum;
    void* cli;
};

// Where libsmbclient's offset of a file stands once the file was written beside it.
constexpr uint64_t kPositionUnknown = ~uint64_t{0};

// SMB2's WRITE_THROUGH write flag, which is also SMB1's write-through bit of a write's mode.
constexpr uint16_t kWriteThrough = 1;

// The errno of an NTSTATUS from Samba's client call, for the statuses a flush can meet.
int ErrnoOf(uint32_t status) {
    switch (status) {
        case 0xC0000022: return EACCES;      // ACCESS_DENIED
        case 0xC000007F: return ENOSPC;      // DISK_FULL
        case 0xC0000044: return EDQUOT;      // QUOTA_EXCEEDED
        case 0xC00000B5: return ETIMEDOUT;   // IO_TIMEOUT
        case 0xC000020C: return ECONNRESET;  // CONNECTION_DISCONNECTED
        case 0xC000020D: return ECONNRESET;  // CONNECTION_RESET
        case 0xC0000008: return EBADF;       // INVALID_HANDLE
        case 0xC0000185: return EIO;         // IO_DEVICE_ERROR
        case 0xC00000A2: return EROFS;       // MEDIA_WRITE_PROTECTED
        default: return EIO;
    }
}

int LastError() {
    return errno != 0 ? errno : EIO;
}

int64_t Nanoseconds(const timespec& t) {
    return int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
}

void FromStat(const struct stat& st, FileFacts& out) {
    out.kind = S_ISDIR(st.st_mode)   ? FileFacts::Kind::kFolder
               : S_ISREG(st.st_mode) ? FileFacts::Kind::kFile
                                     : FileFacts::Kind::kOther;
    out.size = static_cast<uint64_t>(st.st_size);
    out.mtimeNs = Nanoseconds(st.st_mtim);
    out.atimeNs = Nanoseconds(st.st_atim);
    out.inode = st.st_ino;
}

timeval Microseconds(int64_t ns) {
    int64_t seconds = ns / 1'000'000'000;
    int64_t rest = ns % 1'000'000'000;
    if (rest < 0) {
        seconds -= 1;
        rest += 1'000'000'000;
    }
    return {static_cast<time_t>(seconds), static_cast<suseconds_t>(rest / 1000)};
}

bool Unreserved(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~' || c == '/';
}

// libsmbclient decodes %XX in a URL's path, so every other byte is written that way.
std::string Encoded(const std::string& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (Unreserved(byte)) {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        }
    }
    return out;
}

}  // namespace

bool ServerGone(int error) {
    switch (error) {
        case ECONNABORTED:
        case ECONNRESET:
        case EPIPE:
        case ENOTCONN:
        case ETIMEDOUT:
        case EHOSTUNREACH:
        case ENETUNREACH:
        case ENETDOWN: return true;
        default: return false;
    }
}

struct Session::Client {
    Context context;
    const Library* l = nullptr;
};

File::File(File&& other) noexcept
    : session_(std::exchange(other.session_, nullptr)),
      handle_(std::exchange(other.handle_, nullptr)),
      position_(other.position_),
      synced_(other.synced_) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (handle_ && session_)
            session_->Drop(*this);
        session_ = std::exchange(other.session_, nullptr);
        handle_ = std::exchange(other.handle_, nullptr);
        position_ = other.position_;
        synced_ = other.synced_;
    }
    return *this;
}

File::~File() {
    if (handle_ && session_)
        session_->Drop(*this);
}

Session::Session(std::string host, std::string share, Credentials credentials, int timeoutMs)
    : host_(std::move(host)),
      share_(std::move(share)),
      credentials_(std::move(credentials)),
      timeoutMs_(timeoutMs) {}

Session::~Session() = default;

int Session::Connect() {
    const auto held = HoldLibrary();
    const Library* l = Smb();
    if (!l)
        return ENOSYS;
    auto client = std::make_unique<Client>();
    client->l = l;
    client->context = MakeContext(credentials_, timeoutMs_);
    if (!client->context)
        return LastError();
    struct stat st {};
    errno = 0;
    if (l->smbc_getFunctionStat(client->context.get())(client->context.get(), Url("").c_str(),
                                                       &st) != 0)
        return LastError();
    client_ = std::move(client);
    return 0;
}

std::string Session::Url(const std::string& path) const {
    return "smb://" + host_ + "/" + Encoded(share_) + "/" + Encoded(path);
}

int Session::Open(const std::string& path, int flags, File& out) {
    const auto held = HoldLibrary();
    if (!client_)
        return ENOTCONN;
    SMBCCTX* context = client_->context.get();
    errno = 0;
    SMBCFILE* handle =
        client_->l->smbc_getFunctionOpen(context)(context, Url(path).c_str(), flags, 0644);
    if (!handle)
        return LastError();
    File file;
    file.session_ = this;
    file.handle_ = handle;
    out = std::move(file);
    return 0;
}

int Session::OpenRead(const std::string& path, File& out) {
    return Open(path, O_RDONLY, out);
}

int Session::CreateExclusive(const std::string& path, File& out) {
    return Open(path, O_RDWR | O_CREAT | O_EXCL, out);
}

int Session::OpenWrite(const std::string& path, File& out) {
    return Open(path, O_RDWR, out);
}

int Session::Seek(File& file, uint64_t offset) {
    const auto held = HoldLibrary();
    if (!file.handle_ || file.session_ != this)
        return EBADF;
    if (file.position_ == offset)
        return 0;
    SMBCCTX* context = client_->context.get();
    errno = 0;
    const off_t at = client_->l->smbc_getFunctionLseek(context)(
        context, static_cast<SMBCFILE*>(file.handle_), static_cast<off_t>(offset), SEEK_SET);
    if (at < 0)
        return LastError();
    file.position_ = offset;
    return 0;
}

int Session::ReadAt(File& file, void* data, size_t size, uint64_t offset, size_t& done) {
    const auto held = HoldLibrary();
    done = 0;
    if (const int error = Seek(file, offset))
        return error;
    SMBCCTX* context = client_->context.get();
    errno = 0;
    const ssize_t n = client_->l->smbc_getFunctionRead(context)(
        context, static_cast<SMBCFILE*>(file.handle_), data, size);
    if (n < 0)
        return LastError();
    done = static_cast<size_t>(n);
    file.position_ += done;
    return 0;
}

int Session::WriteAt(File& file, const void* data, size_t size, uint64_t offset,
                     Durability durability) {
    const auto held = HoldLibrary();
    if (durability == Durability::kSynced && client_ && client_->l->cli_writeall && file.handle_ &&
        file.session_ == this)
        return WriteThrough(file, data, size, offset);
    file.synced_ = false;
    if (const int error = Seek(file, offset))
        return error;
    SMBCCTX* context = client_->context.get();
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        errno = 0;
        const ssize_t n = client_->l->smbc_getFunctionWrite(context)(
            context, static_cast<SMBCFILE*>(file.handle_), bytes, size);
        if (n <= 0)
            return n < 0 ? LastError() : EIO;
        bytes += n;
        size -= static_cast<size_t>(n);
        file.position_ += static_cast<uint64_t>(n);
    }
    return 0;
}

int Session::WriteThrough(File& file, const void* data, size_t size, uint64_t offset) {
    const auto held = HoldLibrary();
    const auto* head = static_cast<const OpenFileHead*>(file.handle_);
    size_t written = 0;
    const uint32_t status = client_->l->cli_writeall(
        head->cli, static_cast<uint16_t>(head->fnum), kWriteThrough,
        static_cast<const uint8_t*>(data), static_cast<off_t>(offset), size, &written);
    // Beside libsmbclient: where its own offset stands is no longer known.
    file.position_ = kPositionUnknown;
    file.synced_ = status == 0;
    if (status != 0)
        return ErrnoOf(status);
    return written == size ? 0 : EIO;
}

int Session::SetTimesOpen(File& file, int64_t mtimeNs) {
    const auto held = HoldLibrary();
    if (!file.handle_ || file.session_ != this)
        return EBADF;
    if (!client_->l->cli_setfileinfo_ext)
        return ENOTSUP;
    const auto* head = static_cast<const OpenFileHead*>(file.handle_);
    const timespec omit{0, UTIME_OMIT};
    const timespec written{static_cast<time_t>(mtimeNs / 1'000'000'000),
                           static_cast<long>(mtimeNs % 1'000'000'000)};
    const uint32_t status = client_->l->cli_setfileinfo_ext(
        head->cli, static_cast<uint16_t>(head->fnum), omit, omit, written, omit, 0);
    return status == 0 ? 0 : ErrnoOf(status);
}

int Session::Truncate(File& file, uint64_t size) {
    const auto held = HoldLibrary();
    if (!file.handle_ || file.session_ != this)
        return EBADF;
    file.synced_ = false;
    SMBCCTX* context = client_->context.get();
    errno = 0;
    if (client_->l->smbc_getFunctionFtruncate(context)(
            context, static_cast<SMBCFILE*>(file.handle_), static_cast<off_t>(size)) != 0)
        return LastError();
    return 0;
}

int Session::StatOpen(File& file, FileFacts& out) {
    const auto held = HoldLibrary();
    if (!file.handle_ || file.session_ != this)
        return EBADF;
    SMBCCTX* context = client_->context.get();
    struct stat st {};
    errno = 0;
    if (client_->l->smbc_getFunctionFstat(context)(context, static_cast<SMBCFILE*>(file.handle_),
                                                   &st) != 0)
        return LastError();
    FromStat(st, out);
    return 0;
}

// An empty write with the write-through flag: the server answers once the file is on its disk.
int Session::Sync(File& file) {
    const auto held = HoldLibrary();
    if (!client_->l->cli_writeall)
        return ENOTSUP;
    const auto* head = static_cast<const OpenFileHead*>(file.handle_);
    static const uint8_t kNothing = 0;
    const uint32_t status =
        client_->l->cli_writeall(head->cli, static_cast<uint16_t>(head->fnum), kWriteThrough,
                                 &kNothing, static_cast<off_t>(file.position_), 0, nullptr);
    return status == 0 ? 0 : ErrnoOf(status);
}

int Session::Close(File& file, Durability durability) {
    const auto held = HoldLibrary();
    if (!file.handle_ || file.session_ != this)
        return EBADF;
    const int synced = durability == Durability::kSynced && !file.synced_ ? Sync(file) : 0;
    SMBCCTX* context = client_->context.get();
    errno = 0;
    const int closed =
        client_->l->smbc_getFunctionClose(context)(context, static_cast<SMBCFILE*>(file.handle_));
    const int error = closed != 0 ? LastError() : 0;
    file.handle_ = nullptr;
    file.session_ = nullptr;
    return synced != 0 ? synced : error;
}

void Session::Forget(File& file) {
    const auto held = HoldLibrary();
    file.handle_ = nullptr;
    file.session_ = nullptr;
}

void Session::Disconnect() {
    const auto held = HoldLibrary();
    client_.reset();
}

void Session::Drop(File& file) {
    const auto held = HoldLibrary();
    if (client_) {
        SMBCCTX* context = client_->context.get();
        client_->l->smbc_getFunctionClose(context)(context, static_cast<SMBCFILE*>(file.handle_));
    }
    file.handle_ = nullptr;
    file.session_ = nullptr;
}

int Session::Stat(const std::string& path, FileFacts& out) {
    const auto held = HoldLibrary();
    if (!client_)
        return ENOTCONN;
    SMBCCTX* context = client_->context.get();
    struct stat st {};
    errno = 0;
    if (client_->l->smbc_getFunctionStat(context)(context, Url(path).c_str(), &st) != 0)
        return LastError();
    FromStat(st, out);
    return 0;
}

int Session::SetTimes(const std::string& path, int64_t atimeNs, int64_t mtimeNs) {
    const auto held = HoldLibrary();
    if (!client_)
        return ENOTCONN;
    SMBCCTX* context = client_->context.get();
    timeval times[2] = {Microseconds(atimeNs), Microseconds(mtimeNs)};
    errno = 0;
    if (client_->l->smbc_getFunctionUtimes(context)(context, Url(path).c_str(), times) != 0)
        return LastError();
    return 0;
}

int Session::MakeFolder(const std::string& path) {
    const auto held = HoldLibrary();
    if (!client_)
        return ENOTCONN;
    SMBCCTX* context = client_->context.get();
    errno = 0;
    if (client_->l->smbc_getFunctionMkdir(context)(context, Url(path).c_str(), 0755) != 0)
        return LastError();
    return 0;
}

int Session::Rename(const std::string& from, const std::string& to) {
    const auto held = HoldLibrary();
    if (!client_)
        return ENOTCONN;
    FileFacts taken;
    const int lookup = Stat(to, taken);
    if (lookup == 0)
        return EEXIST;
    if (lookup != ENOENT)
        return lookup;
    SMBCCTX* context = client_->context.get();
    errno = 0;
    if (client_->l->smbc_getFunctionRename(context)(context, Url(from).c_str(), context,
                                                    Url(to).c_str()) != 0)
        return LastError();
    return 0;
}

int Session::Remove(const std::string& path) {
    const auto held = HoldLibrary();
    if (!client_)
        return ENOTCONN;
    SMBCCTX* context = client_->context.get();
    errno = 0;
    if (client_->l->smbc_getFunctionUnlink(context)(context, Url(path).c_str()) != 0)
        return LastError();
    return 0;
}

int Session::RemoveFolder(const std::string& path) {
    const auto held = HoldLibrary();
    if (!client_)
        return ENOTCONN;
    SMBCCTX* context = client_->context.get();
    errno = 0;
    if (client_->l->smbc_getFunctionRmdir(context)(context, Url(path).c_str()) != 0)
        return LastError();
    return 0;
}

int Session::List(const std::string& path, std::vector<ListedName>& out) {
    const auto held = HoldLibrary();
    if (!client_)
        return ENOTCONN;
    SMBCCTX* context = client_->context.get();
    const Library& l = *client_->l;
    errno = 0;
    SMBCFILE* folder = l.smbc_getFunctionOpendir(context)(context, Url(path).c_str());
    if (!folder)
        return LastError();
    // libsmbclient lists the whole folder at the open: reading it fails no more.
    if (l.smbc_getFunctionReaddirPlus2) {
        struct stat st {};
        while (const libsmb_file_info* entry =
                   l.smbc_getFunctionReaddirPlus2(context)(context, folder, &st)) {
            const std::string name = entry->name;
            if (name == "." || name == "..")
                continue;
            FileFacts facts;
            FromStat(st, facts);
            out.push_back({name, facts.kind, facts});
        }
    } else {
        while (const smbc_dirent* entry = l.smbc_getFunctionReaddir(context)(context, folder)) {
            const std::string name = entry->name;
            if (name == "." || name == "..")
                continue;
            out.push_back({name,
                           entry->smbc_type == SMBC_DIR    ? FileFacts::Kind::kFolder
                           : entry->smbc_type == SMBC_FILE ? FileFacts::Kind::kFile
                                                           : FileFacts::Kind::kOther,
                           std::nullopt});
        }
    }
    l.smbc_getFunctionClosedir(context)(context, folder);
    return 0;
}

}  // namespace rd::smb
