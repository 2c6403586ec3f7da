// The Windows floor of the launch and memory figures: the least a Win32
// program of the game's kind does before its first frame. A window with
// the game's client size and place, the game's face loaded from its own
// resources as the game loads it, and one line of text in it.
#include "floor_win32_window.h"

#include <iterator>

namespace {


LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        static const wchar_t line[] = L"Набери 100 убийств за минимальное время.";
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        bench::useFace(dc, RGB(255, 255, 0));
        TextOutW(dc, 8, 8, line, static_cast<int>(std::size(line) - 1));
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
    return bench::runFloorWindow(windowProc, L"Skeetra floor");
}
