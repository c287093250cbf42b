#include "settings/settings_storage.h"

#include "platform/message_table.h"
#include "platform/store.h"
#include "settings/store_keys.h"

namespace rd {

namespace {

constexpr const char* kCaptionNames[] = {"Lng_RedoDoriTo",     "Lng_VornMoveTo",
                                         "Lng_RedoDoriDelete", "Lng_RedoDoriHere",
                                         "Lng_VornMoveHere",   "Lng_HardLinkHere"};
constexpr int kFirstCaptionText = 18;

// A flag that is written as 1 when set and deleted when clear.
bool WriteFlag(StoreKey& key, const char* name, bool set) {
    if (set)
        return key.WriteInt(name, 1);
    return key.DeleteValue(name) || !key.ValueExists(name);
}

}  // namespace

ShellValues ReadShellValues(Store& store, const std::string& profile) {
    StoreKey key(store, StoreRoot::CurrentUser, ProfileKey(profile));
    ShellValues v;
    if (auto value = key.ReadInt("default"))
        v.defaultHandler = *value == 1;
    if (auto value = key.ReadInt("nomenu"))
        v.shellMenus = *value != 1;
    if (auto value = key.ReadInt("nohlink"))
        v.hardLinkItem = *value != 1;
    return v;
}

ShellCaptions ReadShellCaptions(const std::string& path) {
    MessageTable table;
    ShellCaptions captions;
    if (!path.empty() && table.Load(path))
        for (size_t i = 0; i < captions.size(); ++i)
            captions[i] = table.Text(kFirstCaptionText + static_cast<int>(i));
    return captions;
}

bool StoreFields(Store& store, const std::string& profile, const SettingsFields& f,
                 const ShellCaptions& captions) {
    StoreKey key(store, StoreRoot::CurrentUser, ProfileKey(profile));
    bool ok = true;
    for (size_t i = 0; i < captions.size(); ++i)
        ok &= key.WriteText(kCaptionNames[i], captions[i]);
    ok &= key.WriteText("Skin", f.skin);
    ok &= key.WriteText("Lngname", f.language);
    ok &= WriteFlag(key, "default", f.shell.defaultHandler);
    ok &= WriteFlag(key, "nomenu", !f.shell.shellMenus);
    ok &= WriteFlag(key, "nohlink", !f.shell.hardLinkItem);
    const struct {
        const char* name;
        int32_t value;
    } ints[] = {
        {"splim", f.speedLimit},
        {"bufsz", f.bufferSize},
        {"limtip", LimtipOfUnitEntry(f.unitEntry)},
        {"resume", f.resume},
        {"parcopy", f.parallel},
        {"readburst", f.readBurst},
        {"writeburst", f.writeBurst},
        {"hist", f.hist},
        {"encrc", f.verify},
        {"resfsz", f.reserve},
        {"delmode", (f.wipePasses & 3) * 2},
        {"snden", f.sound},
        {"popup", f.openTargets},
        {"shutd", f.shutdown},
        {"sddel", f.shutdownDelay},
    };
    for (const auto& v : ints)
        ok &= key.WriteInt(v.name, v.value);
    ok &= key.WriteText("sndpath", f.soundPath);
    const struct {
        const char* name;
        int32_t value;
    } policies[] = {
        {"onerror", f.onError},   {"rtdel", f.retryDelay},   {"skdel", f.giveUpAfter},
        {"enskdel", f.giveUp},    {"onexist", OnExistOf(f)}, {"names", f.names},
        {"manifest", f.manifest},
    };
    for (const auto& v : policies)
        ok &= key.WriteInt(v.name, v.value);
    return ok && store.Flush();
}

}  // namespace rd
