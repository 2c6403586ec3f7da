// Shared by the launch probes: a clock both sides of a comparison read the
// same way, and the one definition of "this window is on screen".
#pragma once

#include <cstdint>

class QWidget;

namespace bench {

// CLOCK_MONOTONIC in nanoseconds: bench_spawn reads the same clock before it
// starts a program, so a timestamp printed here can be set against that.
std::int64_t monotonicNs();

// Returns once the X server has carried out everything Qt sent for the
// window so far. Reading one pixel back is a round trip, and the server
// answers requests in order, so the frame flushed before it is on screen.
void waitUntilOnScreen(QWidget* window);

// Call from a Q_COREAPP_STARTUP_FUNCTION. Watches every event of the
// program; after the first paint of a top-level widget has returned and Qt
// has flushed its backing store, and the server has the frame, prints
// "frame <monotonic ns>" and ends the event loop with status 0.
void quitAfterFirstFrame();

} // namespace bench
