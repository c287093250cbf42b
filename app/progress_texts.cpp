#include "app/progress_texts.h"

#include <algorithm>

#include "engine/engine_context.h"
#include "platform/human_units.h"
#include "platform/message_texts.h"
#include "platform/text.h"

namespace rd {

std::string FormatElapsed(uint64_t ms) {
    const uint64_t seconds = ms / 1000;
    return text::Format("%02Lu:%02u.%02u", static_cast<unsigned long long>(seconds / 3600),
                        static_cast<unsigned>(seconds / 60 % 60),
                        static_cast<unsigned>(seconds % 60));
}

ProgressTexts TickTexts(EngineContext& ctx, bool averageSpeed) {
    const JobCounters& c = ctx.state.counters;
    const JobPolicy& p = ctx.policy;
    ProgressTexts t;
    const JobMode mode = p.mode;
    const ErrorPolicy onError = p.onError;
    t.counts = std::string(IsDelete(mode) ? "D "
                           : IsMove(mode) ? "M "
                                          : "C ") +
               (onError == ErrorPolicy::Retry ? "R:" : "r:") + std::to_string(c.retries.load()) +
               (onError == ErrorPolicy::Skip ? " S:" : " s:") + std::to_string(c.skips.load());
    const uint64_t done = c.doneBytes, listed = c.listedBytes;
    if (ctx.state.flags.Terminating)
        t.percent =
            FillIn(MessageText(ctx.messages, text_slot::kWait),
                   {std::to_string(100 - std::min<int32_t>(ctx.state.flags.Terminating, 100))});
    else if (done > listed)
        t.percent = "100%";
    else if (listed)
        t.percent = std::to_string(done * 100 / listed) + "%";
    const std::string of = MessageText(ctx.messages, text_slot::kOf);
    const std::string thousands = ctx.messages.Facts().thousands;
    auto grouped = [&thousands](uint64_t value) { return text::GroupThousands(value, thousands); };
    t.bytes = FillIn(of, {grouped(done), grouped(listed)});
    t.files = FillIn(of, {grouped(c.filesDone.load()), grouped(c.listedFiles.load())});
    const uint64_t copyTime = c.copyTime;
    const uint64_t transferred = c.transferredBytes;
    if (averageSpeed)
        t.speed =
            ctx.messages.Text(14) +
            text::Format(" %u KBPS", copyTime ? static_cast<unsigned>(transferred / copyTime) : 0u);
    else
        t.speed = ctx.messages.Text(11) + text::Format(" %u KBPS", c.speed.load());
    if (c.dutyPercent != 100)
        t.speed += text::Format(" (%u%%)", c.dutyPercent.load());
    t.elapsed = FormatElapsed(copyTime);
    if (transferred)
        t.remaining =
            FormatElapsed((listed > done ? listed - done : 0) * copyTime / transferred + 500);
    return t;
}

std::string ConsoleStatusLine(const EngineContext& ctx, const ProgressTexts& t) {
    const JobCounters& c = ctx.state.counters;
    const uint64_t listed = c.listedBytes, done = c.doneBytes;
    if (!listed)
        return "";
    const uint64_t copyTime = c.copyTime, transferred = c.transferredBytes;
    std::string line = text::Format("%u%% of %s, file %u%%, ",
                                    static_cast<unsigned>(std::min(done, listed) * 100 / listed),
                                    HumanBytes(listed).c_str(), c.filePercent.load()) +
                       HumanRate(uint64_t{c.speed.load()} * 1000);
    if (c.dutyPercent != 100)
        line += text::Format(" (%u%%)", c.dutyPercent.load());
    line += ", elapsed " + HumanDuration(copyTime);
    if (transferred)
        line += ", left " +
                HumanDuration((listed > done ? listed - done : 0) * copyTime / transferred + 500);
    return line + ", " + t.counts;
}

}  // namespace rd
