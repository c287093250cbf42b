// The questions the engine asks its host, as facts, and the answers it gets back. The host
// makes the texts from the facts where it shows them; the engine never builds a question's text.
#pragma once

#include <time.h>

#include <cstdint>
#include <string>
#include <vector>

namespace rd {

// What failed.
enum class ErrorStep { OpenSource, Read, ReadVerify, Write, WriteVerify, Sync, Link };

struct ErrorFacts {
    ErrorStep step = ErrorStep::Read;
    // The file the question is about: the source on the reader's side, the destination on a
    // writer's side, the destination folder for a sync.
    std::string path;
    // The link that could not be made (Link).
    std::string destination;
    // The errno; 0 for a verify mismatch.
    int error = 0;
    uint64_t position = 0;
    // The block that was read or written (verify questions).
    uint32_t blockSize = 0;
    // The free space of the destination's file system; -1 when unknown or not asked for.
    int64_t freeBytes = -1;
    // The destination folder that could not be made, when that is why the file cannot be
    // written: the question is about that folder, and asked once for all its files.
    std::string folder = {};
};

// Heal is offered for failed reads only.
bool HealAllowed(ErrorStep step);
// A writer-side question: Abort comes back to the asker, which ends the job itself.
bool WriterSide(ErrorStep step);

enum class ErrorAnswer { Retry, Skip, Heal, Abort, AbortAndKeep };

struct ExistsFacts {
    std::string source;
    std::string destination;
    uint64_t sourceSize = 0;
    // What the destination holds: its length, or a marker's count of written bytes.
    uint64_t destinationSize = 0;
    timespec sourceCreated{};
    timespec sourceModified{};
    // The destination's times; false when they could not be read.
    bool destinationTimesKnown = false;
    timespec destinationCreated{};
    timespec destinationModified{};
    // The number of destinations of the job.
    uint32_t destinations = 1;
    // The destination holds the start of the source: the copy can go on from its end.
    bool resumable = false;
    // A marker says how much of a reserved destination was written: it resumes, it is never
    // renamed aside.
    bool markerResume = false;
    // A resume marker of this program stands beside the destination: it is an incomplete copy,
    // which a policy never keeps as if it were whole.
    bool partial = false;
};

enum class ExistsAnswer { Overwrite, Skip, Resume, RenameOld, Abort };

// What a destination cannot take as the job would write it, found before the first byte.
enum class NameProblem {
    Refused,        // the name holds a character or an ending the file system refuses
    FoldsTogether,  // the name is another one of the job or of the folder once case is folded
    TooLarge,       // the file is larger than the file system's largest file
    NoLinks,        // the file system cannot hold a symbolic link
    NoRoom,         // the job's data does not fit in the free space
};

struct NameFinding {
    NameProblem problem = NameProblem::Refused;
    // The destination as the job would write it (for NoRoom: the destination folder).
    std::string destination;
    // What a rename makes of it; empty where a rename does not help.
    std::string renamed;
    // FoldsTogether: the name it would be taken for.
    std::string other;
    // TooLarge: the file's size and the largest the file system takes; NoRoom: the bytes the
    // job needs there and the bytes free.
    uint64_t size = 0;
    uint64_t limit = 0;
};

// Everything the destinations cannot take, for one answer about the whole job.
struct NamesFacts {
    std::vector<NameFinding> findings;
    // The findings are cut to kMaxNameFindings; the count is of all of them.
    size_t total = 0;
};
inline constexpr size_t kMaxNameFindings = 1000;

// Rename: refused and folded names get names the destination takes, the rest is skipped;
// Skip: every file found is left out; Abort: nothing is copied.
enum class NamesAnswer { Rename, Skip, Abort };

// The engine's one way to ask. Called on the job's threads, never on the host's own thread;
// the call waits for the answer.
class JobQuestions {
public:
    virtual ~JobQuestions() = default;
    virtual ErrorAnswer AskError(const ErrorFacts& facts) = 0;
    virtual ExistsAnswer AskExists(const ExistsFacts& facts) = 0;
    // Asked once, before the first byte, when the destinations cannot take all of the job.
    virtual NamesAnswer AskNames(const NamesFacts& facts) = 0;
};

}  // namespace rd
