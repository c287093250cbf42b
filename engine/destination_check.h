// Holds the whole list against each destination's rules before the first byte: names the file
// system refuses, names it would take for one another, files larger than it takes, links it
// cannot hold, and data that does not fit. What is found is asked about once for the whole job
// (or settled by the names policy), and the answer is carried out on the list: nodes renamed or
// left out per destination, and each destination's renames listed in a file beside the copy.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/questions.h"
#include "platform/volume_rules.h"

namespace rd {

struct EngineContext;
struct FENTRY_;

// What the check plans for one node in one destination.
struct NodePlan {
    FENTRY_* node = nullptr;
    uint32_t slot = 0;
    NameProblem problem = NameProblem::Refused;
    // Refused and FoldsTogether: the node's new path below the root.
    std::string renamed;
    // FoldsTogether: the path below the root of the name it would be taken for.
    std::string other;
};

// The plan of one destination: its findings, in list order.
struct SlotPlan {
    std::vector<NodePlan> found;
    // Every node whose path below the root changes when the names found are renamed (a renamed
    // node, or one below a renamed folder), with its new path, in list order.
    std::vector<std::pair<FENTRY_*, std::string>> renamedPaths;
    // The bytes the job needs there, in the file system's own units.
    uint64_t needed = 0;
};

// Names already in a destination folder, given its path below the root ("" is the root itself);
// none when it does not exist yet.
using FolderNames = std::function<std::vector<std::string>(const std::string& relative)>;

// Plans one destination: walks `nodes` (in list order, folders before what they hold) under
// `rules`. A node's name is checked in the folder it lands in once its parents are renamed.
// `takesRoom` says whether a file's data takes room there (a move within one file system
// takes none).
SlotPlan PlanDestination(const std::vector<FENTRY_*>& nodes, uint32_t slot,
                         const VolumeRules& rules, const FolderNames& existing,
                         const std::function<bool(const FENTRY_&)>& takesRoom);

class DestinationCheck {
public:
    explicit DestinationCheck(EngineContext& ctx) : ctx_(ctx) {}
    // Checks the list as it stands and carries out the answer. False: the job is to end.
    bool Run();

private:
    // The answer: the policy's, else the user's; Skip when no one can be asked.
    NamesAnswer Decide(const std::vector<SlotPlan>& plans);
    NamesFacts Facts(const std::vector<SlotPlan>& plans) const;
    // The room the job needs on the file system of `slot`: every destination of the job there
    // together, counted with the first of them (0 for the others).
    uint64_t RoomNeeded(const std::vector<SlotPlan>& plans, uint32_t slot) const;
    bool ShortOfRoom(const std::vector<SlotPlan>& plans, uint32_t slot) const;
    // Renames or leaves out each node found, and what lies below the folders among them.
    void Carry(NamesAnswer answer, std::vector<SlotPlan>& plans);
    // Writes the renames of `slot` beside the copy and names the file in the job's outcomes.
    void WriteRenameMap(uint32_t slot, const std::vector<const NodePlan*>& renamed);

    EngineContext& ctx_;
    std::vector<FENTRY_*> nodes_;
    std::vector<VolumeRules> rules_;
    std::vector<dev_t> devices_;
};

}  // namespace rd
