// The browser side of the forms runtime: builds a Form as elements of the
// page (page_functions.js does the DOM work), and takes the page's pointer
// presses and releases and its one timer wake-up through the module's
// exported functions, which page.js calls by name.
//
// The page paints: each label is a text element and each picture an image
// at its design place, so the browser's own fonts, GIF decoder and
// compositor do what the other hosts do by hand. Hit-testing stays the
// Form's, as on the desktop.
#include "error_box.h"
#include "form.h"
#include "paint_list.h"
#include "scale_rule.h"
#include "services.h"
#include "start.h"

#include <emscripten/emscripten.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The page's functions (page_functions.js).
extern "C" {
void page_open_form(const char* name, const char* caption, const char* appTitle, int width, int height,
                    const char* background, const char* picture, const char* icon, const char* pointer, int hotX,
                    int hotY, const char* family);
void page_add_font(const char* family, const char* resource);
void page_add_label(int index, const char* name, int left, int top, int width, int height, int visible,
                    const char* caption, const char* family, int pixels, const char* colour, const char* background);
void page_add_image(int index, const char* name, int left, int top, int width, int height, int visible,
                    const char* picture);
void page_set_caption(int index, const char* caption);
void page_set_visible(int index, int visible);
// The page's monotonic clock (performance.now()), in milliseconds.
double page_now();
// The page's one timer: a Wake event after `delay` milliseconds, in place
// of the one asked before; a negative delay asks for none.
void page_wake(double delay);
// Shows the box and returns once the player has closed it; the page makes
// this call wait without blocking the browser where the browser allows.
void page_show_box(const char* text, int error);
void page_report(const char* line);
void page_end(int status);
// The form is built: from here on the page calls the skeetra_* functions
// below, the load first.
void page_start();
// The core's choices for the page's boxes and scale: the box's face size,
// the start of an internal fault's line and box text (the page adds the
// fault's words), and the scale rule the page sizes the form by.
void page_use_core(int boxPixels, const char* internalLine, const char* internalText,
                   double (*scale)(int width, int height, double roomWidth, double roomHeight));
}

namespace rt {

namespace {

std::string cssColour(const Colour& c)
{
    if (c.kind == Colour::Kind::Rgb)
        return "rgb(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + ")";
    // The platform's colours are the browser's system colours.
    switch (c.system) {
    case kButtonFace: return "ButtonFace";
    case kButtonText: return "ButtonText";
    case kTooltipText: return "InfoText";
    default: return "CanvasText";
    }
}

std::string text(std::string_view s) { return std::string(s); }

class PageHost : public ReportingHost {
public:
    explicit PageHost(Form& form) : form_(form)
    {
        const FormDesign& d = form.design();
        const ErrorReport internal = internalErrorReport("");
        page_use_core(fontPixels(boxFont(d)), internal.line.c_str(), internal.boxText.c_str(), pageScale);
        // The page's own texts (the box, the end) are in the window's default face.
        page_open_form(text(d.name).c_str(), text(d.caption).c_str(), text(d.appTitle).c_str(), form.clientWidth(),
                       form.clientHeight(), cssColour(d.backColour).c_str(), text(d.picture).c_str(),
                       text(d.icon).c_str(), text(d.mouseIcon).c_str(), d.mouseHotX, d.mouseHotY,
                       text(d.defaultFont.family).c_str());
        for (const FontFace& face : d.fonts)
            page_add_font(text(face.family).c_str(), text(face.resource).c_str());
        // Built bottom first: the page stacks its elements in the order they come.
        for (const Control* control : stackingOrder(form)) {
            const Control& c = *control;
            const int i = indexOf(c);
            const ControlDesign& cd = c.design();
            const PixelRect r = c.rect();
            if (c.kind() == ControlKind::Label) {
                const FontDesign& font = fontOf(d, cd.font);
                const int pixels = fontPixels(font);
                const std::string back =
                    cd.backStyle == BackStyle::Opaque ? cssColour(cd.backColour) : std::string();
                page_add_label(i, text(cd.name).c_str(), r.left, r.top, r.width, r.height, c.Visible(),
                               static_cast<const Label&>(c).Caption().c_str(), text(font.family).c_str(), pixels,
                               cssColour(cd.foreColour).c_str(), back.c_str());
            } else if (c.kind() == ControlKind::Image) {
                page_add_image(i, text(cd.name).c_str(), r.left, r.top, r.width, r.height, c.Visible(),
                               text(cd.picture).c_str());
            }
        }
        form.setHost(this);
    }

    Time now() const override
    {
        return std::chrono::duration_cast<Time>(std::chrono::duration<double, std::milli>(page_now()));
    }

    void wakeAt(std::optional<Time> at) override
    {
        // A due time already past (the handlers took longer than the
        // interval) means at once, never "no wake-up".
        page_wake(at ? std::max(0.0, std::chrono::duration<double, std::milli>(*at - now()).count()) : -1.0);
    }

    void controlChanged(Control& control) override
    {
        const int i = indexOf(control);
        if (control.kind() == ControlKind::Label)
            page_set_caption(i, static_cast<Label&>(control).Caption().c_str());
        page_set_visible(i, control.Visible());
    }

    void messageBox(std::string_view message) override { page_show_box(text(message).c_str(), 0); }

    void programEnded(int status) override { page_end(status); }

protected:
    void writeErrorLine(const std::string& line) override { page_report(line.c_str()); }
    void showErrorBox(const std::string& message) override { page_show_box(message.c_str(), 1); }

private:
    // The form's size in design pixels, the page's room in device pixels.
    static double pageScale(int width, int height, double roomWidth, double roomHeight)
    {
        return fittingScaleOrFraction({width, height}, roomWidth, roomHeight);
    }

    int indexOf(const Control& control) const
    {
        const auto& controls = form_.controls();
        for (int i = 0; i < static_cast<int>(controls.size()); ++i)
            if (controls[i].get() == &control)
                return i;
        return -1;
    }

    Form& form_;
};

// The one game of the page, alive until the page goes.
struct Game {
    Form form;
    std::shared_ptr<void> module;
    PageHost host;
    explicit Game(const Project& project)
        : form(project.form), module(project.bind(form)), host(form)
    {
    }
};

Game* g_game = nullptr;

} // namespace

// Builds the page's form and hands the page the entry point for its events;
// the load event comes once the page has its fonts and pictures. The game
// lives on after this returns, for as long as the page.
int runApplication(int, char**, const Project& project)
{
    g_game = new Game(project);
    page_start();
    return 0;
}

} // namespace rt

// The page's events, each a function the module exports under its own name
// (page.js calls them from the module's exports). Each returns at once when
// there is no game.
extern "C" {

EMSCRIPTEN_KEEPALIVE void skeetra_load()
{
    if (!rt::g_game)
        return;
    rt::Form& form = rt::g_game->form;
    form.load();
    if (!form.ended())
        form.startTimers();
}

EMSCRIPTEN_KEEPALIVE void skeetra_press(int x, int y)
{
    if (rt::g_game)
        rt::g_game->form.press(x, y);
}

EMSCRIPTEN_KEEPALIVE void skeetra_release(int x, int y)
{
    if (rt::g_game)
        rt::g_game->form.release(x, y);
}

// The press the page was following was taken away (the pointer cancelled).
EMSCRIPTEN_KEEPALIVE void skeetra_cancel_press()
{
    if (rt::g_game)
        rt::g_game->form.cancelPress();
}

// The page's one timer came: every tick due by now.
EMSCRIPTEN_KEEPALIVE void skeetra_wake()
{
    if (rt::g_game)
        rt::g_game->form.wake();
}

}
