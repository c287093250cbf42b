/* The reference copy loop for bench/smb.sh: plain libsmbclient, one client, each file opened,
 * written in 1 MiB writes and closed. With -t it also sets each file's times; with -s it makes
 * each file durable before its close, by an empty write with the write-through flag (Samba's own
 * cli_writeall, as platform/smb_files.cpp does).
 *   smb_loop [-t] [-s] SOURCE smb://server/share/folder
 * SOURCE is a file or a folder of files; they are copied into the folder. The user and password
 * come from SMB_USER and SMB_PASSWORD. */
#define _GNU_SOURCE
#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <libsmbclient.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

enum { kBlock = 1 << 20 };

static SMBCCTX *context;
static int setTimes, durable;
static uint32_t (*writeAll)(void *, uint16_t, uint16_t, const uint8_t *, off_t, size_t, size_t *);
static char block[kBlock];

static void Credentials(SMBCCTX *c, const char *server, const char *share, char *workgroup,
                        int workgroupLength, char *user, int userLength, char *password,
                        int passwordLength) {
    (void)c, (void)server, (void)share, (void)workgroup, (void)workgroupLength;
    snprintf(user, (size_t)userLength, "%s", getenv("SMB_USER") ? getenv("SMB_USER") : "");
    snprintf(password, (size_t)passwordLength, "%s",
             getenv("SMB_PASSWORD") ? getenv("SMB_PASSWORD") : "");
}

static int Fail(const char *what, const char *name) {
    fprintf(stderr, "smb_loop: %s %s: %s\n", what, name, strerror(errno));
    return 1;
}

static int CopyFile(const char *source, const char *url) {
    struct stat st;
    int in = open(source, O_RDONLY);
    if (in < 0 || fstat(in, &st) != 0)
        return Fail("cannot read", source);
    SMBCFILE *out = smbc_getFunctionOpen(context)(context, url, O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (!out)
        return Fail("cannot create", url);
    off_t at = 0;
    for (ssize_t n; (n = read(in, block, kBlock)) > 0; at += n) {
        if (smbc_getFunctionWrite(context)(context, out, block, (size_t)n) != n)
            return Fail("cannot write", url);
    }
    close(in);
    if (durable) {
        /* The head of libsmbclient's SMBCFILE: the file number, then Samba's client state. */
        struct { int fnum; void *cli; } *head = (void *)out;
        if (writeAll(head->cli, (uint16_t)head->fnum, 1, (const uint8_t *)block, at, 0, NULL)) {
            errno = EIO;
            return Fail("cannot sync", url);
        }
    }
    if (smbc_getFunctionClose(context)(context, out) != 0)
        return Fail("cannot close", url);
    if (setTimes) {
        struct timeval times[2] = {{st.st_atim.tv_sec, st.st_atim.tv_nsec / 1000},
                                   {st.st_mtim.tv_sec, st.st_mtim.tv_nsec / 1000}};
        if (smbc_getFunctionUtimes(context)(context, url, times) != 0)
            return Fail("cannot set the times of", url);
    }
    return 0;
}

int main(int argc, char **argv) {
    int option;
    while ((option = getopt(argc, argv, "ts")) != -1) {
        setTimes |= option == 't';
        durable |= option == 's';
        if (option == '?')
            return 2;
    }
    if (argc - optind != 2) {
        fprintf(stderr, "usage: smb_loop [-t] [-s] SOURCE smb://server/share/folder\n");
        return 2;
    }
    const char *source = argv[optind], *folder = argv[optind + 1];
    *(void **)&writeAll = dlsym(RTLD_DEFAULT, "cli_writeall");
    if (durable && !writeAll) {
        fprintf(stderr, "smb_loop: this libsmbclient has no cli_writeall\n");
        return 1;
    }
    context = smbc_new_context();
    smbc_setFunctionAuthDataWithContext(context, Credentials);
    smbc_setOptionUseKerberos(context, 0);
    if (!smbc_init_context(context))
        return Fail("cannot start libsmbclient for", folder);
    char url[4096], path[4096];
    struct stat st;
    if (stat(source, &st) != 0)
        return Fail("cannot find", source);
    if (!S_ISDIR(st.st_mode)) {
        const char *name = strrchr(source, '/') ? strrchr(source, '/') + 1 : source;
        snprintf(url, sizeof url, "%s/%s", folder, name);
        return CopyFile(source, url);
    }
    DIR *dir = opendir(source);
    for (struct dirent *entry; dir && (entry = readdir(dir));) {
        if (entry->d_type != DT_REG)
            continue;
        snprintf(path, sizeof path, "%s/%s", source, entry->d_name);
        snprintf(url, sizeof url, "%s/%s", folder, entry->d_name);
        if (CopyFile(path, url) != 0)
            return 1;
    }
    return dir ? 0 : Fail("cannot list", source);
}
