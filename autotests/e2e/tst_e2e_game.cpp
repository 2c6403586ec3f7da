// The end-to-end scenarios: the real game on a real display, played with
// real clicks, as scenarios.txt lists them: the window, a game to the win,
// games to the loss, a click storm, the clock, and every way out. The
// display, the pixel readers and the game's driver are in files of their
// own; every place comes from the window's design.
#include "display.h"
#include "form_design.h"
#include "game_driver.h"
#include "pixels.h"
#include "scenario_list.h"

#include <QFile>
#include <QMetaMethod>
#include <QPainter>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <cmath>
#include <fstream>
#include <string>

using namespace e2e;

namespace {

// Whether the process has ended: gone, or a zombie its parent has not yet
// waited for, whose files are closed all the same.
bool processEnded(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return true;
    const auto close = line.rfind(") ");
    return close != std::string::npos && close + 2 < line.size() && (line[close + 2] == 'Z' || line[close + 2] == 'X');
}

// The clock as the player saw it in one grab, and when the grab began and
// ended, in milliseconds after the start click was sent.
struct ClockReading {
    QImage shot;
    qint64 fromMs = 0, toMs = 0;
};

// Eight grabs of the clock, a quarter of a second apart: a moment of play.
QList<ClockReading> readMoment(Game& game)
{
    QList<ClockReading> readings;
    for (int i = 0; i < 8; ++i) {
        ClockReading r;
        r.fromMs = game.playMs();
        r.shot = game.grab();
        r.toMs = game.playMs();
        readings << r;
        QTest::qWait(250);
    }
    return readings;
}

// More hits teach the counts the clock showed in the moments.
bool learnClockCounts(Game& game, const QList<QList<ClockReading>>& moments)
{
    auto allKnown = [&] {
        for (const auto& readings : moments)
            for (const ClockReading& r : readings)
                if (!game.clockIn(r.shot))
                    return false;
        return true;
    };
    while (!allKnown() && game.kills() < kWinningKills - 1)
        if (!game.hit())
            return false;
    return true;
}

// The clock's count in each reading is what 800 ms ticks since the start
// make it: never ahead, and in a quiet moment behind by at most `behind`
// ticks in one of its last three grabs (a slow machine may hold a tick up
// for a moment; a clock that lost ticks stays behind for good).
void verifyClock(const Game& game, const QList<QList<ClockReading>>& moments, const QList<bool>& quiet, int behind)
{
    for (int m = 0; m < moments.size(); ++m) {
        bool caughtUp = false;
        QString counts;
        for (int i = 0; i < moments[m].size(); ++i) {
            const ClockReading& r = moments[m][i];
            const std::optional<int> count = game.clockIn(r.shot);
            QVERIFY2(count.has_value(), "the clock shows no count the kills showed");
            const int most = int(r.toMs / clockPeriodMs());
            const int least = int(std::max<qint64>(0, r.fromMs - game.startSeenMs()) / clockPeriodMs()) - behind;
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

} // namespace

class EndToEnd : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();

    void windowHasTitleSizeAndPlace();
    void clockCountsOneTickPer800ms_data();
    void clockCountsOneTickPer800ms();
    void clockKeepsTimeThroughAHoldUp_data();
    void clockKeepsTimeThroughAHoldUp();
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
    void lostCompositorEndsWithOneLine_data();
    void lostCompositorEndsWithOneLine();
};

void EndToEnd::initTestCase()
{
    // Every scenario here is on the list, with its rows exactly when it has
    // a table of them, and every scenario the list has play here is here:
    // what is on one and not the other would never run.
    const QString platform = platformName();
    const QMetaObject* meta = metaObject();
    QStringList here;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod m = meta->method(i);
        const QString name = QString::fromLatin1(m.name());
        if (m.methodType() != QMetaMethod::Slot || m.access() != QMetaMethod::Private ||
            name.endsWith(QLatin1String("_data")) || name == QLatin1String("initTestCase"))
            continue;
        here << name;
        const ListedScenario* listed = listedScenario(name);
        QVERIFY2(listed, qPrintable(name + " is played here, but scenarios.txt does not list it"));
        const bool table = meta->indexOfMethod(qPrintable(name + "_data()")) >= 0;
        QVERIFY2(table == !listed->rows.isEmpty(),
                 qPrintable(name + (table ? " has rows here, but none in scenarios.txt"
                                          : " has rows in scenarios.txt, but none here")));
    }
    for (const ListedScenario& s : scenarioList())
        QVERIFY2(!s.playedOn(platform) || here.contains(s.name),
                 qPrintable(QStringLiteral("scenarios.txt has %1 played on %2, but it is not here").arg(s.name, platform)));

    // The points taken for bare wall lie on no control.
    for (const QPoint& p : places().barePoints)
        for (const DesignedControl& c : FormDesign::table().controls())
            QVERIFY2(!c.rect.contains(p), qPrintable(QStringLiteral("the bare point %1, %2 lies on %3")
                                                         .arg(p.x()).arg(p.y()).arg(c.name)));
}


// The window appears where it stays: the start sign, clicked where the
// window was first drawn whole, starts play, and the window is still there.
// A window that a compositor moves after its first frame would take the
// click elsewhere, or as a miss.
void EndToEnd::windowHasTitleSizeAndPlace()
{
    Game game;
    GAME_VERIFY(game, game.launch(Game::Until::FirstDrawn));
    const QRect first = game.geometry();
    GAME_VERIFY(game, game.start());
    QTest::qWait(kQuietMs);
    QCOMPARE(game.placeNow(), first);
    QVERIFY2(region(game.grab(), places().ammunition) == region(game.facade(), places().ammunition),
             "the start click cost a cartridge");
    // A window of one size offers no other: a double click on its title
    // bar, which would maximise a window that can grow, leaves it as it is.
    if (onCompositor()) {
        GAME_VERIFY(game, game.doubleClickTitle());
        QTest::qWait(kQuietMs);
        QCOMPARE(game.placeNow(), first);
    }

    // mutter and KWin tell no other client a window's title; the other
    // desktops read the one the game gave.
    if (const std::optional<QString> title = windowTitle(game.window()))
        QCOMPARE(*title, FormDesign::table().caption());
    // Wayland leaves the place of a window to the compositor, as does a
    // window manager.
    if (onCompositor())
        QCOMPARE(first.size(), places().clientSize);
    else
        QCOMPARE(first, FormDesign::table().client());
    GAME_VERIFY(game, game.closeWindow(game.window()));
    GAME_VERIFY(game, game.endedWithStatus(0));
}

void EndToEnd::screenShowsThePicturesAsDrawn()
{
    const QImage facade = picture("facade.gif").convertToFormat(QImage::Format_RGB32);
    const QImage figure = picture("target.gif").convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(facade.height(), pictureRows());

    Game game;
    GAME_VERIFY(game, game.launch());
    const QImage before = game.facade();
    QVERIFY2(before.width() <= facade.width(), "the client area is wider than the window picture");

    // Before play only the instructions lie over the picture: everywhere
    // else it shows one to one, its rightmost columns cut off.
    QImage expected = facade.copy(0, 0, before.width(), pictureRows());
    {
        QImage shotOutside = before.copy(0, 0, before.width(), pictureRows());
        QPainter hide(&shotOutside);
        hide.drawImage(places().instructions.topLeft(), expected.copy(places().instructions));
        hide.end();
        const QString diff = differences(shotOutside, expected, expected.rect());
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
    }
    // The instructions break into four lines at the label's width.
    QCOMPARE(textRows(before, expected, places().instructions), 4);

    // A shown target: its figure one to one, the picture around it where the
    // figure is transparent.
    GAME_VERIFY(game, game.start());
    const std::optional<int> target = game.shownTarget();
    GAME_VERIFY(game, target.has_value());
    const QRect place = places().targets[*target];
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
    GAME_VERIFY(game, game.shoot(places().targets[*last].center()));
    const QImage clock = region(game.grab(), places().clock);
    QTest::qWait(1000);
    QCOMPARE(game.shownTargets(), QList<int>{});
    QCOMPARE(region(game.grab(), places().clock), clock);
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
    const std::optional<int> shown = nearestNumber(region(shot, places().finalTime), places().winGreen, 16, candidates);
    QVERIFY2(shown.has_value(), "the win box shows no final time");
    QCOMPARE(*shown, *time);

    GAME_VERIFY(game, game.click(places().exitCaption.center()));
    GAME_VERIFY(game, game.endedWithStatus(0));
}

void EndToEnd::lastCartridgeLoses_data()
{
    QTest::addColumn<int>("missesBeforePlay");
    QTest::addColumn<int>("hits");
    QTest::addColumn<bool>("lastShotHits");
    QTest::addColumn<QList<QPoint>>("missPoints");
    // The key that closes the box, and whether the keyboard is left with the
    // game window (as a compositor may leave it) rather than given to the box.
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("keyOnGameWindow");

    const QList<QPoint> bare(places().barePoints.begin(), places().barePoints.end());
    QList<QPoint> hiddenTargets;
    for (const QRect& t : places().targets)
        hiddenTargets << t.center();
    const int allButOne = kStartAmmunition - 1;

    const QString unlisted = addListedRows({
        {"misses before play on bare points",
         [&](QTestData& row) { row << allButOne << 0 << false << bare << "Return" << false; }},
        {"misses before play on hidden targets",
         [&](QTestData& row) { row << allButOne << 0 << false << hiddenTargets << "space" << false; }},
        // All on one point: every second press reaches the game as a double click.
        {"hits, then double clicks on the spent start sign",
         [&](QTestData& row) {
             row << 0 << 10 << false << QList<QPoint>{places().startArea.center()} << "Escape" << true;
         }},
        // What the start of play hid takes clicks as the wall does.
        {"hits, then misses on the spent start sign and the instructions",
         [&](QTestData& row) {
             row << 0 << 10 << false << QList<QPoint>{places().startArea.center(), places().instructions.center()}
                 << "Escape" << false;
         }},
        // The loss is judged before the win: the hundredth kill made with the
        // last cartridge still loses.
        {"last cartridge on the hundredth kill",
         [&](QTestData& row) {
             row << kStartAmmunition - kWinningKills << kWinningKills - 1 << true << bare << "Return" << true;
         }},
    });
    QVERIFY2(unlisted.isEmpty(), qPrintable(unlisted));
}

void EndToEnd::lastCartridgeLoses()
{
    QFETCH(int, missesBeforePlay);
    QFETCH(int, hits);
    QFETCH(bool, lastShotHits);
    QFETCH(QList<QPoint>, missPoints);
    QFETCH(QString, key);
    QFETCH(bool, keyOnGameWindow);

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
    QCOMPARE(visibleWindows(boxTitle()), QStringList{});
    QVERIFY(game.running());
    // A miss chooses no target: before play none may be shown.
    if (hits == 0 && !lastShotHits)
        QCOMPARE(game.shownTargets(), QList<int>{});

    if (lastShotHits) {
        const std::optional<int> target = game.shownTarget();
        GAME_VERIFY(game, target.has_value());
        GAME_VERIFY(game, game.click(places().targets[*target].center()));
    } else {
        GAME_VERIFY(game, game.click(missPoints[shots % missPoints.size()]));
    }
    const std::optional<QString> box = game.lossBox();
    GAME_VERIFY(game, box.has_value());
    QVERIFY(!game.winBoxShown());
    QVERIFY(game.running());
    // Where the desktop shows only pictures, the box is seen where it is: a
    // dialog of the game, over it and centred across it (mutter puts a
    // dialog a third of the way down, KWin halfway).
    if (bySight()) {
        const QList<QRect> boxes = boxesOnScreen();
        QCOMPARE(boxes.size(), 1);
        const QRect& shown = boxes.front();
        const QRect& under = game.geometry();
        QVERIFY2(under.contains(shown.center()) && std::abs(shown.center().x() - under.center().x()) <= 2 * outputScale(),
                 qPrintable(QStringLiteral("the box at %1,%2 %3x%4 is not centred over the game at %5,%6 %7x%8")
                                .arg(shown.x()).arg(shown.y()).arg(shown.width()).arg(shown.height())
                                .arg(under.x()).arg(under.y()).arg(under.width()).arg(under.height())));
    }

    // Windows keeps the keyboard away from a window its modal box disables.
    GAME_VERIFY(game, game.pressKey(keyOnGameWindow && !underWine() ? game.window() : *box, key));
    GAME_VERIFY(game, game.endedWithStatus(0));
}

void EndToEnd::clickStormEndsInOneLossBox()
{
    // Targets and bare points away from the middle, where the loss box opens:
    // a click on its button would end the game before the check.
    QList<QPoint> points;
    int k = 0;
    for (const char* name : {"Image2", "Image6", "Image8", "Image9", "Image4", "Image7", "Image12", "Image11", "Image13"})
        points << places().target(QLatin1String(name)).center() << places().barePoints[k++ % 3];

    Game game;
    GAME_VERIFY(game, game.launch());
    GAME_VERIFY(game, game.start());
    GAME_VERIFY(game, game.shownTarget().has_value());

    // On Wayland in bursts of 100 (see clickFlood); there 2000 still keep on
    // long after the box has opened.
    const int kClicks = onWayland() || bySight() ? 2000 : 5000;
    constexpr int kBurst = 500;
    QList<QPoint> burst;
    for (int sent = 0; sent < kClicks; sent += kBurst) {
        burst.clear();
        for (int i = 0; i < kBurst; ++i)
            burst << points[(sent + i) % points.size()];
        GAME_VERIFY(game, game.clickFlood(burst));
        QVERIFY2(game.running(), "the game died in the storm");
        QVERIFY2(game.answers(game.window()), "the game stopped answering in the storm");
    }

    const std::optional<QString> box = game.lossBox();
    GAME_VERIFY(game, box.has_value());
    QVERIFY(game.answers(game.window()));
    QTest::qWait(kQuietMs);
    QCOMPARE(visibleWindows(boxTitle()).size(), 1);

    GAME_VERIFY(game, game.pressKey(*box, QStringLiteral("Return")));
    GAME_VERIFY(game, game.endedWithStatus(0));
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
    // colour, on the same black ground below the picture (digits() leaves
    // out the rows that meet the texts below).
    const QImage zero = region(game.facade(), digits(places().clock));

    GAME_VERIFY(game, game.pause());
    constexpr int kClicks = kStartAmmunition + 10;
    QList<QPoint> storm;
    for (int i = 0; i < kClicks; ++i)
        storm << places().barePoints[i % 2]; // beside the middle, where the box opens
    const bool clicked = game.click(storm);
    GAME_VERIFY(game, game.resume());
    GAME_VERIFY(game, clicked);

    const std::optional<QString> box = game.lossBox();
    GAME_VERIFY(game, box.has_value());
    QTest::qWait(kQuietMs);
    QCOMPARE(visibleWindows(boxTitle()).size(), 1);
    QVERIFY2(region(game.grab(), digits(places().ammunition)) == zero, "the ammunition does not show 0");
    QVERIFY(game.running());

    GAME_VERIFY(game, game.pressKey(*box, QStringLiteral("Return")));
    GAME_VERIFY(game, game.endedWithStatus(0));
}

void EndToEnd::labelsTakeClicksWithoutCost()
{
    Game game;
    GAME_VERIFY(game, game.launch());
    QList<QPoint> points;
    for (int round = 0; round < 20; ++round)
        for (const QRect& label : places().quietLabels)
            points << label.center();
    GAME_VERIFY(game, game.click(points));
    // The start click is queued behind the label clicks; once play shows,
    // they have all been taken.
    GAME_VERIFY(game, game.start());
    QCOMPARE(region(game.grab(), places().ammunition), region(game.facade(), places().ammunition));
    QCOMPARE(visibleWindows(boxTitle()), QStringList{});
    QVERIFY(game.running());
}

void EndToEnd::closingEndsWithStatusZero_data()
{
    QTest::addColumn<Phase>("phase");
    QTest::addColumn<bool>("closeTheBox");
    const QString unlisted = addListedRows({
        {"waiting", [](QTestData& row) { row << Phase::Waiting << false; }},
        {"playing", [](QTestData& row) { row << Phase::Playing << false; }},
        {"loss box open, the box", [](QTestData& row) { row << Phase::LossBox << true; }},
        {"loss box open, the game window", [](QTestData& row) { row << Phase::LossBox << false; }},
        {"won", [](QTestData& row) { row << Phase::Won << false; }},
    });
    QVERIFY2(unlisted.isEmpty(), qPrintable(unlisted));
}

void EndToEnd::closingEndsWithStatusZero()
{
    QFETCH(Phase, phase);
    QFETCH(bool, closeTheBox);
    Game game;
    GAME_VERIFY(game, reach(game, phase));
    const QString window = closeTheBox ? visibleWindows(boxTitle()).value(0) : game.window();
    GAME_VERIFY(game, game.closeWindow(window));
    GAME_VERIFY(game, game.endedWithStatus(0));
}

void EndToEnd::exitCaptionEndsWithStatusZero_data()
{
    QTest::addColumn<Phase>("phase");
    const QString unlisted = addListedRows({
        {"waiting", [](QTestData& row) { row << Phase::Waiting; }},
        {"playing", [](QTestData& row) { row << Phase::Playing; }},
        {"won", [](QTestData& row) { row << Phase::Won; }},
    });
    QVERIFY2(unlisted.isEmpty(), qPrintable(unlisted));
}

void EndToEnd::exitCaptionEndsWithStatusZero()
{
    QFETCH(Phase, phase);
    Game game;
    GAME_VERIFY(game, reach(game, phase));
    GAME_VERIFY(game, game.click(places().exitCaption.center()));
    GAME_VERIFY(game, game.endedWithStatus(0));
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
    const QRect figure = places().targets[*target];
    auto region = [&](const QRect& r) { return game.grab(r); };

    // Beside the figure, level with its chest: a miss. (A pointer drawn 16
    // design pixels up and left of where it shoots would hit the pullover,
    // and miss below the figure with the shot at the belt.)
    const QImage kills = region(places().kills);
    const QImage ammunition = region(places().ammunition);
    const QPoint beside = figure.left() > 12 ? QPoint(figure.left() - 6, figure.top() + 20)
                                              : QPoint(figure.right() + 6, figure.top() + 20);
    QVERIFY(shootAt(beside));
    QVERIFY2(waitUntil([&] { return region(places().ammunition) != ammunition; }), "the shot beside the figure was not taken");
    QTest::qWait(kQuietMs);
    QVERIFY2(region(places().kills) == kills, "the shot beside the figure hit it");

    // On the figure's belt: a hit.
    QVERIFY(shootAt(figure.topLeft() + QPoint(21, 39)));
    QVERIFY2(waitUntil([&] { return region(places().kills) != kills; }), "the shot on the figure missed");
}

void EndToEnd::clockCountsOneTickPer800ms_data()
{
    QTest::addColumn<int>("floodClicks");
    const QString unlisted = addListedRows({
        {"quiet", [](QTestData& row) { row << 0; }},
        // Clicks on a title change nothing, and come faster than the game takes them.
        {"under a flood of 3000 clicks on a label", [](QTestData& row) { row << 3000; }},
    });
    QVERIFY2(unlisted.isEmpty(), qPrintable(unlisted));
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
    moments << readMoment(game);
    quiet << true;
    if (floodClicks > 0) {
        const qint64 sent = game.playMs();
        GAME_VERIFY(game, game.clickFlood(QList<QPoint>(floodClicks, places().titleOfAmmunition.center())));
        moments << readMoment(game);
        quiet << false;
        // A miss behind the flood: once it is taken, so is the flood. A
        // busy machine may take its time over 3000 clicks.
        GAME_VERIFY(game, game.shoot(places().barePoints[0], 3 * kWaitMs));
        qInfo("the flood was sent and taken in %lld ms", game.playMs() - sent);
    } else {
        QTest::qWait(4000);
    }
    moments << readMoment(game);
    quiet << true;

    GAME_VERIFY(game, learnClockCounts(game, moments));
    verifyClock(game, moments, quiet, 1);
}

void EndToEnd::clockKeepsTimeThroughAHoldUp_data()
{
    QTest::addColumn<int>("stoppedMs");
    QTest::addColumn<int>("heldMs");
    const QString unlisted = addListedRows({
        {"stopped for 3 s", [](QTestData& row) { row << 3000 << 3000; }},
        // Longer than a minute: the game's clock is told the stop lasted
        // 70 s (SKEETRA_TEST_CLOCK_FILE), where the test waits two.
        {"stopped for 70 s", [](QTestData& row) { row << 2000 << 70'000; }},
    });
    QVERIFY2(unlisted.isEmpty(), qPrintable(unlisted));
}

// Stopped in play (a busy machine, a debugger, a suspended process) and let
// go on, the game delivers every tick that fell due meanwhile: the clock
// reads the time since the start, within a tick or two, as if nothing had
// held it up, also after more than a minute; a clock that dropped the late
// ticks stays behind by the whole stop. The long stop is a real SIGSTOP of
// two seconds that the game's monotonic clock sees as 70: the same late
// wake-up and catch-up, without a 70-second wait in the suite.
void EndToEnd::clockKeepsTimeThroughAHoldUp()
{
    QFETCH(int, stoppedMs);
    QFETCH(int, heldMs);
    const int leapMs = heldMs - stoppedMs;
    QTemporaryDir dir;
    const QString clockFile = dir.filePath(QStringLiteral("clock"));
    Game game;
    game.setTestClockFile(clockFile);
    GAME_VERIFY(game, game.launch());
    GAME_VERIFY(game, game.start());
    GAME_VERIFY(game, game.hit());

    QList<QList<ClockReading>> moments;
    if (leapMs == 0)
        moments << readMoment(game);
    GAME_VERIFY(game, game.pause());
    QTest::qWait(stoppedMs);
    if (leapMs > 0) {
        QFile file(clockFile);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray::number(leapMs)) > 0);
    }
    GAME_VERIFY(game, game.resume());
    QList<ClockReading> after = readMoment(game);
    for (ClockReading& r : after) { // as the game's clock counts the time
        r.fromMs += leapMs;
        r.toMs += leapMs;
    }
    moments << after;

    GAME_VERIFY(game, learnClockCounts(game, moments));
    verifyClock(game, moments, QList<bool>(moments.size(), true), 2);
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
    GAME_VERIFY(game, game.click(places().exitCaption.center()));
    GAME_VERIFY(game, game.endedWithStatus(0));
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
    GAME_VERIFY(game, game.click(places().exitCaption.center()));
    GAME_VERIFY(game, game.endedWithStatus(0));
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
                     box = onServer({"search", "--onlyvisible", "--name", boxTitle()}).value_or(QString());
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
    QCOMPARE(onServer({"search", "--onlyvisible", "--name", mainTitle()}).value_or(QString()), QString());
}

void EndToEnd::lostCompositorEndsWithOneLine_data()
{
    QTest::addColumn<Phase>("phase");
    const QString unlisted = addListedRows({
        {"playing", [](QTestData& row) { row << Phase::Playing; }},
        {"loss box open", [](QTestData& row) { row << Phase::LossBox; }},
    });
    QVERIFY2(unlisted.isEmpty(), qPrintable(unlisted));
}

// The compositor gone at once, as one that crashes: the game ends promptly
// with status 2 and one line that says its display was lost, whether it
// was a Wayland client of the compositor or an X client of its XWayland.
void EndToEnd::lostCompositorEndsWithOneLine()
{
    QFETCH(Phase, phase);
    Game game;
    GAME_VERIFY(game, reach(game, phase));
    QVERIFY(game.running());
    const auto compositor = static_cast<pid_t>(requiredEnv("SKEETRA_COMPOSITOR_PID").toLongLong());
    QVERIFY(::kill(compositor, SIGKILL) == 0);
    // The display is gone once the compositor has ended (its connections
    // closed): a loaded machine takes its time over tearing down a large
    // process, and the game's second to end counts from there.
    QVERIFY2(waitUntil([&] { return processEnded(compositor); }), "the compositor did not end");
    GAME_VERIFY(game, game.endedWithStatus(2));
    const QStringList lines = game.errorLines();
    QVERIFY2(lines.size() == 1, qPrintable("expected one line, got:\n" + lines.join('\n')));
    QVERIFY2(lines.front().startsWith(QLatin1String("skeetra: ")) && lines.front().contains(QLatin1String("was lost")),
             qPrintable(lines.front()));
}

QTEST_MAIN(EndToEnd)
#include "tst_e2e_game.moc"
