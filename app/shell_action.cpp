#include "app/shell_action.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/fs.h"
#include "platform/paths.h"
#include "platform/private_folder.h"
#include "platform/text.h"

namespace rd {

namespace {

constexpr char kOption[] = "--action";

struct KindName {
    std::string_view name;
    ShellActionKind kind;
    const char* switches;
};

constexpr KindName kKinds[] = {
    {"copy-to", ShellActionKind::kCopyTo, ""},
    {"move-to", ShellActionKind::kMoveTo, "m"},
    {"delete", ShellActionKind::kDelete, "M"},
    {"paste", ShellActionKind::kPaste, ""},
};

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return lines;
}

std::string Absolute(const std::string& path, const std::string& cwd) {
    std::string full =
        std::filesystem::path(path[0] == '/' ? path : cwd + "/" + path).lexically_normal().string();
    while (full.size() > 1 && full.back() == '/')
        full.pop_back();
    return full;
}

// Writes `data` into a new list file of the program's list folder; its path, or empty.
std::string WriteList(std::string_view suffix, const std::string& data, std::string& error) {
    const std::string folder = paths::StateDir();
    if (!fs::PreparePrivateFolder(folder, "the list folder", error))
        return {};
    const std::string stem = "action-" + std::to_string(::getpid());
    for (int n = 0; n < 100; ++n) {
        const std::string name = stem + (n ? "-" + std::to_string(n) : "") + std::string(suffix);
        const int failed = fs::CreateNewFile(folder, name, data);
        if (!failed)
            return folder + "/" + name;
        if (failed != EEXIST) {
            error =
                "Cannot write the list file " + folder + "/" + name + ": " + std::strerror(failed);
            return {};
        }
    }
    error = "Cannot find a free list file name in " + folder;
    return {};
}

}  // namespace

bool IsShellAction(int argc, const char* const* argv) {
    return argc > 1 && std::strcmp(argv[1], kOption) == 0;
}

bool ParseShellAction(int argc, const char* const* argv, ShellAction& action, std::string& error) {
    const KindName* kind = nullptr;
    for (const KindName& known : kKinds) {
        if (argc > 2 && known.name == argv[2])
            kind = &known;
    }
    if (!IsShellAction(argc, argv) || !kind) {
        error = "--action takes copy-to, move-to, delete or paste, then the paths";
        return false;
    }
    action.kind = kind->kind;
    action.paths.assign(argv + 3, argv + argc);
    std::erase(action.paths, std::string());
    if (action.kind == ShellActionKind::kPaste && action.paths.size() != 1) {
        error = "--action paste takes the one folder to paste into";
        return false;
    }
    return true;
}

std::string LocalPathOfUri(std::string_view uri) {
    // "file:///path" or "file://localhost/path"; another host is another machine.
    constexpr std::string_view kScheme = "file://";
    if (!uri.starts_with(kScheme))
        return {};
    uri.remove_prefix(kScheme.size());
    if (uri.starts_with("localhost/"))
        uri.remove_prefix(9);
    if (!uri.starts_with('/'))
        return {};
    std::string path;
    for (size_t i = 0; i < uri.size(); ++i) {
        const int high = uri[i] == '%' && i + 2 < uri.size() ? text::HexDigit(uri[i + 1]) : -1;
        const int low = high >= 0 ? text::HexDigit(uri[i + 2]) : -1;
        if (low >= 0) {
            path += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            path += uri[i];
        }
    }
    return path;
}

ClipboardFiles ReadClipboardFiles(std::string_view gnomeCopied, std::string_view uriList,
                                  std::string_view kdeCut) {
    ClipboardFiles files;
    std::vector<std::string_view> uris = Lines(gnomeCopied.empty() ? uriList : gnomeCopied);
    if (!gnomeCopied.empty()) {
        files.cut = !uris.empty() && uris.front() == "cut";
        if (!uris.empty())
            uris.erase(uris.begin());
    } else {
        files.cut = kdeCut.starts_with('1');
    }
    for (const std::string_view uri : uris) {
        // A URI list may hold comments.
        if (uri.starts_with('#'))
            continue;
        if (std::string path = LocalPathOfUri(uri); !path.empty())
            files.paths.push_back(std::move(path));
    }
    return files;
}

bool ShellActionLine(const std::string& program, const ShellAction& action,
                     const ClipboardFiles& clipboard, const std::string& cwd, std::string& line,
                     std::string& error) {
    const bool paste = action.kind == ShellActionKind::kPaste;
    const std::vector<std::string>& sources = paste ? clipboard.paths : action.paths;
    if (sources.empty()) {
        if (action.kind == ShellActionKind::kCopyTo || action.kind == ShellActionKind::kMoveTo) {
            line = program;
            return true;
        }
        error = paste ? "The clipboard holds no copied or cut files to paste."
                      : "Nothing was chosen to delete.";
        return false;
    }
    std::string list;
    for (const std::string& source : sources) {
        if (source.find_first_of("\r\n") != std::string::npos) {
            error = "A name holds a line break, which a list file cannot carry: " + source;
            return false;
        }
        if (source[0] != '/' && cwd.empty()) {
            error = "The current folder cannot be read, so '" + source + "' cannot be used.";
            return false;
        }
        list += Absolute(source, cwd) + "\r\n";
    }
    std::string switches = kKinds[static_cast<int>(action.kind)].switches;
    std::string target;
    if (paste) {
        switches = clipboard.cut ? "m" : "";
        const std::string folder = Absolute(action.paths.front(), cwd);
        // The job line reads a "q" after the source field as its profile and "|" ends a
        // field: such a folder goes in a target list.
        target = folder + (folder == "/" ? "?" : "/?");
        if (target.find_first_of("q|") != std::string::npos) {
            target.back() = '\r';
            const std::string targetList = WriteList(".dst", target, error);
            if (targetList.empty())
                return false;
            if (targetList.find('q') != std::string::npos) {
                error = "The list folder's name holds a 'q', so the folder " + folder +
                        " cannot be named to the job.";
                ::unlink(targetList.c_str());
                return false;
            }
            target = targetList;
            switches += 'f';
        }
    }
    const std::string sourceList = WriteList(".lst", list, error);
    if (sourceList.empty())
        return false;
    line = program + " |" + sourceList + "|" + target + "|" + switches;
    return true;
}

}  // namespace rd
