#include "engine/folder_read_ahead.h"

#include <fcntl.h>

#include <cstdint>
#include <system_error>
#include <utility>

#include "engine/find_entry.h"

namespace rd {

namespace {

// Enough requests at once for a disk to order its reads of folders and inodes; more only
// contend for the cores with the walk itself.
constexpr int kHelpers = 4;
constexpr size_t kAhead = 32;
// Folders held open by a walk, one a level; deeper levels are named by whole paths, so that no
// tree runs the process out of descriptors.
constexpr int kHeldFolders = 64;

// `folder` + "/" + `name`, without doubling the separator below the root.
std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

}  // namespace

struct FolderReadAhead::Folder {
    enum class State { kWaiting, kReading, kRead, kTaken };

    // The folder's position below the top, one index a level: a walk depth first meets folders
    // in the order of these.
    std::vector<uint32_t> rank;
    // The folder above, open until this one is opened; null: `path` is opened as it is.
    std::shared_ptr<fs::FileHandle> parent;
    std::string name;
    std::string path;
    int depth = 0;
    State state = State::kWaiting;
    Contents contents;
};

bool FolderReadAhead::EarlierFirst::operator()(const FolderRef& a, const FolderRef& b) const {
    return a->rank < b->rank;
}

FolderReadAhead::FolderReadAhead(std::function<bool()> stop) : stop_(std::move(stop)) {}

FolderReadAhead::~FolderReadAhead() {
    {
        std::lock_guard<std::mutex> lock(lock_);
        closing_ = true;
    }
    work_.notify_all();
    for (std::thread& helper : helpers_)
        helper.join();
}

FolderReadAhead::FolderRef FolderReadAhead::Top(const std::string& path) {
    auto top = std::make_shared<Folder>();
    top->path = path;
    return top;
}

FolderReadAhead::Contents FolderReadAhead::Take(const FolderRef& folder) {
    std::unique_lock<std::mutex> lock(lock_);
    if (folder->state == Folder::State::kWaiting) {
        waiting_.erase(folder);
        folder->state = Folder::State::kReading;
        lock.unlock();
        Contents contents = Read(*folder);
        lock.lock();
        folder->state = Folder::State::kTaken;
        Announce(contents);
        if (helpers_.empty() && !waiting_.empty())
            StartHelpers();
        return contents;
    }
    done_.wait(lock, [&] { return folder->state == Folder::State::kRead; });
    folder->state = Folder::State::kTaken;
    --ahead_;
    work_.notify_one();
    return std::move(folder->contents);
}

FolderReadAhead::Contents FolderReadAhead::Read(const Folder& folder) const {
    Contents contents;
    std::vector<fs::DirEntry> names;
    std::shared_ptr<fs::FileHandle> self;
    if (folder.depth < kHeldFolders) {
        // A folder replaced by a link since it was found is refused here, not followed.
        const int fd = folder.parent ? fs::OpenFolderAt(folder.parent->Get(), folder.name)
                                     : fs::OpenFolderAt(AT_FDCWD, folder.path);
        if (fd < 0) {
            contents.error = -fd;
            return contents;
        }
        self = std::make_shared<fs::FileHandle>(fd);
        contents.error = fs::ListFolderAt(fd, "*", names);
    } else {
        contents.error = fs::ListFolder(folder.path, "*", names);
    }
    if (contents.error)
        return contents;
    const bool holdBelow = folder.depth + 1 < kHeldFolders;
    contents.entries.reserve(names.size());
    for (uint32_t i = 0; i < names.size(); ++i) {
        if (stop_ && stop_())
            break;
        Entry entry;
        entry.full = JoinPath(folder.path, names[i].name);
        entry.found = FindEntry(self ? self->Get() : AT_FDCWD, self ? names[i].name : entry.full,
                                entry.full, &entry.error, stop_);
        if (entry.found && entry.found->IsFolder()) {
            entry.below = std::make_shared<Folder>();
            entry.below->rank = folder.rank;
            entry.below->rank.push_back(i);
            entry.below->parent = holdBelow ? self : nullptr;
            entry.below->name = std::move(names[i].name);
            entry.below->path = entry.full;
            entry.below->depth = folder.depth + 1;
        }
        contents.entries.push_back(std::move(entry));
    }
    return contents;
}

void FolderReadAhead::Announce(const Contents& contents) {
    bool announced = false;
    for (const Entry& entry : contents.entries) {
        if (entry.below) {
            waiting_.insert(entry.below);
            announced = true;
        }
    }
    if (announced)
        work_.notify_all();
}

void FolderReadAhead::StartHelpers() {
    for (int i = 0; i < kHelpers; ++i) {
        try {
            helpers_.emplace_back([this] { Help(); });
        } catch (const std::system_error&) {
            // Fewer helpers, or none: the walk reads what no helper started itself.
            break;
        }
    }
}

void FolderReadAhead::Help() {
    std::unique_lock<std::mutex> lock(lock_);
    for (;;) {
        work_.wait(lock, [this] { return closing_ || (!waiting_.empty() && ahead_ < kAhead); });
        if (closing_ || (stop_ && stop_()))
            return;
        FolderRef folder = *waiting_.begin();
        waiting_.erase(waiting_.begin());
        folder->state = Folder::State::kReading;
        ++ahead_;
        lock.unlock();
        Contents contents = Read(*folder);
        lock.lock();
        Announce(contents);
        folder->contents = std::move(contents);
        folder->state = Folder::State::kRead;
        done_.notify_all();
    }
}

}  // namespace rd
