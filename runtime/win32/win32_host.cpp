// Paints a Form with GDI, routes clicks and timer ticks to it, and shows its
// message boxes with MessageBoxW.
#include "win32_host.h"

#include <mmsystem.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <thread>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace rt::win32 {

using Microsoft::WRL::ComPtr;

namespace {

constexpr wchar_t kWindowClass[] = L"SkeetraForm";
// A fixed frame: the layout is exact only at its designed size.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kExStyle = 0;
constexpr UINT_PTR kModalLoopTimer = 1;
constexpr UINT_PTR kBoxOpenTimer = 2;
// Below the default system tick (15.6 ms) a plain waitable timer needs a
// raised timer resolution to keep its interval.
constexpr int kCoarseTickMs = 16;

// Whole-number scaling keeps the pictures' pixels square and sharp: 150 %
// shows the design at 1, 200 % at 2, unless the window would not fit.
int scaleFor(UINT dpi) { return std::max(1, static_cast<int>(dpi / USER_DEFAULT_SCREEN_DPI)); }
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

[[noreturn]] void fail(const std::string& what, HRESULT hr = S_OK)
{
    std::string text = what;
    if (hr != S_OK) {
        char code[16];
        std::snprintf(code, sizeof code, " (0x%08lX)", static_cast<unsigned long>(hr));
        text += code;
    }
    throw StartupError{text};
}

void check(HRESULT hr, const char* what, std::string_view path)
{
    if (FAILED(hr))
        fail(std::string(what) + " " + std::string(path), hr);
}

} // namespace

std::wstring widen(std::string_view utf8)
{
    if (utf8.empty())
        return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

std::string_view resourceBytes(std::string_view path)
{
    std::string_view name = path;
    if (name.starts_with(":/"))
        name.remove_prefix(2);
    const std::wstring wname = widen(name);
    HRSRC found = FindResourceW(nullptr, wname.c_str(), RT_RCDATA);
    if (!found)
        fail("no resource " + std::string(path));
    HGLOBAL loaded = LoadResource(nullptr, found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data)
        fail("cannot load resource " + std::string(path));
    return {static_cast<const char*>(data), SizeofResource(nullptr, found)};
}

// GDI can load a font from memory but names no family for it; CreateFontW
// needs the name, which the font's own name table holds.
std::wstring fontFamilyName(std::string_view font)
{
    auto has = [&](size_t at, size_t n) { return at <= font.size() && n <= font.size() - at; };
    auto u16 = [&](size_t at) -> unsigned {
        return static_cast<unsigned>(static_cast<unsigned char>(font[at])) << 8 | static_cast<unsigned char>(font[at + 1]);
    };
    auto u32 = [&](size_t at) -> size_t { return size_t{u16(at)} << 16 | u16(at + 2); };
    if (!has(0, 12))
        return {};
    size_t table = 0;
    bool found = false;
    for (unsigned i = 0, n = u16(4); i < n && has(12 + 16 * size_t{i}, 16); ++i) {
        const size_t record = 12 + 16 * size_t{i};
        if (font.substr(record, 4) == "name") {
            table = u32(record + 8);
            found = true;
            break;
        }
    }
    if (!found || !has(table, 6))
        return {};
    const size_t strings = table + u16(table + 4);
    std::wstring best;
    int bestRank = 0;
    for (unsigned i = 0, n = u16(table + 2); i < n && has(table + 6 + 12 * size_t{i}, 12); ++i) {
        const size_t r = table + 6 + 12 * size_t{i};
        const unsigned platform = u16(r), encoding = u16(r + 2), language = u16(r + 4), id = u16(r + 6);
        const size_t length = u16(r + 8), offset = u16(r + 10);
        // Windows platform, Unicode, family name; US English first.
        if (platform != 3 || (encoding != 0 && encoding != 1) || id != 1 || !has(strings + offset, length))
            continue;
        const int rank = language == 0x409 ? 2 : 1;
        if (rank <= bestRank)
            continue;
        bestRank = rank;
        best.clear();
        for (size_t k = 0; k + 1 < length; k += 2)
            best.push_back(static_cast<wchar_t>(u16(strings + offset + k)));
    }
    return best;
}

std::vector<std::wstring> labelLines(HDC dc, int width, const std::wstring& text)
{
    auto blank = [](wchar_t c) { return c == L' ' || c == L'\t'; };
    auto widthOf = [&](size_t from, size_t to) {
        SIZE size{};
        GetTextExtentPoint32W(dc, text.data() + from, static_cast<int>(to - from), &size);
        return static_cast<int>(size.cx);
    };
    std::vector<std::wstring> lines;
    size_t lineStart = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        // A word and the blanks after it; only its visible part has to fit.
        size_t wordEnd = pos;
        while (wordEnd < text.size() && !blank(text[wordEnd]))
            ++wordEnd;
        size_t next = wordEnd;
        while (next < text.size() && blank(text[next]))
            ++next;
        if (pos > lineStart && wordEnd > pos && widthOf(lineStart, wordEnd) > width) {
            lines.push_back(text.substr(lineStart, pos - lineStart));
            lineStart = pos;
        }
        pos = next;
    }
    if (lineStart < text.size() || lines.empty())
        lines.push_back(text.substr(lineStart));
    return lines;
}

