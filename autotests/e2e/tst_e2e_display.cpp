// Displays the game cannot use, or loses: the player gets one clear line
// and status 2, not a page of platform advice, a flood of warnings, a hang,
// unbounded memory or a core dump. A window that another client destroys
// ends the game as closing it does: quietly, with status 0.
#include "form_design.h"
#include "play_facts.h"

#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

namespace {

constexpr int kNoDisplayStatus = 2;
// A hang is what these tests look for; no bad display may take this long.
constexpr int kEndMs = 10000;
// Generous: a loaded machine may be slow to start a server or the game.
constexpr int kStartMs = skeetra::play::kWaitMs;
constexpr int kDebugMs = 5000; // one scene graph from weston-debug

using e2e::FormDesign;
QString mainTitle() { return '^' + QRegularExpression::escape(FormDesign::table().caption()) + '$'; }
QString boxTitle() { return '^' + QRegularExpression::escape(FormDesign::table().appTitle()) + '$'; }
// Client-area points: the start sign, and bare wall where a click misses.
QPoint startSign()
{
    return FormDesign::table().rect(QString::fromUtf8(skeetra::play::kStartSign.data(),
                                                      qsizetype(skeetra::play::kStartSign.size()))).center();
}
constexpr QPoint kBareWall{skeetra::play::kBarePoints[0].x, skeetra::play::kBarePoints[0].y};
using skeetra::play::kStartAmmunition;

QString gamePath()
{
    const QString path = qEnvironmentVariable("SKEETRA");
    if (path.isEmpty())
        qFatal("SKEETRA is not set; run this through CTest");
    return path;
}

QProcessEnvironment cleanEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE", "QT_SCALE_FACTOR",
                             "QT_SCREEN_SCALE_FACTORS", "QT_FONT_DPI", "QT_ENABLE_HIGHDPI_SCALING", "XDG_RUNTIME_DIR",
                             "QT_DEBUG_PLUGINS", "QT_LOGGING_RULES", "QT_LOGGING_CONF", "QT_QPA_PLATFORM_PLUGIN_PATH"})
        env.remove(QString::fromLatin1(name));
    return env;
}

// What the game left behind: its status and its error output, split in lines.
struct Ending {
    bool ended = false;
    bool crashed = false;
    int status = -1;
    QStringList lines;
    QString error;
};

// Runs the game to its end in a directory of its own, where a core dump
// would land.
class GameRun {
public:
    explicit GameRun(const QProcessEnvironment& env, const QStringList& args = {}, const QString& program = gamePath())
    {
        game_.setProcessEnvironment(env);
        game_.setWorkingDirectory(dir_.path());
        game_.start(program, args);
    }
    ~GameRun()
    {
        if (game_.state() != QProcess::NotRunning) {
            game_.kill();
            game_.waitForFinished();
        }
    }
    bool started() { return game_.waitForStarted(kStartMs); }
    bool running() { return game_.state() == QProcess::Running && !game_.waitForFinished(0); }

    Ending end(int timeoutMs)
    {
        Ending e;
        e.ended = game_.state() == QProcess::NotRunning || game_.waitForFinished(timeoutMs);
        if (!e.ended)
            return e;
        e.crashed = game_.exitStatus() != QProcess::NormalExit;
        e.status = game_.exitCode();
        e.error = QString::fromUtf8(game_.readAllStandardError());
        e.lines = e.error.split('\n', Qt::SkipEmptyParts);
        return e;
    }
    bool leftFiles() const { return !QDir(dir_.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden); }

private:
    QTemporaryDir dir_;
    QProcess game_;
};

