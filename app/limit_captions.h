// The captions of the speed-limit and buffer-size track bars (positions 0 to 10), as the
// settings dialog shows them; the progress window's keys show the same texts.
#pragma once

#include <cstdint>
#include <string>

#include "settings/job_settings.h"

namespace rd {

// The texts that come from the language file: the three entries of the unit list, the
// caption of "no limit" at a rate unit, and the units of the buffer sizes.
struct LimitTexts {
    std::string bps = "bps";
    std::string kbps = "Kbps";
    std::string percent = "%";
    std::string noLimit = "No limit";
    std::string bytes = "bytes";
    std::string kbytes = "Kbytes";
    std::string mbytes = "Mbytes";
};

class MessageTable;
// The texts of the current language (language texts 28 to 31 and 39 to 41).
LimitTexts LimitTextsOf(const MessageTable& messages);

// The number a speed-limit position 0 to 9 stands for: a percentage with the unit "%", a rate
// otherwise. 0 for any other position.
int32_t SpeedLimitStep(int32_t limtip, int32_t position);

// The speed-limit caption: the number only ("50", "16384"), "100" at position 10 with "%",
// `texts.noLimit` at position 10 with a rate unit; empty outside 0 to 10. A `limtip` outside
// the unit list counts as a rate.
std::string SpeedLimitCaption(int32_t position, int32_t limtip, const LimitTexts& texts = {});

// The unit list's text for `limtip`; empty for a value outside the list.
std::string SpeedUnitText(int32_t limtip, const LimitTexts& texts = {});

// The buffer-size caption, "512 bytes" to "32 Mbytes"; empty outside 0 to 10.
std::string BufferSizeCaption(int32_t position, const LimitTexts& texts = {});

}  // namespace rd
