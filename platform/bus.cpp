#include "platform/bus.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <map>
#include <mutex>
#include <random>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/paths.h"
#include "platform/private_folder.h"

namespace rd::bus {

namespace {

constexpr size_t kPacketSize = 20;
constexpr char kThreadClass[] = "thread";
constexpr char kMarkerName[] = "RedoDoriMutexObject";
// Serialises the test-and-take of the marker between waiting jobs: flock cannot turn an
// exclusive lock into a shared one atomically, and a second waiter must not slip through.
constexpr char kGateName[] = "RedoDoriMutexObject.gate";
constexpr int kBindAttempts = 64;
constexpr auto kSendTimeout = std::chrono::seconds(1);
constexpr auto kMarkerStep = std::chrono::milliseconds(500);
// The longest number a name can carry, for the socket path length check.
constexpr char kLongestId[] = "4294967295";

std::string Message(const std::string& text) {
    return "redodori: " + text;
}

std::string SystemMessage(const std::string& text, int error) {
    return Message(text + ": " + std::system_category().message(error));
}

// Closes the descriptor when it goes out of scope.
class UniqueFd {
public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int Get() const { return fd_; }
    int Release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

// The socket files of this process's live endpoints, with the process that made them: a
// forked child inherits the table and must neither skip nor remove its parent's endpoints.
std::mutex& OwnLock() {
    static auto* lock = new std::mutex;
    return *lock;
}

std::map<std::string, pid_t>& OwnEndpoints() {
    static auto* endpoints = new std::map<std::string, pid_t>;
    return *endpoints;
}

bool IsOwn(const std::string& path) {
    std::lock_guard<std::mutex> guard(OwnLock());
    const auto it = OwnEndpoints().find(path);
    return it != OwnEndpoints().end() && it->second == ::getpid();
}

bool CheckRuntimeDir(const std::string& dir, std::string& error) {
    if (fs::CheckPrivateFolder(dir, "runtime folder", error))
        return true;
    error = Message(error);
    return false;
}

// Posting and finding never prepare the folder (only the fallback below the temporary folder is
// made while it is chosen), but they refuse one that others could have planted, so that no
// packet goes to another user's socket.
bool RuntimeDirUsable(const std::string& dir) {
    std::string ignored;
    return CheckRuntimeDir(dir, ignored);
}

bool ValidClass(const std::string& windowClass) {
    return !windowClass.empty() && windowClass.find('/') == std::string::npos &&
           windowClass.find('\0') == std::string::npos;
}

std::string EndpointPath(const std::string& dir, const std::string& prefix, uint32_t id) {
    return dir + "/" + prefix + "." + std::to_string(id);
}

bool MakeAddress(const std::string& path, sockaddr_un& address, socklen_t& length) {
    if (path.size() >= sizeof(address.sun_path))
        return false;
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
    return true;
}

// Returns 0 or errno.
int Bind(int fd, const std::string& path) {
    sockaddr_un address;
    socklen_t length;
    if (!MakeAddress(path, address, length))
        return ENAMETOOLONG;
    return ::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0 ? 0 : errno;
}

enum class Probe { kLive, kStale, kAbsent, kOther };

// Connecting a datagram socket succeeds only when a socket is bound at the path; a file left
// by a dead process refuses the connection.
Probe ProbePath(const std::string& path) {
    sockaddr_un address;
    socklen_t length;
    if (!MakeAddress(path, address, length))
        return Probe::kOther;
    UniqueFd fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (fd.Get() < 0)
        return Probe::kOther;
    int result;
    do {
        result = ::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), length);
    } while (result != 0 && errno == EINTR);
    if (result == 0)
        return Probe::kLive;
    switch (errno) {
        case ECONNREFUSED: return Probe::kStale;
        case ENOENT: return Probe::kAbsent;
        default: return Probe::kOther;
    }
}

// Only socket files are removed: anything else in the folder is not ours to delete.
void RemoveStale(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode))
        ::unlink(path.c_str());
}