// An X server of the test's own, of the given colour depth; the test may
// take it away from under the game.
class XServer {
public:
    explicit XServer(int depth)
    {
        // Xvfb picks a free display and writes its number once it takes
        // connections. Without -noreset it would reset whenever its last
        // client leaves, and turn the game away while it does.
        server_.setStandardErrorFile(QProcess::nullDevice());
        server_.start(QStringLiteral("Xvfb"), {"-displayfd", "1", "-noreset", "-screen", "0",
                                               QStringLiteral("1024x768x%1").arg(depth), "-nolisten", "tcp"});
        QElapsedTimer clock;
        clock.start();
        while (!server_.canReadLine() && server_.waitForReadyRead(kStartMs - int(clock.elapsed())))
            ;
        const QString number = QString::fromLatin1(server_.readLine()).trimmed();
        if (number.isEmpty())
            return;
        display_ = ':' + number;
        // The server answers before the game is let at it.
        while (!xdotool({"getdisplaygeometry"})) {
            if (clock.elapsed() > kStartMs) {
                display_.clear();
                return;
            }
            QTest::qWait(20);
        }
    }
    ~XServer() { stop(); }
    // Ends the server the way it ends on its own: it goes, and every
    // connection with it.
    void stop()
    {
        if (server_.state() != QProcess::NotRunning) {
            server_.terminate();
            if (!server_.waitForFinished(kStartMs)) {
                server_.kill();
                server_.waitForFinished();
            }
        }
    }
    QString display() const { return display_; }

    // Runs xdotool on this server; its output, or nothing when it failed.
    std::optional<QString> xdotool(const QStringList& args) const
    {
        QProcess p;
        QProcessEnvironment env = cleanEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display_);
        p.setProcessEnvironment(env);
        p.start(QStringLiteral("xdotool"), args);
        if (!p.waitForFinished(kStartMs) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
            return std::nullopt;
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }

    // The one shown window whose name matches, waited for while the game runs.
    QString waitForWindow(const QString& nameRegex, GameRun& game) const
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < kStartMs && game.running()) {
            const auto found = xdotool({"search", "--onlyvisible", "--name", nameRegex});
            if (found && !found->isEmpty() && !found->contains('\n'))
                return *found;
            QTest::qWait(20);
        }
        return {};
    }

private:
    QProcess server_;
    QString display_;
};

