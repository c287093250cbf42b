#include "app/settings_summary.h"

#include "app/limit_captions.h"
#include "app/settings_policy.h"
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

std::string SettingsBlock(const JobPolicy& p) {
    std::string out = "***Current settings***\r\n";
    out += "Speed limit: " + SpeedLimitLabel(StoredLimtip(p.speedUnit), p.speedLimit) + "\r\n";
    out += "Buffer size: " + BufferSizeLabel(p.bufferSize) + "\r\n";

    const std::pair<const char*, bool> switches[] = {
        {"Autoresume copy on crash", p.resume},
        {"Log this copy to history", p.history},
        {"Read burst", p.readBurst},
        {"Write burst", p.writeBurst},
        {"Parallel read/write", p.parallel},
        {"Copy verification", p.verify},
        {"Reserve free space", p.reserve},
    };
    for (const auto& [label, value] : switches)
        out += text::Format(value ? "%s: ON\r\n" : "%s: OFF\r\n", label);

    const JobMode mode = p.mode;
    out += "Delete mode: ";
    if (RemovesSources(mode)) {
        out += IsDelete(mode) ? "Delete files" : "Move files";
        if (int passes = WipePasses(mode))
            out += text::Format(" (%i times overwrite)", passes);
    } else {
        out += "None";
    }

    out += "\r\nOn copy complete: ";
    std::string complete;
    if (p.sound)
        complete += "Play sound";
    if (p.openTargets)
        complete += "Prompt";
    if (p.shutdown)
        complete += "Shutdown";
    out += complete.empty() ? "None" : complete;

    out += "\r\nOn copy error:\r\n";
    switch (p.onError) {
        case ErrorPolicy::Prompt: out += "     Prompt"; break;
        case ErrorPolicy::Retry: out += "     Retry"; break;
        case ErrorPolicy::Skip: out += "     Skip"; break;
        default: break;
    }
    out += "\r\n";
    if (p.giveUp != GiveUp::Never)
        out += text::Format("     Skip if can't retry operation for %u msec\r\n",
                            static_cast<unsigned>(p.giveUpAfterMs.Get()));

    out += "On file exist:\r\n";
    const ExistsPolicy exist = p.onExist;
    if (Has(exist, ExistsPolicy::OverwriteOlder))
        out += "     Overwrite, if target file older than new, else\r\n";
    if (Has(exist, ExistsPolicy::TryResume))
        out += "     Try resume, if impossible then\r\n";
    switch (exist & kExistsChoices) {
        case ExistsPolicy::Prompt: out += "     Prompt"; break;
        case ExistsPolicy::Overwrite: out += "     Overwrite"; break;
        case ExistsPolicy::Skip: out += "     Skip"; break;
        case ExistsPolicy::RenameOld: out += "     Rename old"; break;
        default: break;
    }
    return out + "\r\n**********************";
}

std::string SettingsSummary(const JobPolicy& policy) {
    return "RedoDori v2.83 loaded by console wrapper\r\n" + SettingsBlock(policy) +
           "\r\nPreparing filelist...\r";
}

}  // namespace rd
