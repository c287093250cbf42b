#include "app/settings_summary.h"

#include "app/limit_captions.h"
#include "platform/text.h"

namespace rd {

std::string SpeedLimitLabel(int32_t limtip, int32_t splim) {
    if (splim == kLastLimitPosition)
        return " None";
    if (splim < 0 || splim > kLastLimitPosition)
        return "";
    const std::string step = std::to_string(SpeedLimitStep(limtip, splim));
    if (limtip == limit_unit::kPercent)
        return step + "%";
    return step + (limtip == limit_unit::kKbps ? " Kbps" : " bps");
}

std::string BufferSizeLabel(int32_t bufsz) {
    return BufferSizeCaption(bufsz);
}

std::string SettingsSummary(const JobSettings& s) {
    std::string out = "RedoDori v2.83 loaded by console wrapper\r\n***Current settings***\r\n";
    out += "Speed limit: " + SpeedLimitLabel(s.limtip, s.splim) + "\r\n";
    out += "Buffer size: " + BufferSizeLabel(s.bufsz) + "\r\n";

    const std::pair<const char*, int32_t> switches[] = {
        {"Autoresume copy on crash", s.resume},
        {"Log this copy to history", s.hist},
        {"Read burst", s.readburst},
        {"Write burst", s.writeburst},
        {"Parallel read/write", s.parcopy},
        {"Copy verification", s.encrc},
        {"Reserve free space", s.resfsz},
    };
    for (const auto& [label, value] : switches)
        out += text::Format(value ? "%s: ON\r\n" : "%s: OFF\r\n", label);

    const int32_t word = s.delmode;
    out += "Delete mode: ";
    if (word & mode::kMove) {
        out += (word & mode::kDeleteOnly) ? "Delete files" : "Move files";
        if (int passes = mode::WipePasses(word))
            out += text::Format(" (%i times overwrite)", passes);
    } else {
        out += "None";
    }

    out += "\r\nOn copy complete: ";
    std::string complete;
    if (s.snden)
        complete += "Play sound";
    if (s.popup)
        complete += "Prompt";
    if (s.shutd)
        complete += "Shutdown";
    out += complete.empty() ? "None" : complete;

    out += "\r\nOn copy error:\r\n";
    switch (s.onerror) {
        case 0: out += "     Prompt"; break;
        case 1: out += "     Retry"; break;
        case 2: out += "     Skip"; break;
        default: break;
    }
    out += "\r\n";
    if (s.enskdel)
        out += text::Format("     Skip if can't retry operation for %u msec\r\n",
                            static_cast<unsigned>(static_cast<int32_t>(s.skdel)));

    out += "On file exist:\r\n";
    const int32_t exist = s.onexist;
    if (exist & onexist::kOverwriteOlder)
        out += "     Overwrite, if target file older than new, else\r\n";
    if (exist & onexist::kTryResume)
        out += "     Try resume, if impossible then\r\n";
    switch (exist & 11) {
        case 0: out += "     Prompt"; break;
        case 1: out += "     Overwrite"; break;
        case 2: out += "     Skip"; break;
        case 8: out += "     Rename old"; break;
        default: break;
    }
    out += "\r\n**********************\r\nPreparing filelist...\r";
    return out;
}

}  // namespace rd
