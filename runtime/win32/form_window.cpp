// The game's one top-level window: built at a whole-number scale that fits
// the display, placed where the design puts it, and turning the mouse and
// window messages into the Form's events.
#include "pictures.h"

#include "design_pictures.h"
#include "scale_rule.h"

#include <mmsystem.h>
#include <wincodec.h>

#include <algorithm>
#include <cstdio>
#include <string>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace rt::win32 {

namespace {

constexpr wchar_t kWindowClass[] = L"SkeetraForm";
// A fixed frame: the layout is exact only at its designed size.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kExStyle = 0;
constexpr UINT_PTR kModalLoopTimer = 1;

// Below 15 bits a pixel the pictures lose their colours.
constexpr int kMinDepth = 15;

RECT workAreaOf(HMONITOR monitor)
{
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (monitor && GetMonitorInfoW(monitor, &info))
        return info.rcWork;
    RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return work;
}

} // namespace

FormWindow::FormWindow(Form& form) : form_(form)
{
    const FormDesign& d = form.design();
    {
        HDC screen = GetDC(nullptr);
        const int depth = screen ? GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES) : 0;
        if (screen)
            ReleaseDC(nullptr, screen);
        if (depth < kMinDepth)
            fail("the display's colour depth of " + std::to_string(depth) + " bits is not supported (" +
                 std::to_string(kMinDepth) + " or more are needed)");
    }
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&wic_));
    if (FAILED(hr))
        fail("no Windows Imaging Component", hr);
    // The painted ones are decoded by setScale, once the window's scale is
    // known; the pointer too, at that scale.
    for (const DesignPicture& p : designPictures(d)) {
        if (p.use == PictureUse::Painted)
            pictures_.emplace(p.path, std::make_unique<Picture>());
        else if (p.use == PictureUse::Icon)
            icon_ = iconFrom(wic_, p.path, 1, true, 0, 0);
    }
    loadFonts();

    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    ticksPerSecond_ = frequency.QuadPart;
    // A high-resolution waitable timer keeps a 1 ms interval without
    // raising the whole system's timer resolution (Windows 10 1803 and
    // later); elsewhere the resolution is raised only while a fast timer runs.
    wake_ = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
    if (wake_)
        highResolution_ = true;
    else
        wake_ = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    if (!wake_)
        fail("cannot create a timer");

    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    // No CS_DBLCLKS: the second press of a double click is a shot like any other.
    windowClass.style = 0;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = icon_;
    windowClass.hIconSm = icon_;
    windowClass.hCursor = nullptr; // WM_SETCURSOR sets the aiming pointer
    windowClass.lpszClassName = kWindowClass;
    if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        fail("cannot register the window class");

    // The design places the client area; the frame goes around it.
    const UINT dpi = GetDpiForSystem();
    const POINT designed{twipsToPixels(d.client.left), twipsToPixels(d.client.top)};
    const RECT work = workAreaOf(MonitorFromPoint(designed, MONITOR_DEFAULTTOPRIMARY));
    setScale(fittingScale(dpi, work));
    const RECT frame = placedFrame(dpi, work);
    window_ = CreateWindowExW(kExStyle, kWindowClass, widen(d.caption).c_str(), kStyle, frame.left, frame.top,
                              frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance, this);
    if (!window_)
        fail("cannot create the window");
    const UINT actual = GetDpiForWindow(window_);
    if (actual != dpi) {
        const RECT actualWork = workAreaOf(MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY));
        setScale(fittingScale(actual, actualWork));
        const RECT f = placedFrame(actual, actualWork);
        SetWindowPos(window_, nullptr, f.left, f.top, f.right - f.left, f.bottom - f.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (icon_) {
        SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
        SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    }
    form.setHost(this);
}

