#include "app/handoff.h"

#include <iterator>
#include <set>
#include <utility>

#include "engine/dest_table.h"
#include "platform/messages.h"
#include "platform/path_parts.h"

namespace rd::handoff {

namespace {

// Bounds on what senders may leave half-sent: a few at a time, each far more than a list that
// could come whole within kAcceptWithinMs.
constexpr size_t kMaxSenders = 16;
constexpr uint64_t kMaxBytes = 8u << 20;

std::set<std::string> Roots(const std::vector<std::string>& targets, std::string_view folder) {
    std::set<std::string> roots;
    for (const std::string& root : SplitDestinations(targets).roots)
        roots.insert(LexicalPath(root.empty() ? "/" : root, folder));
    return roots;
}

}  // namespace

std::string RefusalReason(int64_t answer) {
    switch (answer) {
        case kOtherKind: return "its job is of another kind";
        case kOtherDestinations: return "its destinations differ";
        case kEnding: return "its job is ending";
        case kNotStarted: return "it has not started its job yet";
        case kIncomplete: return "the hand-off did not arrive whole";
        case kTooLate: return "the hand-off arrived too late";
        case kNoAnswer: return "no answer came";
        case kNotSent: return "the hand-off could not be sent";
        case kNoAnswerEndpoint: return "no answer could be received";
        case kNoDestinations: return "the job's destinations cannot be read";
        default: return "it refused the hand-off";
    }
}

std::vector<bus::Packet> Chunks(const std::string& item, uint32_t sender) {
    std::string bytes = item;
    bytes.push_back('\0');
    while (bytes.size() % 8)
        bytes.push_back('\0');
    std::vector<bus::Packet> chunks;
    for (size_t at = 0; at < bytes.size(); at += 8) {
        uint64_t w = sender, l = 0;
        for (size_t k = 0; k < 4; ++k) {
            w = (w << 8) | static_cast<uint8_t>(bytes[at + k]);
            l = (l << 8) | static_cast<uint8_t>(bytes[at + 4 + k]);
        }
        chunks.push_back({msg::WMU_HANDOFF, w, static_cast<int64_t>(l)});
    }
    return chunks;
}

bus::Packet Closing(uint32_t sender, uint32_t sources, uint64_t startedMs) {
    return {msg::WMU_HANDOFFEND, (static_cast<uint64_t>(sender) << 32) | sources,
            static_cast<int64_t>(startedMs)};
}

bus::Packet Reply(uint64_t startedMs, Answer answer) {
    return {msg::WMU_HANDOFFANSWER, startedMs, answer};
}

std::string LexicalPath(std::string_view path, std::string_view folder) {
    std::string full(path.substr(0, 1) == "/" ? "" : folder);
    full += "/";
    full += path;
    return NormalizePath(full);
}

std::string DescribeJob(JobMode mode, Links links, const std::vector<std::string>& targets,
                        std::string_view folder) {
    const bool remove = IsDelete(mode);
    std::string job = remove ? "delete" : IsMove(mode) ? "move" : "copy";
    if (remove || IsMove(mode))
        job += " wipe " + std::to_string(WipePasses(mode));
    if (links != Links::None)
        job += links == Links::Tree ? " tree link" : " link";
    job += "?";
    // A delete has no destinations: whatever target text came with it does not matter. Each
    // root goes with its length, since a folder's name may hold any byte but NUL; the set gives
    // them in one order, so that equal destinations make equal text.
    if (!remove)
        for (const std::string& root : Roots(targets, folder))
            job += std::to_string(root.size()) + ":" + root;
    return job;
}

Answer Compare(std::string_view sender, std::string_view receiver) {
    const size_t a = sender.find('?'), b = receiver.find('?');
    if (a == std::string_view::npos || b == std::string_view::npos ||
        sender.substr(0, a) != receiver.substr(0, b))
        return kOtherKind;
    if (sender.substr(a + 1) != receiver.substr(b + 1))
        return kOtherDestinations;
    return kAccepted;
}

void Inbox::Add(uint64_t wParam, int64_t lParam, uint64_t nowMs) {
    const auto sender = static_cast<uint32_t>(wParam >> 32);
    if (sender == 0)
        return;
    for (auto it = pending_.begin(); it != pending_.end();)
        it = nowMs > it->second.lastMs + kAnswerTimeoutMs ? pending_.erase(it) : std::next(it);
    auto it = pending_.find(sender);
    if (it == pending_.end()) {
        if (pending_.size() >= kMaxSenders)
            return;
        it = pending_.emplace(sender, Pending{}).first;
    }
    Pending& p = it->second;
    p.lastMs = nowMs;
    p.bytes += 8;
    if (p.bytes > kMaxBytes) {
        p.broken = true;
        p.partial.clear();
        p.items.clear();
    }
    if (p.broken)
        return;
    std::string bytes;
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.push_back(static_cast<char>((wParam >> shift) & 0xFF));
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.push_back(static_cast<char>((static_cast<uint64_t>(lParam) >> shift) & 0xFF));
    p.partial += bytes.substr(0, bytes.find('\0'));
    if (bytes[7] != '\0')
        return;
    // No sender sends an empty item: one means chunks went astray.
    if (p.partial.empty())
        p.broken = true;
    p.items.push_back(std::move(p.partial));
    p.partial.clear();
}

std::optional<Inbox::Items> Inbox::Take(uint32_t sender, uint32_t sources) {
    const auto it = pending_.find(sender);
    if (it == pending_.end())
        return std::nullopt;
    Pending p = std::move(it->second);
    pending_.erase(it);
    if (p.broken || !p.partial.empty() || p.items.size() != static_cast<size_t>(sources) + 1)
        return std::nullopt;
    Items items;
    items.job = std::move(p.items.front());
    items.sources.assign(std::make_move_iterator(p.items.begin() + 1),
                         std::make_move_iterator(p.items.end()));
    return items;
}

}  // namespace rd::handoff