bool xdotool(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    return p.waitForFinished(kStartMs) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// A Wayland compositor of the test's own, weston on the X server the test
// runs on (with-xvfb.sh), in a runtime directory of its own; the test may
// take it away from under the game. Its output is at the X screen's top left
// at scale 1, so X pointer positions are its own, and a little smaller than
// the screen: weston takes the pointer's place from an X EnterNotify and
// its motion after it, so the pointer waits outside the output, and each
// move in is a real Enter (see with-weston.sh).
class Compositor {
public:
    // With XWayland, its X display is named by xDisplay() once it is up.
    explicit Compositor(bool xwayland = false)
    {
        if (!runtimeDir_.isValid())
            return;
        weston_.setProcessChannelMode(QProcess::MergedChannels);
        weston_.setStandardOutputFile(runtimeDir_.filePath(QStringLiteral("weston.log")));
        QProcessEnvironment env = cleanEnvironment();
        env.insert(QStringLiteral("DISPLAY"), qEnvironmentVariable("DISPLAY"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir_.path());
        weston_.setProcessEnvironment(env);
        // No panel: its launcher would start a terminal for every click
        // that a window moving into place lets through to it.
        QFile config(runtimeDir_.filePath(QStringLiteral("weston.ini")));
        if (!config.open(QIODevice::WriteOnly) || config.write("[shell]\npanel-position=none\n") < 0)
            return;
        config.close();
        if (!xdotool({"mousemove", QString::number(kOutside.x()), QString::number(kOutside.y())}))
            return;
        QStringList args{"--backend=x11-backend.so", "--config=" + config.fileName(), "--idle-time=0",
                         "--socket=" + kSocket, "--debug", "--width=" + QString::number(kOutside.x() - 7),
                         "--height=" + QString::number(kOutside.y() - 7)};
        if (xwayland)
            args << QStringLiteral("--xwayland");
        weston_.start(QStringLiteral("weston"), args);
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < kStartMs && weston_.state() != QProcess::NotRunning) {
            if (sceneGraph().contains(QLatin1String("background for output"))) {
                up_ = !xwayland || !xDisplay().isEmpty();
                if (up_)
                    return;
            }
            QTest::qWait(50);
        }
    }
    ~Compositor() { kill(); }
    bool up() const { return up_; }
    // Gone at once, as a compositor that crashes.
    void kill()
    {
        if (weston_.state() != QProcess::NotRunning) {
            weston_.kill();
            weston_.waitForFinished();
        }
    }
    QString runtimeDir() const { return runtimeDir_.path(); }
    // Told to end, as a session that logs out tells it.
    void end()
    {
        if (weston_.state() != QProcess::NotRunning) {
            weston_.terminate();
            if (!weston_.waitForFinished(kStartMs))
                kill();
        }
    }
    // XWayland's display, from weston's log.
    QString xDisplay() const
    {
        QFile log(runtimeDir_.filePath(QStringLiteral("weston.log")));
        if (!log.open(QIODevice::ReadOnly))
            return {};
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("xserver listening on display (:\\d+)")).match(QString::fromUtf8(log.readAll()));
        return m.hasMatch() ? m.captured(1) : QString();
    }

    QString sceneGraph() const
    {
        QProcess p;
        QProcessEnvironment env = cleanEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir_.path());
        env.insert(QStringLiteral("WAYLAND_DISPLAY"), kSocket);
        p.setProcessEnvironment(env);
        p.start(QStringLiteral("weston-debug"), {"scene-graph"});
        // A busy compositor answers late; asking again is better than
        // waiting on one request for long.
        if (!p.waitForFinished(kDebugMs)) {
            p.kill();
            p.waitForFinished();
            return {};
        }
        return QString::fromUtf8(p.readAllStandardOutput());
    }

    // The client area's top left of the one window of that title, waited
    // for while the game runs. (XWayland's windows are listed with no
    // client after the title, and their opaque part takes the frame's edge.)
    std::optional<QPoint> waitForWindow(const QString& title, GameRun& game) const
    {
        const QRegularExpression view(
            QStringLiteral("top-level window '%1'[ ,][^\\n]*\\n\\s*position: \\((\\d+), (\\d+)\\)[^\\n]*\\n\\s*\\[opaque: \\((\\d+), (\\d+)\\)")
                .arg(QRegularExpression::escape(title)));
        QElapsedTimer clock;
        clock.start();
        std::optional<QPoint> previous;
        while (clock.elapsed() < kStartMs && game.running()) {
            // Once Qt has put its title bar on, above the content, and the
            // window stays in place: where Qt learns the title bar's size
            // only once the window is up, it may resize and move it once.
            std::optional<QPoint> now;
            if (const QRegularExpressionMatch m = view.match(sceneGraph());
                m.hasMatch() && m.captured(4).toInt() > m.captured(2).toInt())
                now = QPoint(m.captured(3).toInt(), m.captured(4).toInt());
            if (now && now == previous)
                return now;
            previous = now;
            QTest::qWait(100);
        }
        return {};
    }

    // What weston's scene graph says of its pointer: where a click went.
    QString pointer() const
    {
        const QStringList lines = sceneGraph().split('\n');
        for (int i = 0; i + 1 < lines.size(); ++i)
            if (lines[i].contains(QLatin1String("role wl_pointer-cursor")))
                return QStringLiteral("weston's pointer image: ") + lines[i + 1].trimmed();
        return QStringLiteral("weston shows no pointer");
    }

    static inline const QString kSocket = QStringLiteral("wayland-skeetra-test");
    // The X screen's bottom right corner, outside the output.
    static constexpr QPoint kOutside{1023, 767};

private:
    QTemporaryDir runtimeDir_;
    QProcess weston_;
    bool up_ = false;
};

enum class Phase { None, Waiting, Playing, LossBox };
enum class Blow { None, KillServer, DestroyWindow, DestroyBox };

} // namespace

Q_DECLARE_METATYPE(Phase)
Q_DECLARE_METATYPE(Blow)

class BadDisplay : public QObject {
    Q_OBJECT
private slots:
    void noDisplayGivesOneLineAndStatusTwo_data();
    void noDisplayGivesOneLineAndStatusTwo();
    void badDisplayEndsWithOneLine_data();
    void badDisplayEndsWithOneLine();
    void askedForDiagnosticsPassThrough();
    void badWaylandEndsWithOneLine_data();
    void badWaylandEndsWithOneLine();
};

