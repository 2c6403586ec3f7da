// The boxes every host shows, decided once: what they say, the face they say
// it in, and the order an error is reported in. A host gives only its two
// platform calls: writing a line to its error output and showing a box.
#pragma once

#include "design.h"
#include "host.h"

#include <string>
#include <string_view>

namespace rt {

// The face of a box's text: the window's default face at the size the
// design gives its small text (9.75 pt, 13 px at 96 dpi), in the platform's
// own units, so that a box reads as part of the game at every scale.
FontDesign boxFont(const FormDesign& design);

// An error as the player and the error output see it: the box's text, in
// the game's language, and the one line starting "skeetra:", without its
// newline.
struct ErrorReport {
    std::string line;
    std::string boxText;
};

// A runtime error in a handler (runtimeErrorLine and runtimeErrorText).
ErrorReport runtimeErrorReport(int number, std::string_view description);
// The window could not be opened, for the reason given.
ErrorReport cannotOpenReport(std::string_view why);
// A fault outside the game's own runtime errors, in the host's own words.
ErrorReport internalErrorReport(std::string_view what);

// The line first, then the box: the line is written even when the box is
// never answered (the process killed, the display gone). A template rather
// than std::function, whose machinery would cost the page's module bytes.
template <class WriteLine, class ShowBox>
void reportError(const ErrorReport& report, WriteLine&& writeLine, ShowBox&& showBox)
{
    writeLine(report.line);
    showBox(report.boxText);
}
// A desktop's error output: the line on stderr, at once.
void writeStderrLine(const std::string& line);

// A host whose runtime errors the core reports: it gives the two platform
// calls, and errorReported is decided here.
class ReportingHost : public Host {
public:
    void errorReported(int number, std::string_view description) final;

protected:
    virtual void writeErrorLine(const std::string& line) = 0;
    // Shows the error box; returns once it is answered, as messageBox does.
    virtual void showErrorBox(const std::string& text) = 0;

private:
    ErrorReport report_;
};

} // namespace rt
