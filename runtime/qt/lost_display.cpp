// Ends the game with one line of its own when its display goes, and closes a
// window that another client destroyed (lost_display.h).
#include "lost_display.h"

#include "forms.h"

#include <QApplication>
#include <QScreen>
#include <QWidget>
#include <qpa/qplatformnativeinterface.h>

#include <wayland-client-core.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace rt {

namespace {

// The X connection while the application lives. When the server goes away,
// Qt's xcb plugin warns and then calls exit(1) itself; a warning seen on a
// failed connection is our cue to end first, with one line of our own.
// Qt's Wayland platform does the same with its own line and status when the
// compositor goes.
std::atomic<xcb_connection_t*> g_connection{nullptr};
std::atomic<wl_display*> g_wayland{nullptr};

[[noreturn]] void displayLost(bool wayland)
{
    // Other threads that find it lost too wait here until the process is gone.
    static std::mutex once;
    once.lock();
    if (wayland)
        std::fprintf(stderr, "skeetra: the connection to the Wayland display \"%s\" was lost\n", waylandName().c_str());
    else
        std::fprintf(stderr, "skeetra: the connection to display \"%s\" was lost\n", env("DISPLAY").c_str());
    std::fflush(stderr);
    std::_Exit(kNoDisplayStatus);
}

// Whether the X server is an XWayland, whose window manager is the Wayland
// compositor itself.
std::atomic<bool> g_xwayland{false};

bool isXWayland(xcb_connection_t* connection)
{
    // Before version 23 it has no extension of its own, but names its
    // outputs after itself.
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (std::any_of(screens.begin(), screens.end(),
                    [](const QScreen* s) { return s->name().startsWith(QLatin1String("XWAYLAND")); }))
        return true;
    constexpr char kName[] = "XWAYLAND";
    xcb_query_extension_reply_t* reply = xcb_query_extension_reply(
        connection, xcb_query_extension(connection, sizeof kName - 1, kName), nullptr);
    const bool present = reply && reply->present;
    std::free(reply);
    return present;
}

void closeUnlessServerGone(QWidget* widget)
{
    // A server that has gone cannot destroy a window; a round trip tells.
    if (xcb_connection_t* connection = g_connection.load()) {
        xcb_get_input_focus_reply_t* reply =
            xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr);
        std::free(reply);
        if (!reply || xcb_connection_has_error(connection))
            displayLost(false);
    }
    widget->close();
}

} // namespace

void runMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    xcb_connection_t* connection = g_connection.load();
    wl_display* wayland = g_wayland.load();
    const bool xLost = connection && xcb_connection_has_error(connection);
    const bool waylandLost = wayland && wl_display_get_error(wayland) != 0;
    if (!xLost && !waylandLost) {
        forward(type, context, message);
        return;
    }
    displayLost(waylandLost);
}

bool DestroyWatch::nativeEventFilter(const QByteArray& type, void* message, qintptr*)
{
    if (type != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    switch (event->response_type & 0x7f) {
    case 0: {
        const auto* error = static_cast<const xcb_generic_error_t*>(message);
        return (error->error_code == XCB_WINDOW || error->error_code == XCB_DRAWABLE) &&
               destroyed_.count(error->resource_id);
    }
    case XCB_REPARENT_NOTIFY: {
        const auto* reparent = static_cast<const xcb_reparent_notify_event_t*>(message);
        if (isRoot(reparent->parent))
            framed_.erase(reparent->window);
        else
            framed_.insert(reparent->window);
        return false;
    }
    case XCB_DESTROY_NOTIFY: {
        const xcb_window_t window = static_cast<const xcb_destroy_notify_event_t*>(message)->window;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->internalWinId() == window) {
                if (g_xwayland && framed_.count(window))
                    displayLost(false);
                destroyed_.insert(window);
                // Not from inside Qt's event handling, which goes on with the event.
                QMetaObject::invokeMethod(widget, [widget] { closeUnlessServerGone(widget); }, Qt::QueuedConnection);
            }
        }
        return false;
    }
    default: return false;
    }
}

bool DestroyWatch::isRoot(xcb_window_t window)
{
    xcb_connection_t* connection = g_connection.load();
    if (!connection)
        return false;
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(connection)); it.rem; xcb_screen_next(&it))
        if (it.data->root == window)
            return true;
    return false;
}

HangupWatch::HangupWatch(int fd, bool wayland)
{
    if (fd < 0 || ::pipe2(stop_, O_CLOEXEC) != 0)
        return;
    thread_ = std::thread([fd, wayland, stop = stop_[0]] {
        pollfd watched[] = {{fd, POLLRDHUP, 0}, {stop, POLLIN, 0}};
        for (;;) {
            if (::poll(watched, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            if (watched[1].revents || (watched[0].revents & POLLNVAL))
                return;
            if (watched[0].revents & (POLLRDHUP | POLLHUP | POLLERR))
                displayLost(wayland);
        }
    });
}

HangupWatch::~HangupWatch()
{
    if (thread_.joinable()) {
        const char stop = 0;
        while (::write(stop_[1], &stop, 1) < 0 && errno == EINTR)
            ;
        thread_.join();
    }
    for (const int fd : stop_)
        if (fd >= 0)
            ::close(fd);
}

ConnectionWatch::ConnectionWatch(QApplication& app)
{
    if (auto* x11 = app.nativeInterface<QNativeInterface::QX11Application>()) {
        g_connection = x11->connection();
        g_xwayland = isXWayland(x11->connection());
        hangup.emplace(xcb_get_file_descriptor(g_connection), false);
    }
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        g_wayland = static_cast<wl_display*>(
            QGuiApplication::platformNativeInterface()->nativeResourceForIntegration("wl_display"));
        if (g_wayland)
            hangup.emplace(wl_display_get_fd(g_wayland), true);
    }
}

ConnectionWatch::~ConnectionWatch()
{
    hangup.reset(); // before the connection closes, which is not a hang-up
    g_connection = nullptr;
    g_wayland = nullptr;
}

} // namespace rt