// ---------------------------------------------------------------- pictures

// A picture as GDI draws it: a DIB section at the window's scale. Pictures
// are decoded again when the scale changes, so no decoded copy is kept.
struct FormWindow::Picture {
    int width = 0, height = 0; // design pixels
    bool opaque = true;
    HBITMAP scaled = nullptr;

    ~Picture()
    {
        if (scaled)
            DeleteObject(scaled);
    }
};

namespace {

// An embedded picture decoded by WIC straight into a DIB section, each
// pixel repeated scale × scale times: never smoothed. A picture with a
// palette and no transparent entry keeps its palette, a quarter of the
// memory of the window picture's 32 bits a pixel; any other becomes
// premultiplied BGRA.
struct Decoded {
    HBITMAP dib = nullptr;
    int width = 0, height = 0;
    bool opaque = true;
    const std::uint32_t* pixels = nullptr; // BGRA, top row first; null when indexed
};

Decoded decodeAt(IWICImagingFactory* wic, std::string_view path, int scale, bool mayKeepPalette)
{
    const std::string_view bytes = resourceBytes(path);
    ComPtr<IWICStream> stream;
    check(wic->CreateStream(&stream), "cannot read", path);
    check(stream->InitializeFromMemory(reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data())),
                                       static_cast<DWORD>(bytes.size())),
          "cannot read", path);
    ComPtr<IWICBitmapDecoder> decoder;
    check(wic->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand, &decoder),
          "cannot decode", path);
    ComPtr<IWICBitmapFrameDecode> frame;
    check(decoder->GetFrame(0, &frame), "cannot decode", path);

    WICPixelFormatGUID format{};
    ComPtr<IWICPalette> palette;
    BOOL paletteHasAlpha = TRUE;
    WICColor colours[256]{};
    UINT colourCount = 0;
    const bool indexed = mayKeepPalette && SUCCEEDED(frame->GetPixelFormat(&format)) &&
                         format == GUID_WICPixelFormat8bppIndexed && SUCCEEDED(wic->CreatePalette(&palette)) &&
                         SUCCEEDED(frame->CopyPalette(palette.Get())) &&
                         SUCCEEDED(palette->HasAlpha(&paletteHasAlpha)) && !paletteHasAlpha &&
                         SUCCEEDED(palette->GetColors(256, colours, &colourCount));
    ComPtr<IWICBitmapSource> source;
    if (indexed) {
        source = frame;
    } else {
        ComPtr<IWICFormatConverter> converter;
        check(wic->CreateFormatConverter(&converter), "cannot convert", path);
        check(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr,
                                    0.0, WICBitmapPaletteTypeCustom),
              "cannot convert", path);
        source = converter;
    }
    UINT w = 0, h = 0;
    check(source->GetSize(&w, &h), "cannot decode", path);
    if (scale > 1) {
        ComPtr<IWICBitmapScaler> scaler;
        check(wic->CreateBitmapScaler(&scaler), "cannot scale", path);
        check(scaler->Initialize(source.Get(), w * scale, h * scale, WICBitmapInterpolationModeNearestNeighbor),
              "cannot scale", path);
        source = scaler;
        w *= scale;
        h *= scale;
    }

    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[256];
    } info{};
    info.header.biSize = sizeof info.header;
    info.header.biWidth = static_cast<LONG>(w);
    info.header.biHeight = -static_cast<LONG>(h); // top-down, like WIC's rows
    info.header.biPlanes = 1;
    info.header.biBitCount = indexed ? 8 : 32;
    info.header.biCompression = BI_RGB;
    if (indexed) {
        info.header.biClrUsed = colourCount;
        for (UINT i = 0; i < colourCount; ++i)
            info.colours[i] = {static_cast<BYTE>(colours[i]), static_cast<BYTE>(colours[i] >> 8),
                               static_cast<BYTE>(colours[i] >> 16), 0};
    }
    const UINT stride = indexed ? (w + 3) / 4 * 4 : w * 4; // DIB rows end on a 4-byte boundary
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dib)
        fail("cannot create a bitmap for " + std::string(path));
    const HRESULT copied = source->CopyPixels(nullptr, stride, stride * h, static_cast<BYTE*>(bits));
    if (FAILED(copied)) {
        DeleteObject(dib);
        check(copied, "cannot decode", path);
    }
    Decoded image{dib, static_cast<int>(w), static_cast<int>(h), true, nullptr};
    if (!indexed) {
        image.pixels = static_cast<const std::uint32_t*>(bits);
        const std::uint32_t* end = image.pixels + size_t{w} * h;
        image.opaque = std::all_of(image.pixels, end, [](std::uint32_t pixel) { return (pixel >> 24) == 0xFF; });
    }
    return image;
}

