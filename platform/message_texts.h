// What the language's message table holds beyond its slots: the numbers of the slots that
// several windows share, the built-in (English) texts of every slot, and the placing of values
// into a text.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/message_table.h"

namespace rd {

// The message slots above 32, for texts that several windows or message boxes share.
namespace text_slot {
inline constexpr int kAutoresumeOn = 33;
inline constexpr int kAutoresumeOff = 34;
inline constexpr int kHistoryOn = 35;
inline constexpr int kHistoryOff = 36;
inline constexpr int kWait = 37;    // "Wait: %u", the progress label while the job ends
inline constexpr int kOf = 38;      // "%s of %s", done and listed bytes or files
inline constexpr int kBytes = 39;   // buffer sizes and file sizes: "512 bytes"
inline constexpr int kKbytes = 40;  // "4 Kbytes"
inline constexpr int kMbytes = 41;  // "1 Mbytes"
inline constexpr int kConfirmation = 42;
inline constexpr int kHealWarning = 43;
inline constexpr int kWarning = 44;
inline constexpr int kCannotSave = 45;
inline constexpr int kNotStored = 46;  // "%s": the settings store's path
inline constexpr int kYes = 47;
inline constexpr int kNo = 48;
inline constexpr int kOk = 49;
inline constexpr int kCancel = 50;
inline constexpr int kLocalProfile = 51;  // the profiles' names as the windows show them
inline constexpr int kNetworkProfile = 52;
// The question about what the destinations cannot take: its first line, a line for each kind
// of finding ("%s" the destination, then the renamed name, the other name or the sizes), and
// the last line when not every finding is listed ("%u" how many more).
inline constexpr int kNamesHead = 53;
inline constexpr int kNamesRefused = 54;
inline constexpr int kNamesFoldTogether = 55;
inline constexpr int kNamesTooLarge = 56;
inline constexpr int kNamesNoLinks = 57;
inline constexpr int kNamesNoRoom = 58;
inline constexpr int kNamesMore = 59;
// The settings dialog's choices for those names.
inline constexpr int kNamesAsk = 60;
inline constexpr int kNamesRename = 61;
inline constexpr int kNamesSkip = 62;
// The settings dialog's choice of no checksum manifest; the kinds go by the tools' own names.
inline constexpr int kManifestNone = 63;
// The last line of a check of manifests, as it ended: its counts of files good, mismatched,
// missing and unreadable, and of manifest lines skipped.
inline constexpr int kCheckFinished = 64;
inline constexpr int kCheckAborted = 65;
inline constexpr int kLastUsed = 65;
}  // namespace text_slot

// The message texts used when a language file does not give them (English).
const MessageTable::Texts& BuiltInMessages();

// Language text `n` of `table`; the built-in text while the table was never filled.
std::string MessageText(const MessageTable& table, int n);

// Puts `values` into `pattern` in order, each in place of the next "%s" or "%u". A language
// text is never used as a printf format: a file cannot make the program read arguments it
// does not have. Placeholders beyond the values stay as written; values beyond the
// placeholders are left out (a translation may leave a value out).
std::string FillIn(std::string_view pattern, std::initializer_list<std::string_view> values);

}  // namespace rd
