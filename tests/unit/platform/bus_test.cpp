#include "platform/bus.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <cstring>
#include <functional>
#include <limits>
#include <set>
#include <thread>
#include <vector>

#include "test_support.h"

namespace bus = rd::bus;
using rd::test::PrivateEnvironment;
using rd::test::WriteFile;

namespace {

const char kWindowClass[] = "TRedoDoriWnd";

bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

mode_t ModeOf(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

sockaddr_un AddressOf(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    return address;
}

// A plain datagram socket bound at `path`, standing for an endpoint of some other program.
int BindRaw(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = AddressOf(path);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        ADD_FAILURE() << "cannot bind " << path << ": " << std::strerror(errno);
    return fd;
}

// A socket file whose owner is gone, as a crashed process leaves it.
void MakeStale(const std::string& path) {
    ::close(BindRaw(path));
}

void SendRaw(const std::string& path, const void* data, size_t size) {
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = AddressOf(path);
    EXPECT_EQ(
        ::sendto(fd, data, size, 0, reinterpret_cast<const sockaddr*>(&address), sizeof address),
        static_cast<ssize_t>(size));
    ::close(fd);
}

long ElapsedMs(std::chrono::steady_clock::time_point start) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count());
}

// Whether a job that waits for the others could take the marker now.
bool MarkerFree(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const bool free = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

// A forked child that runs `body` and ends with its result, with a pipe each way for
// small messages. A child still running when the object ends is killed.
class Child {
public:
    explicit Child(const std::function<int(Child&)>& body) {
        if (::pipe(toParent_) != 0 || ::pipe(toChild_) != 0)
            ADD_FAILURE() << "pipe failed";
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(toParent_[0]);
            ::close(toChild_[1]);
            inChild_ = true;
            ::_exit(body(*this));
        }
        ::close(toParent_[1]);
        ::close(toChild_[0]);
        if (pid_ < 0)
            ADD_FAILURE() << "fork failed";
    }
    ~Child() {
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(toParent_[0]);
        ::close(toChild_[1]);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Sends one number to the other side.
    void Tell(uint32_t value) {
        const int fd = inChild_ ? toParent_[1] : toChild_[1];
        if (::write(fd, &value, sizeof value) != sizeof value && !inChild_)
            ADD_FAILURE() << "write to the child failed";
    }
    // Waits up to 10 s for one number from the other side; false when none came.
    bool Hear(uint32_t& value) {
        const int fd = inChild_ ? toChild_[0] : toParent_[0];
        pollfd entry{fd, POLLIN, 0};
        return ::poll(&entry, 1, 10000) == 1 && ::read(fd, &value, sizeof value) == sizeof value;
    }
    // The child's exit status, or -1 when it did not end normally.
    int Join() {
        int status = 0;
        if (::waitpid(pid_, &status, 0) != pid_)
            return -1;
        reaped_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    int toParent_[2] = {-1, -1};
    int toChild_[2] = {-1, -1};
    bool inChild_ = false;
    bool reaped_ = false;
};

class BusTest : public ::testing::Test {
protected:
    std::string Runtime() const { return env_.RuntimeDir() + "/redodori"; }
    std::string PathOf(const std::string& name) const { return Runtime() + "/" + name; }
    std::string WindowPath(uint32_t handle) const {
        return PathOf(std::string(kWindowClass) + "." + std::to_string(handle));
    }
    std::unique_ptr<bus::Endpoint> Window() {
        std::string error;
        auto endpoint = bus::Endpoint::CreateWindow(kWindowClass, error);
        EXPECT_TRUE(endpoint) << error;
        return endpoint;
    }
    std::unique_ptr<bus::Endpoint> Thread() {
        std::string error;
        auto endpoint = bus::Endpoint::CreateThread(error);
        EXPECT_TRUE(endpoint) << error;
        return endpoint;
    }
    void PrepareOrFail() {
        std::string error;
        ASSERT_TRUE(bus::PrepareRuntimeDir(error)) << error;
    }

    PrivateEnvironment env_;
};

}  // namespace

TEST_F(BusTest, PacketsRoundTripToWindowAndThreadEndpoints) {
    auto window = Window();
    auto thread = Thread();
    ASSERT_TRUE(window && thread);
    EXPECT_NE(window->Id(), 0u);
    EXPECT_NE(thread->Id(), 0u);
    EXPECT_TRUE(S_ISSOCK(ModeOf(WindowPath(window->Id()))));
    EXPECT_EQ(ModeOf(WindowPath(window->Id())) & 0777, 0600u);
    EXPECT_TRUE(Exists(PathOf("thread." + std::to_string(thread->Id()))));

    const bus::Packet sent{34122, 0xFEDCBA9876543210ull, -2};
    ASSERT_TRUE(bus::PostToWindow(kWindowClass, window->Id(), sent));
    const bus::Packet extreme{18, std::numeric_limits<uint64_t>::max(),
                              std::numeric_limits<int64_t>::min()};
    ASSERT_TRUE(bus::PostToThread(thread->Id(), extreme));

    bus::Packet got;
    ASSERT_TRUE(window->Receive(got));
    EXPECT_EQ(got.msg, sent.msg);
    EXPECT_EQ(got.wParam, sent.wParam);
    EXPECT_EQ(got.lParam, sent.lParam);
    EXPECT_FALSE(window->Receive(got));

    ASSERT_TRUE(thread->Wait(got, 1000));
    EXPECT_EQ(got.msg, 18u);
    EXPECT_EQ(got.wParam, extreme.wParam);
    EXPECT_EQ(got.lParam, extreme.lParam);

    const std::string path = WindowPath(window->Id());
    window.reset();
    EXPECT_FALSE(Exists(path));
}

TEST_F(BusTest, PacketsAreTwentyLittleEndianBytes) {
    auto window = Window();
    ASSERT_TRUE(window);
    ASSERT_TRUE(
        bus::PostToWindow(kWindowClass, window->Id(), {0x01020304u, 0x1112131415161718ull, -2}));
    unsigned char raw[64];
    ASSERT_EQ(::recv(window->Fd(), raw, sizeof raw, MSG_DONTWAIT), 20);
    const unsigned char expected[20] = {0x04, 0x03, 0x02, 0x01, 0x18, 0x17, 0x16, 0x15, 0x14, 0x13,
                                        0x12, 0x11, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(std::memcmp(raw, expected, sizeof expected), 0);

    const unsigned char incoming[20] = {0x4A, 0x85, 0,    0, 0x07, 0, 0, 0, 0, 0,
                                        0,    0x80, 0x01, 0, 0,    0, 0, 0, 0, 0x80};
    SendRaw(WindowPath(window->Id()), incoming, sizeof incoming);
    bus::Packet got;
    ASSERT_TRUE(window->Receive(got));
    EXPECT_EQ(got.msg, 34122u);
    EXPECT_EQ(got.wParam, 0x8000000000000007ull);
    EXPECT_EQ(got.lParam, std::numeric_limits<int64_t>::min() + 1);
}

TEST_F(BusTest, DatagramsOfAnotherSizeAreDropped) {
    auto window = Window();
    ASSERT_TRUE(window);
    const std::string path = WindowPath(window->Id());
    const unsigned char junk[100] = {1, 2, 3};
    SendRaw(path, junk, 19);
    SendRaw(path, junk, 21);
    SendRaw(path, junk, 0);
    SendRaw(path, junk, sizeof junk);
    ASSERT_TRUE(bus::PostToWindow(kWindowClass, window->Id(), {7, 8, 9}));
    SendRaw(path, junk, 1);

    bus::Packet got;
    ASSERT_TRUE(window->Receive(got));
    EXPECT_EQ(got.msg, 7u);
    EXPECT_EQ(got.wParam, 8u);
    EXPECT_EQ(got.lParam, 9);
    EXPECT_FALSE(window->Receive(got));
    EXPECT_FALSE(window->Wait(got, 50));
}

TEST_F(BusTest, WaitGivesUpAfterItsTimeoutAndWakesForAPacket) {
    auto thread = Thread();
    ASSERT_TRUE(thread);
    bus::Packet got;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(thread->Wait(got, 150));
    EXPECT_GE(ElapsedMs(start), 140);

    const uint32_t id = thread->Id();
    std::thread poster([id] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        bus::PostToThread(id, {42, 1, 2});
    });
    start = std::chrono::steady_clock::now();
    const bool woke = thread->Wait(got, -1);
    poster.join();
    ASSERT_TRUE(woke);
    EXPECT_EQ(got.msg, 42u);
    EXPECT_GE(ElapsedMs(start), 90);
}

// The receiving queue holds only a few datagrams, so the sender must wait for room.
TEST_F(BusTest, ThousandPostsArriveInOrderThroughAFullQueue) {
    auto window = Window();
    ASSERT_TRUE(window);
    constexpr int kCount = 1000;
    std::vector<uint64_t> received;
    std::thread receiver([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        bus::Packet got;
        while (received.size() < static_cast<size_t>(kCount) && window->Wait(got, 5000))
            received.push_back(got.wParam);
    });
    int failed = 0;
    for (int i = 0; i < kCount; ++i) {
        if (!bus::PostToWindow(kWindowClass, window->Id(), {1, static_cast<uint64_t>(i), -i}))
            ++failed;
    }
    receiver.join();
    EXPECT_EQ(failed, 0);
    ASSERT_EQ(received.size(), static_cast<size_t>(kCount));
    for (int i = 0; i < kCount; ++i)
        ASSERT_EQ(received[i], static_cast<uint64_t>(i)) << "at " << i;
}

TEST_F(BusTest, PostingToADeadEndpointFailsAndRemovesItsFile) {
    PrepareOrFail();
    MakeStale(WindowPath(77));
    MakeStale(PathOf("thread.78"));
    ASSERT_TRUE(Exists(WindowPath(77)));
    EXPECT_FALSE(bus::PostToWindow(kWindowClass, 77, {1, 2, 3}));
    EXPECT_FALSE(Exists(WindowPath(77)));
    EXPECT_FALSE(bus::PostToThread(78, {1, 2, 3}));
    EXPECT_FALSE(Exists(PathOf("thread.78")));
    EXPECT_FALSE(bus::PostToWindow(kWindowClass, 79, {1, 2, 3}));
    EXPECT_FALSE(bus::PostToWindow("Bad/Class", 79, {1, 2, 3}));

    // A file that is not a socket is nobody's endpoint, but it is not removed either.
    WriteFile(WindowPath(80), "x");
    EXPECT_FALSE(bus::PostToWindow(kWindowClass, 80, {1, 2, 3}));
    EXPECT_TRUE(Exists(WindowPath(80)));
}

TEST_F(BusTest, AfterStopReceivingPostsFailAndWaitingPacketsAreStillTaken) {
    std::string error;
    auto endpoint = bus::Endpoint::CreateThread(error);
    ASSERT_TRUE(endpoint) << error;
    ASSERT_TRUE(bus::PostToThread(endpoint->Id(), {5, 6, 7}));
    endpoint->StopReceiving();
    EXPECT_FALSE(bus::PostToThread(endpoint->Id(), {8, 9, 10}));
    bus::Packet packet;
    ASSERT_TRUE(endpoint->Receive(packet));
    EXPECT_EQ(packet.msg, 5u);
    EXPECT_FALSE(endpoint->Receive(packet));
}

TEST_F(BusTest, AnEndpointOfACrashedProcessIsStale) {
    PrepareOrFail();
    Child child([](Child& self) {
        std::string error;
        auto window = bus::Endpoint::CreateWindow(kWindowClass, error);
        if (!window)
            return 1;
        self.Tell(window->Id());
        // Ends without running the destructor, as a crash would.
        ::_exit(0);
    });
    uint32_t handle = 0;
    ASSERT_TRUE(child.Hear(handle));
    ASSERT_EQ(child.Join(), 0);
    ASSERT_TRUE(Exists(WindowPath(handle)));
    EXPECT_FALSE(bus::PostToWindow(kWindowClass, handle, {1, 2, 3}));
    EXPECT_FALSE(Exists(WindowPath(handle)));
}

TEST_F(BusTest, ThreadEndpointsGetDistinctIds) {
    std::vector<std::unique_ptr<bus::Endpoint>> threads;
    std::set<uint32_t> ids;
    for (int i = 0; i < 50; ++i) {
        threads.push_back(Thread());
        ASSERT_TRUE(threads.back());
        EXPECT_NE(threads.back()->Id(), 0u);
        ids.insert(threads.back()->Id());
    }
    EXPECT_EQ(ids.size(), threads.size());
    for (const auto& thread : threads)
        ASSERT_TRUE(bus::PostToThread(thread->Id(), {thread->Id(), 0, 0}));
    for (const auto& thread : threads) {
        bus::Packet got;
        ASSERT_TRUE(thread->Receive(got));
        EXPECT_EQ(got.msg, thread->Id());
    }
}

TEST_F(BusTest, FindWindowSkipsTheOwnProcess) {
    auto own = Window();
    ASSERT_TRUE(own);
    EXPECT_EQ(bus::FindWindow(kWindowClass), 0u);
}

TEST_F(BusTest, FindWindowFindsAnotherProcessAndPostsReachIt) {
    auto own = Window();
    ASSERT_TRUE(own);
    Child child([](Child& self) {
        std::string error;
        auto window = bus::Endpoint::CreateWindow(kWindowClass, error);
        if (!window)
            return 1;
        // The endpoint table came along with the fork, yet the parent is another process.
        self.Tell(bus::FindWindow(kWindowClass));
        self.Tell(window->Id());
        uint32_t go = 0;
        if (!self.Hear(go))
            return 2;
        bus::Packet got;
        if (!window->Wait(got, 10000) || got.msg != 1234 || got.lParam != -5)
            return 3;
        return 0;
    });
    uint32_t parentSeen = 0;
    uint32_t handle = 0;
    ASSERT_TRUE(child.Hear(parentSeen));
    ASSERT_TRUE(child.Hear(handle));
    EXPECT_EQ(parentSeen, own->Id());
    EXPECT_NE(handle, own->Id());
    EXPECT_EQ(bus::FindWindow(kWindowClass), handle);
    EXPECT_TRUE(bus::PostToWindow(kWindowClass, handle, {1234, 0, -5}));
    child.Tell(1);
    EXPECT_EQ(child.Join(), 0);
    // The child ended normally and took its endpoint with it.
    EXPECT_FALSE(Exists(WindowPath(handle)));
    EXPECT_EQ(bus::FindWindow(kWindowClass), 0u);
    // The child's copy of the table did not remove the parent's endpoint.
    EXPECT_TRUE(Exists(WindowPath(own->Id())));
}

TEST_F(BusTest, FindWindowRemovesStaleEndpointsAndIgnoresOtherNames) {
    PrepareOrFail();
    MakeStale(WindowPath(5));
    WriteFile(WindowPath(6), "not a socket");
    const int other = BindRaw(PathOf("OtherWnd.7"));
    const int leadingZero = BindRaw(PathOf(std::string(kWindowClass) + ".08"));
    const int noNumber = BindRaw(PathOf(std::string(kWindowClass) + ".x9"));
    const int prefixOnly = BindRaw(PathOf(std::string(kWindowClass) + "X.9"));
    EXPECT_EQ(bus::FindWindow(kWindowClass), 0u);
    EXPECT_FALSE(Exists(WindowPath(5)));
    EXPECT_TRUE(Exists(WindowPath(6)));
    EXPECT_TRUE(Exists(PathOf("OtherWnd.7")));

    // Of several live windows the lowest handle wins; stale ones before it are removed.
    MakeStale(WindowPath(3));
    const int high = BindRaw(WindowPath(4000000000u));
    const int low = BindRaw(WindowPath(11));
    EXPECT_EQ(bus::FindWindow(kWindowClass), 11u);
    EXPECT_FALSE(Exists(WindowPath(3)));
    EXPECT_EQ(bus::FindWindow("OtherWnd"), 7u);
    for (const int fd : {other, leadingZero, noNumber, prefixOnly, high, low})
        ::close(fd);
}

TEST_F(BusTest, PrepareRuntimeDirCreatesAPrivateFolder) {
    ASSERT_FALSE(Exists(Runtime()));
    std::string error;
    ASSERT_TRUE(bus::PrepareRuntimeDir(error)) << error;
    EXPECT_TRUE(S_ISDIR(ModeOf(Runtime())));
    EXPECT_EQ(ModeOf(Runtime()) & 0777, 0700u);
    EXPECT_TRUE(bus::PrepareRuntimeDir(error)) << error;
}

TEST_F(BusTest, AFolderOpenToOthersIsRefused) {
    PrepareOrFail();
    const int live = BindRaw(WindowPath(5));
    ASSERT_EQ(bus::FindWindow(kWindowClass), 5u);
    ASSERT_EQ(::chmod(Runtime().c_str(), 0755), 0);

    std::string error;
    EXPECT_FALSE(bus::PrepareRuntimeDir(error));
    EXPECT_NE(error.find(Runtime()), std::string::npos) << error;
    EXPECT_NE(error.find("is open to other users (mode 0755)"), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(bus::Endpoint::CreateWindow(kWindowClass, error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(bus::FindWindow(kWindowClass), 0u);
    EXPECT_FALSE(bus::PostToWindow(kWindowClass, 5, {1, 2, 3}));
    bus::JobMarker marker;
    error.clear();
    EXPECT_FALSE(marker.Hold(error));
    EXPECT_FALSE(error.empty());
    ::close(live);
}

TEST_F(BusTest, ASymbolicLinkOrAFileIsRefused) {
    const std::string real = env_.Dir() / "real";
    ASSERT_EQ(::mkdir(real.c_str(), 0700), 0);
    ASSERT_EQ(::symlink(real.c_str(), Runtime().c_str()), 0);
    std::string error;
    EXPECT_FALSE(bus::PrepareRuntimeDir(error));
    EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;

    ASSERT_EQ(::unlink(Runtime().c_str()), 0);
    ASSERT_EQ(::symlink((env_.Dir() / "nowhere").c_str(), Runtime().c_str()), 0);
    error.clear();
    EXPECT_FALSE(bus::PrepareRuntimeDir(error));
    EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;

    ASSERT_EQ(::unlink(Runtime().c_str()), 0);
    WriteFile(Runtime(), "x");
    error.clear();
    EXPECT_FALSE(bus::PrepareRuntimeDir(error));
    EXPECT_NE(error.find("not a folder"), std::string::npos) << error;
}

TEST_F(BusTest, AFolderOfAnotherUserIsRefused) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can give the folder to another user";
    PrepareOrFail();
    ASSERT_EQ(::chown(Runtime().c_str(), 65534, 65534), 0);
    std::string error;
    EXPECT_FALSE(bus::PrepareRuntimeDir(error));
    EXPECT_NE(error.find("belongs to another user; refusing to use it"), std::string::npos)
        << error;
    EXPECT_EQ(bus::FindWindow(kWindowClass), 0u);
}

TEST_F(BusTest, ATooLongRuntimePathGivesAClearError) {
    const std::string deep = env_.Dir() / std::string(100, 'd');
    ASSERT_EQ(::setenv("XDG_RUNTIME_DIR", deep.c_str(), 1), 0);
    std::string error;
    EXPECT_FALSE(bus::Endpoint::CreateWindow(kWindowClass, error));
    EXPECT_NE(error.find("too long"), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(bus::Endpoint::CreateThread(error));
    EXPECT_NE(error.find("too long"), std::string::npos) << error;
    EXPECT_FALSE(bus::PostToThread(1, {1, 2, 3}));
    EXPECT_EQ(bus::FindWindow(kWindowClass), 0u);
}

TEST_F(BusTest, HoldingTheMarkerKeepsOthersFromTakingItAlone) {
    const std::string lockPath = PathOf("RedoDoriMutexObject");
    {
        bus::JobMarker marker;
        std::string error;
        ASSERT_TRUE(marker.Hold(error)) << error;
        EXPECT_EQ(ModeOf(lockPath) & 0777, 0600u);
        EXPECT_FALSE(MarkerFree(lockPath));
    }
    EXPECT_TRUE(MarkerFree(lockPath));
}

TEST_F(BusTest, WaitForOthersWaitsOnceWhenNobodyElseHoldsTheMarker) {
    bus::JobMarker marker;
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(marker.WaitForOthers(error)) << error;
    EXPECT_GE(ElapsedMs(start), 450);

    EXPECT_FALSE(MarkerFree(PathOf("RedoDoriMutexObject")));
}

TEST_F(BusTest, WaitForOthersWaitsUntilAnotherJobEnds) {
    PrepareOrFail();
    Child child([](Child& self) {
        bus::JobMarker marker;
        std::string error;
        if (!marker.Hold(error))
            return 1;
        self.Tell(1);
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        ::_exit(0);
    });
    uint32_t holding = 0;
    ASSERT_TRUE(child.Hear(holding));
    bus::JobMarker marker;
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(marker.WaitForOthers(error)) << error;
    // The first 500 ms step finds the child still holding the marker.
    EXPECT_GE(ElapsedMs(start), 600);
    EXPECT_EQ(child.Join(), 0);

    // Now this process holds it: another job may join, a waiting one may not pass.
    Child second([](Child&) {
        bus::JobMarker marker;
        std::string error;
        return marker.Hold(error) ? 0 : 1;
    });
    EXPECT_EQ(second.Join(), 0);
    EXPECT_FALSE(MarkerFree(PathOf("RedoDoriMutexObject")));
}
