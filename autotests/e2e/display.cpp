// The X server, weston's scene graph, the screen as mutter and KWin show
// it, and the processes that read them.
#include "display.h"

#include "form_design.h"
#include "pixels.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>

#include <vector>

namespace e2e {

bool underWine() { return !qEnvironmentVariableIsEmpty("SKEETRA_WINE_EXE"); }

QString platform()
{
    const QString named = qEnvironmentVariable("SKEETRA_E2E_PLATFORM");
    if (!named.isEmpty())
        return named;
    return underWine() ? QStringLiteral("wine") : QStringLiteral("linux");
}

bool onWayland() { return platform() == QLatin1String("wayland"); }
bool onCompositor() { return platform() != QLatin1String("linux") && platform() != QLatin1String("wine"); }
bool onXWayland() { return platform().endsWith(QLatin1String("-xwayland")); }
bool bySight() { return platform() == QLatin1String("mutter") || platform() == QLatin1String("kwin"); }
bool pointerInScreenshots() { return onCompositor() && !platform().startsWith(QLatin1String("kwin")); }
int outputScale() { return qEnvironmentVariableIsSet("SKEETRA_OUTPUT_SCALE") ? qEnvironmentVariableIntValue("SKEETRA_OUTPUT_SCALE") : 1; }

QString requiredEnv(const char* name)
{
    const QString value = qEnvironmentVariable(name);
    if (value.isEmpty())
        qFatal("%s is not set; run this through CTest", name);
    return value;
}

namespace {

// Runs a program to its end, in the given environment, its output read.
Run runIn(const QProcessEnvironment& env, const QString& program, const QStringList& args)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(program, args);
    if (!p.waitForFinished(kWaitMs)) {
        p.kill();
        p.waitForFinished();
        return {-1, {}};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput())};
}

} // namespace

Run run(const QString& program, const QStringList& args)
{
    return runIn(QProcessEnvironment::systemEnvironment(), program, args);
}

Run runOnGameDisplay(const QString& program, const QStringList& args)
{
    if (!onXWayland())
        return run(program, args);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), requiredEnv("SKEETRA_GAME_DISPLAY"));
    if (qEnvironmentVariableIsEmpty("SKEETRA_GAME_XAUTHORITY"))
        env.remove(QStringLiteral("XAUTHORITY"));
    else
        env.insert(QStringLiteral("XAUTHORITY"), qEnvironmentVariable("SKEETRA_GAME_XAUTHORITY"));
    return runIn(env, program, args);
}

QString westonPointer()
{
    if (platform() != QLatin1String("wayland") && platform() != QLatin1String("weston-xwayland"))
        return {};
    const QStringList lines = run(QStringLiteral("weston-debug"), {"scene-graph"}).output.split('\n');
    for (int i = 0; i + 1 < lines.size(); ++i)
        if (lines[i].contains(QLatin1String("role wl_pointer-cursor")))
            return QStringLiteral("weston's pointer image: %1").arg(lines[i + 1].trimmed());
    return QStringLiteral("weston shows no pointer");
}

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
    if (bySight()) {
        if (QRegularExpression(nameRegex).match(FormDesign::table().appTitle()).hasMatch())
            return QStringList(boxesOnScreen().size(), QStringLiteral("box"));
        return facadeOnScreen() ? QStringList{QStringLiteral("game")} : QStringList{};
    }
    const Run r = runOnGameDisplay(QStringLiteral("xdotool"), {"search", "--onlyvisible", "--name", nameRegex});
    return r.exitCode == 0 ? r.output.split('\n', Qt::SkipEmptyParts) : QStringList{};
}

std::optional<QString> windowTitle(const QString& id)
{
    if (onWayland()) {
        const std::optional<WaylandWindow> w = waylandWindow(id);
        return w ? w->title : QString();
    }
    if (bySight())
        return {};
    return runOnGameDisplay(QStringLiteral("xdotool"), {"getwindowname", id}).output.trimmed();
}