FormWindow::~FormWindow()
{
    if (form_.host() == this)
        form_.setHost(nullptr);
    if (wake_) {
        CancelWaitableTimer(wake_);
        CloseHandle(wake_);
    }
    if (periodRaised_)
        timeEndPeriod(1);
    if (window_)
        DestroyWindow(window_);
    for (auto& [key, font] : fonts_)
        DeleteObject(font.handle);
    for (HANDLE font : loadedFonts_)
        RemoveFontMemResourceEx(font);
    if (backDc_) {
        SelectObject(backDc_, backOld_);
        DeleteDC(backDc_);
        DeleteObject(backBitmap_);
    }
    if (pictureDc_)
        DeleteDC(pictureDc_);
    if (pointer_)
        DestroyCursor(pointer_);
    if (icon_)
        DestroyIcon(icon_);
    pictures_.clear();
    if (wic_)
        wic_->Release();
}

RECT FormWindow::frameAt(int scale, int clientLeft, int clientTop, UINT dpi) const
{
    RECT r{clientLeft, clientTop, clientLeft + form_.clientWidth() * scale, clientTop + form_.clientHeight() * scale};
    AdjustWindowRectExForDpi(&r, kStyle, FALSE, kExStyle, dpi);
    return r;
}

int FormWindow::fittingScale(UINT dpi, const RECT& work) const
{
    // The frame's borders and title bar depend on the dots per inch alone.
    const RECT atOne = frameAt(1, 0, 0, dpi);
    const PixelSize client{form_.clientWidth(), form_.clientHeight()};
    const PixelSize frame{atOne.right - atOne.left - client.width, atOne.bottom - atOne.top - client.height};
    return rt::fittingScale(client, frame, {work.right - work.left, work.bottom - work.top},
                            wholeScale(static_cast<double>(dpi) / USER_DEFAULT_SCREEN_DPI));
}

// At the designed place, times the scale; moved up or left as far as it
// takes to keep the whole frame, status strip included, on the work area.
RECT FormWindow::placedFrame(UINT dpi, const RECT& work) const
{
    const TwipRect& client = form_.design().client;
    RECT frame = frameFor(twipsToPixels(client.left) * scale_, twipsToPixels(client.top) * scale_, dpi);
    const LONG dx = std::max(std::min(0L, work.right - frame.right), work.left - frame.left);
    const LONG dy = std::max(std::min(0L, work.bottom - frame.bottom), work.top - frame.top);
    OffsetRect(&frame, dx, dy);
    return frame;
}

void FormWindow::setScale(int scale)
{
    scale_ = scale;
    rebuildScaled();
}

void FormWindow::rebuildScaled()
{
    for (auto& [path, picture] : pictures_) {
        const Decoded image = decodeAt(wic_, path, scale_, true);
        if (picture->scaled)
            DeleteObject(picture->scaled);
        picture->scaled = image.dib;
        picture->width = image.width / scale_;
        picture->height = image.height / scale_;
        picture->opaque = image.opaque;
    }
    for (auto& [key, font] : fonts_)
        DeleteObject(font.handle);
    fonts_.clear();

    const FormDesign& d = form_.design();
    if (!d.mouseIcon.empty()) {
        HCURSOR pointer = iconFrom(wic_, d.mouseIcon, scale_, false, d.mouseHotX, d.mouseHotY);
        if (pointer_)
            DestroyCursor(pointer_);
        pointer_ = pointer;
        POINT at;
        if (window_ && GetCursorPos(&at) && WindowFromPoint(at) == window_)
            SetCursor(pointer_);
    }

    HDC screen = GetDC(nullptr);
    if (!pictureDc_)
        pictureDc_ = CreateCompatibleDC(screen);
    if (backDc_) {
        SelectObject(backDc_, backOld_);
        DeleteObject(backBitmap_);
    } else {
        backDc_ = CreateCompatibleDC(screen);
    }
    backBitmap_ = CreateCompatibleBitmap(screen, form_.clientWidth() * scale_, form_.clientHeight() * scale_);
    backOld_ = SelectObject(backDc_, backBitmap_);
    ReleaseDC(nullptr, screen);
    if (!backBitmap_)
        fail("cannot create the window's back buffer");
    if (window_)
        InvalidateRect(window_, nullptr, FALSE);
}

