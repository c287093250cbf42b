#include "app/command_line.h"

#include <charconv>

namespace rd {

std::string BuildCommandLine(int argc, const char* const* argv) {
    std::string line = argc > 0 && argv[0] ? argv[0] : "";
    for (int i = 1; i < argc; ++i) {
        line += ' ';
        line += argv[i];
    }
    return line;
}

bool HoldsJob(std::string_view line) {
    return line.find(kFieldSeparator) != std::string_view::npos &&
           line.find("|||") == std::string_view::npos;
}

std::optional<std::string> ScanProfile(std::string_view line) {
    size_t i = 0;
    int separators = 0;
    for (; i < line.size() && separators < 2; ++i) {
        if (line[i] == kFieldSeparator)
            ++separators;
    }
    if (separators < 2)
        return std::nullopt;
    for (; i + 1 < line.size(); ++i) {
        if (line[i] != 'q')
            continue;
        if (line[i + 1] == '1')
            return "network";
        if (line[i + 1] == '2')
            return "local";
        return std::nullopt;
    }
    return std::nullopt;
}

LineFields SplitFields(std::string_view line) {
    LineFields fields;
    std::string* target[] = {nullptr, &fields.source, &fields.target, &fields.switches};
    size_t field = 0;
    for (char c : line) {
        if (c == kFieldSeparator) {
            if (++field > 3)
                break;
        } else if (field >= 1) {
            target[field]->push_back(c);
        }
    }
    return fields;
}

void ResetJobState(JobPolicy& policy, JobFlags& flags) {
    policy.mode = WithWipePasses(JobMode::Copy, WipePasses(policy.mode));
    flags = JobFlags{};
}

namespace {

// Converts a run of decimal digits; nothing when it does not fit the type.
template <typename T>
std::optional<T> ToNumber(std::string_view digits) {
    T value{};
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || end != digits.data() + digits.size())
        return std::nullopt;
    return value;
}

// "L" followed by a type letter and digits.
void ApplyNumericSwitch(char type, std::string_view digits, JobPolicy& p, JobFlags& flags) {
    switch (type) {
        case 'k':
        case 'p':
        case 'c': {
            if (auto v = ToNumber<int32_t>(digits))
                p.speedLimit = *v;
            p.speedUnit = type == 'k'   ? SpeedUnit::Kbps
                          : type == 'p' ? SpeedUnit::Percent
                                        : SpeedUnit::Bps;
            if (static_cast<uint32_t>(p.speedLimit.Get()) > 10)
                p.speedLimit = 10;
            break;
        }
        case 'b':
            if (auto v = ToNumber<int32_t>(digits))
                p.bufferSize = *v;
            if (static_cast<uint32_t>(p.bufferSize.Get()) > 10)
                p.bufferSize = 4;
            break;
        case 'n': {
            // A choice the policy does not know asks.
            const std::optional<int32_t> v = ToNumber<int32_t>(digits);
            p.names = v && *v >= 0 && *v <= int32_t(NamesPolicy::Skip) ? NamesPolicy(*v)
                                                                       : NamesPolicy::Ask;
            break;
        }
        case 'h': {
            // A kind of manifest the policy does not know writes none.
            const std::optional<int32_t> v = ToNumber<int32_t>(digits);
            p.manifest = v && *v >= 0 && *v <= int32_t(ManifestPolicy::Sha256)
                             ? ManifestPolicy(*v)
                             : ManifestPolicy::None;
            break;
        }
        case 't':
            if (auto v = ToNumber<uint32_t>(digits))
                flags.ConsoleThreadId = *v;
            break;
        default: break;
    }
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The existing-file policy with the base choice `choice`, "Try resume" kept.
ExistsPolicy WithChoice(ExistsPolicy policy, ExistsPolicy choice) {
    return (policy & ExistsPolicy::TryResume) | choice;
}

}  // namespace

void ApplySwitches(std::string_view sw, JobPolicy& p, JobFlags& flags) {
    for (size_t i = 0; i < sw.size(); ++i) {
        const char c = sw[i];
        switch (c) {
            case 'D': p.shutdown = false; break;
            case 'd': p.shutdown = true; break;
            case 'G': flags.WaitForOtherJobs = true; break;
            case 'g': flags.AttachToRunning = true; break;
            case 'H': p.giveUp = GiveUp::Never; break;
            case 'h': p.giveUp = GiveUp::AfterTimeout; break;
            case 'I': p.onExist = p.onExist & ~ExistsPolicy::OverwriteOlder; break;
            case 'i': p.onExist = p.onExist | ExistsPolicy::OverwriteOlder; break;
            case 'J': flags.PerFileLink = true; break;
            case 'K': flags.CheckManifests = true; break;
            case 'j': flags.TreeLink = true; break;
            case 'L': {
                if (i + 1 >= sw.size())
                    break;
                const char type = sw[i + 1];
                size_t end = i + 2;
                while (end < sw.size() && IsDigit(sw[end]))
                    ++end;
                std::string_view digits = sw.substr(i + 2, end - (i + 2));
                if (!digits.empty())
                    ApplyNumericSwitch(type, digits, p, flags);
                i = end - 1;
                break;
            }
            case 'M': p.mode = WithBits(p.mode, JobMode::Delete); break;
            case 'm': p.mode = WithBits(p.mode, JobMode::Move); break;
            case 'T':
            case 't': {
                const bool v = c == 't';
                const char next = i + 1 < sw.size() ? sw[i + 1] : '\0';
                if (next == '1') {
                    p.readBurst = v;
                    ++i;
                } else if (next == '2') {
                    p.writeBurst = v;
                    ++i;
                } else {
                    p.readBurst = v;
                    p.writeBurst = v;
                }
                break;
            }
            case 'V': p.verify = false; break;
            case 'v': p.verify = true; break;
            case 'Z': p.reserve = false; break;
            case 'z': p.reserve = true; break;
            case 'c': flags.KeepFileTimes = false; break;
            case 'e':
                flags.SourceIsListFile = false;
                flags.DeleteListFiles = false;
                break;
            case 'f': flags.TargetIsListFile = true; break;
            case 'k': p.onExist = WithChoice(p.onExist, ExistsPolicy::Skip); break;
            case 'n': flags.ShowProgressWindow = false; break;
            case 'o': p.onExist = WithChoice(p.onExist, ExistsPolicy::RenameOld); break;
            case 'p': flags.StartPaused = true; break;
            case 'r': p.onError = ErrorPolicy::Retry; break;
            case 's': p.onError = ErrorPolicy::Skip; break;
            case 'u': p.onExist = ExistsPolicy::TryResume; break;
            case 'w': p.onExist = WithChoice(p.onExist, ExistsPolicy::Overwrite); break;
            case 'x': flags.DeleteListFiles = false; break;
            default: break;
        }
    }
}

}  // namespace rd
