/* A FUSE file system for the tests: passes every call through to a backing folder and counts
 * the requests the kernel sends, by opcode. The counts go to a file when the file system is
 * unmounted, one "NAME COUNT" line per opcode seen.
 *
 * Usage: fuse_counter BACKING MOUNTPOINT COUNTS [-o OPTIONS]
 *
 * The operations are the library's high-level ones; the requests are counted as they come off
 * the device, before the library splits them into calls, so that one request that makes
 * several calls (a create answers with the new file's attributes) counts once. */
#define FUSE_USE_VERSION 31
#define _GNU_SOURCE

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <fuse_lowlevel.h>
#include <linux/fuse.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

static int backing = -1;

/* The path below the backing folder: "." for the mount's root. */
static const char* Rel(const char* path) {
    return path[1] ? path + 1 : ".";
}

static int Result(int rc) {
    return rc < 0 ? -errno : rc;
}

static int FsGetattr(const char* path, struct stat* st, struct fuse_file_info* fi) {
    if (fi)
        return Result(fstat((int)fi->fh, st));
    return Result(fstatat(backing, Rel(path), st, AT_SYMLINK_NOFOLLOW));
}

static int FsReadlink(const char* path, char* buf, size_t size) {
    const ssize_t n = readlinkat(backing, Rel(path), buf, size - 1);
    if (n < 0)
        return -errno;
    buf[n] = '\0';
    return 0;
}

static int FsMkdir(const char* path, mode_t mode) {
    return Result(mkdirat(backing, Rel(path), mode));
}

static int FsUnlink(const char* path) {
    return Result(unlinkat(backing, Rel(path), 0));
}

static int FsRmdir(const char* path) {
    return Result(unlinkat(backing, Rel(path), AT_REMOVEDIR));
}

static int FsSymlink(const char* target, const char* path) {
    return Result(symlinkat(target, backing, Rel(path)));
}

static int FsRename(const char* from, const char* to, unsigned int flags) {
    return Result(renameat2(backing, Rel(from), backing, Rel(to), flags));
}

static int FsLink(const char* from, const char* to) {
    return Result(linkat(backing, Rel(from), backing, Rel(to), 0));
}

static int FsChmod(const char* path, mode_t mode, struct fuse_file_info* fi) {
    if (fi)
        return Result(fchmod((int)fi->fh, mode));
    return Result(fchmodat(backing, Rel(path), mode, 0));
}

static int FsChown(const char* path, uid_t uid, gid_t gid, struct fuse_file_info* fi) {
    if (fi)
        return Result(fchown((int)fi->fh, uid, gid));
    return Result(fchownat(backing, Rel(path), uid, gid, AT_SYMLINK_NOFOLLOW));
}

