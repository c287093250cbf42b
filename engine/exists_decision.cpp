#include "engine/exists_decision.h"

namespace rd {

namespace {

bool Before(const timespec& a, const timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

}  // namespace

ExistsAction ActionFromBits(ExistsPolicy bits, bool resumable) {
    if (Has(bits, ExistsPolicy::TryResume) && resumable)
        return ExistsAction::Resume;
    if (Has(bits, ExistsPolicy::RenameOld))
        return ExistsAction::RenameOld;
    if (Has(bits, ExistsPolicy::Overwrite) && !Has(bits, ExistsPolicy::Skip))
        return ExistsAction::Overwrite;
    return ExistsAction::Skip;
}

ExistsAction DecideExisting(ExistsPolicy policy, const ExistsFacts& facts) {
    if (facts.markerResume)
        policy = policy & ~ExistsPolicy::RenameOld;
    if (Has(policy, ExistsPolicy::OverwriteOlder)) {
        // A destination whose times cannot be read is taken as older: the copy is the newer.
        const bool createdBefore = facts.destinationCreated.tv_sec != 0 &&
                                   facts.sourceCreated.tv_sec != 0 &&
                                   Before(facts.destinationCreated, facts.sourceCreated);
        if (!facts.destinationTimesKnown || createdBefore ||
            Before(facts.destinationModified, facts.sourceModified))
            policy = ExistsPolicy::Overwrite;
        policy = policy & ~ExistsPolicy::OverwriteOlder;
    }
    if (Has(policy, ExistsPolicy::TryResume) && !facts.resumable)
        policy = policy & ~ExistsPolicy::TryResume;
    if (policy == ExistsPolicy::Prompt)
        return ExistsAction::Ask;
    const ExistsAction action = ActionFromBits(policy, facts.resumable);
    // An incomplete copy is gone on with when it can be, else written anew: skipping it would
    // leave a part that passes for the whole file.
    if (action == ExistsAction::Skip && facts.partial)
        return facts.resumable ? ExistsAction::Resume : ExistsAction::Overwrite;
    return action;
}

}  // namespace rd
