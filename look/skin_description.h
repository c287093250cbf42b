// A skin's description file ("skin.ini"): every value the progress and queue windows take from
// it, each with its default when the file leaves it out or gets it wrong.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rd {

class IniFile;

namespace skin_colour {
constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kLime = 0x00FF00;
constexpr uint32_t kAqua = 0xFFFF00;
constexpr uint32_t kGreen = 0x00DD00;
constexpr uint32_t kOrange = 0x4080FF;
constexpr uint32_t kPurple = 0x400080;
constexpr uint32_t kGrey = 0x808080;
constexpr uint32_t kWindowBackground = 0x80000005;
constexpr uint32_t kWindowText = 0x80000008;
}  // namespace skin_colour

// Eight hexadecimal digits, most significant first; the pairs are taken from the last to the
// first, each giving the next byte from the lowest up, and the first pair that is not
// hexadecimal stops the conversion, leaving the remaining bytes of `fallback`. Text of another
// length gives `fallback`.
uint32_t ParseSkinColour(std::string_view text, uint32_t fallback);

struct SkinLabel {
    std::string section;
    std::string font;
    // Bits: 1 bold, 2 italic, 4 underline, 8 strike-out; nothing keeps the label's own style.
    std::optional<int> style;
    // Nothing keeps the label's current text.
    std::optional<std::string> caption;
    uint32_t color = 0;
    uint32_t color2 = 0;  // Label6 and Label7 only
    int size = 8;
    int width = 0;  // 0: the label sizes itself to its text
    int left = 0;
    int top = 0;
};

struct SkinButton {
    std::string section;
    bool image = true;
    int left = 0, top = 0, width = 25, height = 25;
    std::string caption;
    std::string caption2;  // SpeedButton3 only: the text while paused
    bool flat = true;
};

struct SkinBar {
    // 1 grows to the right, 2 downwards from the top, 3 upwards from top + picture height.
    int mode = 1;
    int left = 16;
    int top = 8;
};

struct SkinGraph {
    bool visible = false;
    int left = 0, top = 0, width = 0, height = 0;
    uint32_t backColor = skin_colour::kBlack;
    uint32_t foreColor = skin_colour::kLime;
    int stepSize = 1;
    int style = 0;  // 0 bars, 1 line, anything else keeps the graph's kind
};

struct SkinQueue {
    bool skinned = false;
    std::string font;
    int size = 8;
    int scrollBarSize = 10;
    std::optional<int> style;
    uint32_t color = skin_colour::kWindowText;
    uint32_t backColor = skin_colour::kWindowBackground;
    uint32_t scrollBarColor = skin_colour::kGrey;
};

struct SkinDescription {
    bool buttonStates = false;
    int blend = 0;  // 0 opaque; otherwise the windows' opacity is 255 - blend
    SkinGraph graph;
    // In the order they are applied: Label1, Label10, Label3, Label2, Label11, Label4, Label5,
    // Label6, Label8, Label9, Label7.
    std::array<SkinLabel, 11> labels;
    // SpeedButton1 to SpeedButton5.
    std::array<SkinButton, 5> buttons;
    // Image1 (total) and Image2 (current file).
    std::array<SkinBar, 2> bars;
    SkinQueue queue;
    // What the file got wrong, one short note each ("Blend=300 is out of 0..255").
    std::vector<std::string> problems;
};

// The built-in look: every default, as a skin without a description file has it.
SkinDescription DefaultSkinDescription();

// Reads `ini` over the defaults. A value out of its range is clamped where a range is given
// (Blend 0..255), else gives its default; either way a note goes to `problems`.
SkinDescription ReadSkinDescription(const IniFile& ini);

// The skin folder of `skin`: the first "skins/<skin>" along the data search path of
// `installFolder` that is a folder; empty when there is none or `skin` is not a plain name.
std::string FindSkinFolder(const std::string& installFolder, const std::string& skin);

}  // namespace rd
