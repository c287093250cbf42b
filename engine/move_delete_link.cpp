#include "engine/move_delete_link.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#include "engine/engine_context.h"
#include "engine/error_settler.h"
#include "engine/prompts.h"
#include "engine/transfer.h"
#include "platform/clock.h"
#include "platform/path_parts.h"
#include "platform/text.h"

namespace rd {

namespace {

std::mt19937& WipeRandom() {
    thread_local std::mt19937 random(
        static_cast<uint32_t>(std::chrono::system_clock::now().time_since_epoch().count()));
    return random;
}

// Switches O_DIRECT on or off for `fd`. A file system that refuses it keeps the file buffered.
void SetDirect(int fd, bool direct, bool& isDirect) {
    if (direct == isDirect)
        return;
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0)
        return;
    if (::fcntl(fd, F_SETFL, direct ? (flags | O_DIRECT) : (flags & ~O_DIRECT)) == 0)
        isDirect = direct;
}

// Overwrites the first `size` bytes of the open file `passes` times, each chunk with one random
// byte value. Failures are ignored: the file is already gone and nothing can be reported.
void Overwrite(EngineContext& ctx, VNBuffer& wipeBuffer, int fd, uint64_t size, int passes) {
    const uint32_t chunk = WipeBlockSize(ctx.policy.bufferSize);
    EnsureCapacity(wipeBuffer, chunk, *ctx.allocationFailure);
    bool isDirect = false;
    for (int pass = 0; pass < passes; ++pass) {
        for (uint64_t offset = 0; offset < size; offset += chunk) {
            const uint32_t length = static_cast<uint32_t>(std::min<uint64_t>(chunk, size - offset));
            std::memset(wipeBuffer.Data(), static_cast<int>(WipeRandom()() & 0xFF), length);
            SetDirect(fd, WantsBurst(ctx.policy.writeBurst, length, offset), isDirect);
            int error = 0;
            if (!PositionedWrite(fd, wipeBuffer.Data(), length, offset, error) && isDirect) {
                SetDirect(fd, false, isDirect);
                PositionedWrite(fd, wipeBuffer.Data(), length, offset, error);
            }
        }
        // Without this the page cache would merge the passes into one write of the last.
        ::fdatasync(fd);
    }
}

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

}  // namespace

int WipeAndDelete(EngineContext& ctx, VNBuffer& wipeBuffer, const std::string& path, uint64_t size,
                  const FileIdentity* expected, bool sameFileOnly) {
    struct stat st {};
    if (const int error = ctx.sources.Stat(path, st))
        return error == ENOENT ? 0 : error;
    if (expected) {
        const IdentityChange change = CompareIdentity(*expected, st);
        if (sameFileOnly ? change == IdentityChange::Replaced : change != IdentityChange::None)
            return kChangedSinceRead;
    }
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    const int passes = WipePasses(ctx.policy.mode);
    // A share's file is removed by its name alone: nothing of it can be overwritten from here.
    if (SourceFiles::OnShare(path))
        return passes == 0 ? ctx.sources.Remove(path) : EOPNOTSUPP;
    // Links, devices, fifos and sockets are only unlinked: opening one could write into its
    // target or block on it.
    if (passes == 0 || !S_ISREG(st.st_mode))
        return ::unlink(path.c_str()) == 0 ? 0 : errno;

    const bool madeWritable =
        (st.st_mode & S_IWUSR) == 0 && ::chmod(path.c_str(), st.st_mode | S_IWUSR) == 0;
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    // Another name of the same inode is another file of the user's: it keeps its content.
    struct stat opened {};
    const bool wipe = fd >= 0 && ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) &&
                      opened.st_nlink == 1 && opened.st_dev == st.st_dev &&
                      opened.st_ino == st.st_ino;
    // The name goes before the content: a file that cannot be removed keeps its data.
    if (::unlink(path.c_str()) != 0) {
        const int error = errno;
        if (madeWritable)
            ::chmod(path.c_str(), st.st_mode & 07777);
        if (fd >= 0)
            ::close(fd);
        return error;
    }
    if (wipe)
        Overwrite(ctx, wipeBuffer, fd, size, passes);
    if (fd >= 0)
        ::close(fd);
    return 0;
}

