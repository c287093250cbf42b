// Everything one job's engine works on: the policy it reads at each use, the destinations,
// the file list, the counters and flags, the buffers, and its links to the host and console.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "engine/check_position.h"
#include "engine/dest_table.h"
#include "engine/error_settler.h"
#include "engine/file_list.h"
#include "engine/file_tracker.h"
#include "engine/hash_pipe.h"
#include "engine/job.h"
#include "engine/job_end.h"
#include "engine/job_manifests.h"
#include "engine/job_state.h"
#include "engine/outcome.h"
#include "engine/questions.h"
#include "engine/source_adder.h"
#include "engine/source_files.h"
#include "engine/user_notice.h"
#include "engine/vn_buffer.h"
#include "engine/written_destinations.h"
#include "platform/message_table.h"

namespace rd {

class SourceQueue;

// Per-job choices made on the job line that the engine obeys.
struct EngineOptions {
    bool KeepFileTimes = true;
    bool PerFileLink = false;
    // The list is held against each destination's rules before the first byte.
    bool CheckDestinations = true;
    // The job's switch string, kept in resume markers.
    std::string switches;
    // The sources are checksum manifests: the job checks the files they list instead of
    // copying.
    bool CheckManifests = false;
};

struct EngineContext {
    EngineContext(JobPolicy& policy, JobHost& host, SourceQueue& queue)
        : policy(policy), host(host), queue(queue) {}

    JobPolicy& policy;
    JobHost& host;
    SourceQueue& queue;
    EngineOptions options;
    ConsoleSink* console = nullptr;
    // Where the engine's questions go; with none, a failure is skipped and an existing
    // destination kept.
    JobQuestions* questions = nullptr;
    // Message boxes; with none they go to stderr.
    UserNotice* notice = nullptr;
    // Hears how each node ended besides the job's own log; none by default.
    OutcomeSink* outcomeSink = nullptr;
    AllocationFailure* allocationFailure = &StderrAllocationFailure();
    // Plays the completion sound; none is played when unset.
    SoundPlayer* sound = nullptr;
    // The language's message texts; the engine's reports are built from them.
    MessageTable messages;

    // What the sources are read through; before the list, whose nodes name them.
    SourceFiles sources;
    DestTable dests;
    FileList list;
    JobState state;
    // How the nodes ended that did not end well; the end of the job and its report read it.
    OutcomeLog outcomes;
    // The destination files this job wrote, and what each holds.
    WrittenDestinations written;
    // The checksum manifests beside the destinations, when the job writes them.
    JobManifests manifests;
    // Causes of write failures the user chose to skip for every file they reach.
    SkippedCauses skippedCauses;
    // A check of manifests: where each stood when an earlier run ended (none: every check
    // starts over), and what this one counted.
    CheckPositions* checkPositions = nullptr;
    CheckTally check;

    UserNotice& Notice() { return notice ? *notice : StderrNotice(); }

    // Readies the engine for the copy once the destinations are parsed: their writers' events
    // are made and the job thread, waiting at its gate, starts copying.
    void Prepare() {
        dests.CreateEvents();
        state.SetReady();
    }

    // Any thread: records how a node ended. A skip or failure counts as one of the job's skips,
    // except a copy that lacks only its metadata, which holds all the data.
    void Report(const NodeOutcome& outcome) {
        if (outcome.kind != OutcomeKind::Done && outcome.cause != OutcomeCause::MetadataNotKept)
            ++state.counters.skips;
        outcomes.Report(outcome);
        if (outcomeSink)
            outcomeSink->Report(outcome);
    }

    // Any thread (the slot's writer): the whole copy at `path` in `slot` holds bytes that hash
    // to `digest`; it goes into the slot's manifest. Told when it cannot.
    void Manifested(uint32_t slot, const std::string& source, const std::string& path,
                    const std::string& digest) {
        if (digest.empty()) {
            Report(Failed(source, OutcomeCause::NotHashed, 0, Operation::None, path));
            return;
        }
        if (const int error = manifests.Add(slot, dests[slot].root, path, digest))
            Report(Failed(manifests.PathIn(slot), OutcomeCause::OperationFailed, error,
                          Operation::Write));
    }

    // As above, once the pipe has hashed the file: on this thread when it already has, else on
    // the pipe's. No digest at all: the file was not hashed.
    void Manifested(uint32_t slot, const std::string& source, const std::string& path,
                    const std::shared_ptr<PendingDigest>& digest) {
        if (!digest) {
            Manifested(slot, source, path, std::string());
            return;
        }
        digest->Then([this, slot, source, path](const std::string& hex) {
            Manifested(slot, source, path, hex);
        });
    }

    // Any thread: counts a file of the list that ended `end`; a completed one with `bytes`.
    void FileEnded(FileEnd end, uint64_t bytes) {
        JobCounters& c = state.counters;
        if (end == FileEnd::Completed) {
            ++c.filesCompleted;
            c.bytesCompleted += bytes;
        } else if (end == FileEnd::Failed) {
            ++c.filesFailed;
        }
    }

    // Total of the listed bytes when the list was complete.
    std::atomic<uint64_t> jobTotalBytes{0};
    // Tick count at which the copy started (the progress timer runs from then on); 0 before.
    std::atomic<uint64_t> copyStartedAt{0};
    // Tick count at which the copy was done and on the disk; 0 before (and after an abort).
    std::atomic<uint64_t> copyEndedAt{0};
    // The final sync runs: a status text given meanwhile tells how much is left to write, in
    // place of the byte counts.
    std::atomic<bool> syncing{false};
    // 0 none, 1 running, 2 finished.
    std::atomic<int32_t> jobState{0};

    // Hashes the copied files for the manifests. After the members its digests' uses reach, so
    // that its thread ends before they go.
    HashPipe hashes;

    // The files whose copies are under way.
    FileTracker files{*this};

    // Walks the sources that join the running job. Last, so that its thread ends before the
    // members it walks into go.
    SourceAdder adder{*this};
};

}  // namespace rd