// An icon or pointer from an embedded ICO file, its transparency in both
// the alpha channel and the mask.
HICON iconFrom(IWICImagingFactory* wic, std::string_view path, int scale, bool isIcon, int hotX, int hotY)
{
    const Decoded image = decodeAt(wic, path, scale, false);
    const int maskStride = (image.width + 15) / 16 * 2; // rows of whole words
    std::vector<BYTE> mask(static_cast<size_t>(maskStride) * image.height, 0);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            if ((image.pixels[static_cast<size_t>(y) * image.width + x] >> 24) == 0)
                mask[static_cast<size_t>(y) * maskStride + x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
    ICONINFO info{};
    info.fIcon = isIcon;
    info.xHotspot = static_cast<DWORD>(hotX * scale);
    info.yHotspot = static_cast<DWORD>(hotY * scale);
    info.hbmMask = CreateBitmap(image.width, image.height, 1, 1, mask.data());
    info.hbmColor = image.dib;
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(info.hbmMask);
    DeleteObject(image.dib);
    return icon;
}

} // namespace

// ---------------------------------------------------------------- the window

FormWindow::FormWindow(Form& form) : form_(form), schedule_(form)
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
    // Decoded by setScale, once the window's scale is known.
    auto add = [&](std::string_view path) {
        if (!path.empty() && !pictures_.count(path))
            pictures_.emplace(path, std::make_unique<Picture>());
    };
    add(d.picture);
    for (const ControlDesign& c : d.controls)
        add(c.picture);
    loadFonts();

    if (!d.icon.empty())
        icon_ = iconFrom(wic_, d.icon, 1, true, 0, 0);

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

