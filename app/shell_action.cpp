#include "app/shell_action.h"

#include <unistd.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <optional>

#include "platform/literal_list.h"
#include "platform/paths.h"
#include "platform/private_folder.h"
#include "platform/text.h"

namespace rd {

namespace {

constexpr char kOption[] = "--action";
constexpr char kCheckOption[] = "--check";

struct KindName {
    std::string_view name;
    ShellActionKind kind;
    const char* switches;
};

constexpr KindName kKinds[] = {
    {"copy-to", ShellActionKind::kCopyTo, ""}, {"move-to", ShellActionKind::kMoveTo, "m"},
    {"delete", ShellActionKind::kDelete, "M"}, {"paste", ShellActionKind::kPaste, ""},
    {"check", ShellActionKind::kCheck, "K"},
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

// Writes `entries` as a new literal list of the program's list folder; its path, or empty.
std::string WriteList(std::string_view suffix, const std::vector<std::string>& entries,
                      std::string& error) {
    const std::string path =
        fs::CreateListFile(paths::StateDir(), "action-" + std::to_string(::getpid()), suffix,
                           text::LiteralListBytes(entries), error);
    if (path.empty() && !error.empty())
        error[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(error[0])));
    return path;
}

}  // namespace

bool IsShellAction(int argc, const char* const* argv) {
    return argc > 1 &&
           (std::strcmp(argv[1], kOption) == 0 || std::strcmp(argv[1], kCheckOption) == 0);
}

bool ParseShellAction(int argc, const char* const* argv, ShellAction& action, std::string& error) {
    if (argc > 1 && std::strcmp(argv[1], kCheckOption) == 0) {
        action.kind = ShellActionKind::kCheck;
        action.fromMenu = false;
        action.paths.assign(argv + 2, argv + argc);
        std::erase(action.paths, std::string());
        return true;
    }
    const KindName* kind = nullptr;
    for (const KindName& known : kKinds) {
        if (argc > 2 && known.name == argv[2])
            kind = &known;
    }
    if (!IsShellAction(argc, argv) || !kind) {
        error = "--action takes copy-to, move-to, delete, paste or check, then the paths";
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
            // No path holds a NUL byte: such a URI names no file.
            if (high == 0 && low == 0)
                return {};
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

std::string DeleteQuestion(const std::vector<std::string>& paths, const std::string& cwd) {
    constexpr size_t kNamed = 5;
    std::string question =
        "Delete " + std::to_string(paths.size()) + " selected item(s) with RedoDori?\n";
    for (size_t i = 0; i < paths.size() && i < kNamed; ++i)
        question +=
            "\n" + text::EscapeControls(paths[i][0] == '/' || !cwd.empty() ? Absolute(paths[i], cwd)
                                                                           : paths[i]);
    if (paths.size() > kNamed)
        question += "\nand " + std::to_string(paths.size() - kNamed) + " more";
    return question;
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
                : action.kind == ShellActionKind::kCheck ? "No manifest was chosen to check."
                                                         : "Nothing was chosen to delete.";
        return false;
    }
    std::vector<std::string> list;
    for (const std::string& source : sources) {
        if (source[0] != '/' && cwd.empty()) {
            error = "The current folder cannot be read, so '" + source + "' cannot be used.";
            return false;
        }
        list.push_back(Absolute(source, cwd));
    }
    // "|" would end a field of the job line.
    const std::string listFolder = paths::StateDir();
    if (listFolder.find('|') != std::string::npos) {
        error = "The list folder " + listFolder + " holds a '|', so it cannot be named to the job.";
        return false;
    }
    std::string switches = kKinds[static_cast<int>(action.kind)].switches;
    std::string target;
    if (paste) {
        switches = clipboard.cut ? "m" : "";
        // Named as a folder, as the job shows it in its history.
        std::string folder = Absolute(action.paths.front(), cwd);
        if (folder != "/")
            folder += "/";
        // A folder that the target field cannot carry goes in a literal target list.
        if (const std::optional<std::string> carried =
                text::InlineTargetField({folder}, switches)) {
            target = *carried;
        } else {
            target = WriteList(".dst", {folder}, error);
            if (target.empty())
                return false;
            switches += 'f';
            if (!text::TargetFieldKeepsProfile(target, switches)) {
                error = "The list folder " + listFolder +
                        " holds a 'q' that the job would read as its profile, so the folder " +
                        folder + " cannot be named to the job.";
                ::unlink(target.c_str());
                return false;
            }
        }
    }
    const std::string sourceList = WriteList(".lst", list, error);
    if (sourceList.empty()) {
        if (switches.ends_with('f'))
            ::unlink(target.c_str());
        return false;
    }
    line = program + " |" + sourceList + "|" + target + "|" + switches;
    return true;
}

}  // namespace rd
