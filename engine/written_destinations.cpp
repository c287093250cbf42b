#include "engine/written_destinations.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <locale.h>
#include <sys/ioctl.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <wctype.h>

#include <atomic>
#include <cerrno>
#include <functional>

#include "platform/smb_url.h"
#include "platform/text.h"

namespace rd {

namespace {

// True when `path` leads to a regular file of `size` bytes: another name of the probe, which
// holds as many bytes as nothing else there would. A folder's cache may still show a name that
// was just removed, so the probe is told by its size, not by its disappearing.
bool LeadsToProbe(const std::string& path, off_t size) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == size;
}

std::string SwapCase(std::string name) {
    for (char& c : name) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return name;
}

// Unicode case mapping does not depend on the user's locale here: the same names always fold
// alike.
locale_t CaseLocale() {
    static const locale_t locale = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    return locale;
}

// The folder part of `path` without its last "/" ("/" for a file of the root), and the name.
std::string_view FolderOf(std::string_view path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return {};
    return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

std::string_view NameOf(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// File systems whose names are exact and whose inode numbers hold: nothing needs to be tried
// there. Of them, ext4 and f2fs can fold case in a folder marked for it.
bool ExactNames(uint64_t type) {
    return type == EXT4_SUPER_MAGIC || type == XFS_SUPER_MAGIC || type == BTRFS_SUPER_MAGIC ||
           type == TMPFS_MAGIC || type == F2FS_SUPER_MAGIC;
}

bool MarkedToFoldCase(const std::string& folder, uint64_t type) {
    if (type != EXT4_SUPER_MAGIC && type != F2FS_SUPER_MAGIC)
        return false;
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    int flags = 0;
    const bool marked = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_CASEFOLD_FL);
    ::close(fd);
    return marked;
}

}  // namespace

FolderNaming ProbeFolderNaming(const std::string& folder) {
    static std::atomic<uint32_t> counter{0};
    FolderNaming naming;
    const std::string base = (folder.empty() ? std::string(".") : folder) + "/.RedoDori-probe-" +
                             std::to_string(::getpid()) + "-";
    std::string probe;
    int fd = -1;
    for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
        probe = base + std::to_string(counter++) + "x";
        fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            return naming;
    }
    if (fd < 0)
        return naming;
    const std::string name = probe.substr(probe.rfind('/') + 1);
    const bool written = ::write(fd, name.data(), name.size()) == static_cast<ssize_t>(name.size());
    struct stat opened {
    }, looked{};
    naming.stableInodes = ::fstat(fd, &opened) != 0 ||
                          (::lstat(probe.c_str(), &looked) == 0 && looked.st_ino == opened.st_ino);
    ::close(fd);
    const off_t size = static_cast<off_t>(name.size());
    const std::string swapped = probe.substr(0, probe.size() - name.size()) + SwapCase(name);
    naming.foldsCase = written && LeadsToProbe(swapped, size);
    naming.dropsTrailing = written && LeadsToProbe(probe + ".", size);
    ::unlink(probe.c_str());
    return naming;
}

std::string FoldedName(std::string_view name, const FolderNaming& naming) {
    std::string folded(name);
    if (naming.dropsTrailing) {
        while (!folded.empty() && (folded.back() == '.' || folded.back() == ' '))
            folded.pop_back();
    }
    if (!naming.foldsCase)
        return folded;
    if (!text::IsUtf8(folded) || !CaseLocale()) {
        for (char& c : folded) {
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        }
        return folded;
    }
    std::u16string units = text::Utf8ToUtf16(folded);
    for (char16_t& unit : units) {
        if (unit < 0xD800 || unit > 0xDFFF)
            unit = static_cast<char16_t>(::towupper_l(static_cast<wint_t>(unit), CaseLocale()));
    }
    return text::Utf16ToUtf8(units);
}

const FolderNaming& WrittenDestinations::NamingOf(std::string_view folder) {
    // Files come folder by folder: the last folder's naming is most often the one asked for.
    if (lastNaming_ && folder == lastFolder_)
        return *lastNaming_;
    std::string key(folder);
    auto it = folders_.find(key);
    if (it == folders_.end())
        it = folders_.emplace(key, Examine(key.empty() ? "." : key)).first;
    lastFolder_ = std::move(key);
    lastNaming_ = &it->second;
    return it->second;
}

