// Hit probe: the real game, watched by an application-wide event filter, for
// the time from a shot's mouse release reaching the window to the next
// target being on screen. scripts/bench clicks what it prints:
//   start X Y               where to click to start play (screen coordinates)
//   target X Y              the target now on screen
//   hit_us T click_us C in_click 0|1 paint_us P paints N
//                           release to next target on screen; release to the
//                           end of the click's delivery, and whether the next
//                           target was shown by then (the referee's tick that
//                           the hit wakes runs inside it); the repaint that
//                           showed the target (paint, flush, round trip);
//                           window paints from the release to that one,
//                           inclusive
//   miss                    the click did not hit; the target is printed again
// bench_hit_game [hits] ends after that many hits (60 by default).
#include "first_frame.h"
#include "form1.h"
#include "play_facts.h"
#include "qt_host.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPaintEvent>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

namespace play = skeetra::play;

int g_hitsWanted = 60;

QPoint centre(QWidget* window, const rt::Control& control)
{
    const rt::PixelRect r = control.rect();
    return window->mapToGlobal(QPoint(r.left + r.width / 2, r.top + r.height / 2));
}

class HitProbe : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* window = qobject_cast<rt::FormWindow*>(watched);
        if (!window)
            return false;
        if (event->type() == QEvent::Paint)
            painting(window, static_cast<QPaintEvent*>(event)->region());
        else if (event->type() == QEvent::MouseButtonRelease)
            released(window);
        return false;
    }

private:
    const rt::Control* shownTarget(rt::FormWindow* window) const
    {
        for (const auto& c : window->form().controls())
            if (c->kind() == rt::ControlKind::Image && !c->design().picture.empty() && c->Visible())
                return c.get();
        return nullptr;
    }

    void painting(rt::FormWindow* window, const QRegion& region)
    {
        if (!framed_) {
            framed_ = true;
            QTimer::singleShot(0, window, [window] {
                bench::waitUntilOnScreen(window);
                const QPoint p = centre(window, window->form().image(play::kStartSign));
                std::printf("start %d %d\n", p.x(), p.y());
                std::fflush(stdout);
            });
            return;
        }
        if (!waiting_)
            return;
        ++paints_;
        rt::Form& form = window->form();
        const bool started = startShown_ && !form.image(play::kStartSign).Visible();
        const bool hit = form.label(play::kKills).Caption() != killsAtRelease_;
        const rt::Control* target = shownTarget(window);
        if (!(started || hit) || !target)
            return;
        const rt::PixelRect r = target->rect();
        if (!region.intersects(QRect(r.left, r.top, r.width, r.height)))
            return;
        waiting_ = false;
        const std::int64_t paintStart = bench::monotonicNs();
        QTimer::singleShot(0, window, [this, window, target, paintStart, started, paints = paints_] {
            bench::waitUntilOnScreen(window);
            const std::int64_t shown = bench::monotonicNs();
            if (!started) {
                std::printf("hit_us %.1f click_us %.1f in_click %d paint_us %.1f paints %d\n",
                            (shown - releaseNs_) / 1e3, clickNs_ ? (clickNs_ - releaseNs_) / 1e3 : -1.0,
                            inClick_ ? 1 : 0, (shown - paintStart) / 1e3, paints);
                ++hits_;
            }
            if (hits_ >= g_hitsWanted) {
                std::fflush(stdout);
                QCoreApplication::exit(0);
                return;
            }
            const QPoint p = centre(window, *target);
            std::printf("target %d %d\n", p.x(), p.y());
            std::fflush(stdout);
        });
    }

    void released(rt::FormWindow* window)
    {
        releaseNs_ = bench::monotonicNs();
        clickNs_ = 0;
        inClick_ = false;
        paints_ = 0;
        rt::Form& form = window->form();
        killsAtRelease_ = form.label(play::kKills).Caption();
        startShown_ = form.image(play::kStartSign).Visible();
        waiting_ = true;
        // Delivered after the game's own release handling and before the
        // repaint it asks for: a hit notes whether its next target is
        // already shown; a click that changed nothing gets its target
        // printed again.
        QTimer::singleShot(0, window, [this, window] {
            rt::Form& f = window->form();
            if (f.label(play::kKills).Caption() != killsAtRelease_ || (startShown_ && !f.image(play::kStartSign).Visible())) {
                clickNs_ = bench::monotonicNs();
                inClick_ = shownTarget(window) != nullptr;
                return;
            }
            waiting_ = false;
            const rt::Control* target = shownTarget(window);
            const QPoint p = centre(window, target ? *target : f.image(play::kStartSign));
            std::printf("miss\n%s %d %d\n", target ? "target" : "start", p.x(), p.y());
            std::fflush(stdout);
        });
    }

    bool framed_ = false;
    bool waiting_ = false;
    bool startShown_ = false;
    int hits_ = 0;
    int paints_ = 0;
    bool inClick_ = false;
    std::int64_t releaseNs_ = 0;
    std::int64_t clickNs_ = 0;
    std::string killsAtRelease_;
};

void installProbe()
{
    QCoreApplication* app = QCoreApplication::instance();
    app->installEventFilter(new HitProbe(app));
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(installProbe)

int main(int argc, char** argv)
{
    if (argc > 1 && std::atoi(argv[1]) > 0)
        g_hitsWanted = std::atoi(argv[1]);
    return rt::runApplication(argc, argv, rt::project<skeetra::Form1>());
}