void BadDisplay::noDisplayGivesOneLineAndStatusTwo_data()
{
    QTest::addColumn<QString>("display");     // empty: unset
    QTest::addColumn<QString>("wayland");     // WAYLAND_DISPLAY; empty: unset
    QTest::addColumn<QString>("platform");    // empty: unset
    QTest::addColumn<bool>("runtimeDir");     // XDG_RUNTIME_DIR set, to an empty directory
    QTest::addColumn<QString>("mustMention"); // besides the word "display"

    QTest::newRow("display with no server") << ":9999" << "" << "" << true << ":9999";
    QTest::newRow("display on a socket path that does not exist") << "/nonexistent/socket:0" << "" << "" << true
                                                                   << "/nonexistent/socket:0";
    QTest::newRow("no display named") << "" << "" << "" << true << "DISPLAY";
    QTest::newRow("X11 platform asked for, no display named") << "" << "" << "xcb" << true << "display";
    // libwayland would have its own say first in each of these.
    QTest::newRow("Wayland display with no compositor") << "" << "wayland-99" << "" << true
                                                        << "no compositor answers";
    QTest::newRow("Wayland display, XDG_RUNTIME_DIR unset") << "" << "wayland-99" << "" << false
                                                            << "XDG_RUNTIME_DIR is not set";
    QTest::newRow("Wayland platform asked for, no compositor") << "" << "" << "wayland" << true << "\"wayland-0\"";
}

void BadDisplay::noDisplayGivesOneLineAndStatusTwo()
{
    QFETCH(QString, display);
    QFETCH(QString, wayland);
    QFETCH(QString, platform);
    QFETCH(bool, runtimeDir);
    QFETCH(QString, mustMention);

    QProcessEnvironment env = cleanEnvironment();
    QTemporaryDir dir;
    if (runtimeDir)
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
    if (!display.isEmpty())
        env.insert(QStringLiteral("DISPLAY"), display);
    if (!wayland.isEmpty())
        env.insert(QStringLiteral("WAYLAND_DISPLAY"), wayland);
    if (!platform.isEmpty())
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);

    GameRun game(env);
    QVERIFY(game.started());
    const Ending e = game.end(kStartMs);
    QVERIFY2(e.ended, "the game neither opened a window nor gave up");
    QVERIFY(!e.crashed); // no abort, no core dump
    QCOMPARE(e.status, kNoDisplayStatus);
    QVERIFY2(e.lines.size() == 1, qPrintable("expected one line, got:\n" + e.error));
    QVERIFY2(e.lines.front().contains(QLatin1String("display"), Qt::CaseInsensitive), qPrintable(e.error));
    QVERIFY2(e.lines.front().contains(mustMention), qPrintable(e.error));
}

