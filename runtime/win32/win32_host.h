// The Win32 side of the forms runtime: one top-level window that paints a
// Form with GDI and turns mouse messages and waitable timers into the Form's
// events.
//
// Like the Qt host, the whole client area is one window that draws every
// control itself and hit-tests against the Form. The window scales by whole
// numbers on dense displays, so every picture pixel stays a sharp block.
#pragma once

#include "error_box.h"
#include "form.h"
#include "services.h"
#include "start.h"

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct IWICBitmap;
struct IWICImagingFactory;

namespace rt::win32 {

// Raised when the window cannot be built: a missing resource, a picture WIC
// cannot decode, no window.
struct StartupError {
    std::string what;
};

// Throws a StartupError saying what, with the failed call's code when given.
[[noreturn]] void fail(const std::string& what, HRESULT hr = S_OK);

std::wstring widen(std::string_view utf8);

// The bytes of an embedded file, named by the design's resource path
// (":/pictures/facade.gif" is the raw data resource "pictures/facade.gif").
std::string_view resourceBytes(std::string_view path);

// The family name GDI knows a TrueType or OpenType face by (its name
// table's Windows family name), or empty when the data has none.
std::wstring fontFamilyName(std::string_view font);

// A label's caption as the lines it is drawn in, in the font selected into
// `dc` (the rule is breakLines', line_breaks.h).
std::vector<std::wstring> labelLines(HDC dc, int width, std::string_view text);

class FormWindow : public ReportingHost {
public:
    // Decodes the pictures, loads the fonts and creates the window, hidden.
    explicit FormWindow(Form& form);
    ~FormWindow() override;
    FormWindow(const FormWindow&) = delete;
    FormWindow& operator=(const FormWindow&) = delete;

    HWND handle() const { return window_; }
    void show();
    // Delivers messages and timer ticks until the program ends; returns its
    // status. Every turn of the loop delivers the ticks that are due before
    // the next message, so no flood of input holds a timer back.
    int run();

    // The performance counter, as the Form's monotonic clock.
    Time now() const override;
    void wakeAt(std::optional<Time> at) override;
    void controlChanged(Control& control) override;
    void messageBox(std::string_view text) override;
    void programEnded(int status) override;

protected:
    void writeErrorLine(const std::string& line) override;
    void showErrorBox(const std::string& text) override;

private:
    struct Picture;
    struct FontKey {
        std::wstring family;
        int pixels;
        auto operator<=>(const FontKey&) const = default;
    };
    struct LoadedFont {
        HFONT handle = nullptr;
        int lineHeight = 0; // pixels from one line's top to the next
        int ascent = 0;     // from a line's top to its baseline
    };

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // A fault of the host's own, or an exception no handler caught: says
    // so and ends the program with the runtime error status.
    void endOnFault(const std::string& what);
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    void loadFonts();
    // The scale rule's (scale_rule.h) for the display's dots per inch and
    // work area, and the window's frame there, moved inside it.
    int fittingScale(UINT dpi, const RECT& work) const;
    RECT placedFrame(UINT dpi, const RECT& work) const;
    void setScale(int scale);
    void rebuildScaled();
    RECT frameFor(int clientLeft, int clientTop, UINT dpi) const { return frameAt(scale_, clientLeft, clientTop, dpi); }
    RECT frameAt(int scale, int clientLeft, int clientTop, UINT dpi) const;
    RECT scaled(const PixelRect& r) const;
    COLORREF colour(const Colour& c) const;
    const LoadedFont& fontFor(const FontDesign& font);
    void paint(HDC target, const RECT& update);
    void paintLabel(HDC dc, const Label& label);
    int designPixel(int coordinate) const;
    void release(int x, int y);

    // Delivers every tick that is due; whether any ticked. `woken`: the
    // waitable timer has fired, and must be set again.
    bool fireDueTimers(bool woken);
    void updateResolution();
    int showBox(const std::wstring& text, UINT type);

    Form& form_;
    HWND window_ = nullptr;
    IWICImagingFactory* wic_ = nullptr;
    std::map<std::string_view, std::unique_ptr<Picture>> pictures_; // by resource path
    std::map<std::string, std::wstring, std::less<>> families_;     // design family to face
    std::vector<HANDLE> loadedFonts_;
    std::map<FontKey, LoadedFont> fonts_;
    HICON icon_ = nullptr;
    HCURSOR pointer_ = nullptr;
    int scale_ = 1;
    HDC backDc_ = nullptr;
    HBITMAP backBitmap_ = nullptr;
    HGDIOBJ backOld_ = nullptr;
    HDC pictureDc_ = nullptr;

    HANDLE wake_ = nullptr; // a waitable timer, set to the time the Form asks for
    bool wakeSet_ = false;  // set and not yet fired
    Time wakeAt_{};
    bool highResolution_ = false;
    bool periodRaised_ = false;
    long long ticksPerSecond_ = 0;

    bool releasing_ = false; // giving up the mouse capture at a release
    int boxDepth_ = 0; // message boxes open
    bool ended_ = false;
};

} // namespace rt::win32
