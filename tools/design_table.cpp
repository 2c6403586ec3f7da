// Writes Form1's design as JSON for the tests and benchmarks, which would
// otherwise type the window's rectangles, colours and names out again, the
// lines its wrapped captions must be drawn in, and what its boxes say. The
// rectangles are the live controls' own, in design pixels, so a test reads
// exactly where the runtime places each control.
//
// design_table OUTPUT.json
#include "caption_lines.h"
#include "error_box.h"
#include "play_facts.h"
#include "form1_design.h"
#include "forms.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>

namespace {

std::string quoted(std::string_view text)
{
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", u);
            out += escape;
        } else {
            out += c; // UTF-8 passes through whole
        }
    }
    return out + '"';
}

// An rgb colour as [r, g, b]; a system colour as its number, which each
// platform resolves from its own palette.
std::string colour(const rt::Colour& c)
{
    if (c.kind == rt::Colour::Kind::System)
        return std::to_string(c.system);
    return '[' + std::to_string(c.r) + ", " + std::to_string(c.g) + ", " + std::to_string(c.b) + ']';
}

std::string rect(const rt::PixelRect& r)
{
    return "{\"left\": " + std::to_string(r.left) + ", \"top\": " + std::to_string(r.top) +
           ", \"width\": " + std::to_string(r.width) + ", \"height\": " + std::to_string(r.height) + '}';
}

std::string_view kind(rt::ControlKind k)
{
    switch (k) {
    case rt::ControlKind::Label: return "label";
    case rt::ControlKind::Image: return "image";
    case rt::ControlKind::Timer: return "timer";
    }
    return "?";
}

std::string font(const rt::FontDesign& f)
{
    return "{\"family\": " + quoted(f.family) + ", \"points\": " + rt::doubleToText(f.points) + '}';
}

// The facts of play, and the clock's period from the design itself.
std::string play(const rt::Form& form)
{
    namespace p = skeetra::play;
    auto name = [](std::string_view key, std::string_view value) {
        return "    " + quoted(key) + ": " + quoted(value) + ",\n";
    };
    std::string out = "  \"play\": {\n";
    out += name("ammunition", p::kAmmunition) + name("kills", p::kKills) + name("clock", p::kClock) +
           name("ammunitionTitle", p::kAmmunitionTitle) + name("instructions", p::kInstructions) +
           name("exitCaption", p::kExitCaption) + name("winBox", p::kWinBox) + name("finalTime", p::kFinalTime) +
           name("startSign", p::kStartSign) + name("lossMessage", p::kLossMessage);
    int clockPeriod = 0;
    for (const auto& c : form.controls())
        if (c->name() == p::kClockTimer)
            clockPeriod = static_cast<const rt::Timer&>(*c).Interval();
    out += "    \"clockPeriodMs\": " + std::to_string(clockPeriod) + ",\n";
    out += "    \"startAmmunition\": " + std::to_string(p::kStartAmmunition) + ",\n";
    out += "    \"winningKills\": " + std::to_string(p::kWinningKills) + ",\n";
    out += "    \"quietMs\": " + std::to_string(p::kQuietMs) + ",\n";
    out += "    \"waitMs\": " + std::to_string(p::kWaitMs) + ",\n";
    out += name("refereeTimer", p::kRefereeTimer);
    // The labels that take clicks and do nothing: every shown one but the exit caption.
    out += "    \"quietLabels\": [";
    const char* separator = "";
    for (const auto& c : form.controls())
        if (c->kind() == rt::ControlKind::Label && c->design().visible && c->name() != p::kExitCaption) {
            out += separator;
            out += quoted(c->name());
            separator = ", ";
        }
    out += "],\n";
    out += "    \"barePoints\": [";
    const char* comma = "";
    for (const p::Point& point : p::kBarePoints) {
        out += comma + ("[" + std::to_string(point.x) + ", " + std::to_string(point.y) + "]");
        comma = ", ";
    }
    out += "]\n  }\n";
    return out;
}

