#include "app/settings_policy.h"

namespace rd {

namespace {

// The engine's codes are the stored ones.
static_assert(int32_t(ErrorPolicy::Prompt) == onerror::kPrompt &&
              int32_t(ErrorPolicy::Retry) == onerror::kRetry &&
              int32_t(ErrorPolicy::Skip) == onerror::kSkip);
static_assert(int32_t(ExistsPolicy::Overwrite) == onexist::kOverwrite &&
              int32_t(ExistsPolicy::Skip) == onexist::kSkip &&
              int32_t(ExistsPolicy::TryResume) == onexist::kTryResume &&
              int32_t(ExistsPolicy::RenameOld) == onexist::kRenameOld &&
              int32_t(ExistsPolicy::OverwriteOlder) == onexist::kOverwriteOlder);
static_assert(int32_t(JobMode::Move) == mode::kMove &&
              int32_t(JobMode::DeleteOnly) == mode::kDeleteOnly &&
              int32_t(JobMode::Delete) == mode::kDelete &&
              int32_t(JobMode::WipeMask) == mode::kWipeMask);
static_assert(int32_t(SpeedUnit::Kbps) == limit_unit::kKbps &&
              int32_t(SpeedUnit::Percent) == limit_unit::kPercent &&
              int32_t(SpeedUnit::Bps) == limit_unit::kBps);
static_assert(int32_t(NamesPolicy::Ask) == names::kAsk &&
              int32_t(NamesPolicy::Rename) == names::kRename &&
              int32_t(NamesPolicy::Skip) == names::kSkip);
static_assert(int32_t(ManifestPolicy::None) == manifest::kNone &&
              int32_t(ManifestPolicy::Xxh128) == manifest::kXxh128 &&
              int32_t(ManifestPolicy::Sha256) == manifest::kSha256);
static_assert(kLastPosition == kLastLimitPosition);

int32_t Stored(bool on) {
    return on ? 1 : 0;
}

}  // namespace

ErrorPolicy ErrorPolicyOf(int32_t onerror) {
    return static_cast<ErrorPolicy>(onerror);
}

int32_t StoredOnError(ErrorPolicy policy) {
    return static_cast<int32_t>(policy);
}

ExistsPolicy ExistsPolicyOf(int32_t onexist) {
    return static_cast<ExistsPolicy>(onexist);
}

int32_t StoredOnExist(ExistsPolicy policy) {
    return static_cast<int32_t>(policy);
}

JobMode JobModeOf(int32_t delmode) {
    return static_cast<JobMode>(delmode);
}

int32_t StoredDelmode(JobMode mode) {
    return static_cast<int32_t>(mode);
}

SpeedUnit SpeedUnitOf(int32_t limtip) {
    return static_cast<SpeedUnit>(limtip);
}

int32_t StoredLimtip(SpeedUnit unit) {
    return static_cast<int32_t>(unit);
}

GiveUp GiveUpOf(int32_t enskdel) {
    return static_cast<GiveUp>(enskdel);
}

int32_t StoredEnskdel(GiveUp giveUp) {
    return static_cast<int32_t>(giveUp);
}

NamesPolicy NamesPolicyOf(int32_t names) {
    return static_cast<NamesPolicy>(names);
}

int32_t StoredNames(NamesPolicy policy) {
    return static_cast<int32_t>(policy);
}

ManifestPolicy ManifestPolicyOf(int32_t manifest) {
    return static_cast<ManifestPolicy>(manifest);
}

int32_t StoredManifest(ManifestPolicy policy) {
    return static_cast<int32_t>(policy);
}

JobPolicy PolicyOf(const JobSettings& s) {
    JobPolicy p;
    p.mode = JobModeOf(s.delmode);
    p.speedLimit = s.splim;
    p.speedUnit = SpeedUnitOf(s.limtip);
    p.bufferSize = s.bufsz;
    p.verify = s.encrc != 0;
    p.readBurst = s.readburst != 0;
    p.writeBurst = s.writeburst != 0;
    p.parallel = s.parcopy != 0;
    p.reserve = s.resfsz != 0;
    p.onError = ErrorPolicyOf(s.onerror);
    p.retryDelayMs = s.rtdel;
    p.giveUp = GiveUpOf(s.enskdel);
    p.giveUpAfterMs = s.skdel;
    p.onExist = ExistsPolicyOf(s.onexist);
    p.names = NamesPolicyOf(s.names);
    p.manifest = ManifestPolicyOf(s.manifest);
    p.history = s.hist != 0;
    p.sound = s.snden != 0;
    p.soundPath = s.sndpath;
    p.openTargets = s.popup != 0;
    p.shutdown = s.shutd != 0;
    p.shutdownDelay = s.sddel;
    p.resume = s.resume != 0;
    return p;
}

void RecordPolicy(const JobPolicy& p, JobSettings& s) {
    s.delmode = StoredDelmode(p.mode);
    s.splim = p.speedLimit;
    s.limtip = StoredLimtip(p.speedUnit);
    s.bufsz = p.bufferSize;
    s.encrc = Stored(p.verify);
    s.readburst = Stored(p.readBurst);
    s.writeburst = Stored(p.writeBurst);
    s.parcopy = Stored(p.parallel);
    s.resfsz = Stored(p.reserve);
    s.onerror = StoredOnError(p.onError);
    s.rtdel = p.retryDelayMs;
    s.enskdel = StoredEnskdel(p.giveUp);
    s.skdel = p.giveUpAfterMs;
    s.onexist = StoredOnExist(p.onExist);
    s.names = StoredNames(p.names);
    s.manifest = StoredManifest(p.manifest);
    s.hist = Stored(p.history);
    s.snden = Stored(p.sound);
    s.sndpath = p.soundPath;
    s.popup = Stored(p.openTargets);
    s.shutd = Stored(p.shutdown);
    s.sddel = p.shutdownDelay;
    s.resume = Stored(p.resume);
}

}  // namespace rd
