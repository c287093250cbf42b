// Feeds arbitrary bytes to the job-line and list-file parsers.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/source_reader.h"
#include "engine/dest_table.h"
#include "platform/literal_list.h"
#include "platform/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    rd::HoldsJob(input);
    rd::ScanProfile(input);
    const rd::LineFields fields = rd::SplitFields(input);
    rd::JobPolicy policy;
    rd::JobFlags flags;
    rd::ResetJobState(policy, flags);
    rd::ApplySwitches(fields.switches, policy, flags);
    rd::ApplySwitches(input, policy, flags);

    // A literal list's entries may hold line breaks; a list in lines never gives one.
    const bool literal = rd::text::IsLiteralList(input);
    const std::vector<std::string> items = rd::text::SplitListFile(input);
    for (const std::string& item : items) {
        if (item.empty() || (!literal && item.find('\r') != std::string::npos) ||
            item.find('\0') != std::string::npos)
            __builtin_trap();
    }
    if (literal && rd::text::SplitLiteralList(rd::text::LiteralListBytes(items)) != items)
        __builtin_trap();
    rd::SplitInlineSources(fields.source, "/cwd");

    const rd::SplitTargets targets = rd::SplitDestinations(rd::SplitTargetText(input));
    if (targets.roots.size() > rd::kMaxDestinations)
        __builtin_trap();
    for (const std::string& root : targets.roots) {
        if (!root.empty() && root.back() == '/')
            __builtin_trap();
    }
    rd::text::Utf16ToUtf8(rd::text::Utf8ToUtf16(input));
    return 0;
}