void FormWindow::loadFonts()
{
    for (const FontFace& face : form_.design().fonts) {
        if (families_.count(face.family))
            continue;
        const std::string_view bytes = resourceBytes(face.resource);
        DWORD count = 0;
        HANDLE handle = AddFontMemResourceEx(const_cast<char*>(bytes.data()), static_cast<DWORD>(bytes.size()),
                                             nullptr, &count);
        if (!handle)
            fail("cannot load the font " + std::string(face.resource));
        loadedFonts_.push_back(handle);
        std::wstring family = fontFamilyName(bytes);
        families_.emplace(std::string(face.family), family.empty() ? widen(face.family) : family);
    }
}

RECT FormWindow::frameAt(int scale, int clientLeft, int clientTop, UINT dpi) const
{
    RECT r{clientLeft, clientTop, clientLeft + form_.clientWidth() * scale, clientTop + form_.clientHeight() * scale};
    AdjustWindowRectExForDpi(&r, kStyle, FALSE, kExStyle, dpi);
    return r;
}

int FormWindow::fittingScale(UINT dpi, const RECT& work) const
{
    for (int scale = scaleFor(dpi); scale > 1; --scale) {
        const RECT frame = frameAt(scale, 0, 0, dpi);
        if (frame.right - frame.left <= work.right - work.left && frame.bottom - frame.top <= work.bottom - work.top)
            return scale;
    }
    return 1;
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

RECT FormWindow::scaled(const PixelRect& r) const
{
    return {r.left * scale_, r.top * scale_, (r.left + r.width) * scale_, (r.top + r.height) * scale_};
}

COLORREF FormWindow::colour(const Colour& c) const
{
    if (c.kind == Colour::Kind::Rgb)
        return RGB(c.r, c.g, c.b);
    // The designs' system colour numbers are Windows' own.
    return GetSysColor(c.system);
}

// Lines stand as far apart as in the Linux build, whose layout takes the
// font's own line metrics (hhea, or OS/2's typographic ones where the font
// asks for them) unrounded and each line's height rounded up. GDI's text
// metrics use the OS/2 Windows extents instead, which for some faces
// (Comfortaa) are far taller.
static void lineMetrics(HDC dc, int pixels, int& lineHeight, int& ascent)
{
    TEXTMETRICW text{};
    GetTextMetricsW(dc, &text);
    lineHeight = text.tmHeight;
    ascent = text.tmAscent;
    auto table = [&](const char* tag, DWORD offset, BYTE* into, DWORD size) {
        DWORD name = 0;
        std::memcpy(&name, tag, 4);
        return GetFontData(dc, name, offset, into, size) == size;
    };
    auto s16 = [](const BYTE* p) { return static_cast<std::int16_t>(p[0] << 8 | p[1]); };
    BYTE head[2], hhea[6], os2[64 + 10];
    if (!table("head", 18, head, sizeof head) || !table("hhea", 4, hhea, sizeof hhea))
        return;
    const double unitsPerEm = static_cast<std::uint16_t>(head[0] << 8 | head[1]);
    if (unitsPerEm <= 0)
        return;
    double up = s16(hhea), down = -s16(hhea + 2);
    constexpr int kUseTypoMetrics = 1 << 7;
    if (table("OS/2", 0, os2, sizeof os2) && (s16(os2 + 62) & kUseTypoMetrics)) {
        up = s16(os2 + 68);
        down = -s16(os2 + 70);
    }
    if (up + down <= 0)
        return;
    lineHeight = static_cast<int>(std::ceil((up + down) * pixels / unitsPerEm - 1e-9));
    ascent = static_cast<int>(std::lround(up * pixels / unitsPerEm));
}

const FormWindow::LoadedFont& FormWindow::fontFor(const FontDesign& font)
{
    const FontDesign& f = fontOf(form_.design(), font);
    auto family = families_.find(f.family);
    FontKey key{family != families_.end() ? family->second : widen(f.family), fontPixels(f) * scale_};
    auto found = fonts_.find(key);
    if (found != fonts_.end())
        return found->second;
    LOGFONTW logical{};
    logical.lfHeight = -key.pixels; // the em, as Qt's pixel size
    logical.lfWeight = FW_NORMAL;
    logical.lfCharSet = DEFAULT_CHARSET; // the face by name; the text is Unicode
    logical.lfOutPrecision = OUT_TT_PRECIS;
    logical.lfQuality = ANTIALIASED_QUALITY;
    key.family.copy(logical.lfFaceName, LF_FACESIZE - 1);
    LoadedFont loaded;
    loaded.handle = CreateFontIndirectW(&logical);
    const int saved = SaveDC(backDc_);
    SelectObject(backDc_, loaded.handle);
    lineMetrics(backDc_, key.pixels, loaded.lineHeight, loaded.ascent);
    RestoreDC(backDc_, saved);
    return fonts_.emplace(key, loaded).first->second;
}

void FormWindow::show()
{
    ShowWindow(window_, SW_SHOWNORMAL);
    UpdateWindow(window_);
    SetForegroundWindow(window_);
}

// ---------------------------------------------------------------- painting

void FormWindow::paint(HDC target, const RECT& update)
{
    const int saved = SaveDC(backDc_);
    IntersectClipRect(backDc_, update.left, update.top, update.right, update.bottom);
    HBRUSH background = CreateSolidBrush(colour(form_.design().backColour));
    FillRect(backDc_, &update, background);
    DeleteObject(background);

    auto draw = [&](const Picture& picture, int x, int y) {
        const int w = picture.width * scale_, h = picture.height * scale_;
        HGDIOBJ old = SelectObject(pictureDc_, picture.scaled);
        if (picture.opaque) {
            BitBlt(backDc_, x, y, w, h, pictureDc_, 0, 0, SRCCOPY);
        } else {
            const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
            GdiAlphaBlend(backDc_, x, y, w, h, pictureDc_, 0, 0, w, h, blend); // AlphaBlend without msimg32.dll
        }
        SelectObject(pictureDc_, old);
    };
    const FormDesign& d = form_.design();
    if (!d.picture.empty())
        draw(*pictures_.at(d.picture), 0, 0);
    const auto& controls = form_.controls();
    for (auto it = controls.rbegin(); it != controls.rend(); ++it) {
        const Control& c = **it;
        if (!c.Visible() || c.kind() == ControlKind::Timer)
            continue;
        const RECT r = scaled(c.rect());
        RECT overlap;
        if (!IntersectRect(&overlap, &r, &update))
            continue;
        if (c.kind() == ControlKind::Label)
            paintLabel(backDc_, static_cast<const Label&>(c));
        else if (!c.design().picture.empty())
            draw(*pictures_.at(c.design().picture), r.left, r.top);
    }
    RestoreDC(backDc_, saved);
    BitBlt(target, update.left, update.top, update.right - update.left, update.bottom - update.top, backDc_,
           update.left, update.top, SRCCOPY);
}

void FormWindow::paintLabel(HDC dc, const Label& label)
{
    const ControlDesign& d = label.design();
    const RECT r = scaled(label.rect());
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
    if (d.backStyle == BackStyle::Opaque) {
        HBRUSH brush = CreateSolidBrush(colour(d.backColour));
        FillRect(dc, &r, brush);
        DeleteObject(brush);
    }
    const LoadedFont& font = fontFor(d.font);
    SelectObject(dc, font.handle);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, colour(d.foreColour));
    SetTextAlign(dc, TA_LEFT | TA_BASELINE | TA_NOUPDATECP);
    int y = r.top + font.ascent;
    for (const std::wstring& line : labelLines(dc, r.right - r.left, widen(label.Caption()))) {
        ExtTextOutW(dc, r.left, y, 0, nullptr, line.data(), static_cast<UINT>(line.size()), nullptr);
        y += font.lineHeight;
    }
    RestoreDC(dc, saved);
}

