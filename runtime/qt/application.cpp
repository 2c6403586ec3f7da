// Program start: builds the project's form on a Qt application, raises its
// load event, shows it and runs the event loop until the program ends.
//
// Where no usable display can be had, at start or later, the player gets one
// line on stderr that starts with "skeetra:" and the status kNoDisplayStatus;
// never Qt's page of advice, a flood of warnings, a hang or a core dump.
#include "qt_host.h"

#include "error_box.h"
#include "lost_display.h"

#include <QApplication>
#include <QScreen>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <string>
#include <vector>

namespace rt {

namespace {

bool set(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value;
}

// Qt's default handler, to which every message goes that is not ours to take.
QtMessageHandler g_qtHandler = nullptr;

} // namespace

std::string env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

void forward(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (g_qtHandler)
        g_qtHandler(type, context, message);
}

std::string waylandName()
{
    const std::string name = env("WAYLAND_DISPLAY");
    return name.empty() ? "wayland-0" : name;
}

namespace {

// Whether Qt will try its Wayland platform first: asked for, or chosen by
// Qt itself on a Wayland session.
bool waylandFirst()
{
    if (set("QT_QPA_PLATFORM"))
        return env("QT_QPA_PLATFORM").rfind("wayland", 0) == 0;
    return set("WAYLAND_DISPLAY");
}

// Why no Wayland compositor can be reached, or empty when one answers.
// libwayland would say it on stderr in its own words and Qt in several
// more; the player gets this one line instead.
std::string unreachableWayland()
{
    const std::string name = waylandName();
    std::string path = name;
    if (name.front() != '/') {
        if (!set("XDG_RUNTIME_DIR"))
            return "cannot open the window on Wayland display \"" + name +
                   "\": XDG_RUNTIME_DIR is not set, so the display's socket cannot be found";
        path = env("XDG_RUNTIME_DIR") + "/" + name;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return "cannot open the window on Wayland display \"" + name + "\": its socket path is too long";
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int failed = fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0;
    const int error = errno;
    if (fd >= 0)
        ::close(fd);
    if (!failed)
        return {};
    return "cannot open the window on Wayland display \"" + name + "\": no compositor answers at " + path + " (" +
           std::strerror(error) + ")";
}

// Qt aborts with a core dump when no platform plugin can start, after
// several lines of advice. A player needs one line that says what is wrong.
// Messages are held until the application is up: passed on then, or boiled
// down to that line. A user who asks Qt to tell more (QT_DEBUG_PLUGINS,
// QT_LOGGING_RULES, QT_LOGGING_CONF) gets every message as it comes.
struct HeldMessage {
    QtMsgType type;
    QString text;
    bool forwarded;
};
std::vector<HeldMessage> g_startupWarnings;
std::string g_startupWarning;

bool diagnosticsAskedFor() { return set("QT_DEBUG_PLUGINS") || set("QT_LOGGING_RULES") || set("QT_LOGGING_CONF"); }

void startupMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtFatalMsg) {
        const bool now = diagnosticsAskedFor();
        if (now)
            forward(type, context, message);
        g_startupWarnings.push_back({type, message, now});
        if (type == QtDebugMsg || type == QtInfoMsg)
            return;
        // The first warning names the cause, unless a later one names the display.
        const bool namesDisplay = message.contains(QLatin1String("display"), Qt::CaseInsensitive);
        if (g_startupWarning.empty() || (namesDisplay && g_startupWarning.find("display") == std::string::npos))
            g_startupWarning = message.toStdString();
        return;
    }
    if (waylandFirst() && !set("DISPLAY")) {
        // A compositor answered before Qt started, or it would not have been
        // tried; Qt says which plugin it could not find among its warnings.
        const bool missing = std::any_of(g_startupWarnings.begin(), g_startupWarnings.end(), [](const auto& w) {
            return w.text.contains(QLatin1String("Could not find the Qt platform plugin \"wayland"));
        });
        if (missing)
            std::fprintf(stderr,
                         "skeetra: cannot open the window on Wayland display \"%s\": Qt's Wayland platform plugin "
                         "is not installed (Debian package qt6-wayland); QT_QPA_PLATFORM=xcb uses X11 instead, "
                         "where there is an X display (XWayland, named by DISPLAY)\n",
                         waylandName().c_str());
        else
            std::fprintf(stderr, "skeetra: cannot open the window on Wayland display \"%s\": %s\n",
                         waylandName().c_str(),
                         (g_startupWarning.empty() ? message.section('\n', 0, 0).toStdString() : g_startupWarning)
                             .c_str());
    } else {
        const std::string reason =
            g_startupWarning.empty() ? message.section('\n', 0, 0).toStdString() : g_startupWarning;
        std::fprintf(stderr, "skeetra: cannot open the window on display \"%s\": %s\n", env("DISPLAY").c_str(),
                     reason.c_str());
    }
    std::fflush(stderr);
    std::_Exit(kNoDisplayStatus);
}

} // namespace

