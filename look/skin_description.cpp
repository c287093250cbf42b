#include "look/skin_description.h"

#include <strings.h>
#include <algorithm>
#include <charconv>
#include <filesystem>

#include "platform/ini_file.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace rd {

namespace {

// Positions and sizes beyond this are taken for mistakes: no window of the skin is that large.
constexpr int kMaxExtent = 4096;

std::optional<int> ParseInteger(std::string_view text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const std::from_chars_result read =
        std::from_chars(text.data() + (text.starts_with('+') ? 1 : 0), end, value);
    if (read.ec != std::errc() || read.ptr != end || text.empty())
        return std::nullopt;
    return value;
}

// Reads one section's values over their defaults and notes what it gets wrong.
class SectionReader {
public:
    SectionReader(const IniFile& ini, std::string_view section, std::vector<std::string>& problems)
        : ini_(ini), section_(section), problems_(problems) {}

    void Integer(std::string_view key, int& value, int low, int high) {
        const std::optional<std::string_view> text = ini_.Value(section_, key);
        if (!text)
            return;
        const std::optional<int> read = ParseInteger(*text);
        if (!read)
            Note(key, *text, "is not a number");
        else if (*read < low || *read > high)
            Note(key, *text, "is out of " + std::to_string(low) + ".." + std::to_string(high));
        else
            value = *read;
    }

    void Position(std::string_view key, int& value) {
        Integer(key, value, -kMaxExtent, kMaxExtent);
    }
    void Extent(std::string_view key, int& value) { Integer(key, value, 0, kMaxExtent); }

    void Flag(std::string_view key, bool& value) {
        const std::optional<std::string_view> text = ini_.Value(section_, key);
        if (!text)
            return;
        const std::string word(*text);
        if (const std::optional<int> read = ParseInteger(word))
            value = *read != 0;
        else if (strcasecmp(word.c_str(), "true") == 0)
            value = true;
        else if (strcasecmp(word.c_str(), "false") == 0)
            value = false;
        else
            Note(key, word, "is not a flag");
    }

    void Colour(std::string_view key, uint32_t& value) {
        if (const std::optional<std::string_view> text = ini_.Value(section_, key)) {
            if (text->size() != 8)
                Note(key, *text, "is not eight hexadecimal digits");
            value = ParseSkinColour(*text, value);
        }
    }

    void Style(std::string_view key, std::optional<int>& value) {
        int style = -1;
        Integer(key, style, 0, 15);
        if (style >= 0)
            value = style;
    }

    void Text(std::string_view key, std::string& value) {
        if (const std::optional<std::string_view> text = ini_.Value(section_, key))
            value = *text;
    }

    void Text(std::string_view key, std::optional<std::string>& value) {
        if (const std::optional<std::string_view> text = ini_.Value(section_, key))
            value = std::string(*text);
    }

private:
    void Note(std::string_view key, std::string_view text, const std::string& why) {
        problems_.push_back(section_ + "/" + std::string(key) + "=" + std::string(text) + " " +
                            why);
    }

    const IniFile& ini_;
    std::string section_;
    std::vector<std::string>& problems_;
};

// Blend is clamped to its range rather than left at its default, so it is read here and not by
// SectionReader::Integer.
void ReadMain(const IniFile& ini, SkinDescription& d) {
    std::vector<std::string>& problems = d.problems;
    SectionReader main(ini, "Main", problems);
    main.Flag("ButtonStates", d.buttonStates);
    if (const std::optional<std::string_view> blend = ini.Value("Main", "Blend")) {
        if (const std::optional<int> read = ParseInteger(*blend)) {
            d.blend = std::clamp(*read, 0, 255);
            if (d.blend != *read)
                problems.push_back("Main/Blend=" + std::string(*blend) + " is out of 0..255");
        } else {
            problems.push_back("Main/Blend=" + std::string(*blend) + " is not a number");
        }
    }
}

void ReadGraph(const IniFile& ini, SkinGraph& graph, std::vector<std::string>& problems) {
    SectionReader section(ini, "Graph", problems);
    int visible = 0;
    section.Integer("Visible", visible, INT32_MIN, INT32_MAX);
    graph.visible = visible != 0;
    if (graph.visible) {
        section.Position("Left", graph.left);
        section.Position("Top", graph.top);
        section.Extent("Width", graph.width);
        section.Extent("Height", graph.height);
        section.Colour("BackColor", graph.backColor);
        section.Colour("ForeColor", graph.foreColor);
        section.Integer("StepSize", graph.stepSize, 1, 100);
        section.Integer("Style", graph.style, INT32_MIN, INT32_MAX);
    }
}

void ReadLabel(const IniFile& ini, SkinLabel& label, std::vector<std::string>& problems) {
    SectionReader section(ini, label.section, problems);
    section.Text("Name", label.font);
    section.Style("Style", label.style);
    section.Text("Caption", label.caption);
    const uint32_t fallback = label.color;
    section.Colour("Color", label.color);
    if (label.section == "Label6" || label.section == "Label7") {
        label.color2 = fallback;
        section.Colour("Color_2", label.color2);
    } else {
        label.color2 = label.color;
    }
    section.Integer("Size", label.size, 1, 200);
    section.Extent("Width", label.width);
    section.Position("Left", label.left);
    section.Position("Top", label.top);
}

void ReadButton(const IniFile& ini, SkinButton& button, std::vector<std::string>& problems) {
    SectionReader section(ini, button.section, problems);
    section.Flag("Image", button.image);
    section.Position("Left", button.left);
    section.Position("Top", button.top);
    section.Extent("Width", button.width);
    section.Extent("Height", button.height);
    section.Text("Caption", button.caption);
    if (button.section == "SpeedButton3")
        section.Text("Caption_2", button.caption2);
    section.Flag("Flat", button.flat);
}

void ReadBar(const IniFile& ini, std::string_view name, SkinBar& bar,
             std::vector<std::string>& problems) {
    SectionReader section(ini, name, problems);
    section.Integer("Mode", bar.mode, INT32_MIN, INT32_MAX);
    section.Position("Left", bar.left);
    section.Position("Top", bar.top);
}

void ReadQueue(const IniFile& ini, SkinQueue& queue, std::vector<std::string>& problems) {
    SectionReader section(ini, "Queue", problems);
    int skinned = 0;
    section.Integer("Skinned", skinned, INT32_MIN, INT32_MAX);
    queue.skinned = skinned != 0;
    if (queue.skinned) {
        section.Text("Name", queue.font);
        section.Integer("Size", queue.size, 1, 200);
        section.Integer("ScrollBarSize", queue.scrollBarSize, 0, 200);
        section.Style("Style", queue.style);
        section.Colour("Color", queue.color);
        section.Colour("BackColor", queue.backColor);
        section.Colour("ScrollBarColor", queue.scrollBarColor);
    }
}

}  // namespace