void FormWindow::show()
{
    ShowWindow(window_, SW_SHOWNORMAL);
    UpdateWindow(window_);
    SetForegroundWindow(window_);
}

// ---------------------------------------------------------------- clicks

// Rounded down, so that a point left of or above the window stays outside.
int FormWindow::designPixel(int coordinate) const
{
    return coordinate >= 0 ? coordinate / scale_ : (coordinate - scale_ + 1) / scale_;
}

void FormWindow::release(int x, int y)
{
    // The capture goes before the click, whose handler may open a box that
    // needs the mouse; losing it this way is no cancelled press.
    releasing_ = true;
    if (GetCapture() == window_)
        ReleaseCapture();
    releasing_ = false;
    form_.release(designPixel(x), designPixel(y));
}

// ---------------------------------------------------------------- messages

LRESULT CALLBACK FormWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        static_cast<FormWindow*>(create->lpCreateParams)->window_ = window;
    }
    auto* self = reinterpret_cast<FormWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(window, message, wParam, lParam);
    // No exception may unwind through Windows' own frames.
    try {
        return self->handleMessage(message, wParam, lParam);
    } catch (const StartupError& error) {
        self->endOnFault(error.what);
    } catch (const std::exception& error) {
        self->endOnFault(error.what());
    }
    return 0;
}

void FormWindow::endOnFault(const std::string& what)
{
    std::fprintf(stderr, "skeetra: %s\n", what.c_str());
    std::fflush(stderr);
    if (!ended_)
        programEnded(kRuntimeErrorStatus);
}

LRESULT FormWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    const int x = static_cast<short>(LOWORD(lParam));
    const int y = static_cast<short>(HIWORD(lParam));
    switch (message) {
    case WM_ERASEBKGND:
        return 1; // WM_PAINT covers every pixel
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window_, &ps);
        if (!IsRectEmpty(&ps.rcPaint))
            paint(dc, ps.rcPaint);
        EndPaint(window_, &ps);
        return 0;
    }
    case WM_SETCURSOR:
        if (LOWORD(lParam) == HTCLIENT && pointer_) {
            SetCursor(pointer_);
            return TRUE;
        }
        break;
    case WM_MOUSEACTIVATE:
        // Clicks on the game while a box is open do nothing, and must not
        // take the keyboard from the box either. Wine asks the same
        // question before it closes the window, which must still close it.
        if (boxDepth_ > 0)
            return LOWORD(lParam) == HTCLIENT ? MA_NOACTIVATEANDEAT : MA_NOACTIVATE;
        break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        SetCapture(window_);
        form_.press(designPixel(x), designPixel(y));
        return 0;
    case WM_LBUTTONUP:
        release(x, y);
        return 0;
    case WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(lParam) != window_ && !releasing_)
            form_.cancelPress();
        return 0;
    case WM_CLOSE:
        // No handler runs for it: the program ends, also while a box is open.
        form_.close();
        return 0;
    case WM_DPICHANGED: {
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        setScale(fittingScale(HIWORD(wParam), workAreaOf(MonitorFromRect(suggested, MONITOR_DEFAULTTONEAREST))));
        const RECT frame = frameFor(0, 0, HIWORD(wParam));
        SetWindowPos(window_, nullptr, suggested->left, suggested->top, frame.right - frame.left,
                     frame.bottom - frame.top, SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    // Moving the window or opening its menu runs a loop of Windows' own, in
    // which run() does not wait on the timers: a plain timer polls them.
    case WM_ENTERSIZEMOVE:
    case WM_ENTERMENULOOP:
        SetTimer(window_, kModalLoopTimer, USER_TIMER_MINIMUM, nullptr);
        break;
    case WM_EXITSIZEMOVE:
    case WM_EXITMENULOOP:
        KillTimer(window_, kModalLoopTimer);
        break;
    case WM_TIMER:
        if (wParam == kModalLoopTimer) {
            fireDueTimers(false);
            return 0;
        }
        break;
    default:
        break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

} // namespace rt::win32
