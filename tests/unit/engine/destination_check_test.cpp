#include "engine/destination_check.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/file_list.h"
#include "engine/name_map.h"

namespace rd {
namespace {

// Nodes as a walk lists them, and the plan of one destination for them.
class Plan {
public:
    FENTRY_* Folder(const std::string& relative) { return Add(relative, S_IFDIR | 0755, 0); }
    FENTRY_* File(const std::string& relative, uint64_t size = 1) {
        return Add(relative, S_IFREG | 0644, size);
    }
    FENTRY_* Link(const std::string& relative) { return Add(relative, S_IFLNK | 0777, 0); }

    // The destination folders' names before the job, by path below the root.
    std::map<std::string, std::vector<std::string>> there;
    bool takesRoom = true;

    SlotPlan Run(const VolumeRules& rules) {
        const FolderNames existing = [this](const std::string& relative) {
            const auto it = there.find(relative);
            return it == there.end() ? std::vector<std::string>{} : it->second;
        };
        return PlanDestination(order_, 0, rules, existing,
                               [this](const FENTRY_&) { return takesRoom; });
    }

private:
    FENTRY_* Add(const std::string& relative, uint32_t mode, uint64_t size) {
        FENTRY_& node = nodes_.emplace_back();
        node.relative = relative;
        node.attributes = mode;
        node.size = size;
        order_.push_back(&node);
        return &node;
    }
    std::deque<FENTRY_> nodes_;
    std::vector<FENTRY_*> order_;
};

struct Found {
    std::string node;
    NameProblem problem;
    std::string renamed;
    std::string other;
    bool operator==(const Found&) const = default;
};

std::vector<Found> Findings(const SlotPlan& plan) {
    std::vector<Found> found;
    for (const NodePlan& f : plan.found)
        found.push_back({f.node->relative, f.problem, f.renamed, f.other});
    return found;
}

std::map<std::string, std::string> Renamed(const SlotPlan& plan) {
    std::map<std::string, std::string> renamed;
    for (const auto& [node, path] : plan.renamedPaths)
        renamed[node->relative] = path;
    return renamed;
}

TEST(PlanDestination, ARefusedFolderAndWhatItHoldsLandUnderItsNewName) {
    Plan plan;
    plan.Folder("/a:b");
    plan.File("/a:b/q?");
    plan.File("/a:b/fine.txt");
    plan.File("/fine.txt");
    const SlotPlan result = plan.Run(RulesOfType("exfat"));
    EXPECT_EQ(Findings(result),
              (std::vector<Found>{{"/a:b", NameProblem::Refused, "/a\uFF1Ab", ""},
                                  {"/a:b/q?", NameProblem::Refused, "/a\uFF1Ab/q\uFF1F", ""}}));
    EXPECT_EQ(Renamed(result),
              (std::map<std::string, std::string>{{"/a:b", "/a\uFF1Ab"},
                                                  {"/a:b/q?", "/a\uFF1Ab/q\uFF1F"},
                                                  {"/a:b/fine.txt", "/a\uFF1Ab/fine.txt"}}));
}

TEST(PlanDestination, NamesFoldedTogetherAreNumberedPastEveryNameTaken) {
    Plan plan;
    plan.Folder("/d");
    plan.File("/d/Photo.JPG");
    plan.File("/d/photo (2).JPG");
    plan.File("/d/photo.jpg");
    const SlotPlan result = plan.Run(RulesOfType("exfat"));
    EXPECT_EQ(Findings(result), (std::vector<Found>{{"/d/photo.jpg", NameProblem::FoldsTogether,
                                                     "/d/photo (3).jpg", "/d/Photo.JPG"}}));
    // The same names where case counts are three names.
    EXPECT_TRUE(plan.Run(RulesOfType("ntfs3")).found.empty());
}

TEST(PlanDestination, ANameFoldedTogetherWithOneAlreadyThereIsFound) {
    Plan plan;
    plan.File("/readme");
    plan.File("/README");
    plan.there[""] = {"README"};
    const SlotPlan result = plan.Run(RulesOfType("exfat"));
    // The same spelling is the file that is there: the existing-file rules settle it.
    EXPECT_EQ(
        Findings(result),
        (std::vector<Found>{{"/readme", NameProblem::FoldsTogether, "/readme (2)", "/README"}}));
}

TEST(PlanDestination, ASecondRunLandsWhereTheFirstDid) {
    Plan plan;
    plan.File("/Photo.JPG");
    plan.File("/photo.jpg");
    plan.File("/a:b");
    plan.there[""] = {"Photo.JPG", "photo (2).jpg", "a\uFF1Ab"};
    const SlotPlan result = plan.Run(RulesOfType("exfat"));
    EXPECT_EQ(Findings(result),
              (std::vector<Found>{
                  {"/photo.jpg", NameProblem::FoldsTogether, "/photo (2).jpg", "/Photo.JPG"},
                  {"/a:b", NameProblem::Refused, "/a\uFF1Ab", ""}}));
}

TEST(PlanDestination, OneNameFromTwoSourcesIsNotRenamed) {
    Plan plan;
    plan.File("/same.txt");
    plan.File("/same.txt");
    EXPECT_TRUE(plan.Run(RulesOfType("exfat")).found.empty());
}

TEST(PlanDestination, ALookAlikeNeverLandsOnANameOfTheJob) {
    Plan plan;
    plan.File("/a\uFF1Ab");
    plan.File("/a:b");
    const SlotPlan result = plan.Run(RulesOfType("ntfs3"));
    EXPECT_EQ(Findings(result),
              (std::vector<Found>{{"/a:b", NameProblem::Refused, "/a\uFF1Ab (2)", "/a\uFF1Ab"}}));
}

TEST(PlanDestination, FilesTooLargeAndLinksAreFoundAndTakeNoRoom) {
    Plan plan;
    const uint64_t fat = (uint64_t{1} << 32) - 1;
    plan.File("/fits", fat);
    plan.File("/big:", fat + 1);
    plan.Link("/link");
    const VolumeRules rules = RulesOfType("vfat");
    const SlotPlan result = plan.Run(rules);
    EXPECT_EQ(Findings(result), (std::vector<Found>{{"/big:", NameProblem::TooLarge, "", ""},
                                                    {"/link", NameProblem::NoLinks, "", ""}}));
    EXPECT_EQ(result.needed, (fat + rules.blockSize - 1) / rules.blockSize * rules.blockSize);
}

TEST(PlanDestination, TheRoomNeededCountsWholeBlocksOfTheFilesThatTakeRoom) {
    Plan plan;
    plan.File("/one", 1);
    plan.File("/two", 4097);
    plan.File("/empty", 0);
    VolumeRules rules = RulesOfType("ext4");
    rules.blockSize = 4096;
    EXPECT_EQ(plan.Run(rules).needed, 4096u + 8192u);
    plan.takesRoom = false;
    EXPECT_EQ(plan.Run(rules).needed, 0u);
}

// Every node lands on a name of its own, so that the list of renames can be undone.
TEST(PlanDestination, RenamesAreOneToOne) {
    Plan plan;
    const std::vector<std::string> names = {
        "A",  "a",       "a (2)", "A:",  "a:",       "a\uFF1A", "b.",
        "B.", "b\uFF0E", "x?y",   "X?Y", "x\uFF1Fy", "c",       "C (2)"};
    for (const std::string& name : names)
        plan.File("/" + name);
    const SlotPlan result = plan.Run(RulesOfType("vfat"));
    const std::map<std::string, std::string> renamed = Renamed(result);
    std::set<std::string> landed;
    for (const std::string& name : names) {
        const auto it = renamed.find("/" + name);
        const std::string path = it == renamed.end() ? "/" + name : it->second;
        EXPECT_TRUE(RulesOfType("vfat").TakesName(path.substr(1))) << path;
        EXPECT_TRUE(landed.insert(FoldedName(path)).second) << name << " -> " << path;
    }
}

}  // namespace
}  // namespace rd