bool RenameMove(const std::string& source, const std::string& destination) {
    struct stat src {};
    if (::lstat(source.c_str(), &src) != 0)
        return false;
    const std::string folder =
        destination.find('/') == std::string::npos ? std::string(".") : DirPart(destination);
    struct stat dst {};
    if (::stat(folder.c_str(), &dst) != 0 || dst.st_dev != src.st_dev)
        return false;
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    // Some file systems do not know the no-replace flag; there the check just before stands in.
    if (errno != EINVAL)
        return false;
    struct stat existing {};
    if (::lstat(destination.c_str(), &existing) == 0 || errno != ENOENT)
        return false;
    return ::rename(source.c_str(), destination.c_str()) == 0;
}

FileEnd LinkPerFile(EngineContext& ctx, const FENTRY_& node) {
    const std::string source = node.SourcePath();
    FileEnd end = FileEnd::Completed;
    for (uint32_t i = 0; i < ctx.dests.Count(); ++i) {
        if (ctx.dests[i].active == 0)
            continue;
        const std::string dest = node.DestinationPath(i, ctx.dests[i].root);
        ErrorSettler settler(ctx);
        for (;;) {
            if (ctx.state.flags.Terminating != 0)
                return FileEnd::Skipped;
            // The skip button during endless retries gives up the file, as the reader does.
            if (ctx.state.flags.SkipFile != 0) {
                ctx.state.flags.SkipFile = 0;
                ctx.Report(Skipped(source, OutcomeCause::UserSkipped, dest));
                return end == FileEnd::Failed ? end : FileEnd::Skipped;
            }
            if (::link(source.c_str(), dest.c_str()) == 0) {
                ctx.written.Record(dest, &node);
                break;
            }
            const int error = errno;
            const SettleAction action =
                settler.Settle({ErrorStep::Link, source, dest, error, 0, 0, -1});
            if (action == SettleAction::Abort)
                return FileEnd::Skipped;
            if (action == SettleAction::Skip) {
                ctx.Report(
                    Failed(source, OutcomeCause::OperationFailed, error, Operation::Link, dest));
                end = FileEnd::Failed;
                break;
            }
        }
    }
    return end;
}

int CreateJunction(const std::string& link, const std::string& target) {
    if (target.empty())
        return -1;
    std::error_code error;
    const std::filesystem::path full = std::filesystem::absolute(target, error);
    if (error)
        return -1;
    const std::string wanted = WithoutTrailingSlashes(full.lexically_normal().string());
    if (::symlink(wanted.c_str(), link.c_str()) != 0)
        return -3;
    std::string got(wanted.size() + 2, '\0');
    const ssize_t n = ::readlink(link.c_str(), got.data(), got.size());
    if (n >= 0 && static_cast<size_t>(n) == wanted.size() &&
        got.compare(0, wanted.size(), wanted) == 0)
        return 0;
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
        ::unlink(link.c_str());
    return -4;
}

std::string TreeLinkPass(EngineContext& ctx, const std::vector<std::string>& sources,
                         const std::vector<std::string>& targets) {
    ctx.dests.ParseDestinations(targets, ctx.Notice());
    ctx.dests.MakeRoots();
    std::string failures;
    for (const std::string& given : sources) {
        const std::string source = WithoutTrailingSlashes(given);
        // A share's files cannot be linked to from this machine.
        const bool local = !SourceFiles::OnShare(source);
        struct stat st {};
        const bool folder = local && ::lstat(source.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        for (uint32_t i = 0; i < ctx.dests.Count(); ++i) {
            const std::string& root = ctx.dests[i].root;
            const std::string linkPath =
                root + (!root.empty() && root.back() == '/' ? "" : "/") + NamePart(source);
            const bool ok = local && (folder ? CreateJunction(linkPath, source) == 0
                                             : ::link(source.c_str(), linkPath.c_str()) == 0);
            if (!ok)
                failures += text::Format("%s -> %s\r\n", source.c_str(), linkPath.c_str());
        }
    }
    if (failures.empty())
        return {};
    return ctx.messages.Text(15) + "\r\n" + failures;
}

std::vector<FolderLeft> RemoveMovedFolders(const SourceFiles& sources,
                                           std::vector<std::string> folders) {
    // A folder sorts after every folder that holds it, so the reverse order empties each
    // folder before its parent is tried.
    std::sort(folders.begin(), folders.end());
    std::vector<FolderLeft> left;
    for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
        const int error = sources.RemoveFolder(*it);
        if (error != 0 && error != ENOENT)
            left.push_back({*it, error});
    }
    return left;
}

}  // namespace rd
