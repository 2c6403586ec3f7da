// The real game on a real X server, played with real clicks: the window, a
// game to the win, games to the loss, a click storm, and every way out.
//
// The game's state is read from pixels that can be predicted whatever the
// art looks like: a target counts as shown where its rectangle differs from
// the bare facade seen before play, a shot counts as taken once the
// ammunition label's pixels change, and the win is the dark green box.
#include <QDir>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QTest>

#include <array>
#include <cmath>
#include <functional>
#include <map>
#include <optional>

#include <csignal>
#include <fstream>
#include <string>

namespace {

// Client-area places from the window's design.
constexpr std::array<QRect, 12> kTargets{{
    {136, 0, 43, 55},   // Image2
    {24, 112, 43, 55},  // Image3
    {152, 344, 43, 55}, // Image4
    {192, 184, 43, 55}, // Image5
    {336, 0, 43, 55},   // Image6
    {224, 344, 43, 55}, // Image7
    {56, 0, 43, 55},    // Image8
    {256, 0, 43, 55},   // Image9
    {32, 216, 43, 55},  // Image10
    {368, 216, 43, 55}, // Image11
    {384, 344, 43, 55}, // Image12
    {368, 112, 43, 55}, // Image13
}};
constexpr QRect kStartArea{136, 288, 153, 41};
constexpr QRect kInstructions{136, 88, 169, 73};
constexpr QRect kAmmunition{72, 424, 41, 17};
constexpr QRect kClock{272, 424, 41, 17};
constexpr QRect kExitCaption{376, 448, 49, 25};
constexpr QRect kWinBox{120, 128, 201, 49};
constexpr QRect kFinalTime{224, 148, 49, 17}; // over the end of the win box's second line
constexpr QRect kKills{152, 440, 41, 17};
constexpr QRect kTitleOfAmmunition{8, 424, 65, 17};
constexpr QRgb kWinGreen = 0xff008000;
constexpr QSize kClientSize{434, 475};
constexpr int kClockPeriodMs = 800;
// The counters' digits: their lowest two rows meet the texts below them
// (the kills title, the credit), so they are left out.
constexpr QRect digits(const QRect& label) { return label.adjusted(0, 0, 0, -2); }

// Points where no control lies during play; before play none of them is on
// a shown control either.
constexpr std::array<QPoint, 4> kBarePoints{{{420, 300}, {10, 300}, {300, 410}, {110, 70}}};

// Labels that take clicks and do nothing (the exit caption is the exception).
constexpr std::array<QRect, 8> kQuietLabels{{
    {136, 88, 169, 73}, // Label8, instructions
    {8, 424, 65, 17},   // Label3
    {72, 424, 41, 17},  // Label6, ammunition
    {224, 424, 49, 25}, // Label4
    {272, 424, 41, 17}, // Label7, time
    {8, 440, 145, 17},  // Label2
    {152, 440, 41, 17}, // Label5, kills
    {208, 439, 113, 33}, // Label9, credit
}};

constexpr int kStartAmmunition = 120;
constexpr int kWinningKills = 100;

// Generous: a loaded machine may be slow, never wrong.
constexpr int kWaitMs = 20000;
// How long a thing that must not happen is given to happen anyway. Too short
// only lets a fault slip by; it can never fail a correct game.
constexpr int kQuietMs = 300;
// The game ends within this of the player's last action: it ends in well
// under a tenth of a second. Taking a window down first costs Wine on a bare
// X server a fixed two seconds for each window, which this catches.
constexpr int kPromptEndMs = 1000;

// Rows of the client area that show the window picture; below them runs
// the status strip.
constexpr int kPictureRows = 424;

const QString kMainTitle = QStringLiteral("^Skeetra beta 0\\.01$");
const QString kBoxTitle = QStringLiteral("^Skeetra$");

// The Windows build, played under Wine.
bool underWine() { return !qEnvironmentVariableIsEmpty("SKEETRA_WINE_EXE"); }

QString requiredEnv(const char* name)
{
    const QString value = qEnvironmentVariable(name);
    if (value.isEmpty())
        qFatal("%s is not set; run this through CTest", name);
    return value;
}

// The platform the game plays on: its X server, or the Wayland compositor
// with-weston.sh runs on it, whose output's scale is SKEETRA_WESTON_SCALE.
bool onWayland() { return qEnvironmentVariable("SKEETRA_E2E_PLATFORM") == QLatin1String("wayland"); }
int outputScale() { return qEnvironmentVariableIsSet("SKEETRA_WESTON_SCALE") ? qEnvironmentVariableIntValue("SKEETRA_WESTON_SCALE") : 1; }

struct Run {
    int exitCode = -1;
    QString output; // standard output only
};

Run run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(program, args);
    if (!p.waitForFinished(kWaitMs)) {
        p.kill();
        p.waitForFinished();
        return {-1, {}};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput())};
}

// A window as the Wayland compositor shows it, in device pixels: its
// surface with the decoration Qt draws, and the part it paints opaque (a
// Qt window's content).
struct WaylandWindow {
    QString id;
    QString title;
    QRect frame;
    QRect opaque;
};

// The compositor's windows, read from its scene graph (weston --debug).
QList<WaylandWindow> waylandWindows()
{
    QList<WaylandWindow> windows;
    const Run r = run(QStringLiteral("weston-debug"), {"scene-graph"});
    static const QRegularExpression view(
        QStringLiteral("role xdg_toplevel, PID (\\d+), surface ID (\\d+), top-level window '(.*)' of"));
    static const QRegularExpression corners(QStringLiteral("\\((-?\\d+), (-?\\d+)\\) -> \\((-?\\d+), (-?\\d+)\\)"));
    const int k = outputScale();
    auto rect = [&](const QString& line) {
        const QRegularExpressionMatch m = corners.match(line);
        return m.hasMatch() ? QRect(QPoint(m.captured(1).toInt() * k, m.captured(2).toInt() * k),
                                    QPoint(m.captured(3).toInt() * k - 1, m.captured(4).toInt() * k - 1))
                            : QRect();
    };
    WaylandWindow* current = nullptr; // the window whose view's lines follow
    for (const QString& line : r.output.split('\n')) {
        if (const QRegularExpressionMatch m = view.match(line); m.hasMatch()) {
            windows.append({m.captured(1) + ':' + m.captured(2), m.captured(3), {}, {}});
            current = &windows.back();
        } else if (line.trimmed().startsWith(QLatin1String("View "))) {
            current = nullptr;
        } else if (current && line.trimmed().startsWith(QLatin1String("position:"))) {
            current->frame = rect(line);
        } else if (current && line.trimmed().startsWith(QLatin1String("[opaque:"))) {
            current->opaque = rect(line);
        }
    }
    return windows;
}

