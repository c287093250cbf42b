// The nodes a job left out or could not finish in full, each with its path and why, so that the
// end of the job can name them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace rd {

enum class LeftOutCause {
    // The destination is the source file itself, reached by another path.
    DestinationIsSource,
    // A folder whose entries cannot be listed, or an entry that cannot be reached (a path too
    // long for the system, a permission); nothing below it is in the job.
    CannotReach,
    // A source that a delete could not remove.
    CannotRemove,
    // The copy holds the data, but its owner, group, extended attributes or ACL could not be
    // given to it.
    MetadataNotKept,
};

struct LeftOutNode {
    std::string path;
    LeftOutCause cause = LeftOutCause::CannotReach;
    // The errno behind it; 0 when there is none.
    int error = 0;
};

// "<path>: <what happened>[ (Error <n> - <text>)]".
std::string Describe(const LeftOutNode& node);

// Any thread. Keeps the first entries and counts the rest, so that a tree that fails everywhere
// cannot fill the memory.
class LeftOutLog {
public:
    static constexpr size_t kKept = 10000;

    void Add(std::string path, LeftOutCause cause, int error = 0);
    std::vector<LeftOutNode> Kept() const;
    // Every entry added, kept or not.
    size_t Count() const;

private:
    mutable std::mutex lock_;
    std::vector<LeftOutNode> kept_;
    size_t count_ = 0;
};

}  // namespace rd
