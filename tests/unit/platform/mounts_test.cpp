#include "platform/mounts.h"

#include <gtest/gtest.h>

namespace rd::mounts {

TEST(Mounts, TypeOfTheLongestMountAbove) {
    const std::string table =
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "30 22 0:40 / /home rw shared:2 - btrfs /dev/sda2 rw,subvol=/home\n"
        "31 22 0:41 / /mnt/nas rw - nfs4 nas:/export rw,vers=4.2\n"
        "32 22 0:42 / /mnt/my\\040share rw - cifs //pc/share rw\n"
        "33 30 0:43 / /home/me/remote rw,nosuid master:7 - fuse.sshfs me@host: rw\n"
        "34 22 0:44 / /mnt/nasty rw - tmpfs tmpfs rw\n"
        "35 22 0:45 / /mnt/nas rw - tmpfs tmpfs rw\n"
        "garbage line\n"
        "36 22 0:46 / /odd rw\n";
    const struct {
        const char* path;
        const char* type;
    } cases[] = {
        {"/", "ext4"},
        {"/etc/passwd", "ext4"},
        {"/home/me", "btrfs"},
        {"/home/me/remote/docs", "fuse.sshfs"},
        {"/home/me/remoteless", "btrfs"},  // a prefix of a name is no folder above it
        {"/mnt/my share/x", "cifs"},       // blanks escaped in the table
        {"/mnt/nasty/a", "tmpfs"},
        {"/mnt/nas/a", "tmpfs"},  // mounted over the NFS share later
        {"/odd/x", "ext4"},       // a line without its type is passed over
    };
    for (const auto& c : cases)
        EXPECT_EQ(TypeIn(table, c.path), c.type) << c.path;
    EXPECT_EQ(TypeIn("", "/x"), "");
    EXPECT_EQ(PointOf(table, "//PC/Share"), "/mnt/my share");
    EXPECT_EQ(PointOf(table, "nas:/export"), "/mnt/nas");
    EXPECT_EQ(PointOf(table, "//pc/other"), "");
    EXPECT_EQ(TypeOf("/no/such/path/here"), "");
    EXPECT_FALSE(TypeOf("/").empty());
}

TEST(Mounts, DeviceAsAUserKnowsIt) {
    const std::string table =
        "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
        "31 22 0:41 / /mnt/nas rw - nfs4 nas:/export rw\n"
        "32 22 0:42 / /mnt/my\\040share rw - cifs //pc/share rw\n"
        "33 22 0:43 / /home/me/remote rw - fuse.sshfs me@host: rw\n"
        "34 22 0:44 / /tmp rw - tmpfs tmpfs rw\n"
        "35 22 0:45 / /run/user/1000/gvfs rw - fuse.gvfsd-fuse gvfsd-fuse rw\n"
        "36 22 8:17 / /media/stick rw - fuseblk /dev/sdb1 rw\n";
    const struct {
        const char* path;
        const char* device;
    } cases[] = {
        {"/home/me/file", "/dev/sda1"},
        {"/mnt/nas/a", "nas:/export"},
        {"/mnt/my share/x", "//pc/share"},
        {"/home/me/remote/docs", "me@host:"},
        {"/tmp/x", "/tmp"},                                            // "tmpfs" names no place
        {"/run/user/1000/gvfs/smb-share:x/y", "/run/user/1000/gvfs"},  // nor does "gvfsd-fuse"
        {"/media/stick/a", "/dev/sdb1"},                               // a FUSE driver of a disk
    };
    for (const auto& c : cases)
        EXPECT_EQ(DeviceIn(table, c.path), c.device) << c.path;
    EXPECT_EQ(DeviceIn("", "/x"), "");
    EXPECT_EQ(DeviceOf("/no/such/path/here"), "/no/such/path/here");
    EXPECT_FALSE(DeviceOf("/").empty());
}

}  // namespace rd::mounts