FolderNaming WrittenDestinations::Examine(const std::string& folder) {
    FolderNaming naming;
    // A share names files as Windows does: "A" and "a", "a." and "a" are one name there.
    if (smb::IsUrl(folder)) {
        naming.foldsCase = true;
        naming.dropsTrailing = true;
        naming.stableInodes = false;
        naming.known = true;
        return naming;
    }
    struct stat self {};
    if (::stat(folder.c_str(), &self) != 0)
        return {};
    struct statfs fs {};
    const bool typed = ::statfs(folder.c_str(), &fs) == 0;
    const uint64_t type = typed ? static_cast<uint64_t>(fs.f_type) : 0;
    if (typed && ExactNames(type)) {
        naming.foldsCase = MarkedToFoldCase(folder, type);
        naming.native = true;
    } else if (auto tried = devices_.find(self.st_dev); tried != devices_.end()) {
        naming = tried->second;
    } else {
        // Other file systems (a stick's, a share's, a FUSE driver's) fold or map names as a
        // whole: a name is tried once on each.
        naming = ProbeFolderNaming(folder);
        devices_.emplace(self.st_dev, naming);
    }
    naming.known = true;
    naming.dev = self.st_dev;
    naming.ino = self.st_ino;
    return naming;
}

namespace {

uint64_t Mix(uint64_t h, uint64_t v) {
    h ^= v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
    return h;
}

// `path` with every part folded as `naming` compares names.
std::string FoldedPath(std::string_view path, const FolderNaming& naming) {
    std::string out;
    out.reserve(path.size());
    while (!path.empty()) {
        const size_t slash = path.find('/');
        out += FoldedName(path.substr(0, slash), naming);
        if (slash == std::string_view::npos)
            break;
        out += '/';
        path.remove_prefix(slash + 1);
    }
    return out;
}

}  // namespace

uint64_t WrittenDestinations::KeyOf(std::string_view path) {
    const std::string_view folder = FolderOf(path);
    const FolderNaming& naming = NamingOf(folder);
    const std::hash<std::string_view> hash;
    if (naming.foldsCase || naming.dropsTrailing || !naming.stableInodes || !naming.known)
        return Mix(1, hash(FoldedPath(path, naming)));
    return Mix(Mix(Mix(2, naming.dev), naming.ino), hash(NameOf(path)));
}

namespace {

timespec Now() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return now;
}

}  // namespace

WrittenDestinations::WrittenDestinations() : WrittenDestinations(Now()) {}

WrittenDestinations::WrittenDestinations(timespec started) : started_(started) {
    started_.tv_sec -= 2;
}

void WrittenDestinations::Record(const std::string& path, const FENTRY_* source) {
    std::lock_guard<std::mutex> lock(lock_);
    const FolderNaming& naming = NamingOf(FolderOf(path));
    if (naming.native && !naming.foldsCase)
        return;
    files_.emplace(KeyOf(path), source);
}

bool WrittenDestinations::SameName(const std::string& a, const std::string& b) {
    if (a == b)
        return true;
    std::lock_guard<std::mutex> lock(lock_);
    return KeyOf(a) == KeyOf(b);
}

WrittenDestinations::Verdict WrittenDestinations::At(const std::string& path,
                                                     const struct stat& there) {
    std::lock_guard<std::mutex> lock(lock_);
    const FolderNaming& naming = NamingOf(FolderOf(path));
    if (naming.native && !naming.foldsCase) {
        const bool during =
            there.st_ctim.tv_sec > started_.tv_sec ||
            (there.st_ctim.tv_sec == started_.tv_sec && there.st_ctim.tv_nsec >= started_.tv_nsec);
        return {during ? Verdict::WrittenDuringJob : Verdict::NotWritten, nullptr};
    }
    if (files_.empty())
        return {};
    auto it = files_.find(KeyOf(path));
    if (it == files_.end())
        return {};
    return {Verdict::Written, it->second};
}

}  // namespace rd
