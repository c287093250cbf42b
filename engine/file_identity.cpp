#include "engine/file_identity.h"

namespace rd {

namespace {

bool Same(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

}  // namespace

FileIdentity IdentityOf(const struct stat& st) {
    FileIdentity id;
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    id.size = static_cast<uint64_t>(st.st_size);
    id.modified = st.st_mtim;
    id.changed = st.st_ctim;
    id.known = true;
    return id;
}

IdentityChange CompareIdentity(const FileIdentity& remembered, const struct stat& now) {
    if (now.st_dev != remembered.dev || now.st_ino != remembered.ino)
        return IdentityChange::Replaced;
    if (static_cast<uint64_t>(now.st_size) != remembered.size)
        return IdentityChange::Resized;
    if (!Same(now.st_mtim, remembered.modified))
        return IdentityChange::Modified;
    if (!Same(now.st_ctim, remembered.changed))
        return IdentityChange::Changed;
    return IdentityChange::None;
}

IdentityChange PathNow(const FileIdentity& remembered, const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return IdentityChange::Replaced;
    return CompareIdentity(remembered, st);
}

}  // namespace rd
