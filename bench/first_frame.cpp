// The first-frame probe: an application-wide event filter, so the program
// under test runs its own start-up code unchanged.
#include "first_frame.h"

#include <QCoreApplication>
#include <QEvent>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <ctime>

namespace bench {

std::int64_t monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void waitUntilOnScreen(QWidget* window)
{
    if (QScreen* screen = window->screen())
        screen->grabWindow(window->winId(), 0, 0, 1, 1);
}

namespace {

class FirstFrame : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (seen_ || event->type() != QEvent::Paint || !watched->isWidgetType())
            return false;
        auto* widget = static_cast<QWidget*>(watched);
        if (!widget->isWindow())
            return false;
        seen_ = true;
        // The filter runs before the paint. A zero timer posted now is
        // delivered only after the repaint that contains this paint has
        // returned, and Qt flushes the backing store inside that repaint.
        QTimer::singleShot(0, widget, [widget] {
            waitUntilOnScreen(widget);
            std::printf("frame %lld\n", static_cast<long long>(monotonicNs()));
            std::fflush(stdout);
            QCoreApplication::exit(0);
        });
        return false;
    }

private:
    bool seen_ = false;
};

} // namespace

void quitAfterFirstFrame()
{
    QCoreApplication* app = QCoreApplication::instance();
    app->installEventFilter(new FirstFrame(app));
}

} // namespace bench
