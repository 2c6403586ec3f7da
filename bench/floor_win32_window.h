// Shared by the Windows floors: the game's window (style, client size and
// place) and the game's face, loaded from the floor's own resource the way
// the game loads it.
#pragma once

#include <windows.h>

namespace bench {

constexpr int kClientWidth = 434;
constexpr int kClientHeight = 475;

// PT Sans at 13 px, or null when it cannot be loaded.
HFONT loadFace();

// Registers a class with this procedure and creates the window, hidden;
// null on failure.
HWND createFloorWindow(WNDPROC procedure, const wchar_t* title);

// What every floor's window procedure leaves to Windows; closing the
// window ends the floor.
LRESULT defaultProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Shows the window and runs the message loop until the window is closed.
int runFloor(HWND window);

} // namespace bench