std::optional<QRect> facadeOnScreen()
{
    static const QImage facade = picture("facade.gif").convertToFormat(QImage::Format_RGB32);
    constexpr int kWidth = 434, kHeight = 475; // the client area, design pixels
    constexpr int kFirstRow = 180, kRows = 20;  // a band of the window picture
    // Its columns that a control may cover: the figure standing in the
    // middle opening (Image5) reaches into the band, and a window in play
    // must still be found.
    static const std::vector<bool> covered = [] {
        std::vector<bool> columns(kWidth, false);
        for (const DesignedControl& c : FormDesign::table().controls()) {
            if (c.kind == QLatin1String("timer") || c.rect.top() >= kFirstRow + kRows || c.rect.bottom() < kFirstRow)
                continue;
            for (int x = std::max(0, c.rect.left()); x <= std::min(kWidth - 1, c.rect.right()); ++x)
                columns[x] = true;
        }
        return columns;
    }();
    const QImage shot = screen(screenGeometry());
    for (int s = 1; s <= 2; ++s) {
        for (int y = 0; y + kHeight * s <= shot.height(); ++y) {
            const int row = y + kFirstRow * s;
            const auto* line = reinterpret_cast<const QRgb*>(shot.constScanLine(row));
            const auto* want = reinterpret_cast<const QRgb*>(facade.constScanLine(kFirstRow));
            for (int x = 0; x + kWidth * s <= shot.width(); ++x) {
                int i = 0;
                while (i < kWidth && (covered[i] || line[x + i * s] == want[i]))
                    ++i;
                if (i < kWidth)
                    continue;
                bool whole = true;
                for (int r = 1; r < kRows && whole; ++r) {
                    const auto* shown = reinterpret_cast<const QRgb*>(shot.constScanLine(y + (kFirstRow + r) * s));
                    const auto* drawn = reinterpret_cast<const QRgb*>(facade.constScanLine(kFirstRow + r));
                    for (int j = 0; j < kWidth && whole; ++j)
                        whole = covered[j] || shown[x + j * s] == drawn[j];
                }
                if (whole)
                    return QRect(x, y, kWidth * s, kHeight * s);
            }
        }
    }
    return {};
}

QList<QRect> boxesOnScreen()
{
    // Qt's dialog ground, which neither the window picture nor a desktop's
    // background shows: a box is a patch of it, mostly filled. Qt draws
    // the game's frame in it too (a title bar of 29 design pixels, borders
    // of 3), which a box placed right beside it would touch: it is left out.
    constexpr QRgb kGround = qRgb(239, 239, 239);
    const int k = outputScale();
    const std::optional<QRect> game = facadeOnScreen();
    const QRect frame = game ? game->adjusted(-3 * k, -29 * k, 3 * k, 3 * k) : QRect();
    const QImage shot = screen(screenGeometry());
    const int w = shot.width(), h = shot.height();
    auto ground = [&](int x, int y) {
        if (game && frame.contains(x, y) && !game->contains(x, y))
            return false;
        return (reinterpret_cast<const QRgb*>(shot.constScanLine(y))[x] | 0xff000000) == kGround;
    };
    std::vector<bool> seen(size_t(w) * h);
    std::vector<QPoint> stack;
    QList<QRect> boxes;
    for (int y0 = 0; y0 < h; ++y0) {
        for (int x0 = 0; x0 < w; ++x0) {
            if (seen[size_t(y0) * w + x0] || !ground(x0, y0))
                continue;
            QRect box(x0, y0, 1, 1);
            qint64 area = 0;
            stack.assign(1, QPoint(x0, y0));
            seen[size_t(y0) * w + x0] = true;
            while (!stack.empty()) {
                const QPoint p = stack.back();
                stack.pop_back();
                ++area;
                box = box.united(QRect(p, QSize(1, 1)));
                for (const QPoint& n : {p + QPoint(1, 0), p - QPoint(1, 0), p + QPoint(0, 1), p - QPoint(0, 1)}) {
                    if (n.x() < 0 || n.y() < 0 || n.x() >= w || n.y() >= h || seen[size_t(n.y()) * w + n.x()] ||
                        !ground(n.x(), n.y()))
                        continue;
                    seen[size_t(n.y()) * w + n.x()] = true;
                    stack.push_back(n);
                }
            }
            if (box.width() >= 150 * k && box.height() >= 50 * k && area * 2 >= qint64(box.width()) * box.height())
                boxes << box;
        }
    }
    return boxes;
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs)
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

QImage screen(const QRect& r)
{
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, r.x(), r.y(), r.width(), r.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

QRect screenGeometry() { return QGuiApplication::primaryScreen()->geometry(); }

QPoint parkingPlace()
{
    const bool weston = platform() == QLatin1String("wayland") || platform() == QLatin1String("weston-xwayland");
    return {0, screenGeometry().bottom() - (weston ? 8 * outputScale() : 0)};
}

} // namespace e2e
