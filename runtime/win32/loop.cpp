// The message loop and the timers: one waitable timer wakes the loop when
// the Form asks, and every turn delivers the due ticks before the next
// message; the program's end leaves the loop.
#include "win32_host.h"

#include "timer_schedule.h"

#include <mmsystem.h>

#include <algorithm>
#include <chrono>

namespace rt::win32 {

namespace {

// Below the default system tick (15.6 ms) a plain waitable timer needs a
// raised timer resolution to keep its interval.
constexpr int kCoarseTickMs = 16;

} // namespace

Host::Time FormWindow::now() const
{
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    // Seconds and the remainder apart, so that the product cannot overflow.
    const long long seconds = counter.QuadPart / ticksPerSecond_;
    const long long rest = counter.QuadPart % ticksPerSecond_;
    return std::chrono::seconds(seconds) + std::chrono::nanoseconds(rest * 1'000'000'000 / ticksPerSecond_) +
           testClockOffset();
}

// The waitable timer only wakes the loop; whether a tick is due is the
// Form's to say, on the performance counter. The Form asks again after
// every wake(), here once a turn of the loop: the timer is set only when
// the time asked for moves or the timer has fired, as setting it costs a
// system call.
void FormWindow::wakeAt(std::optional<Time> at)
{
    updateResolution();
    if (!at || ended_) {
        CancelWaitableTimer(wake_);
        wakeSet_ = false;
        return;
    }
    if (wakeSet_ && *at == wakeAt_)
        return;
    // Relative, in 100 ns units, rounded up so that it does not fire early.
    const long long ahead = std::max<long long>(0, (*at - now()).count());
    LARGE_INTEGER wait;
    wait.QuadPart = -std::max(1LL, (ahead + 99) / 100);
    SetWaitableTimer(wake_, &wait, 0, nullptr, nullptr, FALSE);
    wakeSet_ = true;
    wakeAt_ = *at;
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
bool FormWindow::fireDueTimers(bool woken)
{
    if (woken) // fired, early or not: it must be set again
        wakeSet_ = false;
    if (ended_)
        return false;
    const bool ticked = form_.wake() > 0;
    // Painting waits until no input is queued; a tick shows at once, also
    // in a flood of clicks.
    if (ticked && !ended_ && window_)
        UpdateWindow(window_);
    return ticked;
}

int FormWindow::run()
{
    for (bool woken = false;;) {
        fireDueTimers(woken);
        woken = false;
        MSG message;
        if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT)
                return form_.ended() ? form_.exitStatus() : static_cast<int>(message.wParam);
            TranslateMessage(&message);
            DispatchMessageW(&message);
            continue;
        }
        woken = MsgWaitForMultipleObjectsEx(1, &wake_, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE) == WAIT_OBJECT_0;
    }
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

} // namespace rt::win32
