// The job's destination slots and the parsing of the target text into them.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dest_files.h"
#include "engine/dest_writeback.h"
#include "engine/user_notice.h"
#include "platform/smb_client.h"
#include "platform/sync.h"

namespace rd {

constexpr uint32_t kMaxDestinations = 4096;

// Flags a destination file was opened with, kept as one word per slot.
namespace openflag {
constexpr uint32_t kNormal = 0x00000080;
constexpr uint32_t kSequentialScan = 0x08000000;
constexpr uint32_t kNoBuffering = 0x20000000;  // burst: O_DIRECT
constexpr uint32_t kWriteThrough = 0x80000000;
constexpr uint32_t kInitial = kSequentialScan | kNormal;
}  // namespace openflag

// A new, empty file the existing-file check made in a destination (exclusively: nothing stood
// at its name), until the destination's writer takes it for the file's first block.
struct MadeFile {
    int fd = -1;
    // The file of the job it was made for.
    uint64_t fileId = 0;
    // What the file was when made; its mode and owner spare the metadata step a look.
    struct stat seen {};
};

// One destination of the job.
struct CopyDest {
    // 1 while this destination takes part in the current file.
    std::atomic<int32_t> active{0};
    // A block has been published for this destination.
    std::unique_ptr<AutoResetEvent> ready;
    // This destination's writer has taken the published block.
    std::unique_ptr<AutoResetEvent> taken;
    // This destination's writer has finished writing its block.
    std::unique_ptr<AutoResetEvent> written;
    int fileHandle = -1;
    // The mode the open file was last seen with, so that closing it need not set the same one
    // again; 0 when not known.
    mode_t knownMode = 0;
    // What the open file was when the job made it; its mode is 0 when the file is not one the
    // job made. Kept when the file is opened again in another mode.
    struct stat madeSeen {};
    // The destination's file system refused to change a new file's permissions: it is not asked
    // again. Set once.
    std::atomic<bool> modesRefused{false};
    // The copies' extended attributes were not kept (a share has none of ours): told once.
    std::atomic<bool> xattrsTold{false};
    int markerHandle = -1;
    // Full path of the destination file of the block being handed over; empty: writer ends.
    std::string currentPath;
    // The destination folder without a trailing "/" ("" for the root folder).
    std::string root;
    uint32_t openFlags = openflag::kInitial;
    // What of the copies written here is not yet on the disk.
    DestWriteback writeback;
    // What the files here are written through: this machine's, unless the root is a share.
    DestFiles* files = &LocalDestFiles();
    std::unique_ptr<DestFiles> ownFiles;
    // The kernel's own calls reach this destination's files.
    bool Local() const { return files->Local(); }

    // Back to the state of a new slot (events dropped, handles closed marks).
    void Reset();
    // Job thread: keeps `made` for the writer.
    void KeepMade(const MadeFile& made);
    // The slot's writer takes the file made for `fileId` (its `fd` is -1 when there is none);
    // those made for earlier files, which it has left behind, are closed.
    MadeFile NextMade(uint64_t fileId);
    // Takes the file made for `fileId` out of the slot; its `fd` is -1 when there is none.
    MadeFile TakeMade(uint64_t fileId);
    // Closes every made file the writer did not take.
    void DropMade();
    // Creates the three events: ready non-signalled, taken and written signalled.
    void CreateEvents();

private:
    // The job thread keeps made files while the slot's writer may still be on an earlier file.
    std::mutex madeLock_;
    std::vector<MadeFile> made_;
};

// The result of splitting a target text: the roots in order, and how many items did not fit.
struct SplitTargets {
    std::vector<std::string> roots;
    uint32_t dropped = 0;
};

// The folders of a target text (folders each followed by "?"), in order; empty items are left
// out, and an unterminated last item still counts.
std::vector<std::string> SplitTargetText(std::string_view targetText);

// The destination roots of the job's target folders, without creating anything: empty items
// are skipped, trailing "/" are removed, at most 4096 are kept.
SplitTargets SplitDestinations(const std::vector<std::string>& targets);

// Creates every folder on the way to `path`, and `path` itself unless it ends with "/".
// Returns 0, or the errno of the first folder that could not be made (what is in the way already
// does not count): the cause to give when a file cannot be written there.
int CreateFolderTree(std::string_view path);

// A destination folder that could not be made, and why.
struct FolderNotMade {
    std::string folder;
    int error = 0;
};

class DestTable {
public:
    DestTable();

    CopyDest& operator[](uint32_t i) { return slots_[i]; }
    const CopyDest& operator[](uint32_t i) const { return slots_[i]; }
    uint32_t Count() const { return count_; }

    // The logins for the shares among the destinations, by server ("nas", "nas:4455"); a share
    // of a server not named here is reached as a guest. Before ParseDestinations.
    void UseLogins(std::map<std::string, smb::Credentials> logins) { logins_ = std::move(logins); }

    // Fills the slots from the job's target folders. When more than 4096 destinations are
    // given, the rest are dropped and `notice` shows one warning after the scan. A root that
    // is an smb:// address is a share, written through its own client.
    void ParseDestinations(const std::vector<std::string>& targets, UserNotice& notice);

    // Creates each destination folder tree, once: when the job has something to put there, so
    // that a job whose sources are all missing leaves no new folder behind. Any thread.
    void MakeRoots();
    // Whether MakeRoots ran since the destinations were parsed.
    bool RootsMade() const { return rootsMade_; }

    // Creates the three events of every used slot (job start).
    void CreateEvents();

    // Marks every used slot active (a file starts).
    void ActivateAll();

    // Takes `slot` out of the current file. Returns true when no used slot is active any more;
    // the caller then abandons the file.
    bool SkipDestination(uint32_t slot);

    // Any thread. A destination folder that could not be made, and why: a file that cannot
    // be opened in it for want of the folder is reported with that cause.
    void NoteFolderFailure(const std::string& folder, int error);
    // Why a file in `folder` has no folder to go into: the outermost of `folder` and its
    // parents that could not be made, with its error; none when `folder` was made.
    std::optional<FolderNotMade> MissingFolder(const std::string& folder) const;

private:
    void UseShare(CopyDest& slot);

    mutable std::mutex causesLock_;
    std::map<std::string, int> folderCauses_;
    std::map<std::string, smb::Credentials> logins_;
    std::unique_ptr<CopyDest[]> slots_;
    uint32_t count_ = 0;
    std::atomic<bool> rootsMade_{false};
};

}  // namespace rd
