// The display watched while the game runs: a lost X server or Wayland
// compositor ends the game with one line of its own and kNoDisplayStatus
// before Qt ends it with its own words, and a window another client destroys
// is closed as if the player had closed it. Private to the Qt host.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QtGlobal>

#include <xcb/xcb.h>

#include <optional>
#include <set>
#include <string>
#include <thread>

class QApplication;

namespace rt {

// A variable of the environment, empty when it is not set.
std::string env(const char* name);
// The Wayland display Qt connects to, as libwayland finds it.
std::string waylandName();
// Passes a message on to Qt's default handler, the one program start replaced.
void forward(QtMsgType type, const QMessageLogContext& context, const QString& message);

// Qt's message handler from the moment the application is up: a message
// seen on a lost connection ends the game, the rest go on to Qt's handler.
void runMessages(QtMsgType type, const QMessageLogContext& context, const QString& message);

// The display's socket, watched on a thread of its own for the other end
// hanging up. Qt notices a lost connection only when its own reading or
// writing fails, which on a busy machine came seconds later on Wayland; the
// hang-up itself is seen here as soon as the thread runs. Nothing is read
// from the socket: the watch asks for no data, so Qt's reading is undisturbed.
class HangupWatch {
public:
    HangupWatch(int fd, bool wayland);
    ~HangupWatch();
    HangupWatch(const HangupWatch&) = delete;
    HangupWatch& operator=(const HangupWatch&) = delete;

private:
    int stop_[2] = {-1, -1};
    std::thread thread_;
};

// The application's connection to its display, watched from the
// application's start until just before it closes.
struct ConnectionWatch {
    explicit ConnectionWatch(QApplication& app);
    ~ConnectionWatch();
    std::optional<HangupWatch> hangup;
};

// Another client may destroy one of our windows outright (xdotool
// windowclose, a crashed window manager); Qt would run on without it, the
// game window gone and the program with no way to end. Such a window is
// closed as if the player had closed it, and the server's complaints about
// the window that is no longer there are not passed on.
//
// A window manager that ends destroys the frames it put our windows in, and
// our windows with them. Under XWayland that window manager is the
// compositor, and the X server goes with it a moment later (weston told to
// end: up to two seconds later on a busy machine, while the server still
// answers); a window destroyed inside its frame there is the display going.
class DestroyWatch : public QAbstractNativeEventFilter {
public:
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override;

private:
    static bool isRoot(xcb_window_t window);

    std::set<xcb_window_t> destroyed_;
    std::set<xcb_window_t> framed_; // ours, in a window manager's frame
};

} // namespace rt
