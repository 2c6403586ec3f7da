// The Windows floor of a hit: the game's window that does, on a click, what
// a hit shows a player and nothing more: one 43 x 55 picture with
// transparent parts is hidden, another shown, and two labels change, each
// repainted alone. A click on the game's start sign shows the first
// picture. bench_x11_hits watches it as it watches the game.
#include "floor_win32_window.h"

#include <cstdint>
#include <string>

namespace {

constexpr int kPictureWidth = 43;
constexpr int kPictureHeight = 55;

HBITMAP picture;
HDC pictureDc;
// Two of the game's openings, the cartridges, the kills and the start
// sign, and the cartridges a game starts with (bench::place).
RECT places[2];
RECT cartridgesPlace;
RECT killsPlace;
RECT startPlace;
int shown = -1;
int cartridges = 0;
int kills = 0;

// A figure-shaped picture in premultiplied BGRA: an opaque oval on a
// transparent ground, drawn the way the game draws its target.
HBITMAP makePicture()
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = kPictureWidth;
    info.bmiHeader.biHeight = -kPictureHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dib)
        return nullptr;
    auto* pixels = static_cast<std::uint32_t*>(bits);
    for (int y = 0; y < kPictureHeight; ++y)
        for (int x = 0; x < kPictureWidth; ++x) {
            const double dx = (x - 21.0) / 21.5, dy = (y - 27.0) / 27.5;
            pixels[y * kPictureWidth + x] = dx * dx + dy * dy <= 1 ? 0xFF8040C0u : 0u;
        }
    return dib;
}

void drawLabel(HDC dc, const RECT& place, int value)
{
    const std::wstring text = std::to_wstring(value);
    TextOutW(dc, place.left, place.top, text.data(), static_cast<int>(text.size()));
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_LBUTTONUP: {
        const POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        if (shown < 0 ? !PtInRect(&startPlace, at) : !PtInRect(&places[shown], at))
            return 0;
        if (shown >= 0) {
            InvalidateRect(window, &places[shown], TRUE);
            --cartridges;
            ++kills;
            InvalidateRect(window, &cartridgesPlace, TRUE);
            InvalidateRect(window, &killsPlace, TRUE);
        }
        shown = shown < 0 ? 0 : 1 - shown;
        InvalidateRect(window, &places[shown], TRUE);
        return 0;
    }
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        RECT overlap;
        if (shown >= 0 && IntersectRect(&overlap, &places[shown], &paint.rcPaint)) {
            HGDIOBJ old = SelectObject(pictureDc, picture);
            const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
            GdiAlphaBlend(dc, places[shown].left, places[shown].top, kPictureWidth, kPictureHeight, pictureDc, 0, 0,
                          kPictureWidth, kPictureHeight, blend);
            SelectObject(pictureDc, old);
        }
        bench::useFace(dc, RGB(255, 0, 0));
        if (IntersectRect(&overlap, &cartridgesPlace, &paint.rcPaint))
            drawLabel(dc, cartridgesPlace, cartridges);
        if (IntersectRect(&overlap, &killsPlace, &paint.rcPaint))
            drawLabel(dc, killsPlace, kills);
        EndPaint(window, &paint);
        return 0;
    }
    default:
        return bench::defaultProcedure(window, message, wParam, lParam);
    }
}

} // namespace

int main()
{
    places[0] = bench::place("opening1");
    places[1] = bench::place("opening2");
    cartridgesPlace = bench::place("cartridges");
    killsPlace = bench::place("kills");
    startPlace = bench::place("start");
    cartridges = bench::figure("ammunition");
    picture = makePicture();
    pictureDc = CreateCompatibleDC(nullptr);
    if (!picture)
        return 1;
    return bench::runFloorWindow(windowProc, L"Skeetra hit floor");
}