static int FsTruncate(const char* path, off_t size, struct fuse_file_info* fi) {
    if (fi)
        return Result(ftruncate((int)fi->fh, size));
    const int fd = openat(backing, Rel(path), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return -errno;
    const int rc = Result(ftruncate(fd, size));
    close(fd);
    return rc;
}

static int FsUtimens(const char* path, const struct timespec tv[2], struct fuse_file_info* fi) {
    if (fi)
        return Result(futimens((int)fi->fh, tv));
    return Result(utimensat(backing, Rel(path), tv, AT_SYMLINK_NOFOLLOW));
}

static int FsOpen(const char* path, struct fuse_file_info* fi) {
    const int fd = openat(backing, Rel(path), fi->flags & ~O_NOFOLLOW);
    if (fd < 0)
        return -errno;
    fi->fh = (uint64_t)fd;
    return 0;
}

static int FsCreate(const char* path, mode_t mode, struct fuse_file_info* fi) {
    const int fd = openat(backing, Rel(path), fi->flags | O_CREAT, mode);
    if (fd < 0)
        return -errno;
    fi->fh = (uint64_t)fd;
    return 0;
}

static int FsRead(const char* path, char* buf, size_t size, off_t at, struct fuse_file_info* fi) {
    (void)path;
    return Result((int)pread((int)fi->fh, buf, size, at));
}

static int FsWrite(const char* path, const char* buf, size_t size, off_t at,
                   struct fuse_file_info* fi) {
    (void)path;
    return Result((int)pwrite((int)fi->fh, buf, size, at));
}

static int FsStatfs(const char* path, struct statvfs* st) {
    (void)path;
    return Result(fstatvfs(backing, st));
}

/* A close of a descriptor the kernel holds: what a later close would report is reported now. */
static int FsFlush(const char* path, struct fuse_file_info* fi) {
    (void)path;
    return Result(close(dup((int)fi->fh)));
}

static int FsRelease(const char* path, struct fuse_file_info* fi) {
    (void)path;
    close((int)fi->fh);
    return 0;
}

static int FsFsync(const char* path, int dataOnly, struct fuse_file_info* fi) {
    (void)path;
    return Result(dataOnly ? fdatasync((int)fi->fh) : fsync((int)fi->fh));
}

static int FsOpendir(const char* path, struct fuse_file_info* fi) {
    const int fd = openat(backing, Rel(path), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = fd < 0 ? NULL : fdopendir(fd);
    if (!dir) {
        const int error = errno;
        if (fd >= 0)
            close(fd);
        return -error;
    }
    fi->fh = (uint64_t)(uintptr_t)dir;
    return 0;
}

static int FsReaddir(const char* path, void* buf, fuse_fill_dir_t fill, off_t at,
                     struct fuse_file_info* fi, enum fuse_readdir_flags flags) {
    (void)path;
    (void)at;
    (void)flags;
    DIR* dir = (DIR*)(uintptr_t)fi->fh;
    rewinddir(dir);
    for (struct dirent* entry; (entry = readdir(dir)) != NULL;) {
        struct stat st = {.st_ino = entry->d_ino, .st_mode = (mode_t)DTTOIF(entry->d_type)};
        if (fill(buf, entry->d_name, &st, 0, 0))
            break;
    }
    return 0;
}

static int FsReleasedir(const char* path, struct fuse_file_info* fi) {
    (void)path;
    closedir((DIR*)(uintptr_t)fi->fh);
    return 0;
}

/* No extended attributes, as a network share's daemon has none: the kernel stops asking after
 * the first answer. */
static const struct fuse_operations kOperations = {
    .getattr = FsGetattr,
    .readlink = FsReadlink,
    .mkdir = FsMkdir,
    .unlink = FsUnlink,
    .rmdir = FsRmdir,
    .symlink = FsSymlink,
    .rename = FsRename,
    .link = FsLink,
    .chmod = FsChmod,
    .chown = FsChown,
    .truncate = FsTruncate,
    .open = FsOpen,
    .read = FsRead,
    .write = FsWrite,
    .statfs = FsStatfs,
    .flush = FsFlush,
    .release = FsRelease,
    .fsync = FsFsync,
    .opendir = FsOpendir,
    .readdir = FsReaddir,
    .releasedir = FsReleasedir,
    .create = FsCreate,
    .utimens = FsUtimens,
};

/* Names of the opcodes the tests meet; any other is written as "opcode<N>". */
static const char* OpcodeName(uint32_t opcode) {
    switch (opcode) {
        case FUSE_LOOKUP: return "LOOKUP";
        case FUSE_FORGET: return "FORGET";
        case FUSE_GETATTR: return "GETATTR";
        case FUSE_SETATTR: return "SETATTR";
        case FUSE_READLINK: return "READLINK";
        case FUSE_SYMLINK: return "SYMLINK";
        case FUSE_MKNOD: return "MKNOD";
        case FUSE_MKDIR: return "MKDIR";
        case FUSE_UNLINK: return "UNLINK";
        case FUSE_RMDIR: return "RMDIR";
        case FUSE_RENAME: return "RENAME";
        case FUSE_LINK: return "LINK";
        case FUSE_OPEN: return "OPEN";
        case FUSE_READ: return "READ";
        case FUSE_WRITE: return "WRITE";
        case FUSE_STATFS: return "STATFS";
        case FUSE_RELEASE: return "RELEASE";
        case FUSE_FSYNC: return "FSYNC";
        case FUSE_SETXATTR: return "SETXATTR";
        case FUSE_GETXATTR: return "GETXATTR";
        case FUSE_LISTXATTR: return "LISTXATTR";
        case FUSE_REMOVEXATTR: return "REMOVEXATTR";
        case FUSE_FLUSH: return "FLUSH";
        case FUSE_INIT: return "INIT";
        case FUSE_OPENDIR: return "OPENDIR";
        case FUSE_READDIR: return "READDIR";
        case FUSE_RELEASEDIR: return "RELEASEDIR";
        case FUSE_FSYNCDIR: return "FSYNCDIR";
        case FUSE_ACCESS: return "ACCESS";
        case FUSE_CREATE: return "CREATE";
        case FUSE_INTERRUPT: return "INTERRUPT";
        case FUSE_DESTROY: return "DESTROY";
        case FUSE_IOCTL: return "IOCTL";
        case FUSE_BATCH_FORGET: return "BATCH_FORGET";
        case FUSE_FALLOCATE: return "FALLOCATE";
        case FUSE_READDIRPLUS: return "READDIRPLUS";
        case FUSE_RENAME2: return "RENAME2";
        case FUSE_LSEEK: return "LSEEK";
        case FUSE_COPY_FILE_RANGE: return "COPY_FILE_RANGE";
        default: return NULL;
    }
}

enum { kOpcodes = 64 };

static int WriteCounts(const char* path, const unsigned long* counts) {
    FILE* out = fopen(path, "w");
    if (!out)
        return -1;
    for (uint32_t op = 0; op < kOpcodes; ++op) {
        if (counts[op] == 0)
            continue;
        const char* name = OpcodeName(op);
        if (name)
            fprintf(out, "%s %lu\n", name, counts[op]);
        else
            fprintf(out, "opcode%u %lu\n", op, counts[op]);
    }
    return fclose(out);
}

/* One request at a time, each counted by the opcode in its header before it is handled. */
static void Serve(struct fuse_session* session, unsigned long* counts) {
    struct fuse_buf buf = {0};
    while (!fuse_session_exited(session)) {
        const int got = fuse_session_receive_buf(session, &buf);
        if (got == -EINTR)
            continue;
        if (got <= 0)
            break;
        if ((size_t)got >= sizeof(struct fuse_in_header) && !(buf.flags & FUSE_BUF_IS_FD)) {
            const struct fuse_in_header* in = buf.mem;
            counts[in->opcode < kOpcodes ? in->opcode : 0]++;
        }
        fuse_session_process_buf(session, &buf);
    }
    free(buf.mem);
}

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: %s BACKING MOUNTPOINT COUNTS [-o OPTIONS]\n", argv[0]);
        return 2;
    }
    backing = open(argv[1], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (backing < 0) {
        perror(argv[1]);
        return 1;
    }
    struct fuse_args args = FUSE_ARGS_INIT(0, NULL);
    fuse_opt_add_arg(&args, argv[0]);
    for (int i = 4; i < argc; ++i)
        fuse_opt_add_arg(&args, argv[i]);
    struct fuse* fs = fuse_new(&args, &kOperations, sizeof kOperations, NULL);
    if (!fs)
        return 1;
    if (fuse_mount(fs, argv[2]) != 0) {
        fuse_destroy(fs);
        return 3;
    }
    struct fuse_session* session = fuse_get_session(fs);
    fuse_set_signal_handlers(session);
    unsigned long counts[kOpcodes] = {0};
    Serve(session, counts);
    fuse_remove_signal_handlers(session);
    fuse_unmount(fs);
    fuse_destroy(fs);
    fuse_opt_free_args(&args);
    return WriteCounts(argv[3], counts) == 0 ? 0 : 1;
}
