#include "platform/human_units.h"

#include <cmath>
#include <cstdlib>

#include "platform/text.h"

namespace rd {

namespace {

// The rate steps of positions 0 to 9 of a rate-unit speed limit.
constexpr uint64_t kRateSteps[] = {16, 32, 128, 256, 512, 1024, 2048, 4096, 8192, 16384};

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
    static const char* const kUnits[] = {"B", "KB", "MB", "GB", "TB"};
    return Scaled(static_cast<double>(bytesPerSecond), 1000, kUnits, 5, "/s");
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

std::optional<uint64_t> ParseRate(std::string_view text) {
    size_t digits = 0;
    while (digits < text.size() &&
           ((text[digits] >= '0' && text[digits] <= '9') || text[digits] == '.'))
        ++digits;
    if (digits == 0 || digits == text.size())
        return std::nullopt;
    const std::string number(text.substr(0, digits));
    char* end = nullptr;
    const double value = std::strtod(number.c_str(), &end);
    if (end != number.c_str() + number.size() || !std::isfinite(value))
        return std::nullopt;
    double scale = 0;
    switch (text[digits]) {
        case 'k':
        case 'K': scale = 1024.0; break;
        case 'm':
        case 'M': scale = 1024.0 * 1024; break;
        case 'g':
        case 'G': scale = 1024.0 * 1024 * 1024; break;
        default: return std::nullopt;
    }
    const std::string_view rest = text.substr(digits + 1);
    if (!rest.empty() && rest != "B" && rest != "/s" && rest != "B/s")
        return std::nullopt;
    const double bytes = value * scale;
    if (bytes >= 1e18)
        return std::nullopt;
    return static_cast<uint64_t>(bytes);
}

std::optional<LimitStep> LimitStepAtOrBelow(uint64_t bytesPerSecond) {
    for (const auto& [unit, scale] :
         {std::pair{'k', uint64_t{1024}}, std::pair{'c', uint64_t{1}}}) {
        for (int index = 9; index >= 0; --index) {
            if (kRateSteps[index] * scale <= bytesPerSecond)
                return LimitStep{unit, index};
        }
    }
    return std::nullopt;
}

}  // namespace rd
