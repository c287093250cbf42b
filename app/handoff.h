// Handing a job's sources to a running job of another process: the packets on the bus, the
// description of the job that goes first, and the gathering of each sender's items on the
// receiving side.
//
// A sender posts to the running job's window: its job description, then its sources, each as
// WMU_HANDOFF chunks, then one WMU_HANDOFFEND with the number of sources and the monotonic time
// the hand-off began. The receiver answers with WMU_HANDOFFANSWER to the sender's thread
// endpoint; only an answer kAccepted means that it copies the sources.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/job_policy.h"
#include "platform/bus.h"

namespace rd::handoff {

// How long a sender waits for its answer, counted from the start of its hand-off. A receiver
// accepts only within half of it, so that an acceptance never reaches a sender that gave up.
constexpr uint64_t kAnswerTimeoutMs = 3000;
constexpr uint64_t kAcceptWithinMs = kAnswerTimeoutMs / 2;

// The answers (lParam of WMU_HANDOFFANSWER), and below them what a sender finds by itself.
enum Answer : int64_t {
    kAccepted = 1,
    kOtherKind = 2,
    kOtherDestinations = 3,
    kEnding = 4,
    kNotStarted = 5,
    kIncomplete = 6,
    kTooLate = 7,
    kNoAnswer = 0,
    kNotSent = -1,
    kNoAnswerEndpoint = -2,
    kNoDestinations = -3,
};

// Why a hand-off that ended with `answer` is not taken, for the sender's message.
std::string RefusalReason(int64_t answer);

// An item as the WMU_HANDOFF chunks that carry it: eight bytes a chunk, the first four in the
// low 32 bits of wParam and the last four in lParam, each big-endian; the sender's thread id in
// the high 32 bits of wParam. The item ends in a zero byte and is padded with zeros to a
// multiple of eight.
std::vector<bus::Packet> Chunks(const std::string& item, uint32_t sender);
// The closing WMU_HANDOFFEND: the sender's thread id and the number of sources in wParam, the
// TickMs() at which the hand-off began in lParam.
bus::Packet Closing(uint32_t sender, uint32_t sources, uint64_t startedMs);
// The answer to the hand-off that began at `startedMs`.
bus::Packet Reply(uint64_t startedMs, Answer answer);

// `path` as an absolute path without ".", ".." and repeated or trailing "/"; a relative one is
// taken from `folder`. Nothing is looked up on disk.
std::string LexicalPath(std::string_view path, std::string_view folder);

// How a job links instead of copying: not at all, a hard link per file (J), the tree (j).
enum class Links { None, PerFile, Tree };

// The description a hand-off begins with: what the job does with its sources (copy, move or
// delete, the wipe passes of a move or delete, links) and, unless it deletes, its destinations
// (the target folders as LexicalPath() gives them, from `folder`, each after its length).
std::string DescribeJob(JobMode mode, Links links, const std::vector<std::string>& targets,
                        std::string_view folder);
// kAccepted when the described jobs do the same to the same destinations, in any order;
// else kOtherKind or kOtherDestinations. Both descriptions come from DescribeJob().
Answer Compare(std::string_view sender, std::string_view receiver);

// The items of every sender, gathered until its closing packet.
class Inbox {
public:
    struct Items {
        std::string job;
        std::vector<std::string> sources;
    };

    // A WMU_HANDOFF chunk that came at `nowMs`. Chunks without a sender are dropped: no answer
    // could reach it. Senders silent for longer than a sender waits are forgotten.
    void Add(uint64_t wParam, int64_t lParam, uint64_t nowMs);
    // The items of `sender`, when its description and exactly `sources` sources came whole;
    // its items are forgotten either way.
    std::optional<Items> Take(uint32_t sender, uint32_t sources);

private:
    struct Pending {
        std::string partial;
        std::vector<std::string> items;
        uint64_t bytes = 0;
        uint64_t lastMs = 0;
        bool broken = false;
    };
    std::map<uint32_t, Pending> pending_;
};

}  // namespace rd::handoff
