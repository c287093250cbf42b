#include "engine/outcome.h"

#include "engine/prompts.h"

namespace rd {

namespace {

const char* OperationWord(Operation op) {
    switch (op) {
        case Operation::None: break;
        case Operation::Open: return "opening it";
        case Operation::Read: return "reading it";
        case Operation::Write: return "writing it";
        case Operation::Verify: return "verifying it";
        case Operation::CreateFolder: return "making its folder";
        case Operation::Link: return "linking it";
        case Operation::Sync: return "writing it to the disk";
        case Operation::Rename: return "renaming the old file";
    }
    return "copying it";
}

std::string What(const NodeOutcome& outcome) {
    switch (outcome.cause) {
        case OutcomeCause::None: return OutcomeWord(outcome.kind);
        case OutcomeCause::UserSkipped: return "skipped";
        case OutcomeCause::ExistingKept: return "skipped, the destination exists";
        case OutcomeCause::DestinationIsSource:
            return "skipped, the destination is the source itself";
        case OutcomeCause::SpecialFile: return "skipped, not a file, folder or link";
        case OutcomeCause::CannotReach:
            return std::string(OutcomeWord(outcome.kind)) + ", it cannot be reached";
        case OutcomeCause::OperationFailed:
            if (outcome.op == Operation::CreateFolder && !outcome.other.empty())
                return "failed making its folder " + outcome.other;
            return std::string("failed ") + OperationWord(outcome.op);
        case OutcomeCause::CannotRemove: return "not removed";
        case OutcomeCause::MetadataNotKept:
            return "copied, but its owner, extended attributes or ACL were not kept";
        case OutcomeCause::SourceChanged: return "failed, changed while it was copied";
        case OutcomeCause::WrittenByThisJob:
            return "skipped, it would replace " + outcome.destination +
                   ", written by this job from " + outcome.other;
        case OutcomeCause::LeftForResume:
            return "not complete, left beside its resume marker for a later job to go on with";
        case OutcomeCause::PartlyOverwritten:
            return "failed, the file that was there before is partly overwritten";
        case OutcomeCause::NameRefused:
            return "skipped, the destination's file system refuses its name";
        case OutcomeCause::NameTaken:
            return "skipped, the destination's file system takes its name for " + outcome.other;
        case OutcomeCause::TooLarge:
            return "skipped, larger than the destination's file system takes";
        case OutcomeCause::NoLinks:
            return "skipped, the destination's file system cannot hold a symbolic link";
        case OutcomeCause::FolderLeftOut:
            return "skipped with its folder, which the destination cannot take";
        case OutcomeCause::RenameMap:
            return "lists the names the destination could not take, each old path and its new one";
        case OutcomeCause::ModesRefused:
            return "the copies have the permissions its file system gives them: it refused to "
                   "change them";
        case OutcomeCause::AttributesNotKept:
            return "the copies have no extended attributes: its file system keeps none";
        case OutcomeCause::ShareLostFile: return "failed, the share went away while it was written";
        case OutcomeCause::NotHashed:
            return "copied, but left out of the checksum manifest: its hash could not be taken";
        case OutcomeCause::DiffersOnDisk:
            return "failed, read back from the disk it differs from what was read";
        case OutcomeCause::ChecksumMismatch: return "failed, its checksum is not the manifest's";
        case OutcomeCause::NotFound: return "missing";
        case OutcomeCause::NotRegularFile: return "unreadable, not a regular file";
        case OutcomeCause::OutsideFolder:
            return "unreadable, it leads out of the manifest's folder, which is not followed";
        case OutcomeCause::ManifestLineSkipped: return "line skipped, " + outcome.other;
        case OutcomeCause::ManifestUnusable: return "unusable manifest, " + outcome.other;
    }
    return "left out";
}

}  // namespace

NodeOutcome Skipped(std::string path, OutcomeCause cause, std::string destination, int error) {
    return {OutcomeKind::Skipped,   cause, Operation::None, error, std::move(path),
            std::move(destination), {}};
}

NodeOutcome Failed(std::string path, OutcomeCause cause, int error, Operation op,
                   std::string destination) {
    return {OutcomeKind::Failed, cause, op, error, std::move(path), std::move(destination), {}};
}

NodeOutcome FolderFailed(std::string path, std::string destination, std::string folder, int error) {
    return {OutcomeKind::Failed, OutcomeCause::OperationFailed, Operation::CreateFolder, error,
            std::move(path),     std::move(destination),        std::move(folder)};
}

const char* OutcomeWord(OutcomeKind kind) {
    switch (kind) {
        case OutcomeKind::Done: return "done";
        case OutcomeKind::Skipped: return "skipped";
        case OutcomeKind::Failed: return "failed";
    }
    return "?";
}

std::string Describe(const NodeOutcome& outcome) {
    std::string text = outcome.path;
    // That text names the destination itself.
    if (!outcome.destination.empty() && outcome.destination != outcome.path &&
        outcome.cause != OutcomeCause::WrittenByThisJob)
        text += " -> " + outcome.destination;
    text += ": " + What(outcome);
    if (outcome.error != 0)
        text += " (Error " + ErrorText(outcome.error) + ")";
    return text;
}

void OutcomeLog::Report(const NodeOutcome& outcome) {
    std::lock_guard<std::mutex> lock(lock_);
    ++counts_[static_cast<int>(outcome.kind)];
    // A list of renames, and what a destination could not keep of the copies, are kept so that
    // the report names them.
    if ((outcome.kind != OutcomeKind::Done || outcome.cause == OutcomeCause::RenameMap ||
         outcome.cause == OutcomeCause::ModesRefused ||
         outcome.cause == OutcomeCause::AttributesNotKept) &&
        kept_.size() < kKept)
        kept_.push_back(outcome);
}

std::vector<NodeOutcome> OutcomeLog::Kept() const {
    std::lock_guard<std::mutex> lock(lock_);
    return kept_;
}

size_t OutcomeLog::Count() const {
    std::lock_guard<std::mutex> lock(lock_);
    return counts_[static_cast<int>(OutcomeKind::Skipped)] +
           counts_[static_cast<int>(OutcomeKind::Failed)];
}

size_t OutcomeLog::Count(OutcomeKind kind) const {
    std::lock_guard<std::mutex> lock(lock_);
    return counts_[static_cast<int>(kind)];
}

}  // namespace rd