void BadDisplay::badDisplayEndsWithOneLine_data()
{
    QTest::addColumn<int>("depth");
    QTest::addColumn<QStringList>("env");  // NAME=value
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<Phase>("phase");      // what the game reaches first; None: no window at all
    QTest::addColumn<Blow>("blow");        // what then happens to it
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("mustSay");  // in the one line on stderr; empty: no line at all

    const QString ratio = QStringLiteral("device pixel ratio");
    // Qt would scale to a window that never appears (0, nan) or to a
    // 32,000-pixel pointer that eats the memory (1000).
    QTest::newRow("scale factor 0") << 24 << QStringList{"QT_SCALE_FACTOR=0"} << QStringList{} << Phase::None
                                    << Blow::None << kNoDisplayStatus << ratio;
    QTest::newRow("scale factor nan") << 24 << QStringList{"QT_SCALE_FACTOR=nan"} << QStringList{} << Phase::None
                                      << Blow::None << kNoDisplayStatus << ratio;
    QTest::newRow("scale factor 1000") << 24 << QStringList{"QT_SCALE_FACTOR=1000"} << QStringList{} << Phase::None
                                       << Blow::None << kNoDisplayStatus << ratio;
    QTest::newRow("font dpi 100000") << 24 << QStringList{"QT_FONT_DPI=100000"} << QStringList{} << Phase::None
                                     << Blow::None << kNoDisplayStatus << ratio;
    // A dense screen is no bad display: the window opens, pointer and all.
    QTest::newRow("scale factor 2 plays") << 24 << QStringList{"QT_SCALE_FACTOR=2"} << QStringList{}
                                          << Phase::Waiting << Blow::DestroyWindow << 0 << "";
    QTest::newRow("depth 8") << 8 << QStringList{} << QStringList{} << Phase::None << Blow::None
                             << kNoDisplayStatus << "colour depth";
    QTest::newRow("depth 16 plays") << 16 << QStringList{} << QStringList{} << Phase::Waiting << Blow::DestroyWindow
                                    << 0 << "";
    // The shallowest display the game takes: it opens, and its clicks count
    // up to the loss box.
    QTest::newRow("depth 15 plays") << 15 << QStringList{} << QStringList{} << Phase::LossBox << Blow::DestroyBox
                                    << 0 << "";

    const QString lost = QStringLiteral("connection to display");
    QTest::newRow("server dies in play") << 24 << QStringList{} << QStringList{} << Phase::Playing
                                         << Blow::KillServer << kNoDisplayStatus << lost;
    QTest::newRow("server dies with the loss box open") << 24 << QStringList{} << QStringList{} << Phase::LossBox
                                                        << Blow::KillServer << kNoDisplayStatus << lost;

    QTest::newRow("window destroyed in play") << 24 << QStringList{} << QStringList{} << Phase::Playing
                                              << Blow::DestroyWindow << 0 << "";
    QTest::newRow("window destroyed with the loss box open") << 24 << QStringList{} << QStringList{}
                                                             << Phase::LossBox << Blow::DestroyWindow << 0 << "";
    QTest::newRow("loss box destroyed") << 24 << QStringList{} << QStringList{} << Phase::LossBox
                                        << Blow::DestroyBox << 0 << "";

    // Qt's own options would rename the window or move it to another
    // display; the game takes none of them (the window is found by its name).
    QTest::newRow("arguments ignored") << 24 << QStringList{}
                                       << QStringList{"-qwindowtitle", "Hacked", "-display", ":9999", "-platform",
                                                      "offscreen"}
                                       << Phase::Waiting << Blow::DestroyWindow << 0 << "ignored";
}

void BadDisplay::badDisplayEndsWithOneLine()
{
    QFETCH(int, depth);
    QFETCH(QStringList, env);
    QFETCH(QStringList, args);
    QFETCH(Phase, phase);
    QFETCH(Blow, blow);
    QFETCH(int, status);
    QFETCH(QString, mustSay);

    XServer server(depth);
    QVERIFY2(!server.display().isEmpty(), "Xvfb did not start");
    QTemporaryDir runtimeDir; // 0700, as Qt wants it
    QProcessEnvironment gameEnv = cleanEnvironment();
    gameEnv.insert(QStringLiteral("DISPLAY"), server.display());
    gameEnv.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir.path());
    for (const QString& setting : env)
        gameEnv.insert(setting.section('=', 0, 0), setting.section('=', 1));

    GameRun game(gameEnv, args);
    QVERIFY(game.started());
    if (phase != Phase::None) {
        const QString window = server.waitForWindow(mainTitle(), game);
        if (window.isEmpty()) {
            const Ending e = game.end(0);
            QFAIL(qPrintable(QStringLiteral("no game window (ended: %1, status %2):\n%3")
                                 .arg(e.ended).arg(e.status).arg(e.error)));
        }
        auto click = [&](QPoint p, int count) {
            return server.xdotool({"mousemove", "--window", window, QString::number(p.x()), QString::number(p.y()),
                                   "click", "--repeat", QString::number(count), "--delay", "1", "1"});
        };
        if (phase == Phase::Playing)
            QVERIFY(click(startSign(), 1));
        if (phase == Phase::LossBox) {
            QVERIFY(click(kBareWall, kStartAmmunition));
            QVERIFY2(!server.waitForWindow(boxTitle(), game).isEmpty(), "no loss box");
        }
        QVERIFY(game.running());
        switch (blow) {
        case Blow::None: break;
        case Blow::KillServer: server.stop(); break;
        case Blow::DestroyWindow: QVERIFY(server.xdotool({"windowclose", window})); break;
        case Blow::DestroyBox: {
            const QString box = server.waitForWindow(boxTitle(), game);
            QVERIFY(!box.isEmpty());
            QVERIFY(server.xdotool({"windowclose", box}));
            break;
        }
        }
    }

    const Ending e = game.end(kEndMs);
    QVERIFY2(e.ended, "the game did not end");
    QVERIFY(!e.crashed);
    QVERIFY2(!game.leftFiles(), "the game left a file (a core dump?) behind");
    QCOMPARE(e.status, status);
    if (mustSay.isEmpty()) {
        QVERIFY2(e.lines.isEmpty(), qPrintable("expected no output, got:\n" + e.error));
    } else {
        QVERIFY2(e.lines.size() == 1, qPrintable("expected one line, got:\n" + e.error));
        QVERIFY2(e.lines.front().startsWith(QLatin1String("skeetra: ")), qPrintable(e.error));
        QVERIFY2(e.lines.front().contains(mustSay), qPrintable(e.error));
    }
}

