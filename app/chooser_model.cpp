#include "app/chooser_model.h"

#include "app/favourites.h"

namespace rd {

std::string NodePath(const std::vector<std::string>& names) {
    std::string path;
    for (const std::string& name : names) {
        path += name;
        // The root "/" already ends with its separator.
        if (path.empty() || path.back() != '/')
            path += '/';
    }
    return path;
}

std::string SelectionText(const std::vector<SelectedNode>& selection,
                          const std::string& favouritesFolder) {
    std::string text;
    for (size_t i = 0; i < selection.size(); ++i) {
        const SelectedNode& node = selection[i];
        switch (node.kind) {
            case SelectedNode::Kind::Folder:
                text += node.text;
                if (i + 1 < selection.size())
                    text += kDestinationSeparator;
                break;
            case SelectedNode::Kind::Favourite:
                AppendFavourite(favouritesFolder, node.text, text);
                break;
            case SelectedNode::Kind::Nothing: break;
        }
    }
    return text;
}

std::string TargetText(std::string_view comboText) {
    std::string target(comboText);
    if (target.empty() || target.back() != kDestinationSeparator)
        target += kDestinationSeparator;
    return target;
}

ScaledSize ScaleFreeSpace(uint64_t bytes) {
    static constexpr std::string_view kUnits[] = {" bytes", " kb", " mb", " gb"};
    ScaledSize size{bytes, kUnits[0]};
    for (int step = 1; step <= 3 && size.value > 10240; ++step) {
        size.value /= 1024;
        size.unit = kUnits[step];
    }
    return size;
}

std::string RootText(std::string_view name, std::string_view label, uint64_t freeBytes,
                     std::string_view free) {
    const ScaledSize size = ScaleFreeSpace(freeBytes);
    std::string text(name);
    if (!label.empty())
        text += " (" + std::string(label) + ")";
    text += " ~" + std::to_string(size.value) + std::string(size.unit) + " " + std::string(free);
    return text;
}

std::string ShareFreeText(std::string_view text, uint64_t freeBytes, std::string_view free,
                          std::string_view unknown) {
    if (freeBytes != kUnknownFree)
        return RootText(text, "", freeBytes, free);
    return std::string(text) + " ~" + std::string(unknown) + " " + std::string(free);
}

uint32_t ColourValue(EntryColour colour) {
    switch (colour) {
        case EntryColour::NotWritable: return 0x0000FF;  // red
        case EntryColour::TooSmall: return 0x8000FF;
        case EntryColour::Fits: return 0x008000;  // dark green
        case EntryColour::Default: break;
    }
    return 0;
}

EntryColour ColourOfEntry(int writable, uint64_t jobTotal, uint64_t volumeFree) {
    // An unwritable folder is no destination, whatever the space.
    if (writable == 0)
        return EntryColour::NotWritable;
    if (jobTotal == 0 || volumeFree == kUnknownFree)
        return EntryColour::Default;
    return volumeFree < jobTotal ? EntryColour::TooSmall : EntryColour::Fits;
}

namespace {

// True when `root` is `path` or a folder above it.
bool RootHolds(std::string_view root, std::string_view path) {
    if (root == "/")
        return true;
    return path.substr(0, root.size()) == root &&
           (path.size() == root.size() || path[root.size()] == '/');
}

}  // namespace

Frame ChooserFrame(const StoredPlacement& placed, bool centre, Frame designed, int32_t screenWidth,
                   int32_t screenHeight) {
    Frame frame = designed;
    if (placed.hasLeft)
        frame.left = placed.left;
    if (placed.hasTop)
        frame.top = placed.top;
    if (placed.hasWidth)
        frame.width = placed.width;
    if (placed.hasHeight)
        frame.height = placed.height;
    if (centre) {
        frame.left = (screenWidth - frame.width) / 2;
        frame.top = (screenHeight - frame.height) / 2;
    }
    return frame;
}

std::optional<LastDirWalk> WalkToLastDir(std::string_view lastDir,
                                         const std::vector<std::string>& roots) {
    if (lastDir.empty() || lastDir.front() != '/' ||
        lastDir.find(kDestinationSeparator) != std::string_view::npos)
        return std::nullopt;
    const std::string* best = nullptr;
    std::string_view bestPath;
    for (const std::string& root : roots) {
        std::string_view path(root);
        while (path.size() > 1 && path.back() == '/')
            path.remove_suffix(1);
        if (!path.empty() && RootHolds(path, lastDir) && (!best || path.size() > bestPath.size())) {
            best = &root;
            bestPath = path;
        }
    }
    if (!best)
        return std::nullopt;
    LastDirWalk walk{*best, {}};
    // Only names closed by "/" are looked up: a destination is a folder path ending with one.
    size_t start = bestPath.size();
    for (size_t slash; (slash = lastDir.find('/', start)) != std::string_view::npos;
         start = slash + 1) {
        // "//" names no folder of its own.
        if (slash > start)
            walk.names.emplace_back(lastDir.substr(start, slash - start));
    }
    return walk;
}

std::string ChooserCaption(bool moveMode, uint64_t jobTotal) {
    return CaptionWithTotal(moveMode ? "VornMove to..." : "RedoDori to...", jobTotal);
}

std::string CaptionWithTotal(std::string_view caption, uint64_t jobTotal) {
    if (jobTotal == 0)
        return std::string(caption);
    const ScaledSize size = ScaleFreeSpace(jobTotal);
    return std::to_string(size.value) + std::string(size.unit) + " " + std::string(caption);
}

int RootImage(VolumeType type, int fixedBefore) {
    using namespace chooser_image;
    switch (type) {
        case VolumeType::Fixed:
            return fixedBefore <= kLastFixed - kFirstFixed ? kFirstFixed + fixedBefore
                                                           : kOtherDrive;
        case VolumeType::Removable: return kRemovable;
        case VolumeType::Optical: return kOptical;
        case VolumeType::Network: return kNetworkDrive;
        case VolumeType::RamDisk:
        case VolumeType::Unknown: break;
    }
    return kOtherDrive;
}

int FolderImage(int kind, int depth) {
    using namespace chooser_image;
    if (kind == 2 && depth == 1)
        return kHost;
    if (kind == 2 && depth == 2)
        return kShare;
    return kFolder;
}

std::string NewFolderName(int n, std::string_view base) {
    const std::string name(base);
    return n <= 1 ? name : name + " (" + std::to_string(n) + ")";
}

std::optional<std::string> RenameTarget(std::string_view folderPath, std::string_view newName) {
    if (newName.empty() || newName == "." || newName == ".." ||
        newName.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos)
        return std::nullopt;
    const size_t slash = folderPath.rfind('/');
    if (slash == std::string_view::npos || folderPath.substr(slash + 1) == newName)
        return std::nullopt;
    return std::string(folderPath.substr(0, slash + 1)) + std::string(newName);
}

}  // namespace rd
