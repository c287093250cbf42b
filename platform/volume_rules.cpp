#include "platform/volume_rules.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <string>
#include <vector>

#include "platform/mounts.h"
#include "platform/path_parts.h"

namespace rd {

namespace {

constexpr std::string_view kWindowsCharacters = "\"*:<>?\\|\x01";
constexpr uint64_t kFatLargestFile = (uint64_t{1} << 32) - 1;

// Types whose names are this system's own: any byte but "/" and NUL.
constexpr std::array<std::string_view, 14> kNativeTypes = {
    "ext2", "ext3",  "ext4",   "xfs", "btrfs",   "tmpfs",    "f2fs",
    "zfs",  "ramfs", "nilfs2", "jfs", "overlay", "bcachefs", "reiserfs"};

bool IsFat(std::string_view type) {
    return type == "vfat" || type == "msdos" || type == "fat" || type == "fuse.fusefat";
}

bool IsSmb(std::string_view type) {
    return type == "cifs" || type == "smb3" || type == "smbfs";
}

// The folder itself, or its nearest parent that exists: what a destination not made yet will be
// made in.
std::string NearestFolder(std::string folder) {
    struct stat st {};
    while (!folder.empty() && folder != "/" &&
           !(stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) {
        const size_t slash = folder.rfind('/');
        folder = slash == 0 || slash == std::string::npos ? "/" : folder.substr(0, slash);
    }
    return folder.empty() ? "/" : folder;
}

bool Create(int folder, const std::string& name) {
    const int fd =
        openat(folder, name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    close(fd);
    return true;
}

std::vector<std::string> Names(int folder) {
    std::vector<std::string> names;
    const int fd = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = fd < 0 ? nullptr : fdopendir(fd);
    if (!dir) {
        if (fd >= 0)
            close(fd);
        return names;
    }
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    closedir(dir);
    return names;
}

bool Holds(const std::vector<std::string>& names, const std::string& name) {
    for (const std::string& n : names) {
        if (n == name)
            return true;
    }
    return false;
}

// Whether a file's permissions stay as they are set; and, for root, its owner.
void ProbeOwnership(int folder, VolumeRules& rules) {
    const int fd = openat(folder, "p", O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    struct stat st {};
    rules.permissions = fchmod(fd, 0640) == 0 && fstat(fd, &st) == 0 && (st.st_mode & 0777) == 0640;
    if (geteuid() == 0)
        rules.owners = fchown(fd, 1, 1) == 0 && fstat(fd, &st) == 0 && st.st_uid == 1;
    close(fd);
}

// Which names a fresh folder takes: each probed character, each ending, another case of a name
// made there, and a symbolic link. A name that is refused, or made under another spelling, is
// one the file system does not take.
void ProbeNames(int folder, bool full, VolumeRules& rules) {
    rules.foldsCase = false;
    if (Create(folder, "case-probe")) {
        struct stat st {};
        rules.foldsCase = fstatat(folder, "CASE-PROBE", &st, AT_SYMLINK_NOFOLLOW) == 0;
    }
    if (!full)
        return;
    std::vector<std::string> tried;
    std::vector<bool> made;
    for (const char c : kProbedCharacters) {
        tried.push_back(std::string("c") + c + "c");
        made.push_back(Create(folder, tried.back()));
    }
    tried.push_back("dot.");
    made.push_back(Create(folder, tried.back()));
    tried.push_back("space ");
    made.push_back(Create(folder, tried.back()));
    tried.push_back("\xc3\xa9");
    made.push_back(Create(folder, tried.back()));
    const std::vector<std::string> there = Names(folder);
    rules.refusedCharacters.clear();
    for (size_t i = 0; i < kProbedCharacters.size(); ++i) {
        if (!made[i] || !Holds(there, tried[i]))
            rules.refusedCharacters += kProbedCharacters[i];
    }
    const size_t dot = kProbedCharacters.size();
    rules.refusesTrailingDot = !made[dot] || !Holds(there, tried[dot]);
    rules.refusesTrailingSpace = !made[dot + 1] || !Holds(there, tried[dot + 1]);
    rules.asciiOnly = !made[dot + 2] || !Holds(there, tried[dot + 2]);
    rules.symbolicLinks = symlinkat("target", folder, "link") == 0;
    ProbeOwnership(folder, rules);
}

// Removes everything the probes made in `folder` (named `name` in `parent`), then the folder.
void RemoveProbeFolder(int parent, const std::string& name, int folder) {
    for (const std::string& entry : Names(folder))
        unlinkat(folder, entry.c_str(), 0);
    close(folder);
    unlinkat(parent, name.c_str(), AT_REMOVEDIR);
}

void Probe(int parent, VolumeRules& rules) {
    static std::atomic<unsigned> counter{0};
    const std::string name =
        ".RedoDori-probe-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    if (mkdirat(parent, name.c_str(), 0700) != 0)
        return;
    const int folder =
        openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0) {
        unlinkat(parent, name.c_str(), AT_REMOVEDIR);
        return;
    }
    ProbeNames(folder, NamesNeedProbing(rules.type), rules);
    rules.probed = true;
    RemoveProbeFolder(parent, name, folder);
}

}  // namespace

bool VolumeRules::TakesName(std::string_view name) const {
    if (name.empty())
        return true;
    if ((refusesTrailingDot && name.back() == '.') || (refusesTrailingSpace && name.back() == ' '))
        return false;
    const bool controls = refusedCharacters.find('\x01') != std::string::npos;
    for (const char c : name) {
        if ((controls && static_cast<unsigned char>(c) < 0x20) ||
            (asciiOnly && static_cast<unsigned char>(c) >= 0x80) ||
            refusedCharacters.find(c) != std::string::npos)
            return false;
    }
    return true;
}

VolumeRules RulesOfType(std::string_view type) {
    VolumeRules rules;
    rules.type = std::string(type);
    const bool fat = IsFat(type);
    const bool exfat = type == "exfat";
    const bool ntfs = type == "ntfs" || type == "ntfs3";
    const bool smb = IsSmb(type);
    if (!(fat || exfat || ntfs || smb))
        return rules;
    rules.refusedCharacters = std::string(kWindowsCharacters);
    // FAT and exFAT drop a trailing dot without a word; Windows refuses both endings.
    rules.refusesTrailingDot = true;
    rules.refusesTrailingSpace = fat || ntfs || smb;
    rules.foldsCase = !ntfs;
    rules.largestFile = fat ? kFatLargestFile : kNoFileSizeLimit;
    rules.symbolicLinks = ntfs;
    rules.owners = false;
    rules.permissions = false;
    return rules;
}

bool NamesNeedProbing(std::string_view type) {
    for (std::string_view native : kNativeTypes) {
        if (type == native)
            return false;
    }
    return true;
}

VolumeRules ReadVolumeRules(const std::string& folder) {
    const std::string existing = NearestFolder(folder);
    VolumeRules rules = RulesOfType(mounts::TypeOf(existing));
    const int fd = open(existing.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return rules;
    struct statvfs vfs {};
    if (fstatvfs(fd, &vfs) == 0) {
        rules.freeBytes = static_cast<int64_t>(vfs.f_bavail * vfs.f_frsize);
        rules.blockSize = vfs.f_frsize ? vfs.f_frsize : 4096;
    }
    Probe(fd, rules);
    close(fd);
    return rules;
}

}  // namespace rd
