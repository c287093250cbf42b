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

void ResetJobState(JobSettings& settings, JobFlags& flags) {
    settings.delmode = settings.delmode & mode::kWipeMask;
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
void ApplyNumericSwitch(char type, std::string_view digits, JobSettings& s, JobFlags& flags) {
    switch (type) {
        case 'k':
        case 'p':
        case 'c': {
            if (auto v = ToNumber<int32_t>(digits))
                s.splim = *v;
            s.limtip = type == 'k' ? 0 : type == 'p' ? 1 : 2;
            if (static_cast<uint32_t>(static_cast<int32_t>(s.splim)) > 10)
                s.splim = 10;
            break;
        }
        case 'b':
            if (auto v = ToNumber<int32_t>(digits))
                s.bufsz = *v;
            if (static_cast<uint32_t>(static_cast<int32_t>(s.bufsz)) > 10)
                s.bufsz = 4;
            break;
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

}  // namespace

void ApplySwitches(std::string_view sw, JobSettings& s, JobFlags& flags) {
    const int32_t keepResume = onexist::kTryResume;
    for (size_t i = 0; i < sw.size(); ++i) {
        const char c = sw[i];
        switch (c) {
            case 'D': s.shutd = 0; break;
            case 'd': s.shutd = 1; break;
            case 'G': flags.WaitForOtherJobs = true; break;
            case 'g': flags.AttachToRunning = true; break;
            case 'H': s.enskdel = 0; break;
            case 'h': s.enskdel = 1; break;
            case 'I': s.onexist = s.onexist & ~onexist::kOverwriteOlder; break;
            case 'i': s.onexist = s.onexist | onexist::kOverwriteOlder; break;
            case 'J': flags.PerFileLink = true; break;
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
                    ApplyNumericSwitch(type, digits, s, flags);
                i = end - 1;
                break;
            }
            case 'M': s.delmode = s.delmode | mode::kDelete; break;
            case 'm': s.delmode = s.delmode | mode::kMove; break;
            case 'T':
            case 't': {
                const int32_t v = c == 't' ? 1 : 0;
                const char next = i + 1 < sw.size() ? sw[i + 1] : '\0';
                if (next == '1') {
                    s.readburst = v;
                    ++i;
                } else if (next == '2') {
                    s.writeburst = v;
                    ++i;
                } else {
                    s.readburst = v;
                    s.writeburst = v;
                }
                break;
            }
            case 'V': s.encrc = 0; break;
            case 'v': s.encrc = 1; break;
            case 'Z': s.resfsz = 0; break;
            case 'z': s.resfsz = 1; break;
            case 'c': flags.KeepFileTimes = false; break;
            case 'e':
                flags.SourceIsListFile = false;
                flags.DeleteListFiles = false;
                break;
            case 'f': flags.TargetIsListFile = true; break;
            case 'k': s.onexist = (s.onexist & keepResume) | onexist::kSkip; break;
            case 'n': flags.ShowProgressWindow = false; break;
            case 'o': s.onexist = (s.onexist & keepResume) | onexist::kRenameOld; break;
            case 'p': flags.StartPaused = true; break;
            case 'r': s.onerror = 1; break;
            case 's': s.onerror = 2; break;
            case 'u': s.onexist = onexist::kTryResume; break;
            case 'w': s.onexist = (s.onexist & keepResume) | onexist::kOverwrite; break;
            case 'x': flags.DeleteListFiles = false; break;
            default: break;
        }
    }
}

}  // namespace rd
