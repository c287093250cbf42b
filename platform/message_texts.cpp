#include "platform/message_texts.h"

namespace rd {

namespace {

// The message texts when no language file gives them.
constexpr MessageTable::Texts kBuiltInMessages = {
    "",
    "Resume is not possible with several destinations.",
    "Resume is not possible: the existing file is not the beginning of the new one.",
    "Copying file:",
    "Size:",
    "Existing file:",
    "Size:",
    "Can't read source file. Error",
    "File:",
    "Position:",
    "The job is complete. Open the destination folders?",
    "Speed:",
    "Can't write to the destination. Error",
    "Free space:",
    "Average:",
    "Some links could not be made:",
    "Pause",
    "Resume",
    "RedoDori to...",
    "Move to...",
    "RedoDori delete",
    "RedoDori here",
    "Move here",
    "Hard link here",
    "Don't overwrite",
    "Overwrite once",
    "Overwrite twice",
    "Overwrite three times",
    "bps",
    "Kbps",
    "%",
    "No limit",
    "Store in %s profile",
    "Autoresume ON",
    "Autoresume OFF",
    "History ON",
    "History OFF",
    "Wait: %u",
    "%s of %s",
    "bytes",
    "Kbytes",
    "Mbytes",
    "Confirmation",
    "Pressing 'Heal' will bypass reading of any unreadable data! Please use 'Retry' if "
    "possible. Are you sure you want to skip unreadable file's regions?",
    "Warning",
    "Can't save settings now",
    "The settings could not be stored in %s",
    "Yes",
    "No",
    "OK",
    "Cancel",
    "local",
    "network",
    "The destinations cannot take these files as they are:",
    "%s: the file system refuses this name; renamed it becomes %s",
    "%s: the same name as %s where case is ignored; renamed it becomes %s",
    "%s: %s is more than the largest file this file system takes (%s)",
    "%s: this file system cannot hold a symbolic link",
    "%s: the job needs %s there and %s is free",
    "\u2026 and %u more",
    "Ask",
    "Rename",
    "Skip",
    "None",
    "Check finished: %u files good, %u mismatched, %u missing, %u unreadable, %u lines skipped",
    "Check aborted: %u files good, %u mismatched, %u missing, %u unreadable, %u lines skipped",
};

}  // namespace

const MessageTable::Texts& BuiltInMessages() {
    return kBuiltInMessages;
}

std::string MessageText(const MessageTable& table, int n) {
    if (table.Filled())
        return table.Text(n);
    return n >= 1 && n <= MessageTable::kSlots ? std::string(kBuiltInMessages[n]) : std::string();
}

std::string FillIn(std::string_view pattern, std::initializer_list<std::string_view> values) {
    std::string out;
    auto value = values.begin();
    size_t i = 0;
    while (i < pattern.size()) {
        if (pattern[i] == '%' && i + 1 < pattern.size() &&
            (pattern[i + 1] == 's' || pattern[i + 1] == 'u') && value != values.end()) {
            out += *value++;
            i += 2;
            continue;
        }
        out += pattern[i++];
    }
    return out;
}

}  // namespace rd
