// How each node of a job ended: done, skipped (why) or failed (the operation, its errno and the
// destination), reported once per node and destination. The log keeps the ones that did not end
// well, so that the counters, the end of the job and its report all name the same files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace rd {

enum class OutcomeKind { Done, Skipped, Failed };

enum class OutcomeCause {
    None,
    // The Skip button, or Skip answered to a question.
    UserSkipped,
    // The destination already held a file that the policy or the answer kept.
    ExistingKept,
    // The destination is the source file itself, reached by another path.
    DestinationIsSource,
    // A fifo, socket or device: never opened, since reading one could wait forever.
    SpecialFile,
    // A folder whose entries cannot be listed, or an entry that cannot be reached (a path too
    // long for the system, a permission); nothing below it is in the job.
    CannotReach,
    // An operation failed: see `op` and `error`.
    OperationFailed,
    // A source that a move or delete could not remove.
    CannotRemove,
    // The copy holds the data, but its owner, group, extended attributes or ACL could not be
    // given to it.
    MetadataNotKept,
    // The source changed while it was copied (it grew, shrank, was written or replaced): the
    // copy is not what the source holds, and a moved source stays.
    SourceChanged,
    // Another source of this job already wrote the destination (`other` names it): it is never
    // written over, and this source stays where it is.
    WrittenByThisJob,
    // The copy was left incomplete beside its resume marker, for a later job to go on with.
    LeftForResume,
    // The destination held a file before the job, which the job began to write over and could
    // not complete.
    PartlyOverwritten,
    // Found before the first byte, and left out as answered: the destination's file system
    // refuses the name, takes it for another one (`other`), cannot hold a file this large or a
    // symbolic link, or cannot take the folder the node is in.
    NameRefused,
    NameTaken,
    TooLarge,
    NoLinks,
    FolderLeftOut,
    // Done: the file that lists the names changed in one destination (`path`).
    RenameMap,
    // Done: the file system of one destination (`path`) refused to change the permissions of a
    // copy; the copies there have the ones it gives them.
    ModesRefused,
    // Done: one destination (`path`, a share) keeps no extended attributes; the copies there
    // have none.
    AttributesNotKept,
    // The share of the destination went away while the copy was open: what the server kept of
    // the writes it had taken is not known, so the copy is given up.
    ShareLostFile,
    // The copy is whole, but the hash of its bytes could not be taken: the manifest lacks it.
    NotHashed,
    // The copy, read again from the disk once it was complete, does not hash to what was read
    // from the source.
    DiffersOnDisk,
    // A check of manifests: a listed file whose hash is not the manifest's, one that is not
    // there, a name that is no regular file and one that leads out of the manifest's folder (a
    // link); a manifest's line left out (`path` is "manifest:line", `other` why), and a
    // manifest that cannot be used at all (`other` why).
    ChecksumMismatch,
    NotFound,
    NotRegularFile,
    OutsideFolder,
    ManifestLineSkipped,
    ManifestUnusable,
};

// What was being done when a node failed.
enum class Operation { None, Open, Read, Write, Verify, CreateFolder, Link, Sync, Rename };

struct NodeOutcome {
    OutcomeKind kind = OutcomeKind::Done;
    OutcomeCause cause = OutcomeCause::None;
    Operation op = Operation::None;
    // The errno behind it; 0 when there is none.
    int error = 0;
    // The node: its source, or the destination when the outcome is the destination's own.
    std::string path;
    // The destination concerned; empty when the outcome is the source's.
    std::string destination;
    // WrittenByThisJob: the source whose copy stands at the destination. CreateFolder: the
    // folder that could not be made.
    std::string other;
};

// A skip: the job left the node out on purpose (an answer, a policy, the node's kind).
NodeOutcome Skipped(std::string path, OutcomeCause cause, std::string destination = {},
                    int error = 0);
// A failure: something the job should have done could not be done.
NodeOutcome Failed(std::string path, OutcomeCause cause, int error, Operation op = Operation::None,
                   std::string destination = {});

// A failure for want of the destination's folder, which could not be made for `error`.
NodeOutcome FolderFailed(std::string path, std::string destination, std::string folder, int error);

// "done", "skipped" or "failed".
const char* OutcomeWord(OutcomeKind kind);

// "<path>[ -> <destination>]: <what happened>[ (Error <n> - <text>)]".
std::string Describe(const NodeOutcome& outcome);

// Where the engine reports outcomes.
class OutcomeSink {
public:
    virtual ~OutcomeSink() = default;
    // Any thread.
    virtual void Report(const NodeOutcome& outcome) = 0;
};

// Any thread. Counts every outcome and keeps the first ones that did not end well, so that a
// tree that fails everywhere cannot fill the memory.
class OutcomeLog : public OutcomeSink {
public:
    static constexpr size_t kKept = 10000;

    void Report(const NodeOutcome& outcome) override;
    // The kept skips and failures, in the order they came.
    std::vector<NodeOutcome> Kept() const;
    // Every skip and failure reported, kept or not.
    size_t Count() const;
    size_t Count(OutcomeKind kind) const;

private:
    mutable std::mutex lock_;
    std::vector<NodeOutcome> kept_;
    size_t counts_[3] = {};
};

}  // namespace rd
