#include "engine/manifest_check.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include "engine/engine_context.h"
#include "platform/clock.h"
#include "platform/file_hash.h"
#include "platform/fs.h"
#include "platform/manifest_format.h"
#include "platform/open_beneath.h"
#include "platform/text.h"
#include "platform/uncached_read.h"
#include "platform/unexpected_end.h"

namespace rd {

namespace {

// Large sequential reads: a disk gives its full rate, and O_DIRECT needs no read-ahead.
constexpr size_t kBlock = size_t{4} << 20;
// How often the positions are written at most: a write per file would wear a disk of small
// files for nothing.
constexpr uint64_t kSaveEveryMs = 1000;

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string Joined(const std::string& folder, const std::string& relative) {
    return folder == "/" ? "/" + relative : folder + "/" + relative;
}

bool ReadWhole(int fd, uint64_t size, std::string& text) {
    text.resize(size);
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::read(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    text.resize(done);
    return true;
}

}  // namespace

struct ManifestCheck::Manifest {
    std::string path;
    std::string folder;
    std::string key;
    HashKind kind = HashKind::Sha256;
    std::vector<ManifestEntry> entries;
    int folderFd = -1;
    dev_t folderDevice = 0;
    // Entries done, each; the first `leading` all are.
    std::vector<uint8_t> done;
    uint64_t leading = 0;
    uint64_t savedLeading = 0;
    std::vector<CheckFinding> findings;

    ~Manifest() {
        if (folderFd >= 0)
            ::close(folderFd);
    }

