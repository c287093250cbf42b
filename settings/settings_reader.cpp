#include "settings/settings_reader.h"

#include <string>
#include <vector>

#include "platform/paths.h"
#include "platform/store.h"
#include "settings/recent_folders.h"
#include "settings/store_keys.h"

namespace rd {

namespace {

// Reads the four values of one window placement. Returns false at the first value that is
// missing or not an integer; the values read before it are kept.
bool ReadPlacement(const KeyValues& key, const char* prefix, StoredPlacement& placement) {
    struct Field {
        const char* suffix;
        bool StoredPlacement::*has;
        int32_t StoredPlacement::*value;
    };
    static const Field kFields[] = {
        {"_Left", &StoredPlacement::hasLeft, &StoredPlacement::left},
        {"_Top", &StoredPlacement::hasTop, &StoredPlacement::top},
        {"_Width", &StoredPlacement::hasWidth, &StoredPlacement::width},
        {"_Height", &StoredPlacement::hasHeight, &StoredPlacement::height},
    };
    for (const Field& f : kFields) {
        auto v = key.ReadInt(std::string(prefix) + f.suffix);
        if (!v)
            return false;
        placement.*(f.has) = true;
        placement.*(f.value) = *v;
    }
    return true;
}

}  // namespace

void ReadAllSettings(Store& store, JobSettings& s) {
    const std::vector<KeyValues> keys = store.ReadKeys({
        {StoreRoot::LocalMachine, std::string(kBaseKey)},
        {StoreRoot::CurrentUser, std::string(kBaseKey)},
        {StoreRoot::CurrentUser, ProfileKey(s.profile)},
    });
    const KeyValues& machine = keys[0];
    const KeyValues& base = keys[1];
    const KeyValues& profile = keys[2];
    s.InstallPath = paths::InstallFolder(machine.ReadText("InstallPath").value_or(""));

    s.progressPlacement = {};
    s.chooserPlacement = {};
    s.centerChooser = !(ReadPlacement(base, "F2", s.progressPlacement) &&
                        ReadPlacement(base, "F1", s.chooserPlacement));

    s.recentFolders = ReadRecentDestinations(base);

    struct IntValue {
        const char* name;
        int32_t JobSettings::*field;
        int32_t byDefault;
    };
    static const IntValue kInts[] = {
        {"delmode", &JobSettings::delmode, 0},     {"encrc", &JobSettings::encrc, 0},
        {"onerror", &JobSettings::onerror, 0},     {"onexist", &JobSettings::onexist, 0},
        {"limtip", &JobSettings::limtip, 1},       {"enskdel", &JobSettings::enskdel, 0},
        {"skdel", &JobSettings::skdel, 60000},     {"bufsz", &JobSettings::bufsz, 6},
        {"splim", &JobSettings::splim, 10},        {"sddel", &JobSettings::sddel, 45},
        {"rtdel", &JobSettings::rtdel, 0},         {"snden", &JobSettings::snden, 0},
        {"popup", &JobSettings::popup, 0},         {"shutd", &JobSettings::shutd, 0},
        {"readburst", &JobSettings::readburst, 0}, {"writeburst", &JobSettings::writeburst, 0},
        {"hist", &JobSettings::hist, 1},           {"resfsz", &JobSettings::resfsz, 0},
        {"resume", &JobSettings::resume, 0},       {"parcopy", &JobSettings::parcopy, 0},
    };
    for (const IntValue& v : kInts)
        s.*(v.field) = profile.ReadInt(v.name).value_or(v.byDefault);
    s.names = profile.ReadInt("names").value_or(names::kAsk);
    s.manifest = profile.ReadInt("manifest").value_or(manifest::kNone);

    s.Skin = profile.ReadText("Skin").value_or("");
    s.Lngname = profile.ReadText("Lngname").value_or("");
    s.sndpath = profile.ReadText("sndpath").value_or("");
    if (s.Skin.empty())
        s.Skin = "Default";
    if (s.Lngname.empty())
        s.Lngname = "english.lng";
    if (s.sndpath.empty())
        s.sndpath = s.InstallPath + "/finish.wav";
}

}  // namespace rd
