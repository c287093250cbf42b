#include "engine/written_destinations.h"

#include <fcntl.h>
#include <locale.h>
#include <unistd.h>
#include <wctype.h>

#include <atomic>
#include <cerrno>

#include "engine/path_parts.h"
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

std::string FolderOf(const std::string& path) {
    const std::string folder = DirPart(path);
    return folder.size() > 1 && folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder;
}

}  // namespace

FolderNaming ProbeFolderNaming(const std::string& folder) {
    static std::atomic<uint32_t> counter{0};
    FolderNaming naming;
    const std::string base = (folder.empty() ? std::string() : folder) + "/.RedoDori-probe-" +
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
    struct stat opened {}, looked {};
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

const FolderNaming& WrittenDestinations::NamingOf(const std::string& path) {
    const std::string folder = FolderOf(path);
    auto it = folders_.find(folder);
    if (it == folders_.end())
        it = folders_.emplace(folder, ProbeFolderNaming(folder)).first;
    return it->second;
}

std::string WrittenDestinations::NameKey(const std::string& path) {
    const FolderNaming& naming = NamingOf(path);
    if (!naming.foldsCase && !naming.dropsTrailing && naming.stableInodes)
        return {};
    return FolderOf(path) + "/" + FoldedName(NamePart(path), naming);
}

void WrittenDestinations::Record(const std::string& path, int fd, const FENTRY_* source) {
    struct stat st {};
    if (::fstat(fd, &st) == 0)
        Record(path, st, source);
}

void WrittenDestinations::Record(const std::string& path, const struct stat& st,
                                 const FENTRY_* source) {
    std::lock_guard<std::mutex> lock(lock_);
    const FolderNaming& naming = NamingOf(path);
    // Numbers that change from one lookup to the next could come back for another file.
    if (naming.stableInodes)
        inodes_.emplace(std::make_pair(st.st_dev, st.st_ino), source);
    if (std::string key = NameKey(path); !key.empty())
        names_.emplace(std::move(key), source);
}

bool WrittenDestinations::SameName(const std::string& a, const std::string& b) {
    if (a == b)
        return true;
    if (FolderOf(a) != FolderOf(b))
        return false;
    std::lock_guard<std::mutex> lock(lock_);
    const FolderNaming& naming = NamingOf(a);
    return (naming.foldsCase || naming.dropsTrailing) &&
           FoldedName(NamePart(a), naming) == FoldedName(NamePart(b), naming);
}

const FENTRY_* WrittenDestinations::WrittenFrom(const std::string& path, const struct stat& there) {
    std::lock_guard<std::mutex> lock(lock_);
    if (inodes_.empty() && names_.empty())
        return nullptr;
    if (NamingOf(path).stableInodes) {
        if (auto it = inodes_.find({there.st_dev, there.st_ino}); it != inodes_.end())
            return it->second;
    }
    const std::string key = NameKey(path);
    if (key.empty())
        return nullptr;
    auto it = names_.find(key);
    return it == names_.end() ? nullptr : it->second;
}

}  // namespace rd
