#include "platform/smb_client.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <libsmbclient.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace rd::smb {

namespace {

// libsmbclient pulls in about a hundred Samba libraries, which took longer to load than all the
// rest of the program: it is opened on the first call that goes to the network, so that a job
// never loads it. The soname is that of the interface libsmbclient.h describes.
constexpr char kLibraryFile[] = "libsmbclient.so.0";

// The library's functions this client calls, named as the library names them.
struct Library {
    bool loaded = false;
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
    decltype(&::smbc_getFunctionClose) smbc_getFunctionClose = nullptr;
    decltype(&::smbc_getFunctionUnlink) smbc_getFunctionUnlink = nullptr;
    decltype(&::smbc_getFunctionStatVFS) smbc_getFunctionStatVFS = nullptr;
};

template <typename Function>
bool Resolve(void* handle, const char* name, Function& out) {
    out = reinterpret_cast<Function>(::dlsym(handle, name));
    return out != nullptr;
}

bool ResolveAll(void* handle, Library& l) {
    return Resolve(handle, "smbc_new_context", l.smbc_new_context) &&
           Resolve(handle, "smbc_free_context", l.smbc_free_context) &&
           Resolve(handle, "smbc_init_context", l.smbc_init_context) &&
           Resolve(handle, "smbc_getOptionUserData", l.smbc_getOptionUserData) &&
           Resolve(handle, "smbc_setOptionUserData", l.smbc_setOptionUserData) &&
           Resolve(handle, "smbc_setFunctionAuthDataWithContext",
                   l.smbc_setFunctionAuthDataWithContext) &&
           Resolve(handle, "smbc_setTimeout", l.smbc_setTimeout) &&
           Resolve(handle, "smbc_setOptionUseKerberos", l.smbc_setOptionUseKerberos) &&
           Resolve(handle, "smbc_setOptionNoAutoAnonymousLogin",
                   l.smbc_setOptionNoAutoAnonymousLogin) &&
           Resolve(handle, "smbc_getFunctionOpendir", l.smbc_getFunctionOpendir) &&
           Resolve(handle, "smbc_getFunctionReaddir", l.smbc_getFunctionReaddir) &&
           Resolve(handle, "smbc_getFunctionClosedir", l.smbc_getFunctionClosedir) &&
           Resolve(handle, "smbc_getFunctionCreat", l.smbc_getFunctionCreat) &&
           Resolve(handle, "smbc_getFunctionClose", l.smbc_getFunctionClose) &&
           Resolve(handle, "smbc_getFunctionUnlink", l.smbc_getFunctionUnlink) &&
           Resolve(handle, "smbc_getFunctionStatVFS", l.smbc_getFunctionStatVFS);
}

// Opens the library (REDODORI_SMBCLIENT_LIBRARY names another file, for the tests); when it
// cannot, stderr says why, once. It stays open for the process's life: Samba's libraries do not
// expect to be unloaded.
Library Open() {
    Library library;
    const char* set = std::getenv("REDODORI_SMBCLIENT_LIBRARY");
    void* handle = ::dlopen(set && set[0] ? set : kLibraryFile, RTLD_NOW | RTLD_LOCAL);
    if (handle && ResolveAll(handle, library)) {
        library.loaded = true;
        return library;
    }
    const char* why = ::dlerror();
    std::fprintf(stderr, "redodori: the SMB network is not available: %s\n",
                 why ? why : "libsmbclient lacks a function this program calls");
    return library;
}

// The library once opened, or null.
const Library* Smb() {
    static const Library library = Open();
    return library.loaded ? &library : nullptr;
}

void CopyTo(char* out, int length, const std::string& text) {
    if (length <= 0)
        return;
    std::strncpy(out, text.c_str(), static_cast<size_t>(length) - 1);
    out[length - 1] = '\0';
}

void GiveCredentials(SMBCCTX* context, const char*, const char*, char*, int, char* user,
                     int userLength, char* password, int passwordLength) {
    const auto* credentials =
        static_cast<const Credentials*>(Smb()->smbc_getOptionUserData(context));
    CopyTo(user, userLength, credentials->user);
    CopyTo(password, passwordLength, credentials->password);
}

struct FreeContext {
    void operator()(SMBCCTX* context) const { Smb()->smbc_free_context(context, 1); }
};
using Context = std::unique_ptr<SMBCCTX, FreeContext>;

// A client of its own, asking nothing of the user: no saved Kerberos ticket, no guest fallback
// when credentials were given, no configuration file of the user's.
// The caller has made sure that the library is open.
Context MakeContext(const Credentials& credentials, int timeoutMs) {
    const Library& l = *Smb();
    SMBCCTX* context = l.smbc_new_context();
    if (!context)
        return nullptr;
    l.smbc_setOptionUserData(context, const_cast<Credentials*>(&credentials));
    l.smbc_setFunctionAuthDataWithContext(context, GiveCredentials);
    l.smbc_setTimeout(context, timeoutMs);
    l.smbc_setOptionUseKerberos(context, 0);
    l.smbc_setOptionNoAutoAnonymousLogin(context, credentials.user.empty() ? 0 : 1);
    if (!l.smbc_init_context(context)) {
        l.smbc_free_context(context, 0);
        return nullptr;
    }
    return Context(context);
}

Result FromErrno(int error) {
    return error == EACCES || error == EPERM ? Result::AccessDenied : Result::Unreachable;
}

// The entries of `url` of the kinds wanted.
Result List(const std::string& url, const Credentials& credentials, int timeoutMs,
            unsigned int wanted, std::vector<Entry>& out) {
    const Library* l = Smb();
    if (!l)
        return Result::NotAvailable;
    const Context context = MakeContext(credentials, timeoutMs);
    if (!context)
        return Result::Unreachable;
    SMBCFILE* folder = l->smbc_getFunctionOpendir(context.get())(context.get(), url.c_str());
    if (!folder)
        return FromErrno(errno);
    while (const smbc_dirent* entry =
               l->smbc_getFunctionReaddir(context.get())(context.get(), folder)) {
        if (entry->smbc_type == wanted)
            out.push_back({entry->name, entry->comment ? entry->comment : ""});
    }
    l->smbc_getFunctionClosedir(context.get())(context.get(), folder);
    return Result::Ok;
}

}  // namespace