std::optional<WaylandWindow> waylandWindow(const QString& id)
{
    for (const WaylandWindow& w : waylandWindows())
        if (w.id == id)
            return w;
    return {};
}

QStringList visibleWindows(const QString& nameRegex)
{
    if (onWayland()) {
        QStringList ids;
        const QRegularExpression name(nameRegex);
        for (const WaylandWindow& w : waylandWindows())
            if (name.match(w.title).hasMatch())
                ids << w.id;
        return ids;
    }
    const Run r = run(QStringLiteral("xdotool"), {"search", "--onlyvisible", "--name", nameRegex});
    return r.exitCode == 0 ? r.output.split('\n', Qt::SkipEmptyParts) : QStringList{};
}

QString windowTitle(const QString& id)
{
    if (onWayland()) {
        const std::optional<WaylandWindow> w = waylandWindow(id);
        return w ? w->title : QString();
    }
    return run(QStringLiteral("xdotool"), {"getwindowname", id}).output.trimmed();
}

// Polls until the condition holds; keeps the driver's own events flowing
// so QProcess notices a finished game.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = kWaitMs)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (condition())
            return true;
        if (clock.elapsed() > timeoutMs)
            return false;
        QTest::qWait(2);
    }
}

QImage region(const QImage& image, const QRect& rect) { return image.copy(rect); }

int winGreenPixels(const QImage& image)
{
    int count = 0;
    for (int y = kWinBox.top(); y <= kWinBox.bottom(); ++y)
        for (int x = kWinBox.left(); x <= kWinBox.right(); ++x)
            count += image.pixel(x, y) == kWinGreen;
    return count;
}

int differingPixels(const QImage& a, const QImage& b, const QRect& rect)
{
    int count = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            count += a.pixel(x, y) != b.pixel(x, y);
    return count;
}

QImage picture(const char* file)
{
    const QImage image(QStringLiteral(SKEETRA_PICTURES "/") + QLatin1String(file));
    if (image.isNull())
        qFatal("cannot read the picture %s", file);
    return image;
}

// Where the shot differs from the expected image, as text for a failure
// message; empty when they agree pixel for pixel.
QString differences(const QImage& shot, const QImage& expected, const QRect& rect)
{
    int count = 0;
    QPoint first(-1, -1);
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            if (shot.pixel(x, y) != expected.pixel(x, y) && count++ == 0)
                first = {x, y};
    if (count == 0)
        return {};
    return QStringLiteral("%1 pixels differ, the first at (%2, %3): %4 on screen, %5 expected")
        .arg(count)
        .arg(first.x())
        .arg(first.y())
        .arg(shot.pixel(first), 8, 16, QLatin1Char('0'))
        .arg(expected.pixel(first), 8, 16, QLatin1Char('0'));
}

// Runs of rows inside the rectangle that hold anything besides the
// background: the lines of a text drawn there.
int textRows(const QImage& shot, const QImage& background, const QRect& rect)
{
    int runs = 0;
    bool inRun = false;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        bool drawn = false;
        for (int x = rect.left(); x <= rect.right() && !drawn; ++x)
            drawn = shot.pixel(x, y) != background.pixel(x, y);
        runs += drawn && !inRun;
        inRun = drawn;
    }
    return runs;
}

bool uniform(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != image.pixel(0, 0))
                return false;
    return true;
}

// Where the crosshair's bars cross on the screen, and how wide they are,
// in device pixels.
struct Crossing {
    QPointF centre;
    int barWidth = 0;
};

// The ink of a text: the pixels that differ clearly from its ground, cut to
// their bounding box.
QImage ink(const QImage& image, QRgb ground)
{
    QImage mask(image.size(), QImage::Format_Grayscale8);
    mask.fill(0);
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            const int distance = std::abs(qRed(p) - qRed(ground)) + std::abs(qGreen(p) - qGreen(ground)) +
                                 std::abs(qBlue(p) - qBlue(ground));
            if (distance > 64) {
                mask.setPixel(x, y, 255);
                box |= QRect(x, y, 1, 1);
            }
        }
    return mask.copy(box);
}

// Pixels where two inks differ, laid top-left on top-left.
int inkDifference(const QImage& a, const QImage& b)
{
    const int w = std::max(a.width(), b.width()), h = std::max(a.height(), b.height());
    int count = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool inA = a.rect().contains(x, y) && qGray(a.pixel(x, y)) > 0;
            const bool inB = b.rect().contains(x, y) && qGray(b.pixel(x, y)) > 0;
            count += inA != inB;
        }
    return count;
}

// Which of the numbers the region shows, read by the shape of its ink
// against each drawn in the window's bundled face at the pixel size: the
// game's own renderer may smooth its text differently, but the nearest
// shape is the number shown. Nothing when the region holds no ink.
std::optional<int> nearestNumber(const QImage& region, QRgb ground, int pixelSize, const QList<int>& candidates)
{
    static const QString family = [] {
        const int id = QFontDatabase::addApplicationFont(QStringLiteral(SKEETRA_FONTS "/PTSans-Regular.ttf"));
        return QFontDatabase::applicationFontFamilies(id).value(0);
    }();
    const QImage shown = ink(region, ground);
    if (shown.isNull())
        return {};
    std::optional<int> best;
    int bestDifference = 0;
    for (int n : candidates) {
        QImage drawn(region.width() * 2, region.height() * 2, QImage::Format_RGB32);
        drawn.fill(ground);
        QPainter p(&drawn);
        QFont font(family);
        font.setPixelSize(pixelSize);
        p.setFont(font);
        p.setPen(Qt::black); // the default text colour
        p.drawText(QPoint(0, pixelSize), QString::number(n));
        p.end();
        const int difference = inkDifference(shown, ink(drawn, ground));
        if (!best || difference < bestDifference) {
            best = n;
            bestDifference = difference;
        }
    }
    return best;
}