uint32_t ParseSkinColour(std::string_view text, uint32_t fallback) {
    if (text.size() != 8)
        return fallback;
    uint32_t value = fallback;
    for (int pair = 0; pair < 4; ++pair) {
        const size_t at = 6 - 2 * pair;
        const int high = text::HexDigit(text[at]), low = text::HexDigit(text[at + 1]);
        if (high < 0 || low < 0)
            break;
        const int shift = 8 * pair;
        value = (value & ~(0xFFu << shift)) | (static_cast<uint32_t>(high * 16 + low) << shift);
    }
    return value;
}

SkinDescription DefaultSkinDescription() {
    using namespace skin_colour;
    SkinDescription d;
    const char* sans = "MS Sans Serif";
    d.labels = {{
        {"Label1", sans, {}, {}, kAqua, kAqua, 8, 73, 72, 26},
        {"Label10", sans, {}, {}, kWindowText, kWindowText, 8, 0, 16, 64},
        {"Label3", sans, {}, {}, kWindowText, kWindowText, 8, 0, 16, 80},
        {"Label2", sans, {}, {}, kWindowText, kWindowText, 8, 0, 16, 96},
        {"Label11", sans, {}, {}, kWindowText, kWindowText, 8, 0, 56, 64},
        {"Label4", sans, {}, {}, kWindowText, kWindowText, 8, 193, 56, 80},
        {"Label5", sans, {}, {}, kWindowText, kWindowText, 8, 225, 56, 96},
        {"Label6", "Arial", {}, {}, kGreen, kGreen, 7, 121, 16, 119},
        {"Label8", "Arial", {}, {}, kOrange, kOrange, 7, 36, 140, 119},
        {"Label9", "Arial", {}, {}, kAqua, kAqua, 7, 36, 184, 119},
        {"Label7", "Arial", {}, {}, kPurple, kPurple, 7, 61, 228, 119},
    }};
    const int places[5][2] = {{232, 10}, {256, 10}, {232, 35}, {256, 35}, {256, 60}};
    for (int i = 0; i < 5; ++i) {
        d.buttons[i].section = "SpeedButton" + std::to_string(i + 1);
        d.buttons[i].left = places[i][0];
        d.buttons[i].top = places[i][1];
    }
    d.bars[1].top = 24;
    return d;
}

SkinDescription ReadSkinDescription(const IniFile& ini) {
    SkinDescription d = DefaultSkinDescription();
    std::vector<std::string>& problems = d.problems;
    ReadMain(ini, d);
    ReadGraph(ini, d.graph, problems);
    for (SkinLabel& label : d.labels)
        ReadLabel(ini, label, problems);
    for (SkinButton& button : d.buttons)
        ReadButton(ini, button, problems);
    for (int i = 0; i < 2; ++i)
        ReadBar(ini, i == 0 ? "Image1" : "Image2", d.bars[i], problems);
    ReadQueue(ini, d.queue, problems);
    return d;
}

std::string FindSkinFolder(const std::string& installFolder, const std::string& skin) {
    if (skin.empty() || skin == "." || skin == ".." || skin.find('/') != std::string::npos)
        return {};
    for (const std::string& folder : paths::DataSearchPath(installFolder)) {
        const std::string candidate = folder + "/skins/" + skin;
        std::error_code error;
        if (std::filesystem::is_directory(candidate, error))
            return candidate;
    }
    return {};
}

}  // namespace rd
