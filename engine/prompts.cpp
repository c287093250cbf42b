#include "engine/prompts.h"

#include <cstring>

#include "engine/engine_context.h"
#include "engine/messages.h"
#include "platform/clock.h"

namespace rd {

std::string ErrorText(int error) {
    std::string out = std::to_string(error);
    char buffer[256];
    const char* text = strerror_r(error, buffer, sizeof buffer);
    if (text && *text)
        out += std::string(" - ") + text;
    return out;
}

intptr_t AskErrorPrompt(EngineContext& ctx, uintptr_t flags, const std::string& message) {
    const intptr_t result =
        ctx.window.Send(msg::WMU_ERRORPROMPT, flags, reinterpret_cast<intptr_t>(message.c_str()));
    ctx.state.speed.ResetSamples();
    return result;
}

intptr_t AskExistsPrompt(EngineContext& ctx, uintptr_t flags, const std::string& message) {
    return ctx.window.Send(msg::WMU_EXISTSPROMPT, flags,
                           reinterpret_cast<intptr_t>(message.c_str()));
}

intptr_t SettleWriterAbort(EngineContext& ctx, intptr_t result) {
    if (result >= answer::kAbort) {
        // The writers stop retrying now, not once the window gets to the end: a retry before
        // that would fail again and bring the same question back.
        {
            std::lock_guard<std::mutex> lock(ctx.state.WriterLock);
            if (ctx.state.flags.Terminating == 0)
                ctx.state.flags.Terminating = 1;
        }
        ctx.window.Post(msg::WMU_ENDJOB, 0, result - answer::kAbort);
        return answer::kRetry;
    }
    return result;
}

intptr_t ErrorPolicy(const EngineContext& ctx) {
    const int32_t policy = ctx.settings.onerror;
    return policy == 1 || policy == 2 ? policy : 0;
}

bool RetryTimedOut(const EngineContext& ctx, uint64_t start) {
    return ctx.settings.enskdel != 0 &&
           TickMs() - start > static_cast<uint64_t>(static_cast<uint32_t>(ctx.settings.skdel));
}

}  // namespace rd
