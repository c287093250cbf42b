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

int32_t ErrorPolicy(const EngineContext& ctx) {
    const int32_t policy = ctx.settings.onerror;
    return policy == 1 || policy == 2 ? policy : 0;
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
    const auto giveUpMs = static_cast<uint64_t>(static_cast<uint32_t>(ctx_.settings.skdel));
    if (ctx_.settings.enskdel != 0 && TickMs() - start_ > giveUpMs)
        return SettleAction::Skip;
    ErrorAnswer answer = ErrorAnswer::Skip;
    switch (ErrorPolicy(ctx_)) {
        case 1: answer = ErrorAnswer::Retry; break;
        case 2: answer = ErrorAnswer::Skip; break;
        default:
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
    ctx_.state.RetryPause(static_cast<uint32_t>(static_cast<int32_t>(ctx_.settings.rtdel)));
    return SettleAction::Retry;
}

}  // namespace rd
