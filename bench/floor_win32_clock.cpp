// The Windows floor of play without shots: the game's window whose only
// work is the game's clock, one label whose text changes at the clock's
// period (800 ms) and is repainted alone, in the game's face and size, at
// its place. Runs until it is killed.
#include "floor_win32_window.h"

#include <string>

namespace {

int seconds = 0;
RECT clock; // its place in the game

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
    clock = bench::place("clock");
    return bench::runFloorWindow(windowProc, L"Skeetra clock floor", bench::figure("period"));
}
