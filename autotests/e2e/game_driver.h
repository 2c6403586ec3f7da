// The game's driver: starts the real game on the display, clicks it as a
// player does and reads what it shows (the window, the targets, the counters
// and the clock's digits, the win and loss boxes, the crosshair), each in
// the places the window's design gives.
//
// The game's state is read from pixels that can be predicted whatever the
// art looks like: a target counts as shown where its rectangle differs from
// the bare facade seen before play, a shot counts as taken once the
// ammunition label's pixels change, and the win is the dark green box.
#pragma once

#include "display.h"
#include "form_design.h"
#include "play_facts.h"
#include "pixels.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <map>
#include <optional>
#include <string>

namespace e2e {

// The client-area places a player sees, from the window's design.
struct Places {
    QSize clientSize;
    QList<QRect> targets; // the figure's openings, Image2 first
    QRect startArea, instructions, ammunition, clock, exitCaption, winBox, finalTime, kills, titleOfAmmunition;
    QRgb winGreen = 0;
    // Points where no control lies during play; before play none of them
    // is on a shown control either.
    QList<QPoint> barePoints;
    // Labels that take clicks and do nothing (the exit caption is the exception).
    QList<QRect> quietLabels;

    QRect target(const QString& name) const;
};
const Places& places();

// The counters' digits: their lowest two rows meet the texts below them
// (the kills title, the credit), so they are left out.
inline QRect digits(const QRect& label) { return label.adjusted(0, 0, 0, -2); }

using skeetra::play::kQuietMs;
using skeetra::play::kStartAmmunition;
using skeetra::play::kWinningKills;
// The clock's period: its timer's interval in the design.
int clockPeriodMs();
// The game ends within this of the player's last action: it ends in well
// under a tenth of a second. Taking a window down first costs Wine on a bare
// X server a fixed two seconds for each window, which this catches.
inline constexpr int kPromptEndMs = 1000;

// Rows of the client area that show the window picture; below them runs
// the status strip, from its first label.
int pictureRows();

// The titles of the game's window and of its message boxes, as patterns.
QString mainTitle();
QString boxTitle();

// Whether a band of the window that no control covers shows the window
// picture as drawn: a compositor may report a window's new place before its
// output shows it there.
inline bool showsTheFacade(const QImage& shot)
{
    static const QImage facade = picture("facade.gif").convertToFormat(QImage::Format_RGB32);
    for (int y = 180; y < 200; ++y)
        for (int x = 0; x < places().clientSize.width(); ++x)
            if (shot.pixel(x, y) != facade.pixel(x, y))
                return false;
    return true;
}
// Whether an opening shows a figure: more than a twentieth of it differs
// from the bare opening.
inline bool shows(const QImage& opening, const QImage& bare)
{
    return differingPixels(opening, bare, opening.rect()) * 20 > opening.width() * opening.height();
}

// One running game: its process, its window and what the bare facade looked
// like before play.
class Game {
public:
    Game() = default;
    Game(const Game&) = delete;
    Game& operator=(const Game&) = delete;

