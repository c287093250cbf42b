#include "console/console_screen.h"

#include "platform/text.h"

namespace rd {

namespace {

constexpr std::string_view kSettingsStart = "RedoDori v";
constexpr std::string_view kSettingsMark = "loaded by console wrapper";
constexpr std::string_view kSettingsEnd = "**********************";
constexpr std::string_view kFileLine = "File: ";
constexpr std::string_view kEraseLine = "\r\x1b[K";

std::string_view TrimmedEnd(std::string_view line) {
    while (!line.empty() && line.back() == ' ')
        line.remove_suffix(1);
    return line;
}

}  // namespace

std::string ConsoleScreen::CloseLine() {
    std::string out;
    if (progressShown_)
        out = options_.terminal ? std::string(kEraseLine) : "";
    else if (partialOpen_)
        out = "\n";
    progressShown_ = partialOpen_ = false;
    return out;
}

std::string ConsoleScreen::Line(std::string_view line, bool stays) {
    line = TrimmedEnd(line);
    if (!options_.verbose && !inSettings_ && line.starts_with(kSettingsStart) &&
        line.find(kSettingsMark) != std::string_view::npos)
        inSettings_ = true;
    if (inSettings_) {
        inSettings_ = line != kSettingsEnd;
        return {};
    }
    if (!stays) {
        if (!options_.terminal || options_.quiet || showingHeld_ || ended_ || line.empty())
            return {};
        std::string shown = text::EscapeControlsAndBytes(line);
        if (options_.width > 1 && shown.size() >= options_.width)
            shown.resize(options_.width - 1);
        progressShown_ = true;
        return std::string(kEraseLine) + shown;
    }
    // The job's last ticks may still name a file after its summary.
    if ((options_.quiet || ended_) && line.starts_with(kFileLine))
        return {};
    // The answer echoed after a question's prompt continues its line.
    const bool continues = partialOpen_;
    partialOpen_ = false;
    std::string out = continues ? "" : CloseLine();
    return out + text::EscapeControlsAndBytes(line) + "\n";
}

std::string ConsoleScreen::Partial(std::string_view text) {
    std::string out = partialOpen_ ? "" : CloseLine();
    partialOpen_ = true;
    return out + text::EscapeControlsAndBytes(text);
}

std::string ConsoleScreen::Text(std::string_view text) {
    if (questionOpen_) {
        held_ += text;
        return {};
    }
    std::string out = Render(text);
    if (!held_.empty()) {
        std::string held;
        held.swap(held_);
        showingHeld_ = true;
        out += Render(held);
        showingHeld_ = false;
    }
    return out;
}

std::string ConsoleScreen::Render(std::string_view text) {
    std::string out;
    while (!text.empty()) {
        const size_t cr = text.find('\r');
        if (cr == std::string_view::npos) {
            out += Partial(text);
            break;
        }
        const bool stays = cr + 1 < text.size() && text[cr + 1] == '\n';
        out += Line(text.substr(0, cr), stays);
        text.remove_prefix(cr + (stays ? 2 : 1));
    }
    return out;
}

}  // namespace rd