    CheckPosition Position() const {
        CheckPosition position{leading, {}};
        for (const CheckFinding& finding : findings)
            if (finding.entry < leading)
                position.findings.push_back(finding);
        return position;
    }
};

std::string ManifestKey(const std::string& path, const struct stat& st) {
    return text::Format("%Lu:%Lu:%Ld:%Ld.%09ld:", static_cast<unsigned long long>(st.st_dev),
                        static_cast<unsigned long long>(st.st_ino),
                        static_cast<long long>(st.st_size),
                        static_cast<long long>(st.st_mtim.tv_sec), st.st_mtim.tv_nsec) +
           path;
}

ManifestCheck::ManifestCheck(EngineContext& ctx) : ctx_(ctx) {}

ManifestCheck::~ManifestCheck() = default;

void ManifestCheck::Run() {
    for (int i = 0; i < ctx_.queue.Count(); ++i)
        Load(ctx_.queue.EntryPath(i));
    std::map<dev_t, std::vector<Item>> byDevice;
    for (const std::unique_ptr<Manifest>& m : manifests_)
        Plan(*m, byDevice);
    ctx_.jobTotalBytes = ctx_.state.counters.listedBytes.load();
    ctx_.host.ListComplete(ctx_.jobTotalBytes);
    ctx_.state.counters.copyTime = 0;
    ctx_.copyStartedAt = TickMs();
    lastSave_ = TickMs();
    // One reader per device: two disks are read at once, and one disk is never made to seek
    // between two files.
    std::vector<std::thread> readers;
    for (const auto& [device, items] : byDevice)
        readers.emplace_back(
            [this, &items = items] { unexpected::Guarded([&] { ReadItems(items); }); });
    for (std::thread& reader : readers)
        reader.join();
    KeepPositions();
}

void ManifestCheck::Load(const std::string& path) {
    auto m = std::make_unique<Manifest>();
    m->path = path;
    m->folder = FolderOf(path);
    std::string why;
    int error = 0;
    if (!ReadManifestFile(*m, why, error)) {
        ++ctx_.check.unusable;
        NodeOutcome outcome = Failed(path, OutcomeCause::ManifestUnusable, error);
        outcome.other = why;
        ctx_.Report(outcome);
        return;
    }
    manifests_.push_back(std::move(m));
}

bool ManifestCheck::ReadManifestFile(Manifest& m, std::string& why, int& error) {
    const std::optional<HashKind> kind = HashKindOfName(m.path);
    if (!kind) {
        why = "its name ends in none of .xxh128, .sha256, .sha512, .sha1 and .md5";
        return false;
    }
    m.kind = *kind;
    const fs::FileHandle fd(::open(m.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat st {};
    std::string text;
    if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0) {
        error = errno;
        why = "it cannot be opened";
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        why = "it is not a regular file";
        return false;
    }
    if (static_cast<uint64_t>(st.st_size) > kMaxManifestBytes) {
        why = "it is larger than 1 GiB";
        return false;
    }
    if (!ReadWhole(fd.Get(), static_cast<uint64_t>(st.st_size), text)) {
        error = errno;
        why = "it cannot be read";
        return false;
    }
    ManifestReading reading = ReadManifest(text, HashHexLength(m.kind));
    for (const ManifestSkip& skip : reading.skipped) {
        ++ctx_.check.linesSkipped;
        NodeOutcome outcome =
            Skipped(m.path + ":" + std::to_string(skip.line), OutcomeCause::ManifestLineSkipped);
        outcome.other = skip.why;
        ctx_.Report(outcome);
    }
    if (!reading.refused.empty() || reading.entries.empty()) {
        why = reading.refused.empty() ? "it holds no usable line" : reading.refused;
        return false;
    }
    m.folderFd = ::open(m.folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    struct stat folder {};
    if (m.folderFd < 0 || ::fstat(m.folderFd, &folder) != 0) {
        error = errno;
        why = "its folder cannot be opened";
        return false;
    }
    m.folderDevice = folder.st_dev;
    m.entries = std::move(reading.entries);
    m.key = ManifestKey(m.path, st);
    return true;
}

void ManifestCheck::Plan(Manifest& m, std::map<dev_t, std::vector<Item>>& byDevice) {
    JobCounters& c = ctx_.state.counters;
    m.done.assign(m.entries.size(), 0);
    const std::optional<CheckPosition> earlier =
        ctx_.checkPositions ? ctx_.checkPositions->Load(m.key) : std::nullopt;
    if (earlier && earlier->doneEntries <= m.entries.size()) {
        // What the earlier run found is named again, so that this run's report is whole.
        m.leading = m.savedLeading = earlier->doneEntries;
        m.findings = earlier->findings;
        std::fill_n(m.done.begin(), m.leading, 1);
        for (const CheckFinding& finding : m.findings)
            Report(m, finding);
        ctx_.check.good += static_cast<uint32_t>(m.leading - m.findings.size());
        c.filesDone += static_cast<uint32_t>(m.leading);
    }
    c.listedFiles += static_cast<uint32_t>(m.entries.size());
    const std::vector<EntryFacts> facts = LookUp(m);
    for (size_t e = m.leading; e < m.entries.size(); ++e) {
        const EntryFacts& f = facts[e - m.leading];
        c.listedBytes += f.size;
        byDevice[f.device].push_back(Item{&m, e, f.size});
    }
}

std::vector<ManifestCheck::EntryFacts> ManifestCheck::LookUp(const Manifest& m) const {
    // On a cold cache each look reads the disk, which answers several at once faster than one
    // after another; a few entries are not worth the threads.
    constexpr size_t kLookers = 8;
    constexpr size_t kPerLooker = 64;
    const size_t first = m.leading;
    std::vector<EntryFacts> facts(m.entries.size() - first, EntryFacts{m.folderDevice, 0});
    std::atomic<size_t> next{first};
    const auto look = [&] {
        for (size_t e; (e = next++) < m.entries.size();) {
            int error = 0;
            const fs::FileHandle fd(OpenBeneath(m.folderFd, m.entries[e].path, O_PATH, error));
            struct stat st {};
            if (fd.Get() >= 0 && ::fstat(fd.Get(), &st) == 0)
                facts[e - first] = {st.st_dev,
                                    S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0};
        }
    };
    std::vector<std::thread> lookers;
    for (size_t i = 1; i < kLookers && i * kPerLooker < facts.size(); ++i)
        lookers.emplace_back([&] { unexpected::Guarded(look); });
    look();
    for (std::thread& looker : lookers)
        looker.join();
    return facts;
}

void ManifestCheck::ReadItems(const std::vector<Item>& items) {
    AlignedBuffer buffer(kBlock);
    for (const Item& item : items) {
        ctx_.state.WaitAtGate();
        if (ctx_.state.flags.Terminating)
            return;
        std::optional<CheckFinding> finding;
        if (!buffer.Data())
            finding = CheckFinding{CheckFindingKind::Unreadable, ENOMEM, item.entry,
                                   item.manifest->entries[item.entry].path};
        else if (!CheckFile(item, buffer, finding))
            return;
        Record(item, finding);
    }
}

bool ManifestCheck::CheckFile(const Item& item, AlignedBuffer& buffer,
                              std::optional<CheckFinding>& finding) {
    const Manifest& m = *item.manifest;
    const ManifestEntry& entry = m.entries[item.entry];
    JobCounters& c = ctx_.state.counters;
    ctx_.state.SetCurrentSource(Joined(m.folder, entry.path));
    c.filePercent = 0;
    uint64_t read = 0;
    // Whatever happens, the file counts its planned size once among the bytes done.
    const auto found = [&](CheckFindingKind kind, int error) {
        finding = CheckFinding{kind, error, item.entry, entry.path};
        return true;
    };
    const auto settle = [&](bool result) {
        c.doneBytes += item.size;
        c.doneBytes -= read;
        return result;
    };
    UncachedFile file;
    int error = 0;
    if (!file.Open(m.folderFd, entry.path, error))
        return settle(found(error == ENOENT || error == ENOTDIR ? CheckFindingKind::Missing
                                                                : CheckFindingKind::Unreadable,
                            error));
    struct stat st {};
    if (::fstat(file.Fd(), &st) != 0)
        return settle(found(CheckFindingKind::Unreadable, errno));
    // Only regular files are read: a device or a fifo put in a file's place is named instead.
    if (!S_ISREG(st.st_mode))
        return settle(found(CheckFindingKind::Unreadable, 0));
    FileHasher hasher(m.kind);
    for (;;) {
        ctx_.state.WaitAtGate();
        if (ctx_.state.flags.Terminating)
            return settle(false);
        const ssize_t n = file.Read(buffer.Data(), buffer.Size(), read);
        if (n < 0)
            return settle(found(CheckFindingKind::Unreadable, errno));
        if (n == 0)
            break;
        hasher.Update(buffer.Data(), static_cast<size_t>(n));
        read += static_cast<uint64_t>(n);
        c.doneBytes += static_cast<uint64_t>(n);
        c.transferredBytes += static_cast<uint64_t>(n);
        c.filePercent = static_cast<uint32_t>(
            st.st_size > 0 ? std::min<uint64_t>(read * 100 / static_cast<uint64_t>(st.st_size), 100)
                           : 100);
        ctx_.state.speed.Sample(c, ctx_.policy.speedLimit, ctx_.policy.speedUnit, 0,
                                &ctx_.state.flags.Terminating);
    }
    const std::string digest = hasher.HexDigest();
    if (digest.empty())
        return settle(found(CheckFindingKind::Unreadable, ENOMEM));
    if (digest != entry.hash)
        return settle(found(CheckFindingKind::Mismatch, 0));
    return settle(true);
}

void ManifestCheck::Record(const Item& item, const std::optional<CheckFinding>& finding) {
    std::lock_guard<std::mutex> lock(lock_);
    Manifest& m = *item.manifest;
    m.done[item.entry] = 1;
    while (m.leading < m.done.size() && m.done[m.leading])
        ++m.leading;
    if (finding) {
        m.findings.push_back(*finding);
        Report(m, *finding);
        ctx_.FileEnded(FileEnd::Failed, 0);
    } else {
        ++ctx_.check.good;
        ctx_.FileEnded(FileEnd::Completed, item.size);
    }
    ++ctx_.state.counters.filesDone;
    const uint64_t now = TickMs();
    if (now - lastSave_ >= kSaveEveryMs) {
        lastSave_ = now;
        SavePositions();
    }
}

void ManifestCheck::Report(const Manifest& m, const CheckFinding& finding) {
    const std::string path = Joined(m.folder, finding.path);
    switch (finding.kind) {
        case CheckFindingKind::Mismatch:
            ++ctx_.check.mismatched;
            ctx_.Report(Failed(path, OutcomeCause::ChecksumMismatch, 0, Operation::Verify));
            break;
        case CheckFindingKind::Missing:
            ++ctx_.check.missing;
            ctx_.Report(Failed(path, OutcomeCause::NotFound, 0));
            break;
        case CheckFindingKind::Unreadable:
            ++ctx_.check.unreadable;
            // EXDEV is how the kernel refuses a link out of the folder (OpenBeneath).
            ctx_.Report(finding.error == 0       ? Failed(path, OutcomeCause::NotRegularFile, 0)
                        : finding.error == EXDEV ? Failed(path, OutcomeCause::OutsideFolder, 0)
                                                 : Failed(path, OutcomeCause::OperationFailed,
                                                          finding.error, Operation::Read));
            break;
    }
}

void ManifestCheck::SavePositions() {
    if (!ctx_.checkPositions)
        return;
    for (const std::unique_ptr<Manifest>& m : manifests_) {
        if (m->leading == m->savedLeading)
            continue;
        m->savedLeading = m->leading;
        ctx_.checkPositions->Save(m->key, m->Position());
    }
}

void ManifestCheck::KeepPositions() {
    if (!ctx_.checkPositions)
        return;
    std::lock_guard<std::mutex> lock(lock_);
    for (const std::unique_ptr<Manifest>& m : manifests_) {
        if (m->leading == m->entries.size())
            ctx_.checkPositions->Forget(m->key);
        else
            ctx_.checkPositions->Save(m->key, m->Position());
    }
}

}  // namespace rd
