// libsmbclient, opened on first use and shared by the SMB client (browsing) and the SMB file
// sessions. Only sources built against libsmbclient's header include this one.
#pragma once

#include <libsmbclient.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/smb_client.h"

namespace rd::smb {

// The library's functions the program calls, named as the library names them.
struct Library {
    decltype(&::smbc_new_context) smbc_new_context = nullptr;
    decltype(&::smbc_free_context) smbc_free_context = nullptr;
    decltype(&::smbc_init_context) smbc_init_context = nullptr;
    decltype(&::smbc_getOptionUserData) smbc_getOptionUserData = nullptr;
    decltype(&::smbc_setOptionUserData) smbc_setOptionUserData = nullptr;
    decltype(&::smbc_setFunctionAuthDataWithContext) smbc_setFunctionAuthDataWithContext = nullptr;
    decltype(&::smbc_setTimeout) smbc_setTimeout = nullptr;
    decltype(&::smbc_setOptionUseKerberos) smbc_setOptionUseKerberos = nullptr;
    decltype(&::smbc_setOptionNoAutoAnonymousLogin) smbc_setOptionNoAutoAnonymousLogin = nullptr;
    decltype(&::smbc_getFunctionOpendir) smbc_getFunctionOpendir = nullptr;
    decltype(&::smbc_getFunctionReaddir) smbc_getFunctionReaddir = nullptr;
    decltype(&::smbc_getFunctionClosedir) smbc_getFunctionClosedir = nullptr;
    decltype(&::smbc_getFunctionCreat) smbc_getFunctionCreat = nullptr;
    decltype(&::smbc_getFunctionOpen) smbc_getFunctionOpen = nullptr;
    decltype(&::smbc_getFunctionRead) smbc_getFunctionRead = nullptr;
    decltype(&::smbc_getFunctionWrite) smbc_getFunctionWrite = nullptr;
    decltype(&::smbc_getFunctionLseek) smbc_getFunctionLseek = nullptr;
    decltype(&::smbc_getFunctionFtruncate) smbc_getFunctionFtruncate = nullptr;
    decltype(&::smbc_getFunctionClose) smbc_getFunctionClose = nullptr;
    decltype(&::smbc_getFunctionStat) smbc_getFunctionStat = nullptr;
    decltype(&::smbc_getFunctionFstat) smbc_getFunctionFstat = nullptr;
    decltype(&::smbc_getFunctionUtimes) smbc_getFunctionUtimes = nullptr;
    decltype(&::smbc_getFunctionMkdir) smbc_getFunctionMkdir = nullptr;
    decltype(&::smbc_getFunctionRmdir) smbc_getFunctionRmdir = nullptr;
    decltype(&::smbc_getFunctionRename) smbc_getFunctionRename = nullptr;
    decltype(&::smbc_getFunctionUnlink) smbc_getFunctionUnlink = nullptr;
    decltype(&::smbc_getFunctionStatVFS) smbc_getFunctionStatVFS = nullptr;
    // A folder's names with what each is (Samba 4.12 on; null before): a listing that costs no
    // request a name.
    decltype(&::smbc_getFunctionReaddirPlus2) smbc_getFunctionReaddirPlus2 = nullptr;
    // Samba's own client call beneath libsmbclient's write, which is not part of libsmbclient's
    // interface (null when the library does not carry it): unlike smbc_write it passes write
    // flags to the server (smb_files.h says what for). Its arguments: Samba's client state and
    // file number of an open file, the flags, the bytes, their offset and size, and where the
    // count written goes; it answers an NTSTATUS code, 0 for success.
    uint32_t (*cli_writeall)(void* cli, uint16_t fnum, uint16_t mode, const uint8_t* data,
                             off_t offset, size_t size, size_t* written) = nullptr;
    // The same for the times of an open file (libsmbclient sets them only by name, which costs
    // an open and a close more): creation, access, write and change time, each left as it is
    // when its nanoseconds are UTIME_OMIT, and attributes, 0 leaving them as they are.
    uint32_t (*cli_setfileinfo_ext)(void* cli, uint16_t fnum, timespec created, timespec accessed,
                                    timespec written, timespec changed,
                                    uint32_t attributes) = nullptr;
};

// The library once opened, or null when it cannot be (stderr has said why, once). It stays open
// for the process's life: Samba's libraries do not expect to be unloaded.
const Library* Smb();

// libsmbclient keeps its temporary memory in one stack for the whole process, and the library as
// built here has no thread support to change that: two calls at once from two threads free each
// other's frames. Every use of the library (a client, its calls, its end) holds this lock.
std::unique_lock<std::recursive_mutex> HoldLibrary();

struct FreeContext {
    void operator()(SMBCCTX* context) const;
};
using Context = std::unique_ptr<SMBCCTX, FreeContext>;

// A client of its own, asking nothing of the user: no saved Kerberos ticket, no guest fallback
// when credentials were given, no configuration file of the user's. `credentials` must outlive
// it. Null when the library is not open or the client cannot be made.
Context MakeContext(const Credentials& credentials, int timeoutMs);

}  // namespace rd::smb
