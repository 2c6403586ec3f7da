// Program start: builds the project's form on a Qt application, raises its
// load event, shows it and runs the event loop until the program ends.
#include "qt_host.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <future>
#include <string>

namespace rt {

namespace {

constexpr int kNoDisplayStatus = 2;

bool platformChosen(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strncmp(argv[i], "-platform=", 10) == 0)
            return true;
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    return platform && *platform;
}

bool displayNamed()
{
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return true;
    }
    return false;
}

// Qt aborts with a core dump when no platform plugin can start, after
// several lines of advice. A player needs one line that says what is wrong.
std::string g_startupWarning;

void startupMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type != QtFatalMsg) {
        // The first warning names the cause, unless a later one names the display.
        const bool namesDisplay = message.contains(QLatin1String("display"), Qt::CaseInsensitive);
        if (g_startupWarning.empty() || (namesDisplay && g_startupWarning.find("display") == std::string::npos))
            g_startupWarning = message.toStdString();
        return;
    }
    const char* display = std::getenv("DISPLAY");
    std::string reason = g_startupWarning.empty() ? message.section('\n', 0, 0).toStdString() : g_startupWarning;
    std::fprintf(stderr, "skeetra: cannot open the window on display \"%s\": %s\n", display ? display : "",
                 reason.c_str());
    std::fflush(stderr);
    std::_Exit(kNoDisplayStatus);
}

} // namespace

int runApplication(int argc, char** argv, const Project& project)
{
    if (!platformChosen(argc, argv) && !displayNamed()) {
        std::fprintf(stderr, "skeetra: no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is set)\n");
        return kNoDisplayStatus;
    }

    const QtMessageHandler previous = qInstallMessageHandler(startupMessages);
    QApplication app(argc, argv);
    qInstallMessageHandler(previous);
    if (!g_startupWarning.empty()) // a warning that was not fatal after all
        std::fprintf(stderr, "%s\n", g_startupWarning.c_str());

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
    // Message boxes speak in the window's own bundled face, at the size of
    // its status texts, whatever fonts the machine has.
    loadFonts(design);
    QApplication::setFont(fontFor(design, {design.defaultFont.family, 9.75}));

    Form form(design);
    const std::shared_ptr<void> module = project.bind(form);
    FormWindow window(form, pictures.get());
    form.load();
    if (form.ended())
        return form.exitStatus();
    window.show();
    window.startTimers();
    return QApplication::exec();
}

} // namespace rt
