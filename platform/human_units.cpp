#include "platform/human_units.h"

#include "platform/text.h"

namespace rd {

namespace {

// `value` in the largest unit it reaches, one decimal below 100 of it.
std::string Scaled(double value, double base, const char* const units[], int count,
                   const char* suffix) {
    int unit = 0;
    while (unit + 1 < count && value >= base) {
        value /= base;
        ++unit;
    }
    if (unit == 0)
        return text::Format("%.0f %s%s", value, units[0], suffix);
    return text::Format(value < 100 ? "%.1f %s%s" : "%.0f %s%s", value, units[unit], suffix);
}

}  // namespace

std::string HumanBytes(uint64_t bytes) {
    static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB"};
    return Scaled(static_cast<double>(bytes), 1024, kUnits, 6, "");
}

std::string HumanRate(uint64_t bytesPerSecond) {
    static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    return Scaled(static_cast<double>(bytesPerSecond), 1024, kUnits, 5, "/s");
}

std::string HumanDuration(uint64_t ms) {
    const uint64_t seconds = ms / 1000;
    if (seconds < 3600)
        return text::Format("%u:%02u", static_cast<unsigned>(seconds / 60),
                            static_cast<unsigned>(seconds % 60));
    return text::Format("%Lu:%02u:%02u", static_cast<unsigned long long>(seconds / 3600),
                        static_cast<unsigned>(seconds / 60 % 60),
                        static_cast<unsigned>(seconds % 60));
}

}  // namespace rd
