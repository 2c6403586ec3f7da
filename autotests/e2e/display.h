// The display the game plays on, as the driver reaches it: an X server
// (Xvfb, with the Windows build under Wine on it) read and clicked through
// xdotool, or weston running on that X server, whose windows its debug
// scene graph reports.
#pragma once

#include <QImage>
#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace e2e {

// Generous: a loaded machine may be slow, never wrong.
inline constexpr int kWaitMs = 20000;

// The Windows build, played under Wine.
bool underWine();
// The platform the game plays on: its X server, or the Wayland compositor
// with-weston.sh runs on it, whose output's scale is SKEETRA_WESTON_SCALE.
bool onWayland();
int outputScale();

QString requiredEnv(const char* name);

struct Run {
    int exitCode = -1;
    QString output; // standard output only
};
Run run(const QString& program, const QStringList& args);

// A window as the Wayland compositor shows it, in device pixels: its
// surface with the decoration Qt draws, and the part it paints opaque (a
// Qt window's content).
struct WaylandWindow {
    QString id;
    QString title;
    QRect frame;
    QRect opaque;
};
QList<WaylandWindow> waylandWindows();
std::optional<WaylandWindow> waylandWindow(const QString& id);

QStringList visibleWindows(const QString& nameRegex);
QString windowTitle(const QString& id);

// Polls until the condition holds; keeps the driver's own events flowing
// so QProcess notices a finished game.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = kWaitMs);

// A part of the screen as it shows now, in device pixels.
QImage screen(const QRect& r);
QRect screenGeometry();

} // namespace e2e
