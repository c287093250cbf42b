#include "engine/dest_table.h"

#include <unistd.h>

#include <cerrno>

#include "engine/share_files.h"
#include "platform/fs.h"
#include "platform/smb_url.h"

namespace rd {

void CopyDest::Reset() {
    active = 0;
    ready.reset();
    taken.reset();
    written.reset();
    fileHandle = -1;
    markerHandle = -1;
    currentPath.clear();
    root.clear();
    openFlags = openflag::kInitial;
    madeSeen = {};
    modesRefused = false;
    xattrsTold = false;
    writeback.Clear();
    DropMade();
    files = &LocalDestFiles();
    ownFiles.reset();
}

void CopyDest::KeepMade(const MadeFile& made) {
    std::lock_guard<std::mutex> lock(madeLock_);
    made_.push_back(made);
}

MadeFile CopyDest::TakeMade(uint64_t fileId) {
    std::lock_guard<std::mutex> lock(madeLock_);
    MadeFile found;
    std::erase_if(made_, [&](const MadeFile& made) {
        if (made.fileId == fileId)
            found = made;
        return made.fileId == fileId;
    });
    return found;
}

MadeFile CopyDest::NextMade(uint64_t fileId) {
    std::lock_guard<std::mutex> lock(madeLock_);
    MadeFile found;
    // File numbers only grow.
    std::erase_if(made_, [&](const MadeFile& made) {
        if (made.fileId == fileId)
            found = made;
        else if (made.fileId < fileId)
            files->Discard(made.fd);
        return made.fileId <= fileId;
    });
    return found;
}

void CopyDest::DropMade() {
    std::lock_guard<std::mutex> lock(madeLock_);
    for (const MadeFile& made : made_)
        files->Discard(made.fd);
    made_.clear();
}

void CopyDest::CreateEvents() {
    // Taken and written start signalled so that the first publish does not wait.
    ready = std::make_unique<AutoResetEvent>(false);
    taken = std::make_unique<AutoResetEvent>(true);
    written = std::make_unique<AutoResetEvent>(true);
}

std::vector<std::string> SplitTargetText(std::string_view targetText) {
    std::vector<std::string> folders;
    while (!targetText.empty()) {
        // An unterminated last item still counts: the caller meant it as a destination.
        const auto end = targetText.find('?');
        if (end != 0)
            folders.emplace_back(targetText.substr(0, end));
        targetText =
            end == std::string_view::npos ? std::string_view() : targetText.substr(end + 1);
    }
    return folders;
}

SplitTargets SplitDestinations(const std::vector<std::string>& targets) {
    SplitTargets result;
    for (std::string_view item : targets) {
        if (item.empty())
            continue;
        // The root "/" keeps the empty root, so that root + relative is still a full path.
        while (!item.empty() && item.back() == '/')
            item.remove_suffix(1);
        if (result.roots.size() == kMaxDestinations) {
            ++result.dropped;
            continue;
        }
        result.roots.emplace_back(item);
    }
    return result;
}

int CreateFolderTree(std::string_view path) {
    // Walk order makes every folder after its parent: most of the time the folder itself is
    // all that is missing, and making each step of a deep path again would cost a lookup of
    // the whole path per step.
    const bool named = !path.empty() && path.back() != '/';
    if (named) {
        const int made = fs::MakeFolder(std::string(path));
        if (made == 0 || made == EEXIST)
            return 0;
    }
    int first = 0;
    auto make = [&first](std::string_view folder) {
        const int made = fs::MakeFolder(std::string(folder));
        if (made != 0 && made != EEXIST && first == 0)
            first = made;
    };
    for (size_t pos = path.find('/'); pos != std::string_view::npos;
         pos = path.find('/', pos + 1)) {
        if (pos > 0)
            make(path.substr(0, pos));
    }
    if (named)
        make(path);
    return first;
}

DestTable::DestTable() : slots_(std::make_unique<CopyDest[]>(kMaxDestinations)) {}

void DestTable::ParseDestinations(const std::vector<std::string>& targets, UserNotice& notice) {
    count_ = 0;
    rootsMade_ = false;
    SplitTargets split = SplitDestinations(targets);
    for (std::string& root : split.roots) {
        CopyDest& slot = slots_[count_];
        slot.Reset();
        slot.root = std::move(root);
        if (smb::IsUrl(slot.root))
            UseShare(slot);
        ++count_;
    }
    if (split.dropped > 0)
        notice.Show(NoticeIcon::Warning, "Too many destinations",
                    "Maximum 4096 destinations allowed. Other destinations will be skipped.");
}

void DestTable::UseShare(CopyDest& slot) {
    std::string problem;
    const std::optional<smb::Url> url = smb::ParseUrl(slot.root, problem);
    if (!url) {
        // Never taken for a local path: every file there fails with the cause.
        NoteFolderFailure(slot.root, EINVAL);
        slot.ownFiles = std::make_unique<ShareFiles>(slot.root, smb::Url{}, smb::Credentials{},
                                                     kShareTimeoutMs);
    } else {
        const auto login = logins_.find(url->Server());
        slot.ownFiles = std::make_unique<ShareFiles>(
            slot.root, *url, login == logins_.end() ? smb::Credentials{} : login->second,
            kShareTimeoutMs);
    }
    slot.files = slot.ownFiles.get();
}

void DestTable::MakeRoots() {
    if (rootsMade_.exchange(true))
        return;
    for (uint32_t i = 0; i < count_; ++i) {
        CopyDest& slot = slots_[i];
        if (MissingFolder(slot.root))
            continue;
        int error = slot.files->Open();
        if (error == 0)
            error = slot.files->MakeFolderTree(slot.root);
        if (error != 0)
            NoteFolderFailure(slot.root, error);
    }
}

void DestTable::CreateEvents() {
    for (uint32_t i = 0; i < count_; ++i)
        slots_[i].CreateEvents();
}

void DestTable::ActivateAll() {
    for (uint32_t i = 0; i < count_; ++i)
        slots_[i].active = 1;
}

bool DestTable::SkipDestination(uint32_t slot) {
    if (slot < count_)
        slots_[slot].active = 0;
    for (uint32_t i = 0; i < count_; ++i) {
        if (slots_[i].active != 0)
            return false;
    }
    return true;
}

namespace {

std::string WithoutTrailingSeparator(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

}  // namespace

void DestTable::NoteFolderFailure(const std::string& folder, int error) {
    std::lock_guard<std::mutex> lock(causesLock_);
    folderCauses_.emplace(WithoutTrailingSeparator(folder), error);
}

std::optional<FolderNotMade> DestTable::MissingFolder(const std::string& folder) const {
    std::lock_guard<std::mutex> lock(causesLock_);
    std::optional<FolderNotMade> missing;
    // Every folder below one that could not be made failed too: the outermost is the cause.
    for (std::string path = WithoutTrailingSeparator(folder); !path.empty() && path != "/";) {
        const auto it = folderCauses_.find(path);
        if (it == folderCauses_.end())
            break;
        missing = FolderNotMade{path, it->second};
        const size_t slash = path.rfind('/');
        if (slash == std::string::npos)
            break;
        path = WithoutTrailingSeparator(path.substr(0, slash + 1));
    }
    return missing;
}

}  // namespace rd
