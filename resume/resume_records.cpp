#include "resume/resume_records.h"

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <map>

#include "platform/fs.h"
#include "platform/literal_list.h"
#include "platform/message_texts.h"
#include "platform/path_parts.h"
#include "platform/paths.h"
#include "platform/store.h"
#include "platform/text.h"
#include "resume/resume_slot.h"
#include "settings/store_keys.h"

namespace rd {

namespace {

// No list of paths comes near this size; a bigger "list" is some other file.
constexpr uint64_t kMaxListBytes = uint64_t{256} << 20;

std::string Folder(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash ? slash : 1);
}

// The record number a value name stands for: decimal, 0 to 998, no leading zeros.
std::optional<int32_t> RecordNumber(std::string_view name) {
    int32_t n = -1;
    const auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), n);
    if (ec != std::errc() || end != name.data() + name.size() || n < 0 || n >= kResumeSlots ||
        std::to_string(n) != name)
        return std::nullopt;
    return n;
}

const char* Why(fs::Refusal refusal) {
    switch (refusal) {
        case fs::Refusal::kSymbolicLink: return "is a symbolic link";
        case fs::Refusal::kNotRegular: return "is not a regular file";
        case fs::Refusal::kOtherOwner: return "belongs to another user";
        case fs::Refusal::kTooLarge: return "is larger than 256 MiB";
        case fs::Refusal::kNone: break;
    }
    return "";
}

const char* Damage(const std::string& data) {
    // A literal list ends every source with a NUL byte: one that does not was cut short.
    if (text::IsLiteralList(data))
        return data.back() == '\0' ? "" : "it ends in the middle of a source";
    const bool wide = data.size() >= 2 && data.compare(0, 2, "\xFF\xFE") == 0;
    if (wide && data.size() % 2)
        return "it ends in half a character";
    if (!wide && data.find('\0') != std::string::npos)
        return "it holds NUL bytes";
    return "";
}

}  // namespace

std::optional<StoredCommand> SplitStoredCommand(std::string_view command) {
    const size_t cut = command.find(" |");
    if (cut == std::string_view::npos || cut == 0)
        return std::nullopt;
    return StoredCommand{std::string(command.substr(0, cut)), std::string(command.substr(cut + 1))};
}

std::string BetweenBars(std::string_view value, int bar) {
    size_t at = 0;
    for (int seen = 0; seen < bar; ++seen) {
        at = value.find('|', at);
        if (at == std::string_view::npos)
            return {};
        ++at;
    }
    return std::string(value.substr(at, value.find('|', at) - at));
}

