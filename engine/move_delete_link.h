// Moving, deleting and linking instead of copying.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/file_identity.h"
#include "engine/file_tracker.h"

namespace rd {

struct EngineContext;
struct FENTRY_;
class SourceFiles;
class VNBuffer;

// What WipeAndDelete returns for a file that is no longer the one that was read.
constexpr int kChangedSinceRead = -1;

// Removes a source file, first overwriting it with random bytes as often as the wipe passes of
// the job mode word say, in chunks of the buffer size (1 MiB for a size outside the table).
// With `expected`, only while the path still leads to that very file in that state (a delete
// job asks for the same file alone: `sameFileOnly`). Returns 0 when the file is gone,
// kChangedSinceRead when it is not the one expected, else the errno that kept it (EISDIR for a
// folder).
int WipeAndDelete(EngineContext& ctx, VNBuffer& wipeBuffer, const std::string& path, uint64_t size,
                  const FileIdentity* expected = nullptr, bool sameFileOnly = false);

// Moves `source` to `destination` by renaming it within one file system, keeping its
// permissions. False when the two are on different file systems or the rename fails; nothing
// has changed then.
bool RenameMove(const std::string& source, const std::string& destination);

// Hard-links the source of `node` into every active destination, asking on failure as the error
// settings say. Completed when every active destination received its link.
FileEnd LinkPerFile(EngineContext& ctx, const FENTRY_& node);

// A symbolic link at `link` to the absolute path of folder `target`: 0 done, -1 no absolute
// path could be formed, -3 the link could not be created, -4 it was created but is not right
// and was removed again.
int CreateJunction(const std::string& link, const std::string& target);

// Links every queued source into every destination root of `targets` (parsed here, warnings
// through the context's notice): hard links for files, junctions for folders. Returns the report of
// the failures ("" when none failed): language text 15, "\r\n", then one "<source> -> <link>\r\n"
// per failure.
std::string TreeLinkPass(EngineContext& ctx, const std::vector<std::string>& sources,
                         const std::vector<std::string>& targets);

// A folder that could not be removed, and why.
struct FolderLeft {
    std::string path;
    int error = 0;
};

// Removes the moved or deleted source folders, deepest first; folders that still hold
// something stay. Returns those that could not be removed (one already gone is not among them).
std::vector<FolderLeft> RemoveMovedFolders(const SourceFiles& sources,
                                           std::vector<std::string> folders);

}  // namespace rd
