// Preloaded by the end-to-end tests alone (LD_PRELOAD): opening a path that holds the text of
// $REDODORI_TEST_THROW_ON_OPEN throws, as an error that no part of the program expects would;
// every other open goes to the C library.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

namespace {

void ThrowFor(const char* path) {
    const char* marker = std::getenv("REDODORI_TEST_THROW_ON_OPEN");
    if (marker && *marker && path && std::strstr(path, marker))
        throw std::runtime_error(std::string("a test fault while opening ") + path);
}

// The whole path of `path` opened in `folder`, as the error names it.
std::string WholePath(int folder, const char* path) {
    if (!path || path[0] == '/' || folder == AT_FDCWD)
        return path ? path : "";
    char link[4096];
    const std::string fd = "/proc/self/fd/" + std::to_string(folder);
    const ssize_t n = readlink(fd.c_str(), link, sizeof link);
    return n > 0 ? std::string(link, static_cast<size_t>(n)) + "/" + path : path;
}

bool TakesMode(int flags) {
    return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
}

template <typename Function>
Function Next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" int open(const char* path, int flags, ...) {
    mode_t mode = 0;
    if (TakesMode(flags)) {
        va_list args;
        va_start(args, flags);
        mode = va_arg(args, mode_t);
        va_end(args);
    }
    ThrowFor(path);
    static const auto next = Next<int (*)(const char*, int, ...)>("open");
    return next(path, flags, mode);
}

extern "C" int openat(int folder, const char* path, int flags, ...) {
    mode_t mode = 0;
    if (TakesMode(flags)) {
        va_list args;
        va_start(args, flags);
        mode = va_arg(args, mode_t);
        va_end(args);
    }
    ThrowFor(WholePath(folder, path).c_str());
    static const auto next = Next<int (*)(int, const char*, int, ...)>("openat");
    return next(folder, path, flags, mode);
}
