#include "platform/network_view.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <mutex>

namespace rd::netview {

namespace {

using StatusFn = int (*)(int);
using GetHostFn = int (*)(int, char*, int);
using MetaVarFn = int (*)(int, uint32_t, const char*, char*, uint32_t*);
using HostByTextFn = uint32_t (*)(int, const char*, int);

struct Library {
    StatusFn status = nullptr;
    GetHostFn getHost = nullptr;
    MetaVarFn metaVar = nullptr;
    HostByTextFn hostByText = nullptr;
};

std::string ProgramFolder() {
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return {};
    const std::string exe(path, static_cast<size_t>(length));
    return exe.substr(0, exe.rfind('/'));
}

// The first library that loads with all four functions; the others are unloaded again.
const Library& Loaded() {
    static Library library;
    static std::once_flag once;
    std::call_once(once, [] {
        const std::string folder = ProgramFolder();
        for (const char* name : {"librazavar.so", "libzeraz.so"}) {
            for (const std::string& path : {folder + "/" + name, std::string(name)}) {
                void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
                if (!handle)
                    continue;
                Library found;
                found.status = reinterpret_cast<StatusFn>(::dlsym(handle, "NVGetDezUzazStatus"));
                found.getHost = reinterpret_cast<GetHostFn>(::dlsym(handle, "NVGetHostA"));
                found.metaVar = reinterpret_cast<MetaVarFn>(::dlsym(handle, "NVGetMetaVarA"));
                found.hostByText =
                    reinterpret_cast<HostByTextFn>(::dlsym(handle, "NVGetHostByTextA"));
                if (found.status && found.getHost && found.metaVar && found.hostByText) {
                    library = found;
                    return;
                }
                ::dlclose(handle);
            }
        }
    });
    return library;
}

std::string MetaVar(const Library& library, uint32_t host, const char* name) {
    char buffer[256] = {};
    uint32_t length = 255;
    library.metaVar(0, host, name, buffer, &length);
    buffer[255] = '\0';
    return buffer;
}

}  // namespace

bool Usable() {
    const Library& library = Loaded();
    return library.status && library.status(0) != 0;
}

std::vector<Host> Hosts() {
    std::vector<Host> hosts;
    if (!Usable())
        return hosts;
    const Library& library = Loaded();
    char record[kHostRecordSize] = {};
    // A view that never ends its list still ends here.
    for (int n = 0; n < 65536; ++n) {
        std::memset(record + kHostHandleOffset, 0, sizeof(uint32_t));
        library.getHost(0, record, 0);
        record[kHostHandleOffset - 1] = '\0';
        uint32_t handle = 0;
        std::memcpy(&handle, record + kHostHandleOffset, sizeof handle);
        if (handle == 0)
            break;
        hosts.push_back({record, MetaVar(library, handle, "flags"),
                         MetaVar(library, handle, "ison"), MetaVar(library, handle, "ctime"),
                         MetaVar(library, handle, "sdesc")});
    }
    return hosts;
}

bool Credentials(const std::string& host, std::string& user, std::string& password) {
    if (!Usable())
        return false;
    const Library& library = Loaded();
    const uint32_t handle = library.hostByText(0, host.c_str(), 0);
    if (handle == 0)
        return false;
    user = MetaVar(library, handle, "user");
    password = MetaVar(library, handle, "pass");
    return !user.empty();
}

}  // namespace rd::netview