bool Available() {
    return true;
}

Result Servers(int timeoutMs, std::vector<Entry>& out) {
    std::vector<Entry> groups;
    const Credentials guest;
    const Result result = List("smb://", guest, timeoutMs, SMBC_WORKGROUP, groups);
    if (result != Result::Ok)
        return result;
    for (const Entry& group : groups)
        List("smb://" + group.name + "/", guest, timeoutMs, SMBC_SERVER, out);
    return Result::Ok;
}

Result Shares(const std::string& host, const Credentials& credentials, int timeoutMs,
              std::vector<Entry>& out) {
    return List("smb://" + host + "/", credentials, timeoutMs, SMBC_FILE_SHARE, out);
}

Result Folders(const std::string& host, const std::string& share, const std::string& folder,
               const Credentials& credentials, int timeoutMs, std::vector<Entry>& out) {
    std::vector<Entry> entries;
    const Result result = List("smb://" + host + "/" + share + "/" + folder, credentials, timeoutMs,
                               SMBC_DIR, entries);
    for (Entry& entry : entries) {
        if (entry.name != "." && entry.name != "..")
            out.push_back(std::move(entry));
    }
    return result;
}

Result WriteTest(const std::string& host, const std::string& share, const Credentials& credentials,
                 int timeoutMs) {
    const Library* l = Smb();
    if (!l)
        return Result::NotAvailable;
    const Context context = MakeContext(credentials, timeoutMs);
    if (!context)
        return Result::Unreachable;
    const std::string url = "smb://" + host + "/" + share + "/vn.dat";
    SMBCFILE* file = l->smbc_getFunctionCreat(context.get())(context.get(), url.c_str(), 0600);
    if (!file)
        return FromErrno(errno);
    l->smbc_getFunctionClose(context.get())(context.get(), file);
    if (l->smbc_getFunctionUnlink(context.get())(context.get(), url.c_str()) != 0)
        return FromErrno(errno);
    return Result::Ok;
}

std::optional<uint64_t> FreeSpace(const std::string& host, const std::string& share,
                                  const Credentials& credentials, int timeoutMs) {
    const Library* l = Smb();
    if (!l)
        return std::nullopt;
    const Context context = MakeContext(credentials, timeoutMs);
    if (!context)
        return std::nullopt;
    std::string url = "smb://" + host + "/" + share + "/";
    struct statvfs facts = {};
    if (l->smbc_getFunctionStatVFS(context.get())(context.get(), url.data(), &facts) != 0)
        return std::nullopt;
    const uint64_t unit = facts.f_frsize ? facts.f_frsize : facts.f_bsize;
    if (unit == 0)
        return std::nullopt;
    return uint64_t{facts.f_bavail} * unit;
}

}  // namespace rd::smb