// The boxes as the core makes them: their title and face, and the runtime
// error a test can cause (a caption that reads as no number).
std::string boxes(const rt::FormDesign& d)
{
    auto report = [](const rt::ErrorReport& r) {
        // As views: std::quoted, found for a std::string, is no JSON.
        return "{\"line\": " + quoted(std::string_view(r.line)) + ", \"text\": " +
               quoted(std::string_view(r.boxText)) + '}';
    };
    std::string mismatch;
    try {
        rt::textToDouble("x");
    } catch (const rt::RuntimeError& error) {
        mismatch = report(rt::runtimeErrorReport(static_cast<int>(error.number), error.description));
    }
    const rt::FontDesign font = rt::boxFont(d);
    return "  \"boxes\": {\n    \"title\": " + quoted(d.appTitle) + ",\n    \"font\": {\"family\": " +
           quoted(font.family) + ", \"pixels\": " + std::to_string(rt::fontPixels(font)) +
           "},\n    \"typeMismatch\": " + mismatch + "\n  },\n";
}

std::string table(const rt::Form& form)
{
    const rt::FormDesign& d = form.design();
    const rt::PixelRect client{rt::twipsToPixels(d.client.left), rt::twipsToPixels(d.client.top), form.clientWidth(),
                               form.clientHeight()};
    std::string out = "{\n";
    out += "  \"name\": " + quoted(d.name) + ",\n";
    out += "  \"caption\": " + quoted(d.caption) + ",\n";
    out += "  \"appTitle\": " + quoted(d.appTitle) + ",\n";
    out += "  \"client\": " + rect(client) + ",\n";
    out += "  \"backColour\": " + colour(d.backColour) + ",\n";
    out += "  \"picture\": " + quoted(d.picture) + ",\n";
    out += "  \"mouseHotSpot\": {\"x\": " + std::to_string(d.mouseHotX) + ", \"y\": " + std::to_string(d.mouseHotY) +
           "},\n";
    out += "  \"defaultFont\": " + font(d.defaultFont) + ",\n";
    out += "  \"controls\": [";
    const char* separator = "\n";
    for (const auto& control : form.controls()) {
        const rt::ControlDesign& c = control->design();
        out += separator;
        separator = ",\n";
        out += "    {\"name\": " + quoted(c.name) + ", \"kind\": " + quoted(kind(c.kind)) +
               ", \"rect\": " + rect(control->rect()) + ", \"visible\": " + (c.visible ? "true" : "false") +
               ", \"caption\": " + quoted(c.caption) + ", \"foreColour\": " + colour(c.foreColour) +
               ", \"backColour\": " + colour(c.backColour) + ", \"backStyle\": " +
               quoted(c.backStyle == rt::BackStyle::Opaque ? "opaque" : "transparent") + ", \"font\": " + font(c.font) +
               ", \"picture\": " + quoted(c.picture) + ", \"interval\": " + std::to_string(c.interval) +
               ", \"enabled\": " + (c.enabled ? "true" : "false") + '}';
    }
    out += "\n  ],\n";
    out += "  \"captionLines\": {";
    separator = "\n";
    for (const skeetra::CaptionLines& c : skeetra::captionLines()) {
        out += separator;
        separator = ",\n";
        out += "    " + quoted(c.label) + ": [";
        const char* comma = "";
        for (std::string_view line : c.lines) {
            out += comma + quoted(line);
            comma = ", ";
        }
        out += ']';
    }
    out += "\n  },\n";
    out += boxes(d);
    out += play(form);
    out += "}\n";
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: design_table OUTPUT.json\n");
        return 2;
    }
    const rt::Form form(skeetra::form1Design());
    const std::string text = table(form);
    // Written whole or not at all: a build stopped halfway leaves no torn table.
    const std::string partial = std::string(argv[1]) + ".part";
    {
        std::ofstream out(partial, std::ios::binary);
        out << text;
        if (!out.flush()) {
            std::fprintf(stderr, "design_table: cannot write %s\n", partial.c_str());
            return 1;
        }
    }
    if (std::rename(partial.c_str(), argv[1]) != 0) {
        std::fprintf(stderr, "design_table: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
