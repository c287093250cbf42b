#include "app/chooser_model.h"

#include <gtest/gtest.h>

#include "platform/paths.h"
#include "test_support.h"

namespace rd {
namespace {

using Kind = SelectedNode::Kind;

TEST(ChooserModel, NodePaths) {
    const struct {
        std::vector<std::string> names;
        const char* path;
    } cases[] = {
        {{"/"}, "/"},
        {{"/", "first", "second"}, "/first/second/"},
        {{"/media/usb"}, "/media/usb/"},
        {{"/media/usb", "a"}, "/media/usb/a/"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NodePath(c.names), c.path) << c.path;
}

TEST(ChooserModel, SelectionAndTargetTexts) {
    test::PrivateEnvironment env;
    const std::string folder = env.Dir() / "favorites";
    ASSERT_EQ(paths::MakePath(folder), 0);
    test::WriteFile(folder + "/two.lst", "/x/\r\n/y/\r\n");

    const struct {
        std::vector<SelectedNode> selection;
        const char* text;
        const char* target;
    } cases[] = {
        // Two folders on two volumes: joined by "?", none after the last.
        {{{Kind::Folder, "/a/"}, {Kind::Folder, "/media/usb/b/"}},
         "/a/?/media/usb/b/",
         "/a/?/media/usb/b/?"},
        {{{Kind::Folder, "/a/"}}, "/a/", "/a/?"},
        {{{Kind::Favourite, "two"}}, "/x/?/y/?", "/x/?/y/?"},
        {{{Kind::Folder, "/a/"}, {Kind::Favourite, "two"}}, "/a/?/x/?/y/?", "/a/?/x/?/y/?"},
        {{{Kind::Favourite, "two"}, {Kind::Folder, "/a/"}}, "/x/?/y/?/a/", "/x/?/y/?/a/?"},
        // The network root and hosts add nothing, not even a separator.
        {{{Kind::Nothing, "\\\\"}, {Kind::Folder, "/a/"}}, "/a/", "/a/?"},
        {{{Kind::Favourite, "missing"}}, "", "?"},
        {{}, "", "?"},
    };
    for (const auto& c : cases) {
        const std::string text = SelectionText(c.selection, folder);
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(TargetText(text), c.target) << c.text;
    }
}

TEST(ChooserModel, FreeSpaceTexts) {
    const uint64_t kGb = uint64_t{1} << 30;
    const struct {
        uint64_t bytes;
        uint64_t value;
        const char* unit;
    } cases[] = {
        {0, 0, " bytes"},
        {10240, 10240, " bytes"},
        {10241, 10, " kb"},
        {10240 * 1024, 10240, " kb"},
        {10240 * 1024 + 1023, 10240, " kb"},  // integer division: still 10240 kb
        {10241 * 1024, 10, " mb"},
        {12 * kGb, 12, " gb"},
        // At most three steps: terabytes stay in gigabytes.
        {5000 * kGb * 1024, 5000 * 1024, " gb"},
        {~uint64_t{0}, ~uint64_t{0} >> 30, " gb"},
    };
    for (const auto& c : cases) {
        const ScaledSize size = ScaleFreeSpace(c.bytes);
        EXPECT_EQ(size.value, c.value) << c.bytes;
        EXPECT_EQ(size.unit, c.unit) << c.bytes;
    }
    EXPECT_EQ(RootText("/media/usb", "DATA", 12 * kGb), "/media/usb (DATA) ~12 gb free");
    EXPECT_EQ(RootText("/", "", 10241), "/ ~10 kb free");
}

TEST(ChooserModel, ShareTexts) {
    const uint64_t kGb = uint64_t{1} << 30;
    EXPECT_EQ(ShareFreeText("rw  (Writable)", 12 * kGb), "rw  (Writable) ~12 gb free");
    EXPECT_EQ(ShareFreeText("rw", 0), "rw ~0 bytes free");
    EXPECT_EQ(ShareFreeText("rw", kUnknownFree), "rw ~unknown free");
    EXPECT_EQ(ShareFreeText("rw", kUnknownFree, "frei", "unbekannt"), "rw ~unbekannt frei");
}

TEST(ChooserModel, EntryColours) {
    const struct {
        int writable;
        uint64_t total;
        uint64_t free;
        EntryColour colour;
        uint32_t value;
    } cases[] = {
        // A read-only folder is red even when the job fits.
        {0, 100, 1000, EntryColour::NotWritable, 255},
        {0, 0, kUnknownFree, EntryColour::NotWritable, 255},
        {1, 0, 1000, EntryColour::Default, 0},
        {1, 100, kUnknownFree, EntryColour::Default, 0},
        {1, 1001, 1000, EntryColour::TooSmall, 0x8000FF},
        {1, 1000, 1000, EntryColour::Fits, 0x8000},
        {-1, 100, 1000, EntryColour::Fits, 0x8000},
        {-1, 2000, 1000, EntryColour::TooSmall, 0x8000FF},
    };
    for (const auto& c : cases) {
        const EntryColour colour = ColourOfEntry(c.writable, c.total, c.free);
        EXPECT_EQ(colour, c.colour) << c.writable << " " << c.total << " " << c.free;
        EXPECT_EQ(ColourValue(colour), c.value);
    }
}

TEST(ChooserModel, WalkToLastDir) {
    const std::vector<std::string> roots = {"/", "/home/me", "/media/usb/", "/media/usb2"};
    const struct {
        const char* lastDir;
        bool found;
        const char* root;
        std::vector<std::string> names;
    } cases[] = {
        {"/srv/data/", true, "/", {"srv", "data"}},
        {"/home/me/docs/old/", true, "/home/me", {"docs", "old"}},
        {"/home/me", true, "/home/me", {}},
        // A name without a closing "/" is not looked up.
        {"/home/me/docs/part", true, "/home/me", {"docs"}},
        {"/media/usb/a//b/", true, "/media/usb/", {"a", "b"}},
        {"/media/usb2/a/", true, "/media/usb2", {"a"}},
        // A name that merely begins like a mount point is not on it.
        {"/home/meier/x/", true, "/", {"home", "meier", "x"}},
        {"/a/?/b/", false, "", {}},
        {"/a/?", false, "", {}},
        {"relative/path/", false, "", {}},
        {"\\\\host\\share\\", false, "", {}},
        {"", false, "", {}},
    };
    for (const auto& c : cases) {
        const auto walk = WalkToLastDir(c.lastDir, roots);
        ASSERT_EQ(walk.has_value(), c.found) << c.lastDir;
        if (!walk)
            continue;
        EXPECT_EQ(walk->root, c.root) << c.lastDir;
        EXPECT_EQ(walk->names, c.names) << c.lastDir;
    }
    EXPECT_FALSE(WalkToLastDir("/a/", {"/media/usb"}).has_value());
}

TEST(ChooserModel, CaptionVolumesAndRenames) {
    EXPECT_EQ(ChooserCaption(false, 0), "RedoDori to...");
    EXPECT_EQ(ChooserCaption(true, 0), "VornMove to...");
    EXPECT_EQ(ChooserCaption(false, 10241), "10 kb RedoDori to...");
    EXPECT_EQ(ChooserCaption(true, 12ull << 30), "12 gb VornMove to...");

    const struct {
        const char* device;
        const char* type;
        bool shown;
    } volumes[] = {
        {"/dev/sda1", "ext4", true},      {"tmpfs", "tmpfs", true},
        {"proc", "proc", false},          {"sysfs", "sysfs", false},
        {"overlay", "overlay", false},    {"/dev/loop3", "squashfs", false},
        {"server:/export", "nfs", true},  {"//host/share", "cifs", true},
        {"me@host:", "fuse.sshfs", true}, {"portal", "fuse.portal", false},
    };
    for (const auto& v : volumes)
        EXPECT_EQ(IsChooserVolume(v.device, v.type), v.shown) << v.device << " " << v.type;

    // The kind of drive decides the picture; fixed drives get one each, up to the seventh.
    using namespace chooser_image;
    const struct {
        MountFacts mount;
        VolumeType type;
        int fixedBefore;
        int image;
    } drives[] = {
        {{"/dev/sda1", "ext4", "sda", false}, VolumeType::Fixed, 0, kFirstFixed},
        {{"/dev/nvme0n1p2", "btrfs", "nvme0n1", false}, VolumeType::Fixed, 6, kLastFixed},
        {{"/dev/sdc1", "ext4", "sdc", false}, VolumeType::Fixed, 7, kOtherDrive},
        {{"/dev/sdb1", "vfat", "sdb", true}, VolumeType::Removable, 0, kRemovable},
        {{"/dev/sr0", "udf", "sr0", true}, VolumeType::Optical, 0, kOptical},
        {{"/dev/loop0", "iso9660", "loop0", false}, VolumeType::Optical, 0, kOptical},
        {{"server:/export", "nfs4", "", false}, VolumeType::Network, 0, kNetworkDrive},
        {{"tmpfs", "tmpfs", "", false}, VolumeType::RamDisk, 0, kOtherDrive},
        {{"/dev/mapper/x", "ext4", "", false}, VolumeType::Unknown, 0, kOtherDrive},
    };
    for (const auto& d : drives) {
        EXPECT_EQ(TypeOfVolume(d.mount), d.type) << d.mount.device;
        EXPECT_EQ(RootImage(d.type, d.fixedBefore), d.image) << d.mount.device;
    }
    EXPECT_EQ(FolderImage(1, 1), kFolder);
    EXPECT_EQ(FolderImage(2, 1), kHost);
    EXPECT_EQ(FolderImage(2, 2), kShare);
    EXPECT_EQ(FolderImage(2, 3), kFolder);
    EXPECT_EQ(NewFolderName(1), "New folder");
    EXPECT_EQ(NewFolderName(12), "New folder (12)");

    const struct {
        const char* folder;
        std::string name;
        const char* target;  // nullptr: no rename
    } renames[] = {
        {"/media/usb/old", "new", "/media/usb/new"},
        {"/top", "other", "/other"},
        {"/media/usb/old", "old", nullptr},
        {"/media/usb/old", "", nullptr},
        {"/media/usb/old", ".", nullptr},
        {"/media/usb/old", "..", nullptr},
        {"/media/usb/old", "a/b", nullptr},
        {"/media/usb/old", std::string("a\0b", 3), nullptr},
        {"relative", "x", nullptr},
    };
    for (const auto& r : renames) {
        const auto target = RenameTarget(r.folder, r.name);
        ASSERT_EQ(target.has_value(), r.target != nullptr) << r.folder << " " << r.name;
        if (target) {
            EXPECT_EQ(*target, r.target);
        }
    }
}

// Stored values replace the designed ones; incomplete stored placements centre the chooser on a
// 1024 x 768 screen, with the size it ends up with.
TEST(ChooserModel, FrameFromTheStoredPlacement) {
    const Frame designed{10, 20, 401, 300};
    StoredPlacement all;
    all.hasLeft = all.hasTop = all.hasWidth = all.hasHeight = true;
    all.left = 5, all.top = 6, all.width = 500, all.height = 400;
    StoredPlacement leftAndTop;
    leftAndTop.hasLeft = leftAndTop.hasTop = true;
    leftAndTop.left = 7, leftAndTop.top = 8;
    const struct {
        const char* what;
        StoredPlacement placed;
        bool centre;
        Frame frame;
    } cases[] = {
        {"all stored", all, false, {5, 6, 500, 400}},
        {"nothing stored", {}, true, {311, 234, 401, 300}},
        {"position only, so centred at the designed size", leftAndTop, true, {311, 234, 401, 300}},
        {"chooser whole but the progress window's incomplete", all, true, {262, 184, 500, 400}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChooserFrame(c.placed, c.centre, designed, 1024, 768), c.frame) << c.what;
}

}  // namespace
}  // namespace rd
