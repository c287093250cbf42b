// Reads the folders of one walk (each listed and its entries' attributes read) on a few threads
// ahead of the walk, so that a cold disk is asked for several folders at once, while the walk
// still takes every folder's contents in its own order.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/fs.h"

namespace rd {

class FolderReadAhead {
public:
    // A folder of the walk, read at most once.
    struct Folder;
    using FolderRef = std::shared_ptr<Folder>;

    struct Entry {
        std::string name;
        std::string full;  // the folder's path and the name
        std::optional<fs::Attributes> found;
        int error = 0;    // why `found` is empty
        FolderRef below;  // set for a folder: its own contents, to be taken after its node
    };
    struct Contents {
        int error = 0;  // the folder could not be opened or listed
        std::vector<Entry> entries;
    };

    // `stop` (called from the helper threads too) ends every reading early: entries not read
    // by then are left out of the contents.
    explicit FolderReadAhead(std::function<bool()> stop);
    // Waits for the folders being read and closes every folder still open.
    ~FolderReadAhead();
    FolderReadAhead(const FolderReadAhead&) = delete;
    FolderReadAhead& operator=(const FolderReadAhead&) = delete;

    // The folder the walk starts at, opened by `path` itself.
    FolderRef Top(const std::string& path);

    // The contents of `folder`, waited for when a helper is reading it and read on the calling
    // thread when no helper has started it. Each folder is taken once, after the folder above
    // it; its subfolders are then read ahead in the order a walk depth first meets them.
    Contents Take(const FolderRef& folder);

private:
    struct EarlierFirst {
        bool operator()(const FolderRef& a, const FolderRef& b) const;
    };

    Contents Read(const Folder& folder) const;
    // Queues the subfolders of `contents` for the helpers; under `lock_`.
    void Announce(const Contents& contents);
    void StartHelpers();
    void Help();

    std::function<bool()> stop_;
    std::mutex lock_;
    std::condition_variable work_;
    std::condition_variable done_;
    // Folders no one has started, earliest in the walk first.
    std::set<FolderRef, EarlierFirst> waiting_;
    // Folders read or being read by helpers and not taken yet; bounds the memory and the
    // descriptors the helpers hold.
    size_t ahead_ = 0;
    bool closing_ = false;
    std::vector<std::thread> helpers_;
};

}  // namespace rd
