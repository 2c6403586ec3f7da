// The X server, weston's scene graph and the processes that read them.
#include "display.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>

namespace e2e {

bool underWine() { return !qEnvironmentVariableIsEmpty("SKEETRA_WINE_EXE"); }

bool onWayland() { return qEnvironmentVariable("SKEETRA_E2E_PLATFORM") == QLatin1String("wayland"); }
int outputScale() { return qEnvironmentVariableIsSet("SKEETRA_WESTON_SCALE") ? qEnvironmentVariableIntValue("SKEETRA_WESTON_SCALE") : 1; }

QString requiredEnv(const char* name)
{
    const QString value = qEnvironmentVariable(name);
    if (value.isEmpty())
        qFatal("%s is not set; run this through CTest", name);
    return value;
}

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

} // namespace e2e
