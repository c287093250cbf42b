#include "engine/exists_decision.h"

#include "settings/job_settings.h"

namespace rd {

namespace {

bool Before(const timespec& a, const timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

}  // namespace

ExistsAction ActionFromBits(int32_t bits, bool resumable) {
    if ((bits & onexist::kTryResume) && resumable)
        return ExistsAction::Resume;
    if (bits & onexist::kRenameOld)
        return ExistsAction::RenameOld;
    if ((bits & onexist::kOverwrite) && !(bits & onexist::kSkip))
        return ExistsAction::Overwrite;
    return ExistsAction::Skip;
}

ExistsAction DecideExisting(int32_t policy, const ExistsFacts& facts) {
    if (facts.markerResume)
        policy &= ~onexist::kRenameOld;
    if (policy & onexist::kOverwriteOlder) {
        // A destination whose times cannot be read is taken as older: the copy is the newer.
        const bool createdBefore = facts.destinationCreated.tv_sec != 0 &&
                                   facts.sourceCreated.tv_sec != 0 &&
                                   Before(facts.destinationCreated, facts.sourceCreated);
        if (!facts.destinationTimesKnown || createdBefore ||
            Before(facts.destinationModified, facts.sourceModified))
            policy = onexist::kOverwrite;
        policy &= ~onexist::kOverwriteOlder;
    }
    if ((policy & onexist::kTryResume) && !facts.resumable)
        policy &= ~onexist::kTryResume;
    if (policy == 0)
        return ExistsAction::Ask;
    const ExistsAction action = ActionFromBits(policy, facts.resumable);
    // An incomplete copy is gone on with when it can be, else written anew: skipping it would
    // leave a part that passes for the whole file.
    if (action == ExistsAction::Skip && facts.partial)
        return facts.resumable ? ExistsAction::Resume : ExistsAction::Overwrite;
    return action;
}

}  // namespace rd
