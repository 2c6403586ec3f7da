// The display the game plays on, as the driver reaches it: an X server
// (Xvfb, with the Windows build under Wine on it) read and clicked through
// xdotool; weston running on that X server, whose windows its debug scene
// graph reports; mutter or KWin there, whose windows are found by sight; or
// the XWayland of one of them, whose windows xdotool reads.
#pragma once

#include "play_facts.h"

#include <QImage>
#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace e2e {

using skeetra::play::kWaitMs;

// The Windows build, played under Wine.
bool underWine();
// The platform this run plays on, as scenarios.txt names it (linux, wine,
// wayland, weston-xwayland, mutter, mutter-xwayland, kwin, kwin-xwayland).
QString platform();
// weston's Wayland (the wayland platform), whose debug scene graph tells
// its windows; its output's scale is SKEETRA_OUTPUT_SCALE.
bool onWayland();
// Any compositor on the X server, rather than the bare X server.
bool onCompositor();
// The game a client of the compositor's own X server (XWayland), named by
// SKEETRA_GAME_DISPLAY.
bool onXWayland();
// The game a Wayland client of mutter or KWin, which tell no other client
// of their windows: the driver finds the game's by what they show.
bool bySight();
// Whether the compositor draws its pointer into its output, where a
// screenshot sees it; the bare X server and KWin set the X server's cursor.
bool pointerInScreenshots();
int outputScale();

QString requiredEnv(const char* name);

struct Run {
    int exitCode = -1;
    QString output; // standard output only
};
Run run(const QString& program, const QStringList& args);
// Run on the display the game's windows are on: XWayland's, or the run's.
Run runOnGameDisplay(const QString& program, const QStringList& args);

// What weston's scene graph says of its pointer, for a failure message
// about a click that went unanswered; empty elsewhere.
QString westonPointer();

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

// The ids of the shown windows whose title matches. By sight (bySight())
// only the game's two kinds are known: the main window ("game", where the
// window picture shows) and the loss or win box ("box", a dialog's ground).
QStringList visibleWindows(const QString& nameRegex);
// The window's title; nothing where the compositor does not tell it.
std::optional<QString> windowTitle(const QString& id);

// By sight: the game's client area where the screen shows its window
// picture whole, at scale 1 or 2, and the message boxes' client areas.
std::optional<QRect> facadeOnScreen();
QList<QRect> boxesOnScreen();

// Polls until the condition holds; keeps the driver's own events flowing
// so QProcess notices a finished game.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = kWaitMs);

// A part of the screen as it shows now, in device pixels.
QImage screen(const QRect& r);
QRect screenGeometry();
// Where the pointer waits between clicks: the bottom left corner of the
// compositor's output, which shows little of any pointer. weston's output
// leaves a strip of the X screen bare (see with-weston.sh); a pointer that
// left it would stay drawn where it left.
QPoint parkingPlace();

} // namespace e2e
