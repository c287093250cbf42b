#include "platform/smb_library.h"

#include <dlfcn.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace rd::smb {

namespace {

// libsmbclient pulls in about a hundred Samba libraries, which took longer to load than all the
// rest of the program: it is opened on the first call that goes to the network, so that a job
// never loads it. The soname is that of the interface libsmbclient.h describes.
constexpr char kLibraryFile[] = "libsmbclient.so.0";

template <typename Function>
bool Resolve(void* handle, const char* name, Function& out) {
    out = reinterpret_cast<Function>(::dlsym(handle, name));
    return out != nullptr;
}

#define RD_RESOLVE(name) Resolve(handle, #name, l.name)

bool ResolveAll(void* handle, Library& l) {
    return RD_RESOLVE(smbc_new_context) && RD_RESOLVE(smbc_free_context) &&
           RD_RESOLVE(smbc_init_context) && RD_RESOLVE(smbc_getOptionUserData) &&
           RD_RESOLVE(smbc_setOptionUserData) && RD_RESOLVE(smbc_setFunctionAuthDataWithContext) &&
           RD_RESOLVE(smbc_setTimeout) && RD_RESOLVE(smbc_setOptionUseKerberos) &&
           RD_RESOLVE(smbc_setOptionNoAutoAnonymousLogin) && RD_RESOLVE(smbc_getFunctionOpendir) &&
           RD_RESOLVE(smbc_getFunctionReaddir) && RD_RESOLVE(smbc_getFunctionClosedir) &&
           RD_RESOLVE(smbc_getFunctionCreat) && RD_RESOLVE(smbc_getFunctionOpen) &&
           RD_RESOLVE(smbc_getFunctionRead) && RD_RESOLVE(smbc_getFunctionWrite) &&
           RD_RESOLVE(smbc_getFunctionLseek) && RD_RESOLVE(smbc_getFunctionFtruncate) &&
           RD_RESOLVE(smbc_getFunctionClose) && RD_RESOLVE(smbc_getFunctionStat) &&
           RD_RESOLVE(smbc_getFunctionFstat) && RD_RESOLVE(smbc_getFunctionUtimes) &&
           RD_RESOLVE(smbc_getFunctionMkdir) && RD_RESOLVE(smbc_getFunctionRmdir) &&
           RD_RESOLVE(smbc_getFunctionRename) && RD_RESOLVE(smbc_getFunctionUnlink) &&
           RD_RESOLVE(smbc_getFunctionStatVFS);
}

#undef RD_RESOLVE

// Whether the library is a Samba whose open files begin as smb_files.cpp reads them: 4.17, the
// version that was checked, and the 4.x after it, which keep that head.
bool KnownFileHead(void* handle) {
    decltype(&::smbc_version) version = nullptr;
    unsigned major = 0;
    unsigned minor = 0;
    return Resolve(handle, "smbc_version", version) &&
           std::sscanf(version(), "%u.%u", &major, &minor) == 2 && major == 4 && minor >= 17;
}

// Opens the library (REDODORI_SMBCLIENT_LIBRARY names another file, for the tests); when it
// cannot, stderr says why, once.
bool Open(Library& library) {
    const char* set = std::getenv("REDODORI_SMBCLIENT_LIBRARY");
    void* handle = ::dlopen(set && set[0] ? set : kLibraryFile, RTLD_NOW | RTLD_LOCAL);
    if (handle && ResolveAll(handle, library)) {
        // The library writes to its sockets without MSG_NOSIGNAL: a server that closes its
        // connection would otherwise end the whole process instead of failing the call.
        ::signal(SIGPIPE, SIG_IGN);
        Resolve(handle, "smbc_getFunctionReaddirPlus2", library.smbc_getFunctionReaddirPlus2);
        // Looked up through the library's own dependencies, where Samba keeps it.
        if (KnownFileHead(handle)) {
            Resolve(handle, "cli_writeall", library.cli_writeall);
            Resolve(handle, "cli_setfileinfo_ext", library.cli_setfileinfo_ext);
        }
        return true;
    }
    const char* why = ::dlerror();
    std::fprintf(stderr, "redodori: the SMB network is not available: %s\n",
                 why ? why : "libsmbclient lacks a function this program calls");
    return false;
}

void CopyTo(char* out, int length, const std::string& text) {
    if (length <= 0)
        return;
    std::strncpy(out, text.c_str(), static_cast<size_t>(length) - 1);
    out[length - 1] = '\0';
}

void GiveCredentials(SMBCCTX* context, const char*, const char*, char* workgroup,
                     int workgroupLength, char* user, int userLength, char* password,
                     int passwordLength) {
    const auto* credentials =
        static_cast<const Credentials*>(Smb()->smbc_getOptionUserData(context));
    if (!credentials->domain.empty())
        CopyTo(workgroup, workgroupLength, credentials->domain);
    CopyTo(user, userLength, credentials->user);
    CopyTo(password, passwordLength, credentials->password);
}

}  // namespace

const Library* Smb() {
    static Library library;
    static const bool loaded = Open(library);
    return loaded ? &library : nullptr;
}

std::unique_lock<std::recursive_mutex> HoldLibrary() {
    static std::recursive_mutex lock;
    return std::unique_lock<std::recursive_mutex>(lock);
}

void FreeContext::operator()(SMBCCTX* context) const {
    const auto held = HoldLibrary();
    Smb()->smbc_free_context(context, 1);
}

Context MakeContext(const Credentials& credentials, int timeoutMs) {
    const auto held = HoldLibrary();
    const Library* l = Smb();
    if (!l)
        return nullptr;
    SMBCCTX* context = l->smbc_new_context();
    if (!context)
        return nullptr;
    l->smbc_setOptionUserData(context, const_cast<Credentials*>(&credentials));
    l->smbc_setFunctionAuthDataWithContext(context, GiveCredentials);
    l->smbc_setTimeout(context, timeoutMs);
    l->smbc_setOptionUseKerberos(context, 0);
    l->smbc_setOptionNoAutoAnonymousLogin(context, credentials.user.empty() ? 0 : 1);
    if (!l->smbc_init_context(context)) {
        l->smbc_free_context(context, 0);
        return nullptr;
    }
    return Context(context);
}

}  // namespace rd::smb