// Binds a new socket to "<runtime>/<prefix>.<id>" with a random id that no live endpoint
// uses, taking over the name of a dead one.
bool BindEndpoint(const std::string& prefix, int& fdOut, uint32_t& idOut, std::string& pathOut,
                  std::string& error) {
    if (!PrepareRuntimeDir(error))
        return false;
    const std::string dir = paths::RuntimeDir();
    const std::string longest = dir + "/" + prefix + "." + kLongestId;
    if (longest.size() >= sizeof(sockaddr_un::sun_path)) {
        error = Message("the runtime folder " + dir +
                        " has too long a path for the message bus (socket paths are limited to " +
                        std::to_string(sizeof(sockaddr_un::sun_path) - 1) + " bytes)");
        return false;
    }
    UniqueFd fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (fd.Get() < 0) {
        error = SystemMessage("cannot create a socket for the message bus", errno);
        return false;
    }
    std::random_device random;
    for (int attempt = 0; attempt < kBindAttempts; ++attempt) {
        const uint32_t id = static_cast<uint32_t>(random());
        if (id == 0)
            continue;
        const std::string path = EndpointPath(dir, prefix, id);
        int result = Bind(fd.Get(), path);
        if (result == EADDRINUSE) {
            const Probe probe = ProbePath(path);
            if (probe == Probe::kStale)
                RemoveStale(path);
            if (probe == Probe::kStale || probe == Probe::kAbsent)
                result = Bind(fd.Get(), path);
        }
        if (result == EADDRINUSE)
            continue;
        if (result != 0) {
            error = SystemMessage("cannot create the endpoint " + path, result);
            return false;
        }
        if (::chmod(path.c_str(), 0600) != 0) {
            error = SystemMessage("cannot protect the endpoint " + path, errno);
            ::unlink(path.c_str());
            return false;
        }
        {
            std::lock_guard<std::mutex> guard(OwnLock());
            OwnEndpoints()[path] = ::getpid();
        }
        fdOut = fd.Release();
        idOut = id;
        pathOut = path;
        return true;
    }
    error = Message("no free endpoint number found in " + dir);
    return false;
}

void Encode(const Packet& packet, unsigned char* out) {
    const uint64_t lParam = static_cast<uint64_t>(packet.lParam);
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<unsigned char>(packet.msg >> (8 * i));
    for (int i = 0; i < 8; ++i) {
        out[4 + i] = static_cast<unsigned char>(packet.wParam >> (8 * i));
        out[12 + i] = static_cast<unsigned char>(lParam >> (8 * i));
    }
}

void Decode(const unsigned char* in, Packet& packet) {
    uint32_t msg = 0;
    uint64_t wParam = 0;
    uint64_t lParam = 0;
    for (int i = 3; i >= 0; --i)
        msg = (msg << 8) | in[i];
    for (int i = 7; i >= 0; --i) {
        wParam = (wParam << 8) | in[4 + i];
        lParam = (lParam << 8) | in[12 + i];
    }
    packet.msg = msg;
    packet.wParam = wParam;
    packet.lParam = static_cast<int64_t>(lParam);
}

// One blocking sending socket per thread: the posts of a thread leave in order, and a full
// receiving queue makes the send wait (up to the send time-out) instead of losing the packet.
class Sender {
public:
    ~Sender() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int Fd() {
        if (fd_ < 0) {
            fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            if (fd_ >= 0) {
                timeval timeout{};
                timeout.tv_sec =
                    std::chrono::duration_cast<std::chrono::seconds>(kSendTimeout).count();
                ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
            }
        }
        return fd_;
    }

private:
    int fd_ = -1;
};

