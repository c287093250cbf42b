#include "settings/settings_fields.h"

#include <bit>

namespace rd {

namespace {

constexpr int32_t kExistChoices = onexist::kOverwrite | onexist::kSkip | onexist::kRenameOld;
constexpr int32_t kExistBits = kExistChoices | onexist::kTryResume | onexist::kOverwriteOlder;

int32_t InRange(int32_t value, int32_t low, int32_t high, int32_t byDefault) {
    return value >= low && value <= high ? value : byDefault;
}

// A switch is stored as 0 or 1; anything else is damage and shows the default.
bool Switch(int32_t value, bool byDefault) {
    return value == 0 || value == 1 ? value == 1 : byDefault;
}

// One base choice at most, and no bits the policy does not know.
int32_t ValidOnExist(int32_t value) {
    const bool known = value >= 0 && (value & ~kExistBits) == 0;
    return known && std::popcount(static_cast<uint32_t>(value & kExistChoices)) <= 1 ? value : 0;
}

}  // namespace

int32_t UnitEntryOfLimtip(int32_t limtip) {
    switch (limtip) {
        case limit_unit::kBps: return unit_entry::kBps;
        case limit_unit::kKbps: return unit_entry::kKbps;
        case limit_unit::kPercent: return unit_entry::kPercent;
        default: return -1;
    }
}

int32_t LimtipOfUnitEntry(int32_t entry) {
    switch (entry) {
        case unit_entry::kBps: return limit_unit::kBps;
        case unit_entry::kPercent: return limit_unit::kPercent;
        default: return limit_unit::kKbps;
    }
}

SettingsFields FieldsFromSettings(const JobSettings& s, const ShellValues& shell) {
    const SettingsFields d;
    SettingsFields f;
    f.speedLimit = InRange(s.splim, 0, kLastLimitPosition, d.speedLimit);
    const int32_t entry = UnitEntryOfLimtip(s.limtip);
    f.unitEntry = entry < 0 ? d.unitEntry : entry;
    f.bufferSize = InRange(s.bufsz, 0, kLastLimitPosition, d.bufferSize);
    f.resume = Switch(s.resume, d.resume);
    f.hist = Switch(s.hist, d.hist);
    f.readBurst = Switch(s.readburst, d.readBurst);
    f.writeBurst = Switch(s.writeburst, d.writeBurst);
    f.parallel = Switch(s.parcopy, d.parallel);
    f.verify = Switch(s.encrc, d.verify);
    f.reserve = Switch(s.resfsz, d.reserve);
    f.shell = shell;
    f.language = s.Lngname;
    f.skin = s.Skin;
    f.wipePasses = mode::WipePasses(s.delmode);
    f.sound = Switch(s.snden, d.sound);
    f.soundPath = s.sndpath;
    f.openTargets = Switch(s.popup, d.openTargets);
    f.shutdown = Switch(s.shutd, d.shutdown);
    f.shutdownDelay = InRange(s.sddel, 0, kSpinMax, d.shutdownDelay);
    f.onError = InRange(s.onerror, 0, 2, d.onError);
    f.retryDelay = InRange(s.rtdel, 0, kSpinMax, d.retryDelay);
    f.giveUp = Switch(s.enskdel, d.giveUp);
    f.giveUpAfter = s.skdel >= 0 ? int32_t(s.skdel) : d.giveUpAfter;
    const int32_t exist = ValidOnExist(s.onexist);
    f.existChoice = exist & kExistChoices;
    f.tryResume = (exist & onexist::kTryResume) != 0;
    f.overwriteOlder = (exist & onexist::kOverwriteOlder) != 0;
    SettleExistChoice(f);
    f.names = InRange(s.names, names::kAsk, names::kSkip, d.names);
    f.manifest = InRange(s.manifest, manifest::kNone, manifest::kSha256, d.manifest);
    return f;
}

int32_t OnExistOf(const SettingsFields& f) {
    return (f.existChoice & kExistChoices) | (f.tryResume ? onexist::kTryResume : 0) |
           (f.overwriteOlder ? onexist::kOverwriteOlder : 0);
}

FieldEnabling EnablingOf(const SettingsFields& f) {
    FieldEnabling e;
    e.retryDelay = e.giveUp = f.onError == 1;
    e.giveUpAfter = f.onError == 1 && f.giveUp;
    e.overwrite = !f.overwriteOlder;
    return e;
}

void SettleExistChoice(SettingsFields& f) {
    if (f.overwriteOlder && f.existChoice == onexist::kOverwrite)
        f.existChoice = 0;
}

void VerificationChecked(SettingsFields& f) {
    f.readBurst = f.writeBurst = true;
}

}  // namespace rd
