// Messages between processes: window and thread endpoints in the user's runtime folder, and
// the marker that tells whether some job process is alive.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace rd::bus {

// One message: its number and two parameters (one datagram of 20 bytes, little-endian).
struct Packet {
    uint32_t msg = 0;
    uint64_t wParam = 0;
    int64_t lParam = 0;
};

// Makes sure the runtime folder exists, belongs to this user and only this user can use it.
// False with a clear `error` for a folder of another owner or with access for others.
bool PrepareRuntimeDir(std::string& error);

// A receiving endpoint, removed when the object ends.
class Endpoint {
public:
    // A window endpoint "<windowClass>.<handle>", or a thread endpoint "thread.<id>", with a
    // number unique among the live endpoints. Null with `error` set when it cannot be made.
    static std::unique_ptr<Endpoint> CreateWindow(const std::string& windowClass,
                                                  std::string& error);
    static std::unique_ptr<Endpoint> CreateThread(std::string& error);
    ~Endpoint();
    Endpoint(const Endpoint&) = delete;
    Endpoint& operator=(const Endpoint&) = delete;

    // The window handle or thread id.
    uint32_t Id() const { return id_; }
    // For the owner's event loop (readable when a packet waits).
    int Fd() const { return fd_; }
    // Takes one waiting packet without blocking; false when none is there. Datagrams of another
    // size are dropped.
    bool Receive(Packet& packet);
    // Waits up to `timeoutMs` (-1: no limit) for a packet.
    bool Wait(Packet& packet, int timeoutMs);
    // From now on every post to this endpoint fails, so its sender knows that the packet was
    // not taken; packets already waiting can still be received.
    void StopReceiving();

private:
    Endpoint(int fd, uint32_t id, std::string path);
    int fd_;
    uint32_t id_;
    std::string path_;
};

// Posts to the window `handle` of `windowClass`, or to the thread `threadId`. False when no one
// listens there; a socket file left by a dead process is removed.
bool PostToWindow(const std::string& windowClass, uint32_t handle, const Packet& packet);
bool PostToThread(uint32_t threadId, const Packet& packet);
// PostToWindow() without waiting for room: when the receiver's queue is full it fails at once
// with `full` set, so that the caller can serve its own endpoint meanwhile.
bool TryPostToWindow(const std::string& windowClass, uint32_t handle, const Packet& packet,
                     bool& full);

// The handle of a live window endpoint of `windowClass` that belongs to another process; 0
// when there is none. Stale endpoints met on the way are removed.
uint32_t FindWindow(const std::string& windowClass);

// The marker "RedoDoriMutexObject": every job process holds it shared for its whole life.
class JobMarker {
public:
    // Takes the marker shared. False with `error` when the runtime folder cannot be used.
    bool Hold(std::string& error);
    // Waits, in 500 ms steps and at least once, until no other process holds the marker, then
    // holds it. Returns false with `error` when the runtime folder cannot be used.
    bool WaitForOthers(std::string& error);
    // Lets go of the marker before the process ends: its job is over.
    void Release();
    ~JobMarker();

private:
    int fd_ = -1;
};

}  // namespace rd::bus
