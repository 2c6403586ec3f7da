// The design of a window and its controls, as the game's designs describe
// them: places in twips, colours, fonts, pictures. Nothing here changes at
// run time; form.h builds the live window from it.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace rt {

// Positions and sizes are designed in twips; at 96 dots per inch a pixel is 15.
inline constexpr int kTwipsPerPixel = 15;
constexpr int twipsToPixels(int twips) { return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel; }

struct Colour {
    enum class Kind : std::uint8_t { Rgb, System };
    Kind kind = Kind::System;
    std::uint8_t r = 0, g = 0, b = 0;
    int system = 0; // platform colour number, resolved by the host from its palette
};
constexpr Colour rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) { return {Colour::Kind::Rgb, r, g, b, 0}; }
constexpr Colour systemColour(int number) { return {Colour::Kind::System, 0, 0, 0, number}; }

// System colour numbers the designs use; the host maps them to its palette.
inline constexpr int kButtonFace = 15;
inline constexpr int kButtonText = 18;
inline constexpr int kTooltipText = 23;

struct FontDesign {
    std::string_view family; // design name; the host maps it to a bundled face
    double points = 0;       // 0: the window's default font
};

// A font family named by designs, and the bundled face that stands in for it.
struct FontFace {
    std::string_view family;
    std::string_view resource;
};

enum class ControlKind : std::uint8_t { Label, Image, Timer };
enum class BackStyle : std::uint8_t { Transparent, Opaque };

struct TwipRect {
    int left = 0, top = 0, width = 0, height = 0;
};

struct ControlDesign {
    std::string_view name{};
    ControlKind kind = ControlKind::Label;
    TwipRect place{};
    bool visible = true;
    std::string_view caption{};
    FontDesign font{};
    Colour foreColour = systemColour(kButtonText);
    BackStyle backStyle = BackStyle::Opaque;
    Colour backColour = systemColour(kButtonFace);
    int tabIndex = 0;
    std::string_view picture{}; // resource path; empty: draws nothing
    int interval = 0;         // timers, milliseconds
    bool enabled = true;      // timers
};

struct FormDesign {
    std::string_view name{};
    std::string_view appTitle{}; // the title of message boxes
    std::string_view version{};
    std::string_view caption{};
    TwipRect client{}; // client area on the screen
    Colour backColour{};
    std::string_view picture{};
    std::string_view icon{};
    std::string_view mouseIcon{};
    int mouseHotX = 0, mouseHotY = 0;
    FontDesign defaultFont{};
    std::span<const FontFace> fonts{};
    std::span<const ControlDesign> controls{}; // stacking order, topmost first
};

// A rectangle in design pixels, the unit the Form and its hosts work in.
struct PixelRect {
    int left = 0, top = 0, width = 0, height = 0;
    bool contains(int x, int y) const { return x >= left && x < left + width && y >= top && y < top + height; }
};

} // namespace rt
