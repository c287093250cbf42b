#include "engine/job_end.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <limits>
#include <mutex>

#include "engine/engine_context.h"
#include "engine/source_queue.h"
#include "platform/clock.h"
#include "platform/text.h"

namespace rd {

namespace {

// A job that ran longer than this announces its end with the sound.
constexpr uint64_t kSoundAfterMs = 60000;

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Bytes per millisecond of copy time.
uint32_t AverageSpeed(uint64_t bytes, uint32_t copyTimeMs) {
    if (copyTimeMs == 0)
        return 0;
    const uint64_t speed = bytes / copyTimeMs;
    return speed > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                        : static_cast<uint32_t>(speed);
}

}  // namespace

std::string HistoryOutcome(JobMode mode, int32_t jobState, bool check) {
    std::string outcome = check            ? "Check"
                          : IsDelete(mode) ? "Delete"
                          : IsMove(mode)   ? "Move"
                                           : "Copy";
    outcome += jobState == 2 ? " finished" : " aborted";
    return outcome;
}

void HistoryEntry(const tm& localTime, const std::string& outcome, uint32_t retries, uint32_t skips,
                  uint32_t speed, const SourceQueue& sources, const std::string& targetText,
                  const std::string& reportPath, const std::vector<std::string>& manifests,
                  const HistoryPut& put) {
    put(text::Format(
        "[%u-%u-%u %u:%u.%u] ", static_cast<unsigned>(localTime.tm_year + 1900),
        static_cast<unsigned>(localTime.tm_mon + 1), static_cast<unsigned>(localTime.tm_mday),
        static_cast<unsigned>(localTime.tm_hour), static_cast<unsigned>(localTime.tm_min),
        static_cast<unsigned>(localTime.tm_sec)));
    put(outcome);
    put(text::Format(". Retries: %u Skips: %u Speed: %u \r\n", retries, skips, speed));
    if (sources.Count() > 0) {
        put("  From: ");
        sources.ForEachPath([&put](const std::string& source) {
            put(source);
            put("?");
        });
        put("\r\n");
    }
    put("  To:   ");
    put(targetText);
    put("\r\n");
    if (!reportPath.empty()) {
        put("  Report: ");
        put(reportPath);
        put("\r\n");
    }
    for (const std::string& manifest : manifests) {
        put("  Manifest: ");
        put(manifest);
        put("\r\n");
    }
    put("\r\n");
}

bool AppendHistory(const std::string& path, const std::function<void(const HistoryPut&)>& entry) {
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0)
        return false;
    // Every job appends under this lock; the lock ends with the descriptor.
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    constexpr size_t kChunk = 64 * 1024;
    std::string buffer;
    buffer.reserve(kChunk);
    bool written = true;
    entry([&](std::string_view piece) {
        buffer += piece;
        if (buffer.size() >= kChunk) {
            written = written && WriteAll(fd, buffer);
            buffer.clear();
        }
    });
    written = written && WriteAll(fd, buffer);
    // A failing close can be the first report of a failed write (full disk over NFS).
    const bool closed = ::close(fd) == 0;
    return written && closed;
}

void FinishManifests(EngineContext& ctx) {
    // The last files' lines wait for their hashes.
    ctx.hashes.Drain();
    for (const JobManifests::Failure& failure : ctx.manifests.Finish())
        ctx.Report(
            Failed(failure.path, OutcomeCause::OperationFailed, failure.error, Operation::Write));
}

void RunCompletionActions(EngineContext& ctx, SoundPlayer& sound, uint64_t jobStartTick) {
    const bool shutdown = ctx.policy.shutdown;
    const uint64_t now = TickMs();
    const bool longJob = now > jobStartTick && now - jobStartTick > kSoundAfterMs;
    if (ctx.policy.sound && (longJob || shutdown))
        sound.PlayFile(ctx.policy.soundPath);
    // A step that ended the job (the countdown does) leaves nothing more to do.
    if (shutdown)
        ctx.host.Complete(CompletionStep::ShutdownCountdown);
    if (ctx.policy.openTargets && !ctx.state.flags.Terminating)
        ctx.host.Complete(CompletionStep::Question);
    if (!ctx.state.flags.Terminating)
        ctx.host.RequestEnd(0);
}

bool BeginJobEnd(EngineContext& ctx, EndJobHost& host, EndJobRecord& record, int code) {
    // The first request decides how the job ends; a later one (a writer's abort answer that
    // arrives meanwhile) does nothing.
    if (record.ending)
        return false;
    record.ending = true;
    host.SettleResume(code);
    ctx.state.BeginEnd();
    return true;
}

void FinishJobEnd(EngineContext& ctx, EndJobHost& host, const EndJobRecord& record) {
    ctx.files.EndInFlight();
    // An aborted job's manifest lists the copies it completed.
    FinishManifests(ctx);
    host.WritersStopped();
    host.SaveWindow();

    const int32_t jobState = ctx.jobState;
    if (ctx.policy.history && jobState != 0) {
        // The host brings the figures up to date, the copy time included.
        ctx.host.UpdateFigures();
        const JobCounters& counters = ctx.state.counters;
        const uint32_t speed = AverageSpeed(counters.transferredBytes, counters.copyTime);
        const time_t now = time(nullptr);
        tm local{};
        localtime_r(&now, &local);
        const SourceQueue none;
        AppendHistory(record.historyPath, [&](const HistoryPut& put) {
            HistoryEntry(
                local, HistoryOutcome(ctx.policy.mode, jobState, ctx.options.CheckManifests),
                counters.retries, counters.skips, speed, record.sources ? *record.sources : none,
                record.targetText, record.reportPath, ctx.manifests.Written(), put);
        });
    }
    host.TellConsole(jobState == 1 ? 1 : 0);
    host.Exit(0);
}

}  // namespace rd