void FormWindow::controlChanged(Control& control)
{
    if (!window_)
        return;
    const RECT r = scaled(control.rect());
    InvalidateRect(window_, &r, FALSE);
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

// ---------------------------------------------------------------- timers

void FormWindow::startTimers()
{
    schedule_.start(now());
    wakeAtNextDue();
}

void FormWindow::timerChanged(Timer& timer)
{
    schedule_.timerChanged(timer, now());
    wakeAtNextDue();
}

TimerSchedule::Time FormWindow::now() const
{
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    // Seconds and the remainder apart, so that the product cannot overflow.
    const long long seconds = counter.QuadPart / ticksPerSecond_;
    const long long rest = counter.QuadPart % ticksPerSecond_;
    return std::chrono::seconds(seconds) + std::chrono::nanoseconds(rest * 1'000'000'000 / ticksPerSecond_);
}

// The waitable timer only wakes the loop; whether a tick is due is the
// schedule's to say, on the performance counter.
void FormWindow::wakeAtNextDue()
{
    updateResolution();
    const std::optional<TimerSchedule::Time> due = ended_ ? std::nullopt : schedule_.nextDue();
    if (!due) {
        CancelWaitableTimer(wake_);
        return;
    }
    // Relative, in 100 ns units, rounded up so that it does not fire early.
    const long long ahead = std::max<long long>(0, (*due - now()).count());
    LARGE_INTEGER wait;
    wait.QuadPart = -std::max(1LL, (ahead + 99) / 100);
    SetWaitableTimer(wake_, &wait, 0, nullptr, nullptr, FALSE);
}

void FormWindow::updateResolution()
{
    bool need = false;
    if (!highResolution_ && !ended_)
        for (const auto& c : form_.controls())
            if (c->kind() == ControlKind::Timer) {
                const auto& timer = static_cast<const Timer&>(*c);
                need = need || (timer.running() && timer.Interval() < kCoarseTickMs);
            }
    if (need == periodRaised_)
        return;
    if (need)
        timeBeginPeriod(1);
    else
        timeEndPeriod(1);
    periodRaised_ = need;
}

// Every tick that is due, late ones made up in order; the loop then takes
// one message, so neither timers nor input can starve the other.
bool FormWindow::fireDueTimers()
{
    if (ended_)
        return false;
    const bool ticked = schedule_.fire(now()) > 0;
    wakeAtNextDue();
    // Painting waits until no input is queued; a tick shows at once, also
    // in a flood of clicks.
    if (ticked && !ended_ && window_)
        UpdateWindow(window_);
    return ticked;
}

int FormWindow::run()
{
    for (;;) {
        fireDueTimers();
        MSG message;
        if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT)
                return form_.ended() ? form_.exitStatus() : static_cast<int>(message.wParam);
            TranslateMessage(&message);
            DispatchMessageW(&message);
            continue;
        }
        MsgWaitForMultipleObjectsEx(1, &wake_, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

// ---------------------------------------------------------------- boxes and the end

namespace {

// A message box runs on a thread of its own, which tells the window's thread
// the moment the player answers, before the box goes. Taking a window down
// costs Wine on a bare X server two seconds; the loss box is followed by the
// program's end, which then need not wait for it.
struct BoxAnswer {
    HANDLE answered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ~BoxAnswer() { CloseHandle(answered); }
};

thread_local BoxAnswer* t_boxAnswer = nullptr;

// A button of the box pressed, by the mouse, the keyboard or its close box.
bool isAnswer(HWND window, UINT message, WPARAM wParam)
{
    if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED)
        return false;
    const int id = LOWORD(wParam);
    wchar_t name[8]{};
    return id >= IDOK && id <= IDCONTINUE && GetClassNameW(window, name, 8) && std::wcscmp(name, L"#32770") == 0;
}

bool isBox(HWND window)
{
    wchar_t name[8]{};
    return GetClassNameW(window, name, 8) && std::wcscmp(name, L"#32770") == 0;
}

LRESULT CALLBACK sentToBox(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* m = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && t_boxAnswer && isAnswer(m->hwnd, m->message, m->wParam))
        SetEvent(t_boxAnswer->answered);
    // A box disables its owner, and a disabled window takes no close
    // request; the game window is enabled again before the box shows, so
    // that closing it ends the program also while the box is open. The Form
    // takes no click meanwhile.
    if (code == HC_ACTION && m->message == WM_SHOWWINDOW && m->wParam && isBox(m->hwnd))
        if (HWND owner = GetWindow(m->hwnd, GW_OWNER))
            EnableWindow(owner, TRUE);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK postedToBox(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* m = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && t_boxAnswer && isAnswer(m->hwnd, m->message, m->wParam))
        SetEvent(t_boxAnswer->answered);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace

int FormWindow::showBox(const std::wstring& text, UINT type)
{
    // Fires in the loop below, once the box has disabled the window.
    if (boxDepth_++ == 0)
        SetTimer(window_, kBoxOpenTimer, USER_TIMER_MINIMUM, nullptr);
    auto answer = std::make_shared<BoxAnswer>();
    std::thread([answer, owner = window_, text, title = widen(form_.design().appTitle), type] {
        t_boxAnswer = answer.get();
        const DWORD thread = GetCurrentThreadId();
        HHOOK sent = SetWindowsHookExW(WH_CALLWNDPROC, sentToBox, nullptr, thread);
        HHOOK posted = SetWindowsHookExW(WH_GETMESSAGE, postedToBox, nullptr, thread);
        MessageBoxW(owner, text.c_str(), title.c_str(), type | MB_OK | MB_SETFOREGROUND);
        SetEvent(answer->answered);
        if (sent)
            UnhookWindowsHookEx(sent);
        if (posted)
            UnhookWindowsHookEx(posted);
        t_boxAnswer = nullptr;
    }).detach();

    // The window's own messages go on meanwhile: painting, and closing it,
    // which ends the program; the Form takes no other event until the box
    // is answered.
    // Ticks that fall due meanwhile are the schedule's to skip.
    const HANDLE waits[] = {answer->answered, wake_};
    for (bool quit = false; !quit;) {
        const DWORD woken = MsgWaitForMultipleObjectsEx(2, waits, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woken == WAIT_OBJECT_0)
            break;
        if (woken == WAIT_OBJECT_0 + 1) {
            fireDueTimers();
            continue;
        }
        // One message at a time: the answer counts before the rest of a
        // flood of clicks still queued behind it.
        MSG message;
        if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(message.wParam)); // for run(), which ends the program
                quit = true;
            } else {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
    }
    if (--boxDepth_ == 0)
        KillTimer(window_, kBoxOpenTimer);
    return IDOK;
}

void FormWindow::messageBox(std::string_view text) { showBox(widen(text), 0); }

void FormWindow::errorReported(int number, std::string_view description)
{
    std::fprintf(stderr, "%s\n", runtimeErrorLine(number, description).c_str());
    std::fflush(stderr);
    showBox(widen(runtimeErrorText(number, description)), MB_ICONERROR);
}

void FormWindow::programEnded(int status)
{
    ended_ = true;
    CancelWaitableTimer(wake_);
    updateResolution();
    // The window stays as it is: the process leaves it as soon as run()
    // returns, and hiding it first would cost Wine two seconds. An open
    // box's loop ends on the quit message and posts it again, so the end
    // reaches run().
    PostQuitMessage(status);
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
            fireDueTimers();
            return 0;
        }
        if (wParam == kBoxOpenTimer) {
            // A message box disables its owner, and a disabled window takes
            // no close request; the game window stays enabled so that closing
            // it ends the program also while a box is open. Form takes no
            // click meanwhile.
            if (boxDepth_ > 0 && !IsWindowEnabled(window_)) {
                EnableWindow(window_, TRUE);
                KillTimer(window_, kBoxOpenTimer);
            }
            return 0;
        }
        break;
    default:
        break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

} // namespace rt::win32
