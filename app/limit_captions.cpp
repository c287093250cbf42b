#include "app/limit_captions.h"

#include "engine/speed.h"
#include "platform/message_table.h"
#include "platform/message_texts.h"

namespace rd {

namespace {
constexpr int32_t kPercentSteps[kLastLimitPosition] = {10, 20, 30, 40, 50, 60, 70, 80, 90, 95};
// The buffer sizes as number and unit: 0 bytes, 1 Kbytes, 2 Mbytes.
struct BufferStep {
    int number;
    int unit;
};
constexpr BufferStep kBufferSteps[kLastLimitPosition + 1] = {{512, 0}, {4, 1},   {32, 1}, {128, 1},
                                                             {256, 1}, {512, 1}, {1, 2},  {2, 2},
                                                             {4, 2},   {16, 2},  {32, 2}};

bool IsPosition(int32_t position) {
    return position >= 0 && position <= kLastLimitPosition;
}
}  // namespace

int32_t SpeedLimitStep(int32_t limtip, int32_t position) {
    if (position < 0 || position >= kLastLimitPosition)
        return 0;
    // The rates are the ones the limiter applies, so the caption always names the real limit.
    return limtip == limit_unit::kPercent ? kPercentSteps[position]
                                          : static_cast<int32_t>(RateStep(position));
}

std::string SpeedLimitCaption(int32_t position, int32_t limtip, const LimitTexts& texts) {
    if (!IsPosition(position))
        return "";
    if (position == kLastLimitPosition)
        return limtip == limit_unit::kPercent ? "100" : texts.noLimit;
    return std::to_string(SpeedLimitStep(limtip, position));
}

std::string SpeedUnitText(int32_t limtip, const LimitTexts& texts) {
    switch (limtip) {
        case limit_unit::kKbps: return texts.kbps;
        case limit_unit::kPercent: return texts.percent;
        case limit_unit::kBps: return texts.bps;
        default: return "";
    }
}

std::string BufferSizeCaption(int32_t position, const LimitTexts& texts) {
    if (!IsPosition(position))
        return "";
    const BufferStep step = kBufferSteps[position];
    const std::string& unit = step.unit == 0   ? texts.bytes
                              : step.unit == 1 ? texts.kbytes
                                               : texts.mbytes;
    return std::to_string(step.number) + " " + unit;
}

LimitTexts LimitTextsOf(const MessageTable& messages) {
    LimitTexts texts;
    texts.bps = messages.Text(28);
    texts.kbps = messages.Text(29);
    texts.percent = messages.Text(30);
    texts.noLimit = messages.Text(31);
    texts.bytes = messages.Text(text_slot::kBytes);
    texts.kbytes = messages.Text(text_slot::kKbytes);
    texts.mbytes = messages.Text(text_slot::kMbytes);
    return texts;
}

}  // namespace rd
