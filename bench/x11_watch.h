// Shared by the benchmark programs that watch another program's window on
// the X server from outside (bench_x11_frame, bench_x11_hits).
#pragma once

#include <xcb/xcb.h>

#include <sys/types.h>

#include <cstddef>

namespace bench {

// CLOCK_MONOTONIC in milliseconds.
double monotonicMs();

xcb_atom_t atom(xcb_connection_t* c, const char* name);

// A viewable child of the root whose _NET_WM_PID is pid, or 0.
xcb_window_t windowOf(xcb_connection_t* c, xcb_window_t root, xcb_atom_t pidAtom, pid_t pid);

// The window's pixels, read back, with the time the reply came (the pixels
// were on screen by then); null when the window is gone. Free with std::free.
xcb_get_image_reply_t* readBack(xcb_connection_t* c, xcb_window_t window, int width, int height, double& at);

} // namespace bench
