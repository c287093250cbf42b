#include "app/list_file.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/literal_list.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace rd {

namespace {

const char* Why(fs::Refusal refusal) {
    switch (refusal) {
        case fs::Refusal::kSymbolicLink: return "It is a symbolic link";
        case fs::Refusal::kNotRegular: return "It is not a regular file";
        case fs::Refusal::kOtherOwner: return "It belongs to another user";
        case fs::Refusal::kTooLarge: return "It is larger than 256 MiB";
        case fs::Refusal::kNone: break;
    }
    return "";
}

// The folders where lists are written for one job: anyone may plant a file in the temporary
// folder, so a list there is trusted only when it is the user's own.
std::vector<fs::FileId> JobListFolders() {
    std::vector<fs::FileId> folders;
    for (const std::string& folder : {paths::TempDir(), paths::StateDir()}) {
        if (const auto id = fs::IdOf(folder))
            folders.push_back(*id);
    }
    return folders;
}

// Why the list's bytes cannot be a list of its kind; empty when they can.
const char* Damage(ListKind kind, const std::string& data) {
    // A literal list ends every path with a NUL byte: one that does not was cut short.
    if (text::IsLiteralList(data))
        return data.back() == '\0' ? "" : "It ends in the middle of a path";
    // A source list in UTF-16LE (with its byte-order mark) holds NUL bytes in every ASCII
    // character; a target list in lines is always 8-bit.
    if (kind == ListKind::kSource && data.starts_with("\xFF\xFE"))
        return "";
    return data.find('\0') != std::string::npos ? "It holds NUL bytes, so it is not a text list"
                                                : "";
}

}  // namespace

bool ReadListFile(const std::string& path, ListKind kind, ListFile& list, std::string& data,
                  std::string& error) {
    const char* noun = kind == ListKind::kSource ? "source" : "target";
    const std::vector<fs::FileId> jobFolders = JobListFolders();
    fs::RegularFile read = fs::ReadRegularFile(path, kMaxListFileBytes, jobFolders);
    if (read.error) {
        error = text::Format("Can't open %s filelist: %s. Error %u", noun, path.c_str(),
                             static_cast<unsigned>(read.error));
        return false;
    }
    const char* why = Why(read.refusal);
    if (!*why)
        why = Damage(kind, read.data);
    if (*why) {
        error = text::Format("Can't use %s filelist: %s. %s", noun, path.c_str(), why);
        return false;
    }
    list.path = path;
    list.folder = read.folder;
    list.file = read.file;
    list.removable =
        std::find(jobFolders.begin(), jobFolders.end(), read.folder) != jobFolders.end();
    data = std::move(read.data);
    return true;
}

void RemoveListFile(const ListFile& list) {
    if (list.removable)
        fs::RemoveIfSame(list.path, list.folder, list.file);
}

}  // namespace rd
