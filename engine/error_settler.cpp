#include "engine/error_settler.h"

#include "engine/engine_context.h"
#include "platform/clock.h"

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

ErrorSettler::ErrorSettler(EngineContext& ctx) : ctx_(ctx), start_(TickMs()) {}

void ErrorSettler::Restart() {
    start_ = TickMs();
}

SettleAction ErrorSettler::Settle(const ErrorFacts& facts) {
    if (ctx_.state.flags.Terminating)
        return SettleAction::Abort;
    const uint64_t giveUpMs = static_cast<uint32_t>(ctx_.policy.giveUpAfterMs.Get());
    if (ctx_.policy.giveUp != GiveUp::Never && TickMs() - start_ > giveUpMs)
        return SettleAction::Skip;
    ErrorAnswer answer = ErrorAnswer::Skip;
    switch (ActingErrorPolicy(ctx_)) {
        case ErrorPolicy::Retry: answer = ErrorAnswer::Retry; break;
        case ErrorPolicy::Skip: answer = ErrorAnswer::Skip; break;
        case ErrorPolicy::Prompt:
            // With no one to ask, the file is left rather than retried for ever.
            if (ctx_.questions)
                answer = ctx_.questions->AskError(facts);
            // The time the question was up is neither copy time nor retry time.
            ctx_.state.speed.ResetSamples();
            start_ = TickMs();
            break;
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
