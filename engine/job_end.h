// The end of a job: the completion actions on the job thread, and the end on the host's thread
// with the history entry it appends.
#pragma once

#include <time.h>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/job_policy.h"

namespace rd {

struct EngineContext;
class SourceQueue;

// Plays the completion sound; never blocks the job when there is no audio device.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    virtual void PlayFile(const std::string& path) = 0;
};

// "Copy", "Move", "Delete" or, for a check of manifests, "Check", then " finished" (state 2) or
// " aborted" (state 1).
std::string HistoryOutcome(JobMode mode, int32_t jobState, bool check = false);

// Takes the pieces of a history entry in order.
using HistoryPut = std::function<void(std::string_view piece)>;

// Gives one history entry to `put`, piece by piece, so that the sources of a job of a million
// files are never copied into one string:
// "[Y-M-D h:m.s] <outcome>. Retries: %u Skips: %u Speed: %u \r\n"
// "  From: <source>?<source>?\r\n" (only with sources), "  To:   <targets>\r\n",
// "  Report: <path>\r\n" (only for a job that wrote a failure report), "  Manifest: <path>\r\n"
// for each checksum manifest it wrote, "\r\n".
void HistoryEntry(const tm& localTime, const std::string& outcome, uint32_t retries, uint32_t skips,
                  uint32_t speed, const SourceQueue& sources, const std::string& targetText,
                  const std::string& reportPath, const std::vector<std::string>& manifests,
                  const HistoryPut& put);

// Appends the entry that `entry` gives to the history file. The file is locked while the pieces
// are written, so that two jobs ending together never mix their entries. False (and nothing
// reported) when it cannot be written.
bool AppendHistory(const std::string& path, const std::function<void(const HistoryPut&)>& entry);

// Gives each checksum manifest of the job its name, telling the ones that could not be written.
// Once the copy is over; a second call does nothing.
void FinishManifests(EngineContext& ctx);

// The completion actions, run by the job thread once everything is copied: the sound (when on
// and the job ran over a minute or shuts down), the shutdown countdown, the completion prompt,
// then the request to end the job; a step that ended the job ends them.
void RunCompletionActions(EngineContext& ctx, SoundPlayer& sound, uint64_t jobStartTick);

// What the end of a job needs from the program around the engine; the job session implements
// it. Each runs on the thread that ends the job.
class EndJobHost {
public:
    virtual ~EndJobHost() = default;
    // Saves (code != 0, 2: saved by the user) or forgets the job in the resume store.
    virtual void SettleResume(int code) = 0;
    // Runs once the job's threads have ended and the files still under way have been given
    // up: what the job did is final (its summary and report are made here).
    virtual void WritersStopped() = 0;
    // Removes the tray icon and stores the progress window's placement.
    virtual void SaveWindow() = 0;
    // Posts the final status to an attached console wrapper (0 ended, 1 aborted).
    virtual void TellConsole(int status) = 0;
    // Ends the program with `exitCode`.
    virtual void Exit(int exitCode) = 0;
};

// What the history entry takes from the job, and whether its end has begun.
struct EndJobRecord {
    // The history file, the queued sources and the target text of the job.
    std::string historyPath;
    const SourceQueue* sources = nullptr;
    std::string targetText;
    // The job's failure report; empty when it wrote none.
    std::string reportPath;
    // Set by the first BeginJobEnd; a later call does nothing.
    bool ending = false;
};

// Begins the end of the job with `code` (0 forget it, 2 keep it for resume): settles the resume
// store and raises `Terminating`, which every thread of the job obeys at its next check. False
// when the end had begun already: the first request decides.
bool BeginJobEnd(EngineContext& ctx, EndJobHost& host, EndJobRecord& record, int code);

// Finishes the end once the job's threads have ended: gives up the files still under way (their
// incomplete copies go unless a marker keeps them for a later job), makes the summary, saves the
// window, appends the history entry of `record` when `hist` is on and the job started, tells the
// console wrapper, and ends the program through the host's Exit with exit code 0.
void FinishJobEnd(EngineContext& ctx, EndJobHost& host, const EndJobRecord& record);

}  // namespace rd
