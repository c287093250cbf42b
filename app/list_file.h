// The list files a job line names: read so that what is not a list is refused at once, and
// removed after reading only where lists are written for one job, never the user's own files.
#pragma once

#include <cstdint>
#include <string>

#include "platform/fs.h"

namespace rd {

enum class ListKind { kSource, kTarget };

// No list of paths comes near this size; a bigger "list" is some other file.
inline constexpr uint64_t kMaxListFileBytes = uint64_t{256} << 20;

// Where a list file that was read lay, for RemoveListFile.
struct ListFile {
    std::string path;
    // Set for a list directly in the temporary folder or in the program's own list folder
    // (paths::StateDir()), where lists are written for one job. Every other list is the user's
    // own file.
    bool removable = false;
    fs::FileId folder;
    fs::FileId file;
};

// Reads the list file `path` into `data`. Any list must be a regular file of at most
// kMaxListFileBytes; a list in lines of 8-bit text must hold no NUL byte, and a literal list
// (platform/literal_list.h) must end its last path with one. A list in the temporary or the
// program's list folder, or in any folder others may write to, must also be this user's own and
// not a symbolic link. Returns false with `error` set for the user: "Can't open source filelist:
// %s. Error %u" when it cannot be opened or read, "Can't use source filelist: %s. <why>" when it
// is refused ("target" for a target list).
bool ReadListFile(const std::string& path, ListKind kind, ListFile& list, std::string& data,
                  std::string& error);

// Removes a removable list, and only while its name still holds the very file that was read;
// leaves every other list alone.
void RemoveListFile(const ListFile& list);

}  // namespace rd