    ~Game()
    {
        if (QTest::currentTestFailed() && !geometry_.isEmpty()) {
            // What the player would have seen, kept beside the test's output.
            QString name = QStringLiteral("e2e-failure-%1-%2.png")
                               .arg(QTest::currentTestFunction(), QString::fromUtf8(QTest::currentDataTag()));
            name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9.-]+")), QStringLiteral("_"));
            if (QGuiApplication::primaryScreen()->grabWindow(0).save(name))
                qWarning("screen at the failure: %s", qPrintable(QDir::current().absoluteFilePath(name)));
        }
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished();
        }
        if (QTest::currentTestFailed())
            qWarning("the game's error output:\n%s", (error_output_ + process_.readAllStandardError()).constData());
    }

    // Starts the game on a display set to 200 %: Wine's LogPixels 192, or
    // QT_SCALE_FACTOR=2 for Qt.
    bool launchDense()
    {
        if (underWine() && !setLogPixels(192))
            return false;
        extraEnv_.insert(QStringLiteral("QT_SCALE_FACTOR"), QStringLiteral("2"));
        return launch();
    }

    // The game's monotonic clock runs ahead by the milliseconds written in
    // this file, read at every reading (SKEETRA_TEST_CLOCK_FILE); call before launch().
    void setTestClockFile(const QString& path) { extraEnv_.insert(QStringLiteral("SKEETRA_TEST_CLOCK_FILE"), path); }

    // How long launch() waits: until the window has settled, or only until
    // it is first drawn whole, as a player sees it who clicks at once.
    enum class Until { Settled, FirstDrawn };

    // Starts the game and waits until its window is up and painted. Under
    // Wine the run's screen may set the dots per inch (SKEETRA_E2E_LOGPIXELS),
    // as the Qt runs' QT_SCALE_FACTOR does.
    bool launch(Until until = Until::Settled)
    {
        if (underWine() && qEnvironmentVariableIsSet("SKEETRA_E2E_LOGPIXELS") &&
            !setLogPixels(qEnvironmentVariableIntValue("SKEETRA_E2E_LOGPIXELS")))
            return false;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.remove(QStringLiteral("XDG_SESSION_TYPE"));
        // On Wayland with no X display to fall back on: the game plays
        // there or not at all. On a compositor's XWayland as with no Qt
        // Wayland platform: there alone.
        if (onXWayland()) {
            env.insert(QStringLiteral("DISPLAY"), requiredEnv("SKEETRA_GAME_DISPLAY"));
            env.insert(QStringLiteral("XAUTHORITY"), qEnvironmentVariable("SKEETRA_GAME_XAUTHORITY"));
            env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        } else {
            env.remove(onCompositor() ? QStringLiteral("DISPLAY") : QStringLiteral("WAYLAND_DISPLAY"));
        }
        // Settings of the screen the run plays on, as NAME=value;...
        for (const QString& setting : qEnvironmentVariable("SKEETRA_E2E_GAME_ENV").split(';', Qt::SkipEmptyParts))
            env.insert(setting.section('=', 0, 0), setting.section('=', 1));
        env.insert(extraEnv_);
        process_.setProcessEnvironment(env);
        process_.setProgram(requiredEnv("SKEETRA"));
        process_.start();
        if (!process_.waitForStarted(kWaitMs))
            return fail("the game did not start: " + process_.errorString());
        if (!waitUntil([this] { return !running() || visibleWindows(mainTitle()).size() == 1; }) || !running())
            return fail("the game window did not appear");
        window_ = visibleWindows(mainTitle()).value(0);
        if (pointerInScreenshots() && !moveTo(parkingPlace()))
            return false;
        // Painted: the ammunition shows text, and two grabs in a row agree,
        // in the same place. (Where Qt learns the size of the title bar only
        // once the window shows, the window may take a smaller scale then.)
        QImage previous;
        QRect place;
        const bool painted = waitUntil([&] {
            if (!readGeometry())
                return false;
            const QImage now = grab();
            const bool drawn = !uniform(region(now, places().ammunition)) && showsTheFacade(now);
            const bool settled = drawn && (until == Until::FirstDrawn || (now == previous && geometry_ == place));
            previous = now;
            place = geometry_;
            return settled;
        });
        if (!painted)
            return fail(QStringLiteral("the window at %1, %2, %3 x %4 was never painted")
                            .arg(geometry_.x()).arg(geometry_.y()).arg(geometry_.width()).arg(geometry_.height()));
        // Scaled by a whole number: every design pixel a square block. Qt
        // sizes windows in whole logical pixels: at a ratio of 2 and scale 1
        // the last device row is the background's.
        const QSize extra = geometry_.size() - places().clientSize * scale();
        if (extra.width() < 0 || extra.width() > 1 || extra.height() < 0 || extra.height() > 1)
            return fail(QStringLiteral("the window is %1 x %2, no whole multiple of the design's %3 x %4")
                            .arg(geometry_.width())
                            .arg(geometry_.height())
                            .arg(places().clientSize.width())
                            .arg(places().clientSize.height()));
        // All of it on the screen, the status strip and the exit caption too.
        if (!screenGeometry().contains(geometry_))
            return fail(QStringLiteral("the window at %1, %2, %3 x %4 reaches past the screen")
                            .arg(geometry_.x())
                            .arg(geometry_.y())
                            .arg(geometry_.width())
                            .arg(geometry_.height()));
        facade_ = previous;
        return !onXWayland() || !pointerInScreenshots() || moveTo(parking());
    }

    bool running()
    {
        QCoreApplication::processEvents(); // lets QProcess see an end
        return process_.state() != QProcess::NotRunning;
    }
    QString window() const { return window_; }
    QRect geometry() const { return geometry_; }
    const QImage& facade() const { return facade_; }
    QString error() const { return error_; }

    // A part of the client area in design pixels, read from the screen
    // alone: at a larger scale, one device pixel of each block. Reading only
    // the part a check needs keeps a poll cheap on a dense screen.
    QImage grab(const QRect& part) const
    {
        const int s = scale();
        const QImage shot = screen(QRect(geometry_.topLeft() + part.topLeft() * s, part.size() * s));
        if (s <= 1)
            return shot;
        QImage design(part.size(), QImage::Format_RGB32);
        for (int y = 0; y < design.height(); ++y) {
            const auto* from = reinterpret_cast<const QRgb*>(shot.constScanLine(y * s));
            auto* to = reinterpret_cast<QRgb*>(design.scanLine(y));
            for (int x = 0; x < design.width(); ++x)
                to[x] = from[x * s];
        }
        return design;
    }
    QImage grab() const { return grab(QRect(QPoint(), places().clientSize)); }

    // Indices of the targets that differ from the bare facade.
    QList<int> shownTargets() const
    {
        QList<int> shown;
        for (int i = 0; i < int(places().targets.size()); ++i)
            if (shows(grab(places().targets[i]), region(facade_, places().targets[i])))
                shown << i;
        return shown;
    }

    // Real clicks, as fast as the X server takes them; no waiting.
    bool click(const QList<QPoint>& points)
    {
        QStringList args;
        for (const QPoint& p : points)
            args << "mousemove" << QString::number(geometry_.x() + p.x() * scale() + scale() / 2)
                 << QString::number(geometry_.y() + p.y() * scale() + scale() / 2)
                 << "mousedown" << "1" << "mouseup" << "1";
        // A compositor draws its pointer into the screen that is read.
        if (pointerInScreenshots())
            args << "mousemove" << QString::number(parking().x()) << QString::number(parking().y());
        return run(QStringLiteral("xdotool"), args).exitCode == 0 || fail("xdotool could not click");
    }
    bool click(const QPoint& p) { return click(QList<QPoint>{p}); }

    // Many clicks, faster than the game takes them. A Wayland compositor
    // keeps only so much for a client that has not read it yet: weston here
    // drops a game 400 clicks behind (300 it keeps; shown by stopping the
    // game and clicking). A player's mouse never gets so far ahead, but
    // xdotool does while the machine's load keeps the game from running.
    // There they go in bursts of 100, each waited for until the game answers.
    bool clickFlood(const QList<QPoint>& points)
    {
        const int burst = onWayland() || bySight() ? 100 : int(points.size());
        for (qsizetype from = 0; from < points.size(); from += burst) {
            if (!click(points.mid(from, burst)))
                return false;
            if (burst < points.size() && !answers(window()))
                return unanswered("the game stopped answering in a flood of clicks");
        }
        return true;
    }

    // One shot, waited for until the game has taken it.
    bool shoot(const QPoint& p, int timeoutMs = kWaitMs)
    {
        const QImage before = grab(places().ammunition);
        if (!click(p))
            return false;
        return waitUntil([&] { return grab(places().ammunition) != before; }, timeoutMs) ||
               unanswered("the ammunition did not change after a shot");
    }

    // Waits until exactly one target is shown and stays so for two grabs.
    // A compositor may copy a new frame to the screen a rectangle at a time,
    // so a grab can see a figure gone or come before the rest of its frame:
    // any other sight must last a while before it counts.
    std::optional<int> shownTarget()
    {
        QList<int> previous;
        QList<int> now;
        QElapsedTimer unchanged;
        unchanged.start();
        const bool settled = waitUntil([&] {
            now = shownTargets();
            if (now != previous)
                unchanged.restart();
            const bool same = !now.isEmpty() && now == previous;
            previous = now;
            return same && (now.size() == 1 || unchanged.elapsed() >= kQuietMs);
        });
        if (!settled) {
            fail("no target was shown");
            return {};
        }
        if (now.size() != 1) {
            fail(QStringLiteral("%1 targets shown at once").arg(now.size()));
            return {};
        }
        return now.front();
    }

    bool hit()
    {
        const std::optional<int> target = shownTarget();
        if (!target || !shoot(places().targets[*target].center()))
            return false;
        ++kills_;
        learnKills();
        return true;
    }

    // Each count the kills show, as the game drew it in the counters' face,
    // colour and ground: what the clock looks like at the same count.
    void learnKills() { numbers_[kills_] = grab(digits(places().kills)); }
    int kills() const { return kills_; }

    // The count the clock shows in the shot, once the kills have shown it.
    std::optional<int> clockIn(const QImage& shot) const
    {
        const QImage clock = region(shot, digits(places().clock));
        for (const auto& [count, image] : numbers_)
            if (image == clock)
                return count;
        return {};
    }

    bool start()
    {
        learnKills();
        playClock_.start(); // the clock cannot have started before this
        if (!click(places().startArea.center()))
            return false;
        const bool started =
            waitUntil([&] { return grab(places().instructions) != region(facade_, places().instructions); });
        startSeenMs_ = playClock_.elapsed(); // nor after this
        // A compositor that moves the window after the player aimed (at
        // the first click, say) sends that click elsewhere, and every
        // later one would miss the places read here.
        if (onCompositor()) {
            const QRect now = placeNow();
            if (now != geometry_)
                return fail(QStringLiteral("the window moved from %1, %2 to %3, %4 at the start click")
                                .arg(geometry_.x()).arg(geometry_.y()).arg(now.x()).arg(now.y()));
        }
        return started || unanswered("the start sign did not start play");
    }
    // Milliseconds since the start click was sent.
    qint64 playMs() const { return playClock_.elapsed(); }
    qint64 startSeenMs() const { return startSeenMs_; }

    bool playToWin()
    {
        if (!start())
            return false;
        for (int i = 0; i < kWinningKills; ++i) {
            // The referee shows a target and the win in one tick, so a win
            // that came early is on screen once the target is.
            const std::optional<int> target = shownTarget();
            if (target && winBoxShown())
                return fail(QStringLiteral("won after %1 hits").arg(i));
            if (!target || !hit()) {
                error_ = QStringLiteral("hit %1 of %2: %3").arg(i + 1).arg(kWinningKills).arg(error_);
                return false;
            }
        }
        return waitUntil([&] { return winBoxShown(); }) || fail("no win after 100 hits");
    }

    // Counted, not probed: the box's text may fall on any one pixel, and a
    // loss box may cover part of it.
    bool winBoxShown() const
    {
        const int area = places().winBox.width() * places().winBox.height();
        const QRect box = places().winBox;
        const QRgb green = places().winGreen;
        return pixelsOfColour(grab(box), QRect(QPoint(), box.size()), green) - pixelsOfColour(facade_, box, green) >
               area / 4;
    }

    // A burst of misses, not waited for one by one.
    bool missBurst(int count)
    {
        QList<QPoint> points;
        for (int i = 0; i < count; ++i)
            points << places().barePoints[i % places().barePoints.size()];
        return click(points);
    }

    std::optional<QString> lossBox()
    {
        if (!waitUntil([] { return !visibleWindows(boxTitle()).isEmpty(); })) {
            unanswered("no loss box appeared");
            return {};
        }
        const QStringList boxes = visibleWindows(boxTitle());
        if (boxes.size() != 1) {
            fail(QStringLiteral("%1 loss boxes at once").arg(boxes.size()));
            return {};
        }
        return boxes.front();
    }

    // Holds the game still, so that clicks queue up for it at the X server
    // and reach it all at once, then lets it go on.
    bool pause()
    {
        if (::kill(static_cast<pid_t>(process_.processId()), SIGSTOP) != 0)
            return fail("cannot stop the game");
        return waitUntil([this] { return processState() == 'T'; }) || fail("the game did not stop");
    }
    bool resume() { return ::kill(static_cast<pid_t>(process_.processId()), SIGCONT) == 0 || fail("cannot continue the game"); }

    // As a player closes it: on Wayland with the close button of its title
    // bar, which Qt draws there (weston, mutter) or the compositor (KWin).
    bool closeWindow(const QString& id)
    {
        if (bySight()) {
            // Qt's title bar is 29 design pixels high over a border of 3;
            // KWin's Breeze bar lies right above the client area.
            const int k = outputScale();
            const bool kwin = platform() == QLatin1String("kwin");
            QPoint button;
            if (id == QLatin1String("game")) {
                button = geometry_.topRight() + (kwin ? QPoint(-17, -19) : QPoint(-14, -15)) * k;
            } else {
                const QList<QRect> boxes = boxesOnScreen();
                if (boxes.size() != 1)
                    return fail(QStringLiteral("%1 boxes shown, to close one").arg(boxes.size()));
                // KWin's box: its client area; Qt's: its whole frame, title bar and all.
                button = boxes.front().topRight() + (kwin ? QPoint(-17, -19) : QPoint(-17, 14)) * k;
            }
            return (moveTo(button) && run(QStringLiteral("xdotool"), {"click", "1"}).exitCode == 0) ||
                   fail("cannot close window " + id);
        }
        if (onXWayland()) {
            return runOnGameDisplay(requiredEnv("X11_WINDOW"), {"close", id}).exitCode == 0 ||
                   fail("cannot close window " + id);
        }
        if (onWayland()) {
            // Where the window stays: a button clicked beside the close
            // button would minimise or maximise it instead.
            std::optional<WaylandWindow> w;
            QRect previous;
            waitUntil([&] {
                w = waylandWindow(id);
                const bool settled = w && w->frame == previous && w->opaque.top() > w->frame.top();
                previous = w ? w->frame : QRect();
                return settled || !w;
            });
            if (!w)
                return fail("no window " + id);
            const QPoint button = w->frame.topRight() + QPoint(-17, 14) * outputScale();
            return (moveTo(button) && run(QStringLiteral("xdotool"), {"click", "1"}).exitCode == 0) ||
                   fail("cannot close window " + id);
        }
        return run(requiredEnv("X11_WINDOW"), {"close", id}).exitCode == 0 || fail("cannot close window " + id);
    }

    // A double click on the middle of the window's title bar, which the
    // compositor draws (KWin, XWayland's) or Qt does (weston, mutter): at
    // least 10 of the output's pixels high right above the client area.
    bool doubleClickTitle()
    {
        const QPoint title(geometry_.center().x(), geometry_.top() - 10 * outputScale());
        return (moveTo(title) && run(QStringLiteral("xdotool"), {"click", "--repeat", "2", "--delay", "80", "1"}).exitCode == 0 &&
                (!pointerInScreenshots() || moveTo(parking()))) ||
               fail("cannot double click the title bar");
    }

    // Whether the game's event loop still answers. On Wayland: the pointer,
    // taken out of the game window and brought back, gets the game's
    // crosshair again, which only the game can give it.
    bool answers(const QString& id)
    {
        if (onWayland() || bySight()) {
            // Beside the right edge, clear of the targets above and below.
            const QPoint bare = places().barePoints[0];
            return waitUntil([&] { return crosshairCentre(bare, 20).has_value(); });
        }
        return runOnGameDisplay(requiredEnv("X11_WINDOW"), {"ping", id, QString::number(kWaitMs)}).exitCode == 0;
    }

    bool pressKey(const QString& id, const QString& key)
    {
        // A compositor gives the keyboard to the window it chooses, as a
        // player finds it: a box that opens takes it, or the key is lost.
        if (onCompositor())
            return run(QStringLiteral("xdotool"), {"key", "--clearmodifiers", key}).exitCode == 0 ||
                   fail("cannot press " + key);
        return run(QStringLiteral("xdotool"), {"windowfocus", "--sync", id, "key", "--clearmodifiers", key})
                       .exitCode == 0 ||
               fail("cannot press " + key);
    }

    // Where the pointer waits between clicks, out of the way of every read:
    // on a compositor's XWayland on the game's title bar, which the
    // compositor draws in the same X server. A pointer that leaves XWayland's
    // windows and comes back loses the press that follows at once, now and
    // then, at least on mutter's and KWin's; a player never presses that fast.
    QPoint parking() const
    {
        if (onXWayland())
            return {geometry_.center().x(), geometry_.top() - 10 * scale()};
        return parkingPlace();
    }

    // Device pixels a design pixel takes in the game window.
    int scale() const { return std::max(1, qRound(geometry_.width() / double(places().clientSize.width()))); }

    bool moveTo(const QPoint& screenPoint)
    {
        return run(QStringLiteral("xdotool"),
                   {"mousemove", QString::number(screenPoint.x()), QString::number(screenPoint.y())})
                       .exitCode == 0 ||
               fail("xdotool could not move the pointer");
    }

    // Where the crosshair's bars cross on the screen, in device pixels
    // (between two pixels, as the bars are 2 design pixels wide), with the
    // pointer at the client point; nothing when no crosshair is drawn there.
    // The pointer is first taken to the desktop beside the window, to see
    // what lies beneath it.
    // Looks as far as `reach` design pixels around the point: far enough for
    // a pointer drawn off its place, near enough to leave out targets.
    std::optional<Crossing> crosshairCentre(const QPoint& clientPoint, int reach = 40)
    {
        const int s = scale();
        const QPoint at = geometry_.topLeft() + clientPoint * s;
        if (!pointerInScreenshots()) {
            // The X server draws the pointer where no screenshot sees it; it
            // tells what it draws, and where (KWin sets its cursor there too).
            if (!moveTo(at))
                return {};
            std::optional<Crossing> centre;
            waitUntil(
                [&] {
                    const Run r = run(requiredEnv("X11_WINDOW"), {"cursor"});
                    QStringList lines = r.output.split('\n', Qt::SkipEmptyParts);
                    if (r.exitCode != 0 || lines.isEmpty())
                        return false;
                    const QStringList head = lines.takeFirst().split(' ');
                    if (head.size() != 6 || head[0].toInt() != at.x() || head[1].toInt() != at.y())
                        return false;
                    const int w = head[4].toInt(), h = head[5].toInt();
                    QImage drawn(w, h, QImage::Format_RGB32), bare(w, h, QImage::Format_RGB32);
                    bare.fill(Qt::white);
                    drawn.fill(Qt::white);
                    for (int y = 0; y < h && y < lines.size(); ++y) {
                        const QStringList row = lines[y].split(' ');
                        for (int x = 0; x < w && x < row.size(); ++x) {
                            const QRgb argb = row[x].toUInt(nullptr, 16);
                            if (qAlpha(argb) == 255)
                                drawn.setPixel(x, y, argb);
                        }
                    }
                    centre = barsCrossing(bare, drawn);
                    if (centre)
                        centre->centre += at - QPoint(head[2].toInt(), head[3].toInt());
                    return centre.has_value();
                },
                2000);
            return centre;
        }
        const QRect around(at - QPoint(reach, reach) * s, QSize(2 * reach, 2 * reach) * s);
        // The screen's bottom left corner, which shows little of any pointer.
        if (!moveTo(parking()))
            return {};
        QTest::qWait(100);
        const QImage bare = screen(around);
        if (!moveTo(at))
            return {};
        std::optional<Crossing> centre;
        waitUntil(
            [&] {
                centre = barsCrossing(bare, screen(around));
                return centre.has_value();
            },
            2000);
        if (centre)
            centre->centre += around.topLeft();
        return centre;
    }

    // The exit status, or nothing when the game did not end or crashed, or
    // took longer than kPromptEndMs from the call to end.
    std::optional<int> exitStatus()
    {
        QElapsedTimer clock;
        clock.start();
        if (!waitUntil([&] { return !running(); })) {
            fail("the game did not end");
            return {};
        }
        // A game built with the sanitizers scans its memory for leaks as it
        // ends, for about a second of its own.
        if (clock.elapsed() > kPromptEndMs && !qEnvironmentVariableIsSet("SKEETRA_SANITIZED")) {
            fail(QStringLiteral("the game took %1 ms to end").arg(clock.elapsed()));
            return {};
        }
        if (process_.exitStatus() != QProcess::NormalExit) {
            fail("the game crashed");
            return {};
        }
        return process_.exitCode();
    }

    // Where the window is now, read again; empty when it shows nowhere. By
    // sight, a grab may catch a frame the compositor has copied to the
    // screen in part: the window is where its next whole frame shows it.
    QRect placeNow()
    {
        const QRect known = geometry_;
        QRect now;
        waitUntil([&] {
            now = readGeometry() ? geometry_ : QRect();
            return !now.isEmpty();
        }, bySight() ? kWaitMs : 0);
        geometry_ = known;
        return now;
    }

    // The game's error output, in lines, once it has ended.
    QStringList errorLines()
    {
        error_output_ += process_.readAllStandardError();
        return QString::fromUtf8(error_output_).split('\n', Qt::SkipEmptyParts);
    }

    // Whether the game ended promptly (see exitStatus) with that status.
    bool endedWithStatus(int expected)
    {
        const std::optional<int> status = exitStatus();
        if (!status)
            return false;
        return *status == expected ||
               fail(QStringLiteral("the game ended with status %1, not %2").arg(*status).arg(expected));
    }

