#include "engine/destination_check.h"

#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <map>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include "engine/engine_context.h"
#include "engine/error_settler.h"
#include "engine/file_list.h"
#include "engine/name_map.h"
#include "platform/fs.h"
#include "platform/path_parts.h"
#include "platform/text.h"

namespace rd {

namespace {

// A name that a destination folder holds, or that the job will put there: the name as it lands
// and the node's own name before any rename (empty for a file already there).
struct TakenName {
    std::string landed;
    std::string original;
};

using FolderIndex = std::unordered_map<std::string, TakenName>;

// The planner's state for one destination: the names of each folder the job writes in, keyed
// as the file system compares them, and where each renamed folder lands.
class Planner {
public:
    Planner(uint32_t slot, const VolumeRules& rules, const FolderNames& existing)
        : slot_(slot), rules_(rules), existing_(existing) {}

    void Add(FENTRY_& node, SlotPlan& plan, const std::function<bool(const FENTRY_&)>& takesRoom);

private:
    std::string Key(const std::string& name) const {
        return rules_.foldsCase ? FoldedName(name) : name;
    }
    FolderIndex& Folder(const std::string& relative);
    // Whether a node named `original` may land as `landed` in `folder`.
    bool Free(const FolderIndex& folder, const std::string& landed,
              const std::string& original) const;
    // The name `node` lands as in `folder`, numbered when the file system would take it for
    // another one; `other` gets that one's name.
    std::string Land(FolderIndex& folder, const std::string& wanted, const std::string& original,
                     bool isFolder, std::string& other);