// With `full` the post does not wait for room in the receiver's queue: it fails at once and
// sets `full`.
bool Post(const std::string& name, const Packet& packet, bool* full = nullptr) {
    const std::string dir = paths::RuntimeDir();
    if (!RuntimeDirUsable(dir))
        return false;
    const std::string path = dir + "/" + name;
    sockaddr_un address;
    socklen_t length;
    if (!MakeAddress(path, address, length))
        return false;
    thread_local Sender sender;
    const int fd = sender.Fd();
    if (fd < 0)
        return false;
    unsigned char bytes[kPacketSize];
    Encode(packet, bytes);
    const auto deadline = std::chrono::steady_clock::now() + kSendTimeout;
    const int flags = MSG_NOSIGNAL | (full ? MSG_DONTWAIT : 0);
    if (full)
        *full = false;
    for (;;) {
        const ssize_t sent = ::sendto(fd, bytes, sizeof bytes, flags,
                                      reinterpret_cast<const sockaddr*>(&address), length);
        if (sent == static_cast<ssize_t>(sizeof bytes))
            return true;
        if (sent < 0 && errno == EINTR && std::chrono::steady_clock::now() < deadline)
            continue;
        if (sent < 0 && errno == ECONNREFUSED)
            RemoveStale(path);
        if (sent < 0 && full && (errno == EAGAIN || errno == EWOULDBLOCK))
            *full = true;
        return false;
    }
}

// The handle of a file name "<prefix><digits>", written the way EndpointPath writes it.
bool ParseHandle(const char* name, const std::string& prefix, uint32_t& handle) {
    if (std::strncmp(name, prefix.c_str(), prefix.size()) != 0)
        return false;
    const char* digits = name + prefix.size();
    const char* end = digits + std::strlen(digits);
    if (digits == end || *digits == '0')
        return false;
    const auto [stop, error] = std::from_chars(digits, end, handle);
    return error == std::errc() && stop == end;
}

// Returns 0 or errno.
int Flock(int fd, int operation) {
    int result;
    do {
        result = ::flock(fd, operation);
    } while (result != 0 && errno == EINTR);
    return result == 0 ? 0 : errno;
}

int OpenLockFile(const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        error = SystemMessage("cannot open the job marker " + path, errno);
    return fd;
}

bool OpenMarker(int& fd, std::string& error) {
    if (fd >= 0)
        return true;
    if (!PrepareRuntimeDir(error))
        return false;
    fd = OpenLockFile(paths::RuntimeDir() + "/" + kMarkerName, error);
    return fd >= 0;
}

}  // namespace

bool PrepareRuntimeDir(std::string& error) {
    if (fs::PreparePrivateFolder(paths::RuntimeDir(), "runtime folder", error))
        return true;
    error = Message(error);
    return false;
}

Endpoint::Endpoint(int fd, uint32_t id, std::string path)
    : fd_(fd), id_(id), path_(std::move(path)) {}

std::unique_ptr<Endpoint> Endpoint::CreateWindow(const std::string& windowClass,
                                                 std::string& error) {
    if (!ValidClass(windowClass)) {
        error = Message("invalid window class \"" + windowClass + "\"");
        return nullptr;
    }
    int fd;
    uint32_t id;
    std::string path;
    if (!BindEndpoint(windowClass, fd, id, path, error))
        return nullptr;
    return std::unique_ptr<Endpoint>(new Endpoint(fd, id, std::move(path)));
}

std::unique_ptr<Endpoint> Endpoint::CreateThread(std::string& error) {
    int fd;
    uint32_t id;
    std::string path;
    if (!BindEndpoint(kThreadClass, fd, id, path, error))
        return nullptr;
    return std::unique_ptr<Endpoint>(new Endpoint(fd, id, std::move(path)));
}

Endpoint::~Endpoint() {
    bool own = false;
    {
        std::lock_guard<std::mutex> guard(OwnLock());
        const auto it = OwnEndpoints().find(path_);
        if (it != OwnEndpoints().end() && it->second == ::getpid()) {
            OwnEndpoints().erase(it);
            own = true;
        }
    }
    if (own)
        ::unlink(path_.c_str());
    ::close(fd_);
}