int runApplication(int argc, char** argv, const Project& project)
{
    warnOfArguments(argc);
    // The platform is Qt's to choose, from QT_QPA_PLATFORM or the display
    // variables; without any of them Qt would try X11 and fail at length.
    if (!set("QT_QPA_PLATFORM") && !set("DISPLAY") && !set("WAYLAND_DISPLAY")) {
        std::fprintf(stderr, "skeetra: no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is set)\n");
        return kNoDisplayStatus;
    }
    if (waylandFirst()) {
        if (const std::string why = unreachableWayland(); !why.empty()) {
            // Qt would go on to X11 where it may (XWayland): let it, quietly.
            if (set("QT_QPA_PLATFORM") || !set("DISPLAY")) {
                std::fprintf(stderr, "skeetra: %s\n", why.c_str());
                return kNoDisplayStatus;
            }
            qputenv("QT_QPA_PLATFORM", "xcb");
        }
    }

    // Qt takes options of its own from the command line (-platform,
    // -display, -qwindowtitle, ...); the game takes none, so Qt sees only
    // the program's name. QApplication keeps both for its lifetime.
    static char fallbackName[] = "skeetra";
    int qtArgc = 1;
    char* qtArgv[] = {argc > 0 && argv[0] ? argv[0] : fallbackName, nullptr};

    g_qtHandler = qInstallMessageHandler(startupMessages);
    QApplication app(qtArgc, qtArgv);
    qInstallMessageHandler(runMessages);
    const ConnectionWatch connectionWatch(app);
    for (const HeldMessage& held : g_startupWarnings) // not fatal after all
        if (!held.forwarded)
            forward(held.type, QMessageLogContext(), held.text);
    g_startupWarnings.clear();

    if (const std::string why = unusableScreen(QGuiApplication::primaryScreen()); !why.empty()) {
        std::fprintf(stderr, "skeetra: %s\n", why.c_str());
        return kNoDisplayStatus;
    }

    const FormDesign& design = project.form;
    // Decoding the window picture is the largest piece of start-up work of
    // our own; it runs on the second core while the fonts load and the
    // window is built. (Not before the application object: the first thread
    // to touch Qt becomes its main thread.)
    auto pictures = std::async(std::launch::async, decodePictures, std::cref(design));
    QApplication::setApplicationName(QStringLiteral("skeetra"));
    QApplication::setApplicationVersion(QString::fromUtf8(design.version.data(), design.version.size()));
    if (!design.icon.empty())
        QApplication::setWindowIcon(QIcon(QString::fromUtf8(design.icon.data(), design.icon.size())));
    // Message boxes speak in the core's box face (error_box.h), bundled,
    // whatever fonts the machine has.
    loadFonts(design);
    QApplication::setFont(fontFor(design, boxFont(design)));

    Form form(design);
    const std::shared_ptr<void> module = project.bind(form);
    FormWindow window(form, pictures.get());
    DestroyWatch destroyWatch;
    app.installNativeEventFilter(&destroyWatch);
    form.load();
    if (form.ended())
        return form.exitStatus();
    window.show();
    form.startTimers();
    const int status = QApplication::exec();
    // Qt's Wayland platform can deadlock as it disconnects: its display waits
    // for its event thread, which may sit in a read no event will ever end.
    // Nothing is left to save once the loop has returned, so the game ends
    // here rather than hang with its window already gone.
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}

} // namespace rt