private:
    // Wine's dots per inch for the windows it opens next: 96 is 100 %.
    bool setLogPixels(int dpi)
    {
        const Run r = run(QStringLiteral("wine"), {"reg", "add", "HKCU\\Control Panel\\Desktop", "/v", "LogPixels",
                                                   "/t", "REG_DWORD", "/d", QString::number(dpi), "/f"});
        return r.exitCode == 0 || fail("cannot set Wine's LogPixels");
    }

    // The state letter of /proc/PID/stat, after the name in parentheses.
    char processState() const
    {
        std::ifstream stat("/proc/" + std::to_string(process_.processId()) + "/stat");
        std::string line;
        std::getline(stat, line);
        const auto close = line.rfind(") ");
        return close == std::string::npos || close + 2 >= line.size() ? '?' : line[close + 2];
    }

    bool fail(const QString& message)
    {
        if (error_.isEmpty())
            error_ = message;
        return false;
    }
    // A click the game did not answer: with where weston's pointer was.
    bool unanswered(const QString& message)
    {
        const QString pointer = westonPointer();
        return fail(pointer.isEmpty() ? message : QStringLiteral("%1 (%2)").arg(message, pointer));
    }

    bool readGeometry()
    {
        if (bySight()) {
            const std::optional<QRect> shown = facadeOnScreen();
            geometry_ = shown.value_or(QRect());
            return shown.has_value();
        }
        if (onWayland()) {
            // Qt rounds the opaque part outwards on a scaled window. Until
            // Qt has put its title bar on, the content sits where the title
            // bar will be.
            const std::optional<WaylandWindow> w = waylandWindow(window_);
            if (!w || w->opaque.isEmpty() || w->opaque.top() <= w->frame.top())
                return false;
            geometry_ = QRect(w->opaque.topLeft(), places().clientSize * std::max(1, qRound(w->opaque.width() / double(places().clientSize.width()))));
            return true;
        }
        if (onXWayland()) {
            // XWayland's root lies at the top left of the compositor's
            // output, which fills the X screen. The compositor frames the
            // window, and xdotool adds the frame's offset twice: xwininfo
            // reads the client area's own place.
            const Run r = runOnGameDisplay(QStringLiteral("xwininfo"), {"-id", window_});
            int values[4] = {-1, -1, -1, -1};
            const char* keys[4] = {"Absolute upper-left X:", "Absolute upper-left Y:", "Width:", "Height:"};
            for (const QString& line : r.output.split('\n')) {
                for (int i = 0; i < 4; ++i)
                    if (line.trimmed().startsWith(QLatin1String(keys[i])))
                        values[i] = line.section(':', 1).trimmed().toInt();
            }
            geometry_ = QRect(values[0], values[1], values[2], values[3]);
            return r.exitCode == 0 && values[2] > 0 && values[3] > 0;
        }
        const Run r = run(QStringLiteral("xdotool"), {"getwindowgeometry", "--shell", window_});
        int values[4] = {-1, -1, -1, -1};
        const char* keys[4] = {"X", "Y", "WIDTH", "HEIGHT"};
        for (const QString& line : r.output.split('\n')) {
            for (int i = 0; i < 4; ++i)
                if (line.startsWith(QLatin1String(keys[i]) + '='))
                    values[i] = line.section('=', 1).toInt();
        }
        geometry_ = QRect(values[0], values[1], values[2], values[3]);
        return r.exitCode == 0 && values[2] > 0 && values[3] > 0;
    }

    QProcess process_;
    QByteArray error_output_;
    QProcessEnvironment extraEnv_;
    QString window_;
    QRect geometry_;
    QImage facade_;
    QString error_;
    int kills_ = 0;
    std::map<int, QImage> numbers_;
    QElapsedTimer playClock_;
    qint64 startSeenMs_ = 0;
};
#define GAME_VERIFY(game, ok) QVERIFY2((ok), qPrintable((game).error()))

// The phases a game can be left in.
enum class Phase { Waiting, Playing, LossBox, Won };

bool reach(Game& game, Phase phase);

} // namespace e2e

Q_DECLARE_METATYPE(e2e::Phase)