    uint32_t slot_;
    const VolumeRules& rules_;
    const FolderNames& existing_;
    std::unordered_map<std::string, FolderIndex> folders_;
    // Original path of a folder below the root -> where it lands, for every folder that moves.
    std::unordered_map<std::string, std::string> moved_;
};

FolderIndex& Planner::Folder(const std::string& relative) {
    auto [it, added] = folders_.try_emplace(relative);
    if (added) {
        for (const std::string& name : existing_(relative))
            it->second.try_emplace(Key(name), TakenName{name, {}});
    }
    return it->second;
}

bool Planner::Free(const FolderIndex& folder, const std::string& landed,
                   const std::string& original) const {
    const auto it = folder.find(Key(landed));
    if (it == folder.end())
        return true;
    // Another spelling is another file there; the same spelling is free for the same name from
    // another source (the rules that protect what this job wrote settle it) and for a file
    // already there (the existing-file rules settle it, so that a second run lands where the
    // first did).
    return it->second.landed == landed &&
           (it->second.original.empty() || it->second.original == original);
}

std::string Planner::Land(FolderIndex& folder, const std::string& wanted,
                          const std::string& original, bool isFolder, std::string& other) {
    std::string landed = wanted;
    if (!Free(folder, landed, original)) {
        other = folder.at(Key(landed)).landed;
        for (int n = 2; !Free(folder, landed, original); ++n)
            landed = NumberedName(wanted, n, isFolder);
    }
    folder[Key(landed)] = TakenName{landed, original};
    return landed;
}

void Planner::Add(FENTRY_& node, SlotPlan& plan,
                  const std::function<bool(const FENTRY_&)>& takesRoom) {
    const std::string& relative = node.relative;
    const size_t slash = relative.rfind('/');
    const std::string parent = relative.substr(0, slash);
    const std::string name = relative.substr(slash + 1);
    const auto moved = moved_.find(parent);
    const std::string landsIn = moved == moved_.end() ? parent : moved->second;
    const bool regular = S_ISREG(node.attributes);

    NodePlan found{&node, slot_, NameProblem::Refused, {}, {}};
    bool problem = false;
    if (regular && node.size > rules_.largestFile) {
        found.problem = NameProblem::TooLarge;
        problem = true;
    } else if (S_ISLNK(node.attributes) && !rules_.symbolicLinks) {
        found.problem = NameProblem::NoLinks;
        problem = true;
    }
    std::string landed = name;
    if (rules_.LimitsNames()) {
        const bool refused = !rules_.TakesName(name);
        std::string other;
        landed = Land(Folder(landsIn), refused ? LookAlikeName(name, rules_) : name, name,
                      node.IsFolder(), other);
        if (!problem && (refused || !other.empty())) {
            found.problem = refused ? NameProblem::Refused : NameProblem::FoldsTogether;
            found.other = other.empty() ? std::string() : landsIn + "/" + other;
            problem = true;
        }
    }
    const std::string path = landsIn + "/" + landed;
    if (problem &&
        (found.problem == NameProblem::Refused || found.problem == NameProblem::FoldsTogether))
        found.renamed = path;
    if (path != relative) {
        plan.renamedPaths.emplace_back(&node, path);
        if (node.IsFolder())
            moved_[relative] = path;
    }
    if (problem)
        plan.found.push_back(std::move(found));
    else if (regular && takesRoom(node))
        plan.needed += (node.size + rules_.blockSize - 1) / rules_.blockSize * rules_.blockSize;
}

OutcomeCause CauseOf(NameProblem problem) {
    switch (problem) {
        case NameProblem::Refused: return OutcomeCause::NameRefused;
        case NameProblem::FoldsTogether: return OutcomeCause::NameTaken;
        case NameProblem::TooLarge: return OutcomeCause::TooLarge;
        case NameProblem::NoLinks: return OutcomeCause::NoLinks;
        case NameProblem::NoRoom: break;
    }
    return OutcomeCause::FolderLeftOut;
}

// The names in `folder`; none when it cannot be read (it does not exist yet).
std::vector<std::string> NamesIn(const std::string& folder) {
    std::vector<fs::DirEntry> entries;
    std::vector<std::string> names;
    if (fs::ListFolder(folder.empty() ? "/" : folder, "*", entries) == 0) {
        for (fs::DirEntry& entry : entries)
            names.push_back(std::move(entry.name));
    }
    return names;
}

// Stands for the device of every share: no source is on one, and the room there is not known.
constexpr dev_t kShareDevice = static_cast<dev_t>(~0ULL);

// The device of `path`, or of its nearest parent that exists.
dev_t DeviceOf(std::string path) {
    struct stat st {};
    while (stat(path.empty() ? "/" : path.c_str(), &st) != 0 && !path.empty()) {
        const size_t cut = path.rfind('/');
        path.resize(cut == std::string::npos ? 0 : cut);
    }
    return st.st_dev;
}

}  // namespace

SlotPlan PlanDestination(const std::vector<FENTRY_*>& nodes, uint32_t slot,
                         const VolumeRules& rules, const FolderNames& existing,
                         const std::function<bool(const FENTRY_&)>& takesRoom) {
    SlotPlan plan;
    Planner planner(slot, rules, existing);
    for (FENTRY_* node : nodes)
        planner.Add(*node, plan, takesRoom);
    return plan;
}

bool DestinationCheck::Run() {
    if (IsDelete(ctx_.policy.mode) || ctx_.options.PerFileLink || !ctx_.options.CheckDestinations)
        return true;
    {
        std::lock_guard<std::mutex> lock(ctx_.list.ListLock);
        for (FENTRY_* node = ctx_.list.Head(); node; node = node->next)
            nodes_.push_back(node);
    }
    if (nodes_.empty())
        return true;
    const bool oneMove = IsMove(ctx_.policy.mode) && ctx_.dests.Count() == 1;
    std::vector<SlotPlan> plans;
    bool anything = false;
    for (uint32_t slot = 0; slot < ctx_.dests.Count(); ++slot) {
        const std::string root = ctx_.dests[slot].root;
        const bool local = ctx_.dests[slot].Local();
        // A share names files as Windows does, whatever the server keeps them on.
        rules_.push_back(local ? ReadVolumeRules(root.empty() ? "/" : root) : RulesOfType("smb3"));
        // A move within one file system renames: its data takes no new room.
        const dev_t device = local ? DeviceOf(root) : kShareDevice;
        devices_.push_back(device);
        std::map<const std::string*, bool> sameDevice;
        const auto takesRoom = [&](const FENTRY_& node) {
            if (!oneMove)
                return true;
            auto it = sameDevice.find(node.base);
            // A share's file is never renamed into place: its copy takes room.
            if (it == sameDevice.end())
                it = sameDevice
                         .emplace(node.base, !SourceFiles::OnShare(node.Base()) &&
                                                 DeviceOf(node.Base()) == device)
                         .first;
            return !it->second;
        };
        const FolderNames existing = [&](const std::string& relative) {
            return local ? NamesIn(root + relative) : std::vector<std::string>();
        };
        plans.push_back(PlanDestination(nodes_, slot, rules_.back(), existing, takesRoom));
        anything = anything || !plans.back().found.empty();
    }
    for (uint32_t slot = 0; slot < plans.size(); ++slot)
        anything = anything || ShortOfRoom(plans, slot);
    if (!anything)
        return true;
    const NamesAnswer answer = Decide(plans);
    if (answer == NamesAnswer::Abort || ctx_.state.flags.Terminating) {
        RequestJobEnd(ctx_, 0);
        return false;
    }
    Carry(answer, plans);
    return true;
}

uint64_t DestinationCheck::RoomNeeded(const std::vector<SlotPlan>& plans, uint32_t slot) const {
    for (uint32_t earlier = 0; earlier < slot; ++earlier) {
        if (devices_[earlier] == devices_[slot])
            return 0;
    }
    uint64_t total = 0;
    for (uint32_t other = slot; other < plans.size(); ++other) {
        if (devices_[other] == devices_[slot])
            total += plans[other].needed;
    }
    return total;
}

bool DestinationCheck::ShortOfRoom(const std::vector<SlotPlan>& plans, uint32_t slot) const {
    const int64_t free = rules_[slot].freeBytes;
    return free >= 0 && RoomNeeded(plans, slot) > static_cast<uint64_t>(free);
}

NamesFacts DestinationCheck::Facts(const std::vector<SlotPlan>& plans) const {
    NamesFacts facts;
    const auto add = [&](NameFinding finding) {
        if (facts.findings.size() < kMaxNameFindings)
            facts.findings.push_back(std::move(finding));
        ++facts.total;
    };
    for (uint32_t slot = 0; slot < plans.size(); ++slot) {
        const std::string& root = ctx_.dests[slot].root;
        const VolumeRules& rules = rules_[slot];
        if (ShortOfRoom(plans, slot))
            add({NameProblem::NoRoom,
                 root.empty() ? "/" : root,
                 {},
                 {},
                 RoomNeeded(plans, slot),
                 static_cast<uint64_t>(rules.freeBytes)});
        for (const NodePlan& found : plans[slot].found) {
            NameFinding finding{found.problem, root + found.node->relative, {}, {}, 0, 0};
            if (!found.renamed.empty())
                finding.renamed = root + found.renamed;
            if (!found.other.empty())
                finding.other = root + found.other;
            if (found.problem == NameProblem::TooLarge) {
                finding.size = found.node->size;
                finding.limit = rules.largestFile;
            }
            add(std::move(finding));
        }
    }
    return facts;
}

NamesAnswer DestinationCheck::Decide(const std::vector<SlotPlan>& plans) {
    switch (ctx_.policy.names.Get()) {
        case NamesPolicy::Rename: return NamesAnswer::Rename;
        case NamesPolicy::Skip: return NamesAnswer::Skip;
        case NamesPolicy::Ask: break;
    }
    return ctx_.questions ? ctx_.questions->AskNames(Facts(plans)) : NamesAnswer::Skip;
}

void DestinationCheck::Carry(NamesAnswer answer, std::vector<SlotPlan>& plans) {
    const uint32_t count = ctx_.dests.Count();
    std::unordered_map<FENTRY_*, DestChanges> changes;
    const auto change = [&](FENTRY_* node, uint32_t slot) -> DestChanges::Slot& {
        DestChanges& c = changes[node];
        c.perSlot.resize(count);
        return c.perSlot[slot];
    };
    for (uint32_t slot = 0; slot < count; ++slot) {
        const std::string& root = ctx_.dests[slot].root;
        const bool rename = answer == NamesAnswer::Rename;
        // What is left out here: the nodes found that a rename does not mend, and under Skip
        // every node found, with what lies below a folder among them.
        std::unordered_map<FENTRY_*, const NodePlan*> leftOut;
        std::vector<const NodePlan*> renamed;
        for (const NodePlan& found : plans[slot].found) {
            if (rename && !found.renamed.empty())
                renamed.push_back(&found);
            else
                leftOut.emplace(found.node, &found);
        }
        if (rename) {
            for (const auto& [node, path] : plans[slot].renamedPaths)
                change(node, slot).relative = path;
            WriteRenameMap(slot, renamed);
        }
        std::unordered_set<std::string> leftFolders;
        for (FENTRY_* node : nodes_) {
            const auto it = leftOut.find(node);
            const std::string parent = node->relative.substr(0, node->relative.rfind('/'));
            const bool below = leftFolders.count(parent) > 0;
            if (it == leftOut.end() && !below)
                continue;
            if (node->IsFolder())
                leftFolders.insert(node->relative);
            change(node, slot).skipped = true;
            NodeOutcome outcome =
                Skipped(node->SourcePath(),
                        below ? OutcomeCause::FolderLeftOut : CauseOf(it->second->problem),
                        root + node->relative);
            if (!below && !it->second->other.empty())
                outcome.other = root + it->second->other;
            ctx_.Report(outcome);
        }
    }
    std::lock_guard<std::mutex> lock(ctx_.list.ListLock);
    for (auto& [node, c] : changes)
        node->changes = ctx_.list.KeepChanges(std::move(c));
}

void DestinationCheck::WriteRenameMap(uint32_t slot, const std::vector<const NodePlan*>& renamed) {
    if (renamed.empty())
        return;
    const std::string& root = ctx_.dests[slot].root;
    ctx_.dests.MakeRoots();
    std::string text;
    for (const NodePlan* found : renamed)
        text += text::EscapeAsOneLine(found->node->relative.substr(1)) + "\t" +
                text::EscapeAsOneLine(found->renamed.substr(1)) + "\n";
    const time_t now = std::time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string folder = root.empty() ? "/" : root;
    // Two jobs in one second each get a list of their own.
    for (int n = 1; n < 100; ++n) {
        std::string name = std::string("RedoDori-renames-") + stamp;
        if (n > 1)
            name.append(1, '-').append(std::to_string(n));
        name += ".tsv";
        const int error = fs::CreateNewFile(folder, name, text);
        if (error == EEXIST)
            continue;
        const std::string path = root + "/" + name;
        if (error == 0)
            ctx_.Report(
                {OutcomeKind::Done, OutcomeCause::RenameMap, Operation::None, 0, path, {}, {}});
        else
            ctx_.Report(Failed(path, OutcomeCause::OperationFailed, error, Operation::Write));
        return;
    }
}

}  // namespace rd