bool Endpoint::Receive(Packet& packet) {
    // One byte more than a packet, so that a longer datagram shows by its size.
    unsigned char buffer[kPacketSize + 1];
    for (;;) {
        const ssize_t size = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (size < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (static_cast<size_t>(size) == kPacketSize) {
            Decode(buffer, packet);
            return true;
        }
    }
}

bool Endpoint::Wait(Packet& packet, int timeoutMs) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        if (Receive(packet))
            return true;
        int remaining = -1;
        if (timeoutMs >= 0) {
            remaining = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(
                                             deadline - std::chrono::steady_clock::now())
                                             .count());
            if (remaining <= 0)
                return false;
        }
        pollfd entry{fd_, POLLIN, 0};
        const int ready = ::poll(&entry, 1, remaining);
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready > 0 && (entry.revents & POLLIN) == 0)
            return false;
    }
}

void Endpoint::StopReceiving() {
    ::shutdown(fd_, SHUT_RD);
}

bool PostToWindow(const std::string& windowClass, uint32_t handle, const Packet& packet) {
    if (!ValidClass(windowClass))
        return false;
    return Post(windowClass + "." + std::to_string(handle), packet);
}

bool TryPostToWindow(const std::string& windowClass, uint32_t handle, const Packet& packet,
                     bool& full) {
    full = false;
    if (!ValidClass(windowClass))
        return false;
    return Post(windowClass + "." + std::to_string(handle), packet, &full);
}

bool PostToThread(uint32_t threadId, const Packet& packet) {
    return Post(std::string(kThreadClass) + "." + std::to_string(threadId), packet);
}

uint32_t FindWindow(const std::string& windowClass) {
    const std::string dir = paths::RuntimeDir();
    if (!ValidClass(windowClass) || !RuntimeDirUsable(dir))
        return 0;
    const std::string prefix = windowClass + ".";
    std::vector<uint32_t> handles;
    if (DIR* folder = ::opendir(dir.c_str())) {
        while (const dirent* entry = ::readdir(folder)) {
            uint32_t handle;
            if (ParseHandle(entry->d_name, prefix, handle))
                handles.push_back(handle);
        }
        ::closedir(folder);
    }
    std::sort(handles.begin(), handles.end());
    for (const uint32_t handle : handles) {
        const std::string path = EndpointPath(dir, windowClass, handle);
        if (IsOwn(path))
            continue;
        switch (ProbePath(path)) {
            case Probe::kLive: return handle;
            case Probe::kStale: RemoveStale(path); break;
            case Probe::kAbsent:
            case Probe::kOther: break;
        }
    }
    return 0;
}

bool JobMarker::Hold(std::string& error) {
    if (!OpenMarker(fd_, error))
        return false;
    if (const int result = Flock(fd_, LOCK_SH)) {
        error = SystemMessage("cannot hold the job marker", result);
        return false;
    }
    return true;
}

bool JobMarker::WaitForOthers(std::string& error) {
    if (!OpenMarker(fd_, error))
        return false;
    UniqueFd gate(OpenLockFile(paths::RuntimeDir() + "/" + kGateName, error));
    if (gate.Get() < 0)
        return false;
    for (;;) {
        Flock(fd_, LOCK_UN);
        std::this_thread::sleep_for(kMarkerStep);
        if (const int result = Flock(gate.Get(), LOCK_EX)) {
            error = SystemMessage("cannot wait for the other jobs", result);
            return false;
        }
        const int taken = Flock(fd_, LOCK_EX | LOCK_NB);
        const int shared = taken == 0 ? Flock(fd_, LOCK_SH) : 0;
        Flock(gate.Get(), LOCK_UN);
        if (taken == EWOULDBLOCK)
            continue;
        const int result = taken ? taken : shared;
        if (result) {
            error = SystemMessage("cannot wait for the other jobs", result);
            return false;
        }
        return true;
    }
}

void JobMarker::Release() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

JobMarker::~JobMarker() {
    Release();
}

}  // namespace rd::bus
