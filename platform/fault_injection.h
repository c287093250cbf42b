// A seam for tests: lets them fail or alter chosen reads and writes of the copy, and fail the
// writes of the files the program keeps for itself (the resume lists). Nothing is installed in
// the program, so the calls below cost one relaxed atomic load there.
#pragma once

#include <cstdint>
#include <functional>

namespace rd::fault {

enum class Op { Read, Write, Sync, Chmod };

// Called after a successful positioned read or write of `n` bytes at `offset` on `fd`; may
// change the bytes read, and returns 0 or an errno with which the call then fails. A copy made
// in the kernel is checked as a write whose `data` is null: it has no bytes in this process. The
// job's final sync of a destination is checked before it runs, with `fd` on that file system and
// no bytes; the hook may take its time there, as a slow disk would. A change of a copy's
// permissions is checked before it is made, with `fd` on the copy and no bytes.
using Hook = std::function<int(Op op, int fd, uint64_t offset, uint8_t* data, uint32_t n)>;

// Installs `hook` (an empty one removes it). Not for use while a copy runs.
void SetHook(Hook hook);

// The errno the installed hook chooses for this call, or 0.
int Check(Op op, int fd, uint64_t offset, uint8_t* data, uint32_t n);

}  // namespace rd::fault
