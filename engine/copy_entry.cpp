// One file of the list: opened, its existing destinations settled, then copied, linked, renamed
// into place or deleted.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/engine_context.h"
#include "engine/error_settler.h"
#include "engine/job_thread.h"
#include "engine/messages.h"
#include "engine/move_delete_link.h"
#include "engine/path_parts.h"
#include "platform/clock.h"
#include "platform/text.h"

namespace rd {

namespace {

bool AnyActive(DestTable& dests) {
    for (uint32_t slot = 0; slot < dests.Count(); ++slot) {
        if (dests[slot].active)
            return true;
    }
    return false;
}

uint32_t ActiveCount(DestTable& dests) {
    uint32_t n = 0;
    for (uint32_t slot = 0; slot < dests.Count(); ++slot)
        n += dests[slot].active ? 1 : 0;
    return n;
}

// The kernel says copy_file_range cannot serve these two files at all.
}  // namespace

void JobThread::CopyEntry(FENTRY_& node) {
    JobCounters& counters = ctx_.state.counters;
    const std::string source = node.SourcePath();
    ctx_.state.SetCurrentSource(source);
    ctx_.window.Send(msg::WMU_SETTEXT, msg::kTextCurrentFile, 0);
    ctx_.state.flags.SkipFile = 0;
    ++file_.id;
    file_.move = false;
    file_.sparse = false;
    counters.filePercent = 0;

    if (mode::IsDelete(ctx_.settings.delmode)) {
        DeleteEntry(node);
        return;
    }

    SourceHandle handle;
    if (!OpenSourceWithRetry(source, handle)) {
        // Skipped: its bytes count as done so that the job's totals still add up.
        counters.doneBytes += node.size;
        return;
    }
    file_.meta = ctx_.options.KeepFileTimes ? ReadMetadata(node.uid, node.gid, handle.fd) : nullptr;

    ctx_.dests.ActivateAll();
    ExistsResult exists;
    for (uint32_t slot = 0; slot < ctx_.dests.Count() && !exists.abandon; ++slot)
        CheckExisting(slot, node, source, handle, exists);
    if (exists.abandon) {
        counters.doneBytes += node.size;
        return;
    }
    if (!AnyActive(ctx_.dests)) {
        counters.doneBytes += node.size;
        counters.filePercent = 100;
        return;
    }

    if (ctx_.options.PerFileLink) {
        handle.Close();
        LinkPerFile(ctx_, node);
        counters.doneBytes += node.size;
        return;
    }

    const bool move = mode::IsMove(ctx_.settings.delmode);
    const bool keptSomewhere = ActiveCount(ctx_.dests) < ctx_.dests.Count();
    if (move && !keptSomewhere && ctx_.dests.Count() == 1 &&
        mode::WipePasses(ctx_.settings.delmode) == 0 && exists.position == 0) {
        handle.Close();
        if (RenameMove(source, ctx_.dests[0].root + node.relative)) {
            counters.doneBytes += node.size;
            counters.filePercent = 100;
            return;
        }
        // Another file system, or a destination kept for resume: the file is copied, and the
        // source goes once the destination holds all of it.
        if (!OpenSourceWithRetry(source, handle)) {
            counters.doneBytes += node.size;
            return;
        }
    }
    // A source some destination kept its own file for stays where it is.
    if (move && !keptSomewhere) {
        file_.move = true;
        moves_.Expect(file_.id, source, node.size, CopyFolders(node));
    }

    // A file shorter than the check can't hold a hole worth keeping: its fstat is saved.
    file_.sparse = node.size >= kSparseCheckSize && HasHoles(handle.fd);
    if (node.size > 0)
        reader_.BlockLoop(node, source, handle, exists.position, ctx_.settings.resfsz != 0);
    else
        reader_.CopyZeroLength(node);
    if (file_.move && ctx_.state.flags.SkipFile)
        moves_.DestinationDone(file_.id, false);
    moves_.Finish();
}

void JobThread::DeleteEntry(FENTRY_& node) {
    JobCounters& counters = ctx_.state.counters;
    const std::string source = node.SourcePath();
    SourceHandle handle;
    if (!OpenSourceWithRetry(source, handle)) {
        counters.doneBytes += node.size;
        return;
    }
    handle.Close();
    if (const int error = WipeAndDelete(ctx_, wipeBuffer_, source, node.size))
        NotRemoved(source, error);
    counters.doneBytes += node.size;
    counters.transferredBytes += node.size;
    counters.filePercent = 100;
}

bool JobThread::OpenSourceWithRetry(const std::string& source, SourceHandle& handle) {
    ErrorSettler settler(ctx_);
    for (;;) {
        int error = 0;
        OpenSource(source, handle, 0, false, 0, &error);
        if (handle.fd >= 0)
            return true;
        if (ctx_.state.flags.SkipFile) {
            ctx_.Report(Skipped(source, OutcomeCause::UserSkipped));
            return false;
        }
        const SettleAction action = settler.Settle({ErrorStep::OpenSource, source, {}, error});
        if (action == SettleAction::Skip)
            ctx_.Report(Failed(source, OutcomeCause::OperationFailed, error, Operation::Open));
        if (action != SettleAction::Retry)
            return false;
    }
}

}  // namespace rd
