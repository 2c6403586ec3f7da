// Shared by the Windows floors: the game's window (style, client size and
// place) and the game's face, loaded from the floor's own resource the way
// the game loads it, and the game's places and figures, which
// scripts/bench-windows reads from the design table and hands every floor
// as SKEETRA_FLOOR_PLACES: "client=L,T,W,H clock=L,T,W,H period=800 ...".
#pragma once

#include <windows.h>

namespace bench {

// A place in client pixels (the window's on the screen for "client"); the
// floor ends, saying so, when the variable lacks it.
RECT place(const char* name);
// A whole number (a period in milliseconds, a count).
int figure(const char* name);

// What every floor's window procedure leaves to Windows; closing the
// window ends the floor.
LRESULT defaultProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Draws text that follows in the game's face (PT Sans at 13 px), in this
// colour, over what is there.
void useFace(HDC dc, COLORREF colour);

// Loads the face, creates the window with this procedure, starts a timer of
// `tickMs` (none at 0), shows the window and runs its messages until it is
// closed. 1 when the face or the window cannot be had.
int runFloorWindow(WNDPROC procedure, const wchar_t* title, UINT tickMs = 0);

} // namespace bench