// Qt's own account of what it does, which a user asks for, reaches them in
// full; the cause still ends it.
void BadDisplay::askedForDiagnosticsPassThrough()
{
    QProcessEnvironment env = cleanEnvironment();
    env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":9999"));
    env.insert(QStringLiteral("QT_DEBUG_PLUGINS"), QStringLiteral("1"));
    GameRun game(env);
    QVERIFY(game.started());
    const Ending e = game.end(kStartMs);
    QVERIFY(e.ended && !e.crashed);
    QCOMPARE(e.status, kNoDisplayStatus);
    QVERIFY2(e.lines.filter(QStringLiteral("qt.core.plugin")).size() >= 10, qPrintable(e.error));
    QVERIFY2(e.lines.filter(QStringLiteral("skeetra: ")).size() == 1, qPrintable(e.error));
    QVERIFY2(e.lines.back().startsWith(QLatin1String("skeetra: ")), qPrintable(e.error));
}

enum class WaylandBlow { None, KillCompositor, EndCompositor };
Q_DECLARE_METATYPE(WaylandBlow)

// The game on a Wayland compositor that goes, or on one it cannot use.
void BadDisplay::badWaylandEndsWithOneLine_data()
{
    QTest::addColumn<QStringList>("env"); // NAME=value; PLATFORMS: a plugin directory with only X11's
    QTest::addColumn<Phase>("phase");
    QTest::addColumn<WaylandBlow>("blow");
    QTest::addColumn<QString>("mustSay");

    const QString lost = QStringLiteral("skeetra: the connection to the Wayland display \"%1\" was lost")
                             .arg(Compositor::kSocket);
    QTest::newRow("compositor killed in play") << QStringList{} << Phase::Playing << WaylandBlow::KillCompositor
                                               << lost;
    QTest::newRow("compositor killed with the loss box open") << QStringList{} << Phase::LossBox
                                                              << WaylandBlow::KillCompositor << lost;
    // weston told to end destroys XWayland's frames, and the game's window in
    // its own, before XWayland drops its clients: still a lost display.
    QTest::newRow("compositor with XWayland told to end") << QStringList{"XWAYLAND"} << Phase::Waiting
                                                        << WaylandBlow::EndCompositor << "connection to display";
    QTest::newRow("platform package missing") << QStringList{"PLATFORMS"} << Phase::None << WaylandBlow::None
                                              << "qt6-wayland";
}

