#include "resume/autostart.h"

#include <cerrno>
#include <cstring>

#include "platform/fs.h"
#include "platform/paths.h"
#include "platform/store.h"
#include "settings/store_keys.h"

namespace rd {

namespace {

constexpr char kEntryName[] = "redodori-resume.desktop";

// One argument of an Exec line: quoted, with the characters that quoting leaves special
// escaped, then escaped again as a desktop-entry string; "%" stands doubled for itself.
std::string ExecArgument(const std::string& argument) {
    std::string quoted = "\"";
    for (const char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    std::string out;
    for (const char c : quoted) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '%')
            out += "%%";
        else
            out += c;
    }
    return out;
}

}  // namespace

std::string AutostartEntryPath() {
    return paths::AutostartDir() + "/" + kEntryName;
}

std::string AutostartEntryText(const std::string& program) {
    for (const char c : program) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return {};
    }
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=RedoDori resume\n"
           "Comment=Resumes the file jobs that a crash or a power cut interrupted\n"
           "Exec=" +
           ExecArgument(program) +
           " /vnresume /startup\n"
           "Terminal=false\n"
           "NoDisplay=true\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool SetResumeAutostart(bool on, const std::string& program, std::string& error) {
    const std::string folder = paths::AutostartDir();
    const std::string path = AutostartEntryPath();
    if (!on) {
        const int failed = fs::RemoveFile(path);
        if (failed && failed != ENOENT) {
            error = "cannot remove the autostart entry " + path + ": " + std::strerror(failed);
            return false;
        }
        return true;
    }
    const std::string text = AutostartEntryText(program);
    if (text.empty()) {
        error = "the program's path " + program + " cannot stand in an autostart entry";
        return false;
    }
    const auto there = fs::GetAttributes(path);
    std::string old;
    if (there && there->IsRegular() && fs::ReadWholeFile(path, old) == 0 && old == text)
        return true;
    int failed = paths::MakePath(folder);
    if (!failed)
        failed = fs::ReplaceFileAtomically(folder, kEntryName, text);
    if (failed) {
        error = "cannot write the autostart entry " + path + ": " + std::strerror(failed);
        return false;
    }
    return true;
}

bool ResumeOnCrashAnywhere(Store& store) {
    for (const char* profile : {"local", "network"}) {
        if (store.ReadInt(StoreRoot::CurrentUser, ProfileKey(profile), "resume").value_or(0) != 0)
            return true;
    }
    return false;
}

bool UpdateResumeAutostart(Store& store, const std::string& program, std::string& error) {
    return SetResumeAutostart(ResumeOnCrashAnywhere(store), program, error);
}

bool AutostartAfterChoice(bool on, Store& store, const std::string& program, std::string& error) {
    return on ? SetResumeAutostart(true, program, error)
              : UpdateResumeAutostart(store, program, error);
}

}  // namespace rd
