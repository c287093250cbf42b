#include "console/rate_limit.h"

#include <cmath>
#include <cstdlib>

namespace rd {

namespace {

// The rates of steps 0 to 9, in the step's unit.
constexpr uint64_t kRateSteps[] = {16, 32, 128, 256, 512, 1024, 2048, 4096, 8192, 16384};
constexpr uint64_t kKiB = 1024;
constexpr uint64_t kMiB = 1024 * kKiB;
constexpr char kNoLimit[] = "Lk10";

std::string Switch(LimitStep step) {
    return std::string("L") + step.unit + std::to_string(step.index);
}

bool IsNumber(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789.") == std::string_view::npos;
}

}  // namespace

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
        case 'K': scale = kKiB; break;
        case 'm':
        case 'M': scale = kMiB; break;
        case 'g':
        case 'G': scale = 1024.0 * kMiB; break;
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
    for (const char unit : {'k', 'c'}) {
        for (int index = 9; index >= 0; --index) {
            if (StepRate({unit, index}) <= bytesPerSecond)
                return LimitStep{unit, index};
        }
    }
    return std::nullopt;
}

uint64_t StepRate(LimitStep step) {
    return kRateSteps[step.index] * (step.unit == 'k' ? kKiB : 1);
}

std::string RateText(uint64_t bytesPerSecond) {
    if (bytesPerSecond >= kMiB && bytesPerSecond % kMiB == 0)
        return std::to_string(bytesPerSecond / kMiB) + " MiB/s";
    if (bytesPerSecond >= kKiB && bytesPerSecond % kKiB == 0)
        return std::to_string(bytesPerSecond / kKiB) + " KiB/s";
    return std::to_string(bytesPerSecond) + " B/s";
}

LimitChoice ChooseLimit(std::string_view value) {
    const std::string given = "--limit " + std::string(value);
    if (value == "0" || value == "none")
        return {kNoLimit, {}, {}};
    const std::optional<uint64_t> rate = ParseRate(value);
    if (!rate) {
        if (IsNumber(value)) {
            const std::string number(value);
            return {{},
                    {},
                    given + ": a rate needs its unit, as in " + number + "K (KiB/s) or " + number +
                        "M (MiB/s); 0 or none is no limit, and --limit-step takes a " +
                        "step index"};
        }
        return {{},
                {},
                "--limit takes a rate such as 500K, 8M or 1G (K, M and G are powers of 1024), "
                "or 0 or none for no limit, not '" +
                    std::string(value) + "'"};
    }
    const LimitStep top{'k', 9};
    if (*rate > StepRate(top))
        return {kNoLimit,
                given + " is above the highest limit, " + RateText(StepRate(top)) +
                    ": the job runs without a speed limit",
                {}};
    const std::optional<LimitStep> step = LimitStepAtOrBelow(*rate);
    if (!step)
        return {{}, {}, given + " is below the lowest limit, 16 B/s (0 or none: no limit)"};
    if (StepRate(*step) == *rate)
        return {Switch(*step), {}, {}};
    return {Switch(*step),
            given + " lies between the job's limits: it runs at " + RateText(StepRate(*step)) +
                ", the limit below",
            {}};
}

}  // namespace rd