void BadDisplay::badWaylandEndsWithOneLine()
{
    QFETCH(QStringList, env);
    QFETCH(Phase, phase);
    QFETCH(WaylandBlow, blow);
    QFETCH(QString, mustSay);
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X server for weston (run through CTest)");

    QTemporaryDir copy;
    Compositor compositor(env.contains(QStringLiteral("XWAYLAND")));
    QVERIFY2(compositor.up(), "weston did not start");
    QProcessEnvironment gameEnv = cleanEnvironment();
    gameEnv.insert(QStringLiteral("XDG_RUNTIME_DIR"), compositor.runtimeDir());
    gameEnv.insert(QStringLiteral("WAYLAND_DISPLAY"), Compositor::kSocket);
    QString program = gamePath();
    for (const QString& setting : env) {
        if (setting == QLatin1String("XWAYLAND")) {
            gameEnv.insert(QStringLiteral("DISPLAY"), compositor.xDisplay());
            gameEnv.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        } else if (setting == QLatin1String("PLATFORMS")) {
            // Qt's platform plugins as a machine without qt6-wayland has
            // them: a copy of the game whose qt.conf names a plugin
            // directory that holds X11's alone.
            program = copy.filePath(QStringLiteral("skeetra"));
            QVERIFY(QFile::copy(gamePath(), program));
            QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner));
            QVERIFY(QDir(copy.path()).mkpath(QStringLiteral("plugins/platforms")));
            const QString xcb = QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms/libqxcb.so");
            QVERIFY(QFile::link(xcb, copy.filePath(QStringLiteral("plugins/platforms/libqxcb.so"))));
            QFile conf(copy.filePath(QStringLiteral("qt.conf")));
            QVERIFY(conf.open(QIODevice::WriteOnly));
            conf.write("[Paths]\nPlugins = " + copy.filePath(QStringLiteral("plugins")).toUtf8() + "\n");
        } else {
            gameEnv.insert(setting.section('=', 0, 0), setting.section('=', 1));
        }
    }

    GameRun game(gameEnv, QStringList{}, program);
    QVERIFY(game.started());
    if (phase != Phase::None) {
        const std::optional<QPoint> client = compositor.waitForWindow(FormDesign::table().caption(), game);
        if (!client) {
            const Ending e = game.end(0);
            QFAIL(qPrintable(QStringLiteral("no game window (ended: %1, status %2):\n%3")
                                 .arg(e.ended).arg(e.status).arg(e.error)));
        }
        // Each burst enters the output from outside it, as a player's
        // pointer comes to a window: weston gets an Enter with its place.
        auto click = [&](QPoint p, int count) {
            const QPoint at = *client + p;
            return xdotool({"mousemove", QString::number(Compositor::kOutside.x()),
                            QString::number(Compositor::kOutside.y()), "mousemove", QString::number(at.x()),
                            QString::number(at.y()), "click", "--repeat", QString::number(count), "--delay", "1",
                            "1"});
        };
        if (phase == Phase::Playing)
            QVERIFY(click(startSign(), 1));
        if (phase == Phase::LossBox) {
            // One click for each cartridge: the box opens on the last.
            QVERIFY(click(kBareWall, kStartAmmunition));
            if (!compositor.waitForWindow(FormDesign::table().appTitle(), game).has_value())
                QFAIL(qPrintable(QStringLiteral("no loss box after %1 clicks (%2)")
                                     .arg(kStartAmmunition)
                                     .arg(compositor.pointer())));
        }
        QVERIFY(game.running());
    }
    QElapsedTimer sinceBlow;
    sinceBlow.start();
    if (blow == WaylandBlow::KillCompositor)
        compositor.kill();
    if (blow == WaylandBlow::EndCompositor)
        compositor.end();

    const Ending e = game.end(kEndMs);
    QVERIFY2(e.ended, "the game did not end");
    if (blow != WaylandBlow::None)
        qInfo("the game ended %lld ms after the compositor was killed", sinceBlow.elapsed());
    QVERIFY(!e.crashed);
    QVERIFY2(!game.leftFiles(), "the game left a file (a core dump?) behind");
    QCOMPARE(e.status, kNoDisplayStatus);
    QVERIFY2(e.lines.size() == 1, qPrintable("expected one line, got:\n" + e.error));
    QVERIFY2(e.lines.front().startsWith(QLatin1String("skeetra: ")), qPrintable(e.error));
    QVERIFY2(e.lines.front().contains(mustSay), qPrintable(e.error));
}

QTEST_GUILESS_MAIN(BadDisplay)
#include "tst_e2e_display.moc"