// Whether a band of the window that no control covers shows the window
// picture as drawn: a compositor may report a window's new place before its
// output shows it there.
bool showsTheFacade(const QImage& shot)
{
    static const QImage facade = picture("facade.gif").convertToFormat(QImage::Format_RGB32);
    for (int y = 180; y < 200; ++y)
        for (int x = 0; x < kClientSize.width(); ++x)
            if (shot.pixel(x, y) != facade.pixel(x, y))
                return false;
    return true;
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
            qWarning("the game's error output:\n%s", process_.readAllStandardError().constData());
    }

    // Starts the game on a display set to 200 %: Wine's LogPixels 192, or
    // QT_SCALE_FACTOR=2 for Qt.
    bool launchDense()
    {
        if (underWine()) {
            const Run r = run(QStringLiteral("wine"), {"reg", "add", "HKCU\\Control Panel\\Desktop", "/v", "LogPixels",
                                                       "/t", "REG_DWORD", "/d", "192", "/f"});
            if (r.exitCode != 0)
                return fail("cannot set Wine's LogPixels");
        }
        extraEnv_.insert(QStringLiteral("QT_SCALE_FACTOR"), QStringLiteral("2"));
        return launch();
    }

    // Starts the game and waits until its window is up and painted.
    bool launch()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.remove(QStringLiteral("XDG_SESSION_TYPE"));
        // On Wayland with no X display to fall back on: the game plays
        // there or not at all.
        env.remove(onWayland() ? QStringLiteral("DISPLAY") : QStringLiteral("WAYLAND_DISPLAY"));
        // Settings of the screen the run plays on, as NAME=value;...
        for (const QString& setting : qEnvironmentVariable("SKEETRA_E2E_GAME_ENV").split(';', Qt::SkipEmptyParts))
            env.insert(setting.section('=', 0, 0), setting.section('=', 1));
        env.insert(extraEnv_);
        process_.setProcessEnvironment(env);
        process_.setProgram(requiredEnv("SKEETRA"));
        process_.start();
        if (!process_.waitForStarted(kWaitMs))
            return fail("the game did not start: " + process_.errorString());
        if (!waitUntil([this] { return !running() || visibleWindows(kMainTitle).size() == 1; }) || !running())
            return fail("the game window did not appear");
        window_ = visibleWindows(kMainTitle).value(0);
        if (onWayland() && !moveTo({0, QGuiApplication::primaryScreen()->geometry().bottom()}))
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
            const bool settled = !uniform(region(now, kAmmunition)) && now == previous && geometry_ == place &&
                                 showsTheFacade(now);
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
        const QSize extra = geometry_.size() - kClientSize * scale();
        if (extra.width() < 0 || extra.width() > 1 || extra.height() < 0 || extra.height() > 1)
            return fail(QStringLiteral("the window is %1 x %2, no whole multiple of the design's 434 x 475")
                            .arg(geometry_.width())
                            .arg(geometry_.height()));
        // All of it on the screen, the status strip and the exit caption too.
        if (!QGuiApplication::primaryScreen()->geometry().contains(geometry_))
            return fail(QStringLiteral("the window at %1, %2, %3 x %4 reaches past the screen")
                            .arg(geometry_.x())
                            .arg(geometry_.y())
                            .arg(geometry_.width())
                            .arg(geometry_.height()));
        facade_ = previous;
        return true;
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

    // The client area in design pixels: at a larger scale, one device pixel
    // of each block.
    QImage grab() const
    {
        const int s = scale();
        const QImage shot = screen(QRect(geometry_.topLeft(), kClientSize * s));
        if (s <= 1)
            return shot;
        QImage design(kClientSize, QImage::Format_RGB32);
        for (int y = 0; y < design.height(); ++y)
            for (int x = 0; x < design.width(); ++x)
                design.setPixel(x, y, shot.pixel(x * s, y * s));
        return design;
    }

    // Indices of the targets that differ from the bare facade.
    static QList<int> shownTargets(const QImage& shot, const QImage& facade)
    {
        QList<int> shown;
        for (int i = 0; i < int(kTargets.size()); ++i)
            if (differingPixels(shot, facade, kTargets[i]) * 20 > kTargets[i].width() * kTargets[i].height())
                shown << i;
        return shown;
    }
    QList<int> shownTargets() const { return shownTargets(grab(), facade_); }

    // Real clicks, as fast as the X server takes them; no waiting.
    bool click(const QList<QPoint>& points)
    {
        QStringList args;
        for (const QPoint& p : points)
            args << "mousemove" << QString::number(geometry_.x() + p.x() * scale() + scale() / 2)
                 << QString::number(geometry_.y() + p.y() * scale() + scale() / 2)
                 << "mousedown" << "1" << "mouseup" << "1";
        // A compositor draws its pointer into the screen that is read.
        if (onWayland())
            args << "mousemove" << "0" << QString::number(QGuiApplication::primaryScreen()->geometry().bottom());
        return run(QStringLiteral("xdotool"), args).exitCode == 0 || fail("xdotool could not click");
    }
    bool click(const QPoint& p) { return click(QList<QPoint>{p}); }

    // One shot, waited for until the game has taken it.
    bool shoot(const QPoint& p, int timeoutMs = kWaitMs)
    {
        const QImage before = region(grab(), kAmmunition);
        if (!click(p))
            return false;
        return waitUntil([&] { return region(grab(), kAmmunition) != before; }, timeoutMs) ||
               fail("the ammunition did not change after a shot");
    }

    // Waits until exactly one target is shown and stays so for two grabs.
    std::optional<int> shownTarget()
    {
        QList<int> previous;
        QList<int> now;
        const bool settled = waitUntil([&] {
            now = shownTargets();
            const bool same = !now.isEmpty() && now == previous;
            previous = now;
            return same;
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
        if (!target || !shoot(kTargets[*target].center()))
            return false;
        ++kills_;
        learnKills();
        return true;
    }

    // Each count the kills show, as the game drew it in the counters' face,
    // colour and ground: what the clock looks like at the same count.
    void learnKills() { numbers_[kills_] = region(grab(), digits(kKills)); }
    int kills() const { return kills_; }

    // The count the clock shows in the shot, once the kills have shown it.
    std::optional<int> clockIn(const QImage& shot) const
    {
        const QImage clock = region(shot, digits(kClock));
        for (const auto& [count, image] : numbers_)
            if (image == clock)
                return count;
        return {};
    }

    bool start()
    {
        learnKills();
        playClock_.start(); // the clock cannot have started before this
        if (!click(kStartArea.center()))
            return false;
        const bool started =
            waitUntil([&] { return region(grab(), kInstructions) != region(facade_, kInstructions); });
        startSeenMs_ = playClock_.elapsed(); // nor after this
        return started || fail("the start sign did not start play");
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
        const int area = kWinBox.width() * kWinBox.height();
        return winGreenPixels(grab()) - winGreenPixels(facade_) > area / 4;
    }

    // A burst of misses, not waited for one by one.
    bool missBurst(int count)
    {
        QList<QPoint> points;
        for (int i = 0; i < count; ++i)
            points << kBarePoints[i % kBarePoints.size()];
        return click(points);
    }

    std::optional<QString> lossBox()
    {
        if (!waitUntil([] { return !visibleWindows(kBoxTitle).isEmpty(); })) {
            fail("no loss box appeared");
            return {};
        }
        const QStringList boxes = visibleWindows(kBoxTitle);
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

    // As a player closes it: on Wayland with the close button of the title
    // bar Qt draws there.
    bool closeWindow(const QString& id)
    {
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

    // Whether the game's event loop still answers. On Wayland: the pointer,
    // taken out of the game window and brought back, gets the game's
    // crosshair again, which only the game can give it.
    bool answers(const QString& id)
    {
        if (onWayland()) {
            // Beside the right edge, clear of the targets above and below.
            const QPoint bare = kBarePoints[0];
            return waitUntil([&] { return crosshairCentre(bare, 20).has_value(); });
        }
        return run(requiredEnv("X11_WINDOW"), {"ping", id, QString::number(kWaitMs)}).exitCode == 0;
    }

    bool pressKey(const QString& id, const QString& key)
    {
        // Weston gives a new window the keyboard.
        if (onWayland())
            return run(QStringLiteral("xdotool"), {"key", "--clearmodifiers", key}).exitCode == 0 ||
                   fail("cannot press " + key);
        return run(QStringLiteral("xdotool"), {"windowfocus", "--sync", id, "key", "--clearmodifiers", key})
                       .exitCode == 0 ||
               fail("cannot press " + key);
    }

    // Device pixels a design pixel takes in the game window.
    int scale() const { return std::max(1, qRound(geometry_.width() / double(kClientSize.width()))); }

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
        if (!onWayland()) {
            // The X server draws the pointer where no screenshot sees it; it
            // tells what it draws, and where.
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
        if (!moveTo(QPoint(0, QGuiApplication::primaryScreen()->geometry().bottom())))
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

    static QImage screen(const QRect& r)
    {
        return QGuiApplication::primaryScreen()
            ->grabWindow(0, r.x(), r.y(), r.width(), r.height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    }

    // The crosshair's bars in what the pointer changed: the run of columns
    // and of rows drawn along most of the pointer's length. With the width
    // of the bars, in device pixels, as the third coordinate.
    static std::optional<Crossing> barsCrossing(const QImage& bare, const QImage& with)
    {
        QList<int> columns(bare.width()), rows(bare.height());
        for (int y = 0; y < bare.height(); ++y)
            for (int x = 0; x < bare.width(); ++x)
                if (bare.pixel(x, y) != with.pixel(x, y) && qGray(with.pixel(x, y)) < 64) {
                    ++columns[x];
                    ++rows[y];
                }
        auto bar = [](const QList<int>& counts) -> std::optional<std::pair<double, int>> {
            const int most = *std::max_element(counts.begin(), counts.end());
            if (most < 20)
                return {};
            QList<int> at;
            for (int i = 0; i < counts.size(); ++i)
                if (counts[i] * 10 >= most * 6)
                    at << i;
            if (at.back() - at.front() + 1 != at.size())
                return {};
            return std::pair((at.front() + at.back() + 1) / 2.0, int(at.size()));
        };
        const auto x = bar(columns);
        const auto y = bar(rows);
        if (!x || !y)
            return {};
        return Crossing{QPointF(x->first, y->first), std::min(x->second, y->second)};
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

private:
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

    bool readGeometry()
    {
        if (onWayland()) {
            // Qt rounds the opaque part outwards on a scaled window. Until
            // Qt has put its title bar on, the content sits where the title
            // bar will be.
            const std::optional<WaylandWindow> w = waylandWindow(window_);
            if (!w || w->opaque.isEmpty() || w->opaque.top() <= w->frame.top())
                return false;
            geometry_ = QRect(w->opaque.topLeft(), kClientSize * std::max(1, qRound(w->opaque.width() / 434.0)));
            return true;
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

bool reach(Game& game, Phase phase)
{
    if (!game.launch())
        return false;
    switch (phase) {
    case Phase::Waiting: return true;
    case Phase::Playing: return game.start() && game.shownTarget().has_value();
    case Phase::LossBox: return game.missBurst(kStartAmmunition) && game.lossBox().has_value();
    case Phase::Won: return game.playToWin();
    }
    return false;
}

} // namespace

Q_DECLARE_METATYPE(Phase)

// The clock as the player saw it in one grab, and when the grab began and
// ended, in milliseconds after the start click was sent.
struct ClockReading {
    QImage shot;
    qint64 fromMs = 0, toMs = 0;
};

class EndToEnd : public QObject {
    Q_OBJECT
private slots:
    void windowHasTitleSizeAndPlace();
    void clockCountsOneTickPer800ms_data();
    void clockCountsOneTickPer800ms();
    void denseScreenPlaysToTheWin();
    void windowFitsASmallDenseScreen();
    void displayBelow15BitsIsRefused();
    void screenShowsThePicturesAsDrawn();
    void hundredHitsWinAndStopTheReferee();
    void lastCartridgeLoses_data();
    void lastCartridgeLoses();
    void clickStormEndsInOneLossBox();
    void queuedStormLosesAtExactlyZero();
    void labelsTakeClicksWithoutCost();
    void closingEndsWithStatusZero_data();
    void closingEndsWithStatusZero();
    void exitCaptionEndsWithStatusZero_data();
    void exitCaptionEndsWithStatusZero();
    void crosshairMarksWhereTheShotLands();
};

void EndToEnd::windowHasTitleSizeAndPlace()
{
    Game game;
    GAME_VERIFY(game, game.launch());
    QCOMPARE(windowTitle(game.window()), QStringLiteral("Skeetra beta 0.01"));
    // Wayland leaves the place of a window to the compositor.
    if (onWayland())
        QCOMPARE(game.geometry().size(), kClientSize);
    else
        QCOMPARE(game.geometry(), QRect(QPoint(49, 81), kClientSize));
    GAME_VERIFY(game, game.closeWindow(game.window()));
    const std::optional<int> status = game.exitStatus();
    GAME_VERIFY(game, status.has_value());
    QCOMPARE(*status, 0);
}

void EndToEnd::screenShowsThePicturesAsDrawn()
{
    const QImage facade = picture("facade.gif").convertToFormat(QImage::Format_RGB32);
    const QImage figure = picture("target.gif").convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(facade.height(), kPictureRows);

    Game game;
    GAME_VERIFY(game, game.launch());
    const QImage before = game.facade();
    QVERIFY2(before.width() <= facade.width(), "the client area is wider than the window picture");

    // Before play only the instructions lie over the picture: everywhere
    // else it shows one to one, its rightmost columns cut off.
    QImage expected = facade.copy(0, 0, before.width(), kPictureRows);
    {
        QImage shotOutside = before.copy(0, 0, before.width(), kPictureRows);
        QPainter hide(&shotOutside);
        hide.drawImage(kInstructions.topLeft(), expected.copy(kInstructions));
        hide.end();
        const QString diff = differences(shotOutside, expected, expected.rect());
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
    }
    // The instructions break into four lines at the label's width.
    QCOMPARE(textRows(before, expected, kInstructions), 4);

    // A shown target: its figure one to one, the picture around it where the
    // figure is transparent.
    GAME_VERIFY(game, game.start());
    const std::optional<int> target = game.shownTarget();
    GAME_VERIFY(game, target.has_value());
    const QRect place = kTargets[*target];
    QCOMPARE(figure.size(), place.size());
    QPainter paint(&expected);
    paint.drawImage(place.topLeft(), figure);
    paint.end();
    const QString diff = differences(game.grab(), expected, place);
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
    // The check above tells a transparent surround from one drawn opaque:
    // the figure's transparent pixels carry a colour that the picture behind
    // them does not have.
    int telling = 0;
    for (int y = 0; y < figure.height(); ++y)
        for (int x = 0; x < figure.width(); ++x)
            telling += qAlpha(figure.pixel(x, y)) == 0 &&
                       (figure.pixel(x, y) | 0xff000000) != facade.pixel(place.topLeft() + QPoint(x, y));
    QVERIFY(telling > 0);
}

void EndToEnd::hundredHitsWinAndStopTheReferee()
{
    Game game;
    GAME_VERIFY(game, game.launch());
    QVERIFY(!game.winBoxShown());
    GAME_VERIFY(game, game.playToWin());

    // The target the referee chose last stays up.
    const std::optional<int> last = game.shownTarget();
    GAME_VERIFY(game, last.has_value());

    // It can still be shot, but the stopped referee shows no other, and the
    // stopped clock no longer counts (it ticks every 800 ms in play).
    GAME_VERIFY(game, game.shoot(kTargets[*last].center()));
    const QImage clock = region(game.grab(), kClock);
    QTest::qWait(1000);
    QCOMPARE(game.shownTargets(), QList<int>{});
    QCOMPARE(region(game.grab(), kClock), clock);
    QVERIFY(game.winBoxShown());
    QVERIFY(game.running());

    // The box shows the final time, the clock's count, over its dark green:
    // drawn above the box, not hidden beneath it.
    const QImage shot = game.grab();
    const std::optional<int> time = game.clockIn(shot);
    QVERIFY2(time.has_value(), "the clock shows no count the kills showed (0 to 100)");
    QList<int> candidates{0, kWinningKills};
    for (int n = std::max(0, *time - 3); n <= *time + 3; ++n)
        candidates << n;
    const std::optional<int> shown = nearestNumber(region(shot, kFinalTime), kWinGreen, 16, candidates);
    QVERIFY2(shown.has_value(), "the win box shows no final time");
    QCOMPARE(*shown, *time);

    GAME_VERIFY(game, game.click(kExitCaption.center()));
    const std::optional<int> status = game.exitStatus();
    GAME_VERIFY(game, status.has_value());
    QCOMPARE(*status, 0);
}

void EndToEnd::lastCartridgeLoses_data()
{
    QTest::addColumn<int>("missesBeforePlay");
    QTest::addColumn<int>("hits");
    QTest::addColumn<bool>("lastShotHits");
    QTest::addColumn<QList<QPoint>>("missPoints");

    const QList<QPoint> bare(kBarePoints.begin(), kBarePoints.end());
    QList<QPoint> hiddenTargets;
    for (const QRect& t : kTargets)
        hiddenTargets << t.center();
    const int allButOne = kStartAmmunition - 1;

    QTest::newRow("misses before play on bare points") << allButOne << 0 << false << bare;
    QTest::newRow("misses before play on hidden targets") << allButOne << 0 << false << hiddenTargets;
    // All on one point: every second press reaches the game as a double click.
    QTest::newRow("hits, then misses on the spent start sign")
        << 0 << 10 << false << QList<QPoint>{kStartArea.center()};
    // The loss is judged before the win: the hundredth kill made with the
    // last cartridge still loses.
    QTest::newRow("last cartridge on the hundredth kill")
        << kStartAmmunition - kWinningKills << kWinningKills - 1 << true << bare;
}

void EndToEnd::lastCartridgeLoses()
{
    QFETCH(int, missesBeforePlay);
    QFETCH(int, hits);
    QFETCH(bool, lastShotHits);
    QFETCH(QList<QPoint>, missPoints);

    Game game;
    GAME_VERIFY(game, game.launch());
    int shots = 0;
    auto miss = [&] { return game.shoot(missPoints[shots++ % missPoints.size()]); };
    for (int i = 0; i < missesBeforePlay; ++i)
        GAME_VERIFY(game, miss());
    if (hits > 0 || lastShotHits)
        GAME_VERIFY(game, game.start());
    for (int i = 0; i < hits; ++i, ++shots)
        GAME_VERIFY(game, game.hit());
    while (shots < kStartAmmunition - 1)
        GAME_VERIFY(game, miss());

    // One cartridge left: the game goes on.
    QTest::qWait(kQuietMs);
    QCOMPARE(visibleWindows(kBoxTitle), QStringList{});
    QVERIFY(game.running());
    // A miss chooses no target: before play none may be shown.
    if (hits == 0 && !lastShotHits)
        QCOMPARE(game.shownTargets(), QList<int>{});

    if (lastShotHits) {
        const std::optional<int> target = game.shownTarget();
        GAME_VERIFY(game, target.has_value());
        GAME_VERIFY(game, game.click(kTargets[*target].center()));
    } else {
        GAME_VERIFY(game, game.click(missPoints[shots % missPoints.size()]));
    }
    const std::optional<QString> box = game.lossBox();
    GAME_VERIFY(game, box.has_value());
    QVERIFY(!game.winBoxShown());
    QVERIFY(game.running());

    GAME_VERIFY(game, game.pressKey(*box, QStringLiteral("Return")));
    const std::optional<int> status = game.exitStatus();
    GAME_VERIFY(game, status.has_value());
    QCOMPARE(*status, 0);
}

void EndToEnd::clickStormEndsInOneLossBox()
{
    // Targets and bare points away from the middle, where the loss box opens:
    // a click on its button would end the game before the check.
    QList<QPoint> points;
    int k = 0;
    for (int i : {0, 4, 6, 7, 2, 5, 10, 9, 11})
        points << kTargets[i].center() << kBarePoints[k++ % 3];

    Game game;
    GAME_VERIFY(game, game.launch());
    GAME_VERIFY(game, game.start());
    GAME_VERIFY(game, game.shownTarget().has_value());

    constexpr int kClicks = 5000;
    constexpr int kBurst = 500;
    QList<QPoint> burst;
    for (int sent = 0; sent < kClicks; sent += kBurst) {
        burst.clear();
        for (int i = 0; i < kBurst; ++i)
            burst << points[(sent + i) % points.size()];
        GAME_VERIFY(game, game.click(burst));
        QVERIFY2(game.running(), "the game died in the storm");
        QVERIFY2(game.answers(game.window()), "the game stopped answering in the storm");
    }

    const std::optional<QString> box = game.lossBox();
    GAME_VERIFY(game, box.has_value());
    QVERIFY(game.answers(game.window()));
    QTest::qWait(kQuietMs);
    QCOMPARE(visibleWindows(kBoxTitle).size(), 1);

    GAME_VERIFY(game, game.pressKey(*box, QStringLiteral("Return")));
    const std::optional<int> status = game.exitStatus();
    GAME_VERIFY(game, status.has_value());
    QCOMPARE(*status, 0);
}

// Every shot reaches the game only after the referee has judged the one
// before, so however many clicks wait in the queue, the ammunition stops at
// exactly 0 and one loss box opens.
void EndToEnd::queuedStormLosesAtExactlyZero()
{
    Game game;
    GAME_VERIFY(game, game.launch());
    GAME_VERIFY(game, game.start());
    GAME_VERIFY(game, game.shownTarget().has_value());
    // At launch the clock showed "0" in the ammunition's face, size and
    // colour, on the same black ground below the picture. The lowest two
    // rows of each label meet the texts below it (the kills title, the
    // credit), so they are left out.
    const auto digits = [](const QRect& label) { return label.adjusted(0, 0, 0, -2); };
    const QImage zero = region(game.facade(), digits(kClock));

    GAME_VERIFY(game, game.pause());
    constexpr int kClicks = kStartAmmunition + 10;
    QList<QPoint> storm;
    for (int i = 0; i < kClicks; ++i)
        storm << kBarePoints[i % 2]; // beside the middle, where the box opens
    const bool clicked = game.click(storm);
    GAME_VERIFY(game, game.resume());
    GAME_VERIFY(game, clicked);

    const std::optional<QString> box = game.lossBox();
    GAME_VERIFY(game, box.has_value());
    QTest::qWait(kQuietMs);
    QCOMPARE(visibleWindows(kBoxTitle).size(), 1);
    QVERIFY2(region(game.grab(), digits(kAmmunition)) == zero, "the ammunition does not show 0");
    QVERIFY(game.running());

    GAME_VERIFY(game, game.pressKey(*box, QStringLiteral("Return")));
    const std::optional<int> status = game.exitStatus();
    GAME_VERIFY(game, status.has_value());
    QCOMPARE(*status, 0);
}

void EndToEnd::labelsTakeClicksWithoutCost()
{
    Game game;
    GAME_VERIFY(game, game.launch());
    QList<QPoint> points;
    for (int round = 0; round < 20; ++round)
        for (const QRect& label : kQuietLabels)
            points << label.center();
    GAME_VERIFY(game, game.click(points));
    // The start click is queued behind the label clicks; once play shows,
    // they have all been taken.
    GAME_VERIFY(game, game.start());
    QCOMPARE(region(game.grab(), kAmmunition), region(game.facade(), kAmmunition));
    QCOMPARE(visibleWindows(kBoxTitle), QStringList{});
    QVERIFY(game.running());
}

void EndToEnd::closingEndsWithStatusZero_data()
{
    QTest::addColumn<Phase>("phase");
    QTest::addColumn<bool>("closeTheBox");
    QTest::newRow("waiting") << Phase::Waiting << false;
    QTest::newRow("playing") << Phase::Playing << false;
    QTest::newRow("loss box open, the box") << Phase::LossBox << true;
    QTest::newRow("loss box open, the game window") << Phase::LossBox << false;
    QTest::newRow("won") << Phase::Won << false;
}

void EndToEnd::closingEndsWithStatusZero()
{
    QFETCH(Phase, phase);
    QFETCH(bool, closeTheBox);
    Game game;
    GAME_VERIFY(game, reach(game, phase));
    const QString window = closeTheBox ? visibleWindows(kBoxTitle).value(0) : game.window();
    GAME_VERIFY(game, game.closeWindow(window));
    const std::optional<int> status = game.exitStatus();
    GAME_VERIFY(game, status.has_value());
    QCOMPARE(*status, 0);
}

void EndToEnd::exitCaptionEndsWithStatusZero_data()
{
    QTest::addColumn<Phase>("phase");
    QTest::newRow("waiting") << Phase::Waiting;
    QTest::newRow("playing") << Phase::Playing;
    QTest::newRow("won") << Phase::Won;
}

void EndToEnd::exitCaptionEndsWithStatusZero()
{
    QFETCH(Phase, phase);
    Game game;
    GAME_VERIFY(game, reach(game, phase));
    GAME_VERIFY(game, game.click(kExitCaption.center()));
    const std::optional<int> status = game.exitStatus();
    GAME_VERIFY(game, status.has_value());
    QCOMPARE(*status, 0);
}

// The pointer as drawn on the screen, at whatever scale the run's screen
// gives the window: the crossing of its bars within a device pixel of the
// pointer's position, and a shot aimed with the drawn crosshair lands where
// it was aimed, on the figure and on the wall beside it.
void EndToEnd::crosshairMarksWhereTheShotLands()
{
    Game game;
    GAME_VERIFY(game, game.launch());
    const int s = game.scale();
    if (qEnvironmentVariableIsSet("SKEETRA_E2E_SCALE"))
        QCOMPARE(s, qEnvironmentVariableIntValue("SKEETRA_E2E_SCALE"));

    // The pointer, where a design pixel lies, and the crosshair drawn there,
    // seen on bare wall, where its black bars show.
    auto offset = [&](const QPoint& clientPoint) -> std::optional<QPointF> {
        const std::optional<Crossing> crossing = game.crosshairCentre(clientPoint);
        if (!crossing)
            return {};
        // The pointer grows with the window: its 2 design pixel bars.
        if (crossing->barWidth != 2 * s)
            qWarning("the crosshair's bars are %d device pixels wide", crossing->barWidth);
        if (crossing->barWidth != 2 * s)
            return {};
        return crossing->centre - QPointF(game.geometry().topLeft() + clientPoint * s);
    };
    QPointF drawn;
    for (const QPoint& p : {QPoint(100, 300), QPoint(300, 250)}) {
        const std::optional<QPointF> off = offset(p);
        QVERIFY2(off.has_value(), "no crosshair of the window's scale drawn at the pointer");
        qInfo("crosshair drawn %g, %g device pixels from the pointer", off->x(), off->y());
        QVERIFY2(std::abs(off->x()) <= 1 && std::abs(off->y()) <= 1,
                 qPrintable(QStringLiteral("the crosshair is drawn %1, %2 device pixels from the pointer")
                                .arg(off->x())
                                .arg(off->y())));
        drawn = *off;
    }

    // Aimed by what the player sees: the pointer put where the crosshair
    // it draws is centred on the point aimed at.
    auto shootAt = [&](const QPoint& aim) {
        const QPoint at = game.geometry().topLeft() + aim * s - drawn.toPoint();
        return game.moveTo(at) && run(QStringLiteral("xdotool"), {"click", "1"}).exitCode == 0;
    };
    GAME_VERIFY(game, game.start());
    const std::optional<int> target = game.shownTarget();
    GAME_VERIFY(game, target.has_value());
    const QRect figure = kTargets[*target];
    auto region = [&](const QRect& r) { return game.grab().copy(r); };

    // Beside the figure, level with its chest: a miss. (A pointer drawn 16
    // design pixels up and left of where it shoots would hit the pullover,
    // and miss below the figure with the shot at the belt.)
    const QImage kills = region(kKills);
    const QImage ammunition = region(kAmmunition);
    const QPoint beside = figure.left() > 12 ? QPoint(figure.left() - 6, figure.top() + 20)
                                              : QPoint(figure.right() + 6, figure.top() + 20);
    QVERIFY(shootAt(beside));
    QVERIFY2(waitUntil([&] { return region(kAmmunition) != ammunition; }), "the shot beside the figure was not taken");
    QTest::qWait(kQuietMs);
    QVERIFY2(region(kKills) == kills, "the shot beside the figure hit it");

    // On the figure's belt: a hit.
    QVERIFY(shootAt(figure.topLeft() + QPoint(21, 39)));
    QVERIFY2(waitUntil([&] { return region(kKills) != kills; }), "the shot on the figure missed");
}

void EndToEnd::clockCountsOneTickPer800ms_data()
{
    QTest::addColumn<int>("floodClicks");
    QTest::newRow("quiet") << 0;
    // Clicks on a title change nothing, and come faster than the game takes them.
    QTest::newRow("under a flood of 3000 clicks on a label") << 3000;
}

// The clock's count, read at moments of play two seconds long, is what
// 800 ms ticks since the start make it: never ahead, and behind by at most
// the tick on its way. A clock that lost ticks in a flood stays behind for
// good; one held up for a moment by a slow machine catches up, so it is
// enough that one of the last three grabs of each quiet moment finds it
// caught up. While the game works through the flood it is only never ahead:
// Wine takes in a backlog of X input in one go, for seconds on a busy
// machine, and no tick can come meanwhile.
void EndToEnd::clockCountsOneTickPer800ms()
{
    QFETCH(int, floodClicks);
    Game game;
    GAME_VERIFY(game, game.launch());
    GAME_VERIFY(game, game.start());
    for (int i = 0; i < 5; ++i)
        GAME_VERIFY(game, game.hit());

    QList<QList<ClockReading>> moments;
    QList<bool> quiet;
    auto readMoment = [&](bool isQuiet) {
        quiet << isQuiet;
        QList<ClockReading> readings;
        for (int i = 0; i < 8; ++i) {
            ClockReading r;
            r.fromMs = game.playMs();
            r.shot = game.grab();
            r.toMs = game.playMs();
            readings << r;
            QTest::qWait(250);
        }
        moments << readings;
    };
    readMoment(true);
    if (floodClicks > 0) {
        const qint64 sent = game.playMs();
        GAME_VERIFY(game, game.click(QList<QPoint>(floodClicks, kTitleOfAmmunition.center())));
        readMoment(false);
        // A miss behind the flood: once it is taken, so is the flood. A
        // busy machine may take its time over 3000 clicks.
        GAME_VERIFY(game, game.shoot(kBarePoints[0], 3 * kWaitMs));
        qInfo("the flood was sent and taken in %lld ms", game.playMs() - sent);
    } else {
        QTest::qWait(4000);
    }
    readMoment(true);

    // More hits teach the counts the clock showed meanwhile.
    auto allKnown = [&] {
        for (const auto& readings : moments)
            for (const ClockReading& r : readings)
                if (!game.clockIn(r.shot))
                    return false;
        return true;
    };
    while (!allKnown() && game.kills() < kWinningKills - 1)
        GAME_VERIFY(game, game.hit());

    for (int m = 0; m < moments.size(); ++m) {
        bool caughtUp = false;
        QString counts;
        for (int i = 0; i < moments[m].size(); ++i) {
            const ClockReading& r = moments[m][i];
            const std::optional<int> count = game.clockIn(r.shot);
            QVERIFY2(count.has_value(), "the clock shows no count the kills showed");
            const int most = int(r.toMs / kClockPeriodMs);
            const int least = int(std::max<qint64>(0, r.fromMs - game.startSeenMs()) / kClockPeriodMs) - 1;
            counts += QStringLiteral(" %1 at %2-%3 ms;").arg(*count).arg(r.fromMs).arg(r.toMs);
            QVERIFY2(*count <= most, qPrintable(QStringLiteral("the clock runs ahead, moment %1:%2").arg(m + 1).arg(counts)));
            caughtUp = caughtUp || (i >= moments[m].size() - 3 && *count >= least);
        }
        qInfo("moment %d:%s", m + 1, qPrintable(counts));
        QVERIFY2(caughtUp || !quiet[m], qPrintable(QStringLiteral("the clock is behind, moment %1 (start seen at %2 ms):%3")
                                          .arg(m + 1)
                                          .arg(game.startSeenMs())
                                          .arg(counts)));
    }
}

// At 200 % on a screen with room for it, the window is twice the size and
// plays as at 100 %: the start sign, the targets and the win take the
// clicks where the player sees them.
void EndToEnd::denseScreenPlaysToTheWin()
{
    const QSize screen = QGuiApplication::primaryScreen()->size();
    if (screen.width() < 1200 || screen.height() < 1200)
        QFAIL(qPrintable(QStringLiteral("the screen, %1 x %2, has no room for the window at 200 %; "
                                        "the test's X server needs a larger one")
                             .arg(screen.width())
                             .arg(screen.height())));
    Game game;
    GAME_VERIFY(game, game.launchDense());
    QCOMPARE(game.scale(), 2);
    GAME_VERIFY(game, game.playToWin());
    QVERIFY(game.running());
    GAME_VERIFY(game, game.click(kExitCaption.center()));
    const std::optional<int> status = game.exitStatus();
    GAME_VERIFY(game, status.has_value());
    QCOMPARE(*status, 0);
}

// At 200 % on a 1024 x 768 screen the window at twice the size would not
// fit: it comes at the largest whole scale that does, all of it on the
// screen, and the exit caption at the bottom takes its click.
void EndToEnd::windowFitsASmallDenseScreen()
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QCOMPARE(screen.size(), QSize(1024, 768));
    Game game;
    GAME_VERIFY(game, game.launchDense()); // which checks that it is all on the screen
    GAME_VERIFY(game, game.start());
    GAME_VERIFY(game, game.hit());
    GAME_VERIFY(game, game.click(kExitCaption.center()));
    const std::optional<int> status = game.exitStatus();
    GAME_VERIFY(game, status.has_value());
    QCOMPARE(*status, 0);
}

// On a display of 8 bits a pixel the pictures would lose their colours: the
// game refuses to play, with status 2 and one line that says why; the
// Windows build also says it in an error box.
void EndToEnd::displayBelow15BitsIsRefused()
{
    QProcess server;
    server.setStandardErrorFile(QProcess::nullDevice());
    server.start(QStringLiteral("Xvfb"),
                 {"-displayfd", "1", "-noreset", "-screen", "0", "1024x768x8", "-nolisten", "tcp"});
    QVERIFY(waitUntil([&] { return server.canReadLine() || server.state() == QProcess::NotRunning; }));
    const QString display = ':' + QString::fromLatin1(server.readLine()).trimmed();
    QVERIFY2(display.size() > 1, "Xvfb did not start");
    auto stopServer = qScopeGuard([&] {
        server.terminate();
        server.waitForFinished();
    });
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    // xdotool's output there, or nothing when it failed.
    auto onServer = [&](const QStringList& args) -> std::optional<QString> {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral("xdotool"), args);
        if (!p.waitForFinished(kWaitMs) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
            return {};
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    };

    QProcess game;
    game.setProcessEnvironment(env);
    game.start(requiredEnv("SKEETRA"));
    QVERIFY(game.waitForStarted(kWaitMs));
    auto ended = [&] {
        QCoreApplication::processEvents();
        return game.state() == QProcess::NotRunning;
    };
    if (underWine()) {
        QString box;
        QVERIFY2(waitUntil([&] {
                     box = onServer({"search", "--onlyvisible", "--name", kBoxTitle}).value_or(QString());
                     return ended() || !box.isEmpty();
                 }),
                 "neither an error box nor an end");
        QVERIFY2(!box.isEmpty(), "no error box");
        QVERIFY(onServer({"windowfocus", "--sync", box.section('\n', 0, 0), "key", "--clearmodifiers", "Return"}));
    }
    QVERIFY2(waitUntil(ended), "the game did not end");
    QCOMPARE(game.exitStatus(), QProcess::NormalExit);
    QCOMPARE(game.exitCode(), 2);
    const QStringList lines = QString::fromUtf8(game.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
    QVERIFY2(lines.size() == 1, qPrintable("expected one line, got:\n" + lines.join('\n')));
    QVERIFY2(lines.front().startsWith(QLatin1String("skeetra: ")) && lines.front().contains(QLatin1String("colour depth")),
             qPrintable(lines.front()));
    QCOMPARE(onServer({"search", "--onlyvisible", "--name", kMainTitle}).value_or(QString()), QString());
}

QTEST_MAIN(EndToEnd)
#include "tst_e2e_game.moc"
