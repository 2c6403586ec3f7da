// The host's side of the forms runtime: what a platform's window owes a Form
// and may rely on, the Host interface it implements, and the clock. Each
// platform has one host: runtime/qt/ (Linux), runtime/win32/ (Windows) and
// runtime/web/ (the browser), side by side. What the game sees is in
// forms.h; design.h, form.h and services.h are the parts a host uses.
//
// What a host owes:
// - Implement runApplication (start.h): build the Form, bind the game to
//   it, call Form::setHost with itself, and raise load(); then show the
//   window and call Form::startTimers() only if load() did not end the
//   program.
// - Work in design pixels: scale what it draws, and divide what the mouse
//   gives, rounding down, before press() and release().
// - Call Form::cancelPress where its platform takes a press away (a lost
//   mouse grab or capture, a press a compositor or window manager takes
//   over), so that the release that may come later makes no click.
// - Repaint a control's rectangle on controlChanged.
// - Give the time of a monotonic clock (now()), and keep one wake-up: at
//   wakeAt's time, or none, call Form::wake(). The Form keeps every
//   timer's due time and delivers the ticks; timers tick nowhere else.
// - Keep its event loop running while messageBox waits for the player
//   (painting, closing the window), and return from it once the box is
//   answered or the program has ended.
// - Report errors through ReportingHost (error_box.h), which writes the
//   line and then shows the box in the core's words: the host gives only
//   the writing of a line and the showing of a box. On programEnded stop
//   waking, leave its loop and exit with the status given.
// - Take its scale from fittingScale (scale_rule.h) and its pictures from
//   designPictures (design_pictures.h).
// What it may rely on:
// - The Form takes one event at a time: while a handler runs, every event
//   it is given is refused, so the host need not queue or filter them.
// - After programEnded nothing is due and no handler runs again.
// - Handlers reach the platform only through Host.
#pragma once

#include <chrono>
#include <optional>
#include <string_view>

namespace rt {

class Control;
class Timer;

// What a Form asks of the platform that shows it: each platform's window is
// one host; tests use their own.
class Host {
public:
    // A monotonic clock's reading, from an epoch of the host's choosing.
    using Time = std::chrono::nanoseconds;

    virtual ~Host() = default;
    virtual Time now() const = 0;
    // Call Form::wake() once at `at` or soon after, in place of any wake-up
    // asked for before; a time already past means at once, none means
    // never. Waking early is harmless: the Form asks again.
    virtual void wakeAt(std::optional<Time> at) = 0;
    virtual void controlChanged(Control&) {}
    // The timer's running() changed. The Form arms the wake-up itself, so
    // there is nothing to do; tests watch timers sleep through it.
    virtual void timerChanged(Timer&) {}
    virtual void messageBox(std::string_view text) = 0;
    virtual void errorReported(int number, std::string_view description) = 0;
    virtual void programEnded(int status) = 0;
};

// For tests only: what a desktop host adds to its monotonic clock, read
// afresh at every reading. The whole number of milliseconds written in the
// file SKEETRA_TEST_CLOCK_FILE names (none while it is missing), so a test
// can make a hold-up last longer than it waited, or a wake-up come early.
Host::Time testClockOffset();

// Exit statuses besides the program's own: a runtime error ended it, or the
// window could not be opened or its display was lost.
inline constexpr int kRuntimeErrorStatus = 1;
inline constexpr int kNoDisplayStatus = 2;

} // namespace rt
