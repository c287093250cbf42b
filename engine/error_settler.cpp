#include "engine/error_settler.h"

#include <sys/stat.h>

#include <cerrno>

#include "engine/engine_context.h"
#include "platform/clock.h"
#include "platform/path_parts.h"

namespace rd {

bool HealAllowed(ErrorStep step) {
    return step == ErrorStep::Read;
}

bool WriterSide(ErrorStep step) {
    return step == ErrorStep::Write || step == ErrorStep::WriteVerify || step == ErrorStep::Sync ||
           step == ErrorStep::Link;
}

ErrorPolicy ActingErrorPolicy(const EngineContext& ctx) {
    const ErrorPolicy policy = ctx.policy.onError;
    return policy == ErrorPolicy::Retry || policy == ErrorPolicy::Skip ? policy
                                                                       : ErrorPolicy::Prompt;
}

void RequestJobEnd(EngineContext& ctx, int code) {
    ctx.state.BeginEnd();
    ctx.host.RequestEnd(code);
}

namespace {

// The file system of `path`, or of the nearest of its parents that exists.
std::string DeviceOf(std::string path) {
    struct stat st {};
    while (lstat(path.c_str(), &st) != 0) {
        std::string parent = DirPart(path.substr(0, path.find_last_not_of('/') + 1));
        if (parent.empty() || parent == path)
            return {};
        path = std::move(parent);
    }
    return std::to_string(st.st_dev);
}

}  // namespace

std::string SkippedCauses::SharedCause(const ErrorFacts& facts) {
    if (!WriterSide(facts.step))
        return {};
    if (!facts.folder.empty())
        return "folder " + facts.folder;
    if (facts.error == EROFS) {
        const std::string device = DeviceOf(facts.path);
        return device.empty() ? std::string() : "read-only " + device;
    }
    return {};
}

bool SkippedCauses::Has(const std::string& cause) const {
    std::lock_guard<std::mutex> lock(lock_);
    return causes_.count(cause) != 0;
}

void SkippedCauses::Add(const std::string& cause) {
    std::lock_guard<std::mutex> lock(lock_);
    causes_.insert(cause);
}

ErrorSettler::ErrorSettler(EngineContext& ctx) : ctx_(ctx), start_(TickMs()) {}

void ErrorSettler::Restart() {
    start_ = TickMs();
}

SettleAction ErrorSettler::Settle(const ErrorFacts& facts) {
    if (ctx_.state.flags.Terminating)
        return SettleAction::Abort;
    const uint64_t giveUpMs = static_cast<uint32_t>(ctx_.policy.giveUpAfterMs.Get());
    // Bytes that differ are no failure that time mends or ends: verification is left to the
    // policy and the answer.
    const bool verifying =
        facts.step == ErrorStep::ReadVerify || facts.step == ErrorStep::WriteVerify;
    if (ctx_.policy.giveUp != GiveUp::Never && !verifying && TickMs() - start_ > giveUpMs)
        return SettleAction::Skip;
    ErrorAnswer answer = ErrorAnswer::Skip;
    switch (ActingErrorPolicy(ctx_)) {
        case ErrorPolicy::Retry: answer = ErrorAnswer::Retry; break;
        case ErrorPolicy::Skip: answer = ErrorAnswer::Skip; break;
        case ErrorPolicy::Prompt: {
            // A cause the user already skipped for another file is not asked about again.
            const std::string cause = SkippedCauses::SharedCause(facts);
            if (!cause.empty() && ctx_.skippedCauses.Has(cause))
                return SettleAction::Skip;
            // With no one to ask, the file is left rather than retried for ever.
            if (ctx_.questions)
                answer = ctx_.questions->AskError(facts);
            if (answer == ErrorAnswer::Skip && !cause.empty())
                ctx_.skippedCauses.Add(cause);
            // The time the question was up is neither copy time nor retry time.
            ctx_.state.speed.ResetSamples();
            start_ = TickMs();
            break;
        }
    }
    switch (answer) {
        case ErrorAnswer::Abort:
        case ErrorAnswer::AbortAndKeep:
            RequestJobEnd(ctx_, answer == ErrorAnswer::AbortAndKeep ? 2 : 0);
            return SettleAction::Abort;
        case ErrorAnswer::Skip: return SettleAction::Skip;
        case ErrorAnswer::Heal:
            if (HealAllowed(facts.step))
                return SettleAction::Heal;
            break;
        case ErrorAnswer::Retry: break;
    }
    if (ctx_.state.flags.Terminating)
        return SettleAction::Abort;
    ctx_.state.RetryPause(static_cast<uint32_t>(ctx_.policy.retryDelayMs.Get()));
    return SettleAction::Retry;
}

}  // namespace rd
