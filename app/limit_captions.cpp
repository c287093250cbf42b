#include "app/limit_captions.h"

#include "engine/speed.h"

namespace rd {

namespace {
constexpr int32_t kPercentSteps[kLastLimitPosition] = {10, 20, 30, 40, 50, 60, 70, 80, 90, 95};
constexpr const char* kBufferCaptions[kLastLimitPosition + 1] = {
    "512 bytes", "4 Kbytes", "32 Kbytes", "128 Kbytes", "256 Kbytes", "512 Kbytes",
    "1 Mbytes",  "2 Mbytes", "4 Mbytes",  "16 Mbytes",  "32 Mbytes"};

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

std::string BufferSizeCaption(int32_t position) {
    return IsPosition(position) ? kBufferCaptions[position] : "";
}

}  // namespace rd
