// The boxes' texts and face, and the one way an error is reported.
#include "error_box.h"
#include "services.h"

#include <cstdio>

namespace rt {

FontDesign boxFont(const FormDesign& design) { return {design.defaultFont.family, 9.75}; }

ErrorReport runtimeErrorReport(int number, std::string_view description)
{
    return {runtimeErrorLine(number, description), runtimeErrorText(number, description)};
}

ErrorReport cannotOpenReport(std::string_view why)
{
    // The reason in the words of the line, which a player can pass on.
    return {"skeetra: cannot open the window: " + std::string(why),
            "Окно игры не открылось:\n\n" + std::string(why)};
}

ErrorReport internalErrorReport(std::string_view what)
{
    return {"skeetra: " + std::string(what), "Внутренняя ошибка: " + std::string(what)};
}

void writeStderrLine(const std::string& line)
{
    // One write, with no format: the page's fonts hold every character a
    // literal here has.
    const std::string whole = line + '\n';
    std::fwrite(whole.data(), 1, whole.size(), stderr);
    std::fflush(stderr);
}

void ReportingHost::errorReported(int number, std::string_view description)
{
    // Kept in the host, not in a local: a local with a destructor would put
    // the virtual calls below in a try of their own, whose cleanup WebKit's
    // interpreter can skip (see deliver in form.cpp).
    report_ = runtimeErrorReport(number, description);
    reportError(report_, [this](const std::string& line) { writeErrorLine(line); },
                [this](const std::string& text) { showErrorBox(text); });
}

} // namespace rt
