#include "app/settings_reader.h"

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "app/recent_destinations.h"
#include "app/store_keys.h"
#include "platform/paths.h"
#include "platform/store.h"

namespace rd {

namespace {

// Reads the four values of one window placement. Returns false at the first value that is
// missing or not an integer; the values read before it are kept.
bool ReadPlacement(const StoreKey& key, const char* prefix, StoredPlacement& placement) {
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

int32_t DrawResumeSlot(Store& store, uint32_t seed) {
    StoreKey key(store, StoreRoot::CurrentUser, std::string(kResumeKey));
    // One look at the key instead of one per draw: the draw may need many tries when the key
    // is nearly full, and it must stop when it is full.
    std::vector<bool> taken(kResumeSlots, false);
    int free = kResumeSlots;
    for (const StoreValue& v : key.Values()) {
        const std::string& n = v.name;
        if (n.empty() || n.size() > 3 || (n.size() > 1 && n[0] == '0'))
            continue;
        int number = 0;
        bool digits = true;
        for (char c : n) {
            if (c < '0' || c > '9') {
                digits = false;
                break;
            }
            number = number * 10 + (c - '0');
        }
        if (digits && number < kResumeSlots && !taken[number]) {
            taken[number] = true;
            --free;
        }
    }
    if (free == 0) {
        static bool told = false;
        if (!told) {
            told = true;
            std::fprintf(stderr,
                         "redodori: all %d resume slots are taken; this job runs without one "
                         "and cannot be resumed after a crash\n",
                         kResumeSlots);
        }
        return -1;
    }
    std::mt19937 random(seed);
    for (;;) {
        int slot = static_cast<int>(random() % kResumeSlots);
        if (!taken[slot])
            return slot;
    }
}

void ReadAllSettings(Store& store, JobSettings& s, uint32_t seed) {
    {
        StoreKey machine(store, StoreRoot::LocalMachine, std::string(kBaseKey));
        s.InstallPath = paths::InstallFolder(machine.ReadText("InstallPath").value_or(""));
    }

    s.resumeSlot = DrawResumeSlot(store, seed);

    StoreKey base(store, StoreRoot::CurrentUser, std::string(kBaseKey));
    s.progressPlacement = {};
    s.chooserPlacement = {};
    s.centerChooser = !(ReadPlacement(base, "F2", s.progressPlacement) &&
                        ReadPlacement(base, "F1", s.chooserPlacement));

    s.recentFolders = ReadRecentDestinations(base);

    StoreKey profile(store, StoreRoot::CurrentUser, ProfileKey(s.profile));
    struct IntValue {
        const char* name;
        SettingInt JobSettings::*field;
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