std::string OwnProgramPath() {
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

bool IsOwnProgram(const std::string& program, const std::string& ownProgram) {
    if (program.empty() || program[0] != '/')
        return false;
    const auto stored = fs::IdOf(program);
    const auto own = fs::IdOf(ownProgram);
    return stored && own && *stored == *own;
}

bool ReadResumeList(const std::string& path, std::vector<std::string>& sources,
                    std::string& error) {
    const std::string named = "the record's list file " + path;
    if (path.empty() || path[0] != '/') {
        error = "the record names no list file by its full path";
        return false;
    }
    // Its own folder counts as strict: only the user's own file, never through a link.
    std::vector<fs::FileId> strict;
    if (const auto folder = fs::IdOf(Folder(path)))
        strict.push_back(*folder);
    fs::RegularFile read = fs::ReadRegularFile(path, kMaxListBytes, strict);
    if (read.error) {
        error = named + (read.error == ENOENT
                             ? " is missing"
                             : " cannot be read: " + std::string(std::strerror(read.error)));
        return false;
    }
    const char* why = Why(read.refusal);
    if (*why) {
        error = named + " " + why;
        return false;
    }
    const char* damage = Damage(read.data);
    std::vector<std::string> items = text::SplitListFile(read.data);
    if (!*damage && items.empty())
        damage = "it names no source";
    for (const std::string& item : items) {
        if (!*damage && item[0] != '/')
            damage = "a source is not a full path";
    }
    if (*damage) {
        error = named + " is damaged: " + damage;
        return false;
    }
    sources = std::move(items);
    return true;
}

bool CheckStoredCommand(const std::string& command, const std::string& ownProgram,
                        StoredCommand& split, std::string& error) {
    const std::optional<StoredCommand> parts = SplitStoredCommand(command);
    if (!parts) {
        error = "the record holds no command";
        return false;
    }
    if (!IsOwnProgram(parts->program, ownProgram)) {
        error = "the record's command runs " + parts->program + ", not this program (" +
                ownProgram + "); it is not run";
        return false;
    }
    std::vector<std::string> sources;
    if (!ReadResumeList(BetweenBars(parts->argument, 1), sources, error))
        return false;
    split = *parts;
    return true;
}

std::vector<ResumeRecord> ReadResumeRecords(Store& store) {
    std::map<int32_t, ResumeRecord> found;
    std::map<std::string, std::string> texts;
    for (const StoreValue& value : store.Values(StoreRoot::CurrentUser, kResumeKey)) {
        if (const auto n = RecordNumber(value.name))
            found[*n].n = *n;
        // Value names compare without case: "F_5" is "f_5".
        std::string name = value.name;
        for (char& c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (value.type == ValueType::Text)
            texts[name] = value.text;
    }
    std::vector<ResumeRecord> records;
    for (auto& [n, record] : found) {
        const std::string name = std::to_string(n);
        record.command = texts[name];
        record.from = texts["f_" + name];
        record.time = texts["t_" + name];
        record.autostart = texts["d_" + name].empty();
        records.push_back(record);
    }
    return records;
}

std::vector<std::string> RecordDestinations(const ResumeRecord& record) {
    const std::string field = BetweenBars(record.command, 2);
    if (BetweenBars(record.command, 3).find('f') != std::string::npos) {
        const fs::RegularFile read = fs::ReadRegularFile(field, kMaxListBytes, {});
        if (read.error || read.refusal != fs::Refusal::kNone || !text::IsLiteralList(read.data))
            return {field};
        return text::SplitLiteralList(read.data);
    }
    std::vector<std::string> folders;
    for (std::string_view rest = field; !rest.empty();) {
        const size_t mark = rest.find('?');
        if (mark)
            folders.emplace_back(rest.substr(0, mark));
        rest.remove_prefix(mark == std::string_view::npos ? rest.size() : mark + 1);
    }
    return folders;
}

std::vector<std::string> RecordSources(const ResumeRecord& record) {
    std::vector<std::string> sources;
    std::string error;
    const std::optional<StoredCommand> command = SplitStoredCommand(record.command);
    if (!command || !ReadResumeList(BetweenBars(command->argument, 1), sources, error))
        return {};
    return sources;
}

std::string SourcesText(std::string_view first, size_t count, std::string_view more) {
    if (count == 0)
        return {};
    while (first.size() > 1 && first.back() == '/')
        first.remove_suffix(1);
    const std::string name = first == "/" ? std::string(first) : NamePart(first);
    if (count == 1)
        return name;
    return FillIn(more, {name, std::to_string(count - 1)});
}

RecordColumns ColumnsOf(const ResumeRecord& record) {
    std::string to;
    for (const std::string& folder : RecordDestinations(record))
        to += folder + "?";
    return {record.time.empty() ? "Unknown" : record.time,
            record.from.empty() ? "Unknown" : record.from, to, record.autostart ? "Yes" : "No"};
}

std::vector<int32_t> StartupRecords(Store& store, std::vector<int32_t>* running) {
    std::vector<int32_t> numbers;
    for (const ResumeRecord& record : ReadResumeRecords(store)) {
        if (!record.autostart)
            continue;
        if (!ResumeJobRunning(record.n))
            numbers.push_back(record.n);
        else if (running)
            running->push_back(record.n);
    }
    return numbers;
}

void FlipAutostart(Store& store, int32_t n) {
    StoreKey key(store, StoreRoot::CurrentUser, std::string(kResumeKey));
    const std::string name = "d_" + std::to_string(n);
    if (!key.ReadText(name).value_or("").empty())
        key.DeleteValue(name);
    else
        key.WriteText(name, "x");
    store.Flush();
}

bool StartMinimized(Store& store) {
    return store.ReadInt(StoreRoot::CurrentUser, kResumeKey, "min").value_or(0) != 0;
}

void SetStartMinimized(Store& store, bool on) {
    store.WriteInt(StoreRoot::CurrentUser, kResumeKey, "min", on ? 1 : 0);
    store.Flush();
}

std::vector<std::string> DeleteRecordValues(Store& store, int32_t n) {
    StoreKey key(store, StoreRoot::CurrentUser, std::string(kResumeKey));
    const std::string name = std::to_string(n);
    std::vector<std::string> lists;
    if (const auto command = SplitStoredCommand(key.ReadText(name).value_or(""))) {
        lists.push_back(BetweenBars(command->argument, 1));
        if (BetweenBars(command->argument, 3).find('f') != std::string::npos)
            lists.push_back(BetweenBars(command->argument, 2));
    }
    for (const std::string& value : {"t_" + name, "f_" + name, "d_" + name, name})
        key.DeleteValue(value);
    store.Flush();
    return lists;
}

bool RemoveResumeList(const std::string& path) {
    const auto folder = fs::IdOf(Folder(path));
    const auto file = fs::GetAttributes(path);
    if (path.empty() || path[0] != '/' || !folder || !file || !file->IsRegular() ||
        file->uid != ::geteuid())
        return false;
    for (const std::string& jobFolder : {paths::StateDir(), paths::TempDir()}) {
        if (fs::IdOf(jobFolder) == folder)
            return fs::RemoveIfSame(path, *folder, {file->device, file->inode}) == 0;
    }
    return false;
}

}  // namespace rd
