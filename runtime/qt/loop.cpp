// The clock and the timers: one precise single-shot timer wakes the Form
// when it asks, on Qt's event loop; the program's end leaves that loop.
#include "qt_host.h"

#include "timer_schedule.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>

namespace rt {

namespace {

Host::Time monotonicNow()
{
    return std::chrono::steady_clock::now().time_since_epoch() + testClockOffset();
}

} // namespace

Host::Time FormWindow::now() const { return monotonicNow(); }

void FormWindow::wakeAt(std::optional<Time> at)
{
    if (!at) {
        wake_->stop();
        return;
    }
    const auto ahead = std::chrono::ceil<std::chrono::milliseconds>(*at - monotonicNow());
    wake_->start(static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, ahead.count())));
}

void FormWindow::programEnded(int status)
{
    wake_->stop();
    if (boxLoop_) // the program's end takes an open box with it
        boxLoop_->quit();
    hide();
    emit ended(status);
    if (quitOnEnd_)
        QCoreApplication::exit(status);
}

} // namespace rt
