// The Windows floor of play without shots: the game's window whose only
// work is the game's clock, one label whose text changes every 800 ms and
// is repainted alone, in the game's face and size. Runs until it is killed.
#include "floor_win32_window.h"

#include <string>

namespace {

int seconds = 0;
// The clock's place in the game (Label7).
const RECT clock{272, 424, 272 + 41, 424 + 17};

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TIMER:
        ++seconds;
        InvalidateRect(window, &clock, TRUE);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        const std::wstring text = std::to_wstring(seconds);
        bench::useFace(dc, RGB(255, 0, 0));
        TextOutW(dc, clock.left, clock.top, text.data(), static_cast<int>(text.size()));
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
    return bench::runFloorWindow(windowProc, L"Skeetra clock floor", 800);
}
