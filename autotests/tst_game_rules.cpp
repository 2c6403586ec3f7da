// The rules of the game, driven through the runtime with clicks and ticks.
#include "counters.h"
#include "form1.h"
#include "recording_host.h"

#include <QSet>
#include <QTest>

#include <memory>
#include <set>
#include <thread>
#include <utility>

using skeetra::Form1;

namespace {

constexpr int kStartX = 212, kStartY = 308; // on the start sign
constexpr int kBareX = 420, kBareY = 300;   // where no control lies

const QString lossText = QStringLiteral("У вас кончились патроны. Вы проиграли!");

// The game with its ticks given by hand: its timers are never started, so
// none sleeps and each tick comes where the test says.
struct Game {
    rt::Form form{Form1::design()};
    Form1 f{form};
    RecordingHost host;

    explicit Game(std::uint64_t seed = 1)
    {
        form.setHost(&host);
        form.load();
        rt::seedRandom(seed); // after Form_Load, which seeds from the clock
    }
    void referee() { form.tick(f.Timer2); }
    void miss() { form.clickAt(kBareX, kBareY); }
    void start() { form.clickAt(kStartX, kStartY); }
    rt::Image* shownTarget()
    {
        rt::Image* shown = nullptr;
        for (rt::Image* t : f.targets) {
            if (t->Visible()) {
                if (shown)
                    return nullptr; // never two at once
                shown = t;
            }
        }
        return shown;
    }
    void shoot(rt::Image& target)
    {
        const rt::PixelRect r = target.rect();
        form.clickAt(r.left + r.width / 2, r.top + r.height / 2);
    }
    QString caption(const rt::Label& l) const { return QString::fromStdString(l.Caption()); }
};

// The game with its timers started on the host's clock, as on every
// platform: the referee sleeps when its ticks would change nothing, and only
// running timers get platform ticks.
struct PacedGame : Game {
    explicit PacedGame(std::uint64_t seed = 1) : Game(seed) { form.startTimers(); }
    void platformTick(rt::Timer& timer)
    {
        if (timer.running())
            form.tick(timer);
    }
    std::vector<std::string> timerLog() { return std::exchange(host.timerLog, {}); }
};

using Log = std::vector<std::string>;

int targetIndex(const Game& g)
{
    bool ok = false;
    const int index = g.caption(g.f.Label10).toInt(&ok);
    return ok ? index : -1;
}

} // namespace

class GameRules : public QObject {
    Q_OBJECT
private slots:
    void startShowsNothingUntilTheRefereeTicks();
    void hitHidesItsOwnTarget_data();
    void hitHidesItsOwnTarget();
    void wholeGameToTheWin();
    void wholeGameToTheLoss_data();
    void wholeGameToTheLoss();
    void refereeCatchesCountersThatSkipTheirEndValue_data();
    void refereeCatchesCountersThatSkipTheirEndValue();
    void shotsOnlyWhereNoShownControlLies_data();
    void shotsOnlyWhereNoShownControlLies();
    void clockCountsTicksOfPlay();
    void targetIndexIsAWholeNumberFrom0To11();
    void clockSeedingGivesEachRunItsOwnTargets();
    void notANumberInACounterEndsWithRuntimeError();
    void exitCaptionInEveryPhase_data();
    void exitCaptionInEveryPhase();

    void refereeSleepsWhileWaitingAndTheStartWakesIt();
    void everyShotIsJudgedBeforeTheNextOne_data();
    void everyShotIsJudgedBeforeTheNextOne();
    void hundredthKillWinsAndNothingStartsATimerAgain();
};

void GameRules::startShowsNothingUntilTheRefereeTicks()
{
    Game g;
    QVERIFY(g.f.Timer2.Enabled());
    QVERIFY(!g.f.Timer1.Enabled());
    g.referee();
    QCOMPARE(g.caption(g.f.Label10), "13");
    for (rt::Image* t : g.f.targets)
        QVERIFY(!t->Visible());

    g.start();
    QVERIFY(g.f.Timer1.Enabled());
    QVERIFY(!g.f.Image1.Visible());
    QVERIFY(!g.f.Label8.Visible());
    QCOMPARE(g.caption(g.f.Label6), "120"); // starting is no shot
    const int index = targetIndex(g);
    QVERIFY2(index >= 0 && index <= 11, qPrintable(g.caption(g.f.Label10)));
    for (rt::Image* t : g.f.targets)
        QVERIFY(!t->Visible());

    g.referee();
    QCOMPARE(g.shownTarget(), g.f.targets[index]);

    // The sign belongs to the picture; once play runs, a click on it is a miss.
    g.start();
    QCOMPARE(g.caption(g.f.Label6), "119");
}

void GameRules::hitHidesItsOwnTarget_data()
{
    QTest::addColumn<int>("index");
    for (int k = 0; k < 12; ++k)
        QTest::addRow("Image%d", k + 2) << k;
}

void GameRules::hitHidesItsOwnTarget()
{
    QFETCH(int, index);
    Game g;
    g.start();
    g.f.Label10.setCaption(std::to_string(index));
    g.referee();
    rt::Image& target = *g.f.targets[index];
    QCOMPARE(g.shownTarget(), &target);
    QCOMPARE(target.name(), "Image" + std::to_string(index + 2));

    g.shoot(target);
    QVERIFY(!target.Visible());
    QCOMPARE(g.caption(g.f.Label6), "119");
    QCOMPARE(g.caption(g.f.Label5), "1");
    QVERIFY(targetIndex(g) >= 0 && targetIndex(g) <= 11);
}

void GameRules::wholeGameToTheWin()
{
    Game g(7);
    g.start();
    g.referee();
    for (int kill = 1; kill <= 100; ++kill) {
        rt::Image* target = g.shownTarget();
        QVERIFY2(target, "exactly one target is shown in play");
        g.shoot(*target);
        if (kill % 3 == 0)
            g.form.tick(g.f.Timer1);
        if (kill % 10 == 0)
            g.miss();
        g.referee();
    }
    QCOMPARE(g.caption(g.f.Label5), "100");
    QCOMPARE(g.caption(g.f.Label6), "10");
    QCOMPARE(g.caption(g.f.Label7), "33");
    QVERIFY(!g.f.Timer1.Enabled());
    QVERIFY(!g.f.Timer2.Enabled());
    QVERIFY(g.f.Label11.Visible());
    QVERIFY(g.f.Label12.Visible());
    QCOMPARE(g.caption(g.f.Label12), g.caption(g.f.Label7));
    QVERIFY(g.host.boxes.empty());
    QVERIFY(!g.form.ended());

    // The target chosen by the winning hit stays and can still be shot, but
    // nothing brings another one: the referee has stopped.
    rt::Image* last = g.shownTarget();
    QVERIFY(last);
    g.shoot(*last);
    g.referee();
    g.form.tick(g.f.Timer1);
    QCOMPARE(g.caption(g.f.Label5), "101");
    QCOMPARE(g.caption(g.f.Label6), "9");
    QCOMPARE(g.caption(g.f.Label7), "33");
    for (rt::Image* t : g.f.targets)
        QVERIFY(!t->Visible());
    g.miss();
    QCOMPARE(g.caption(g.f.Label6), "8");
    QVERIFY(!g.form.ended());
}

void GameRules::wholeGameToTheLoss_data()
{
    QTest::addColumn<bool>("startFirst");
    QTest::addColumn<int>("hits");
    QTest::newRow("120 misses before play") << false << 0;
    QTest::newRow("120 misses in play") << true << 0;
    QTest::newRow("40 hits and 80 misses") << true << 40;
}

void GameRules::wholeGameToTheLoss()
{
    QFETCH(bool, startFirst);
    QFETCH(int, hits);
    Game g(3);
    if (startFirst)
        g.start();
    for (int shot = 1; shot <= 120; ++shot) {
        g.referee();
        rt::Image* target = g.shownTarget();
        if (shot <= hits && target)
            g.shoot(*target);
        else
            g.miss();
        QCOMPARE(g.form.ended(), false);
    }
    QCOMPARE(g.caption(g.f.Label6), "0");
    g.referee();
    QCOMPARE(g.host.boxes, std::vector<std::string>{lossText.toStdString()});
    QVERIFY(g.form.ended());
    QCOMPARE(g.form.exitStatus(), 0);
    QCOMPARE(g.host.ends, std::vector<int>{0});
    QVERIFY(!g.f.Timer1.Enabled());
    QVERIFY(!g.f.Timer2.Enabled());

    // After the end nothing runs: no shot, no tick, no second box.
    g.miss();
    g.referee();
    g.form.tick(g.f.Timer1);
    g.form.clickAt(388, 460); // the exit caption
    QCOMPARE(g.caption(g.f.Label6), "0");
    QCOMPARE(g.host.boxes.size(), size_t(1));
    QCOMPARE(g.host.ends.size(), size_t(1));
}

void GameRules::refereeCatchesCountersThatSkipTheirEndValue_data()
{
    QTest::addColumn<QString>("ammunition");
    QTest::addColumn<QString>("kills");
    QTest::addColumn<QString>("outcome");
    QTest::newRow("ammunition passed 0 between ticks") << "-1" << "50" << "lost";
    QTest::newRow("kills passed 100 between ticks") << "5" << "101" << "won";
    QTest::newRow("last cartridge on the hundredth kill") << "0" << "100" << "lost";
    QTest::newRow("hundredth kill with cartridges left") << "3" << "100" << "won";
    QTest::newRow("one cartridge, one kill to go") << "1" << "99" << "playing";
}

void GameRules::refereeCatchesCountersThatSkipTheirEndValue()
{
    QFETCH(QString, ammunition);
    QFETCH(QString, kills);
    QFETCH(QString, outcome);
    Game g;
    g.start();
    g.form.tick(g.f.Timer1);
    g.f.Label6.setCaption(ammunition.toStdString());
    g.f.Label5.setCaption(kills.toStdString());
    g.referee();

    QCOMPARE(g.form.ended(), outcome == "lost");
    QCOMPARE(g.host.boxes.size(), size_t(outcome == "lost" ? 1 : 0));
    QCOMPARE(g.f.Label11.Visible(), outcome == "won");
    QCOMPARE(g.f.Timer2.Enabled(), outcome == "playing");
    if (outcome == "won")
        QCOMPARE(g.caption(g.f.Label12), "1");
    QVERIFY(g.shownTarget()); // the chosen target is shown before the end tests
}

void GameRules::shotsOnlyWhereNoShownControlLies_data()
{
    QTest::addColumn<bool>("inPlay");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<QString>("ammunition");
    QTest::newRow("instructions before play") << false << 140 << 100 << "120";
    QTest::newRow("instructions' place in play") << true << 140 << 100 << "119";
    QTest::newRow("ammunition title") << true << 10 << 430 << "120";
    QTest::newRow("ammunition counter") << true << 110 << 438 << "120";
    QTest::newRow("time title") << true << 230 << 446 << "120";
    QTest::newRow("time counter") << true << 280 << 430 << "120";
    QTest::newRow("kills title") << true << 10 << 450 << "120";
    QTest::newRow("kills counter") << true << 190 << 450 << "120";
    QTest::newRow("credit line") << true << 210 << 468 << "120";
    QTest::newRow("hidden target before play") << false << 150 << 20 << "119";
    QTest::newRow("hidden win message") << true << 125 << 170 << "119";
    QTest::newRow("hidden target index") << true << 30 << 350 << "119";
    QTest::newRow("status strip between labels") << true << 330 << 430 << "119";
}

void GameRules::shotsOnlyWhereNoShownControlLies()
{
    QFETCH(bool, inPlay);
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(QString, ammunition);
    Game g;
    if (inPlay)
        g.start();
    g.form.clickAt(x, y);
    QCOMPARE(g.caption(g.f.Label6), ammunition);
    QCOMPARE(g.caption(g.f.Label5), "0");
}

void GameRules::clockCountsTicksOfPlay()
{
    Game g;
    g.form.tick(g.f.Timer1); // stopped before play
    QCOMPARE(g.caption(g.f.Label7), "0");
    g.start();
    for (int i = 0; i < 12; ++i)
        g.form.tick(g.f.Timer1);
    QCOMPARE(g.caption(g.f.Label7), "12");
}

void GameRules::targetIndexIsAWholeNumberFrom0To11()
{
    Game g(11);
    std::set<QString> seen;
    for (int i = 0; i < 20000; ++i) {
        skeetra::chooseTargetIndex(g.f.Label10);
        seen.insert(g.caption(g.f.Label10));
    }
    std::set<QString> all;
    for (int k = 0; k < 12; ++k)
        all.insert(QString::number(k));
    QCOMPARE(seen, all);
    // The largest number below 1 must not round up to a thirteenth target.
    QCOMPARE(rt::integerPart(std::nextafter(1.0f, 0.0f) * 12.0f), 11.0f);
}

void GameRules::clockSeedingGivesEachRunItsOwnTargets()
{
    auto run = [] {
        Game g;
        g.form.load(); // seeds from the clock again
        std::string targets;
        for (int i = 0; i < 24; ++i) {
            skeetra::chooseTargetIndex(g.f.Label10);
            targets += g.f.Label10.Caption() + ' ';
        }
        return targets;
    };
    const std::string first = run();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    QVERIFY(first != run());
}

void GameRules::notANumberInACounterEndsWithRuntimeError()
{
    Game g;
    g.f.Label6.setCaption("сто");
    g.miss();
    QCOMPARE(g.host.errors, std::vector<int>{13});
    QVERIFY(g.form.ended());
    QCOMPARE(g.form.exitStatus(), rt::kRuntimeErrorStatus);
}

void GameRules::exitCaptionInEveryPhase_data()
{
    QTest::addColumn<QString>("phase");
    QTest::newRow("waiting") << "waiting";
    QTest::newRow("playing") << "playing";
    QTest::newRow("won") << "won";
}

void GameRules::exitCaptionInEveryPhase()
{
    QFETCH(QString, phase);
    Game g;
    if (phase != "waiting") {
        g.start();
        g.referee();
    }
    if (phase == "won") {
        g.f.Label5.setCaption("100");
        g.referee();
        QVERIFY(g.f.Label11.Visible());
    }
    g.form.clickAt(400, 470); // below the caption's text, inside its rectangle
    QVERIFY(g.form.ended());
    QCOMPARE(g.host.ends, std::vector<int>{0});
    QVERIFY(g.host.boxes.empty());
    QVERIFY(!g.f.Timer1.Enabled());
    QVERIFY(!g.f.Timer2.Enabled());
}

void GameRules::refereeSleepsWhileWaitingAndTheStartWakesIt()
{
    PacedGame g;
    g.platformTick(g.f.Timer2);
    QCOMPARE(g.timerLog(), Log{"Timer2 stopped"});
    QVERIFY(g.f.Timer2.Enabled());
    QVERIFY(!g.f.Timer2.running());

    // The start wakes the referee, whose tick shows the chosen target before
    // the click has been delivered in full, so before any further click.
    g.start();
    QCOMPARE(g.timerLog(), (Log{"Timer1 started", "Timer2 started"}));
    const int index = targetIndex(g);
    QVERIFY(index >= 0 && index <= 11);
    QCOMPARE(g.shownTarget(), g.f.targets[index]);
    QCOMPARE(g.caption(g.f.Label6), "120");

    // Its next tick changes nothing. The clock's ticks each wake it for one
    // tick; the clock itself is never stopped or started again.
    g.platformTick(g.f.Timer2);
    QCOMPARE(g.timerLog(), Log{"Timer2 stopped"});
    for (int i = 0; i < 3; ++i)
        g.platformTick(g.f.Timer1);
    QCOMPARE(g.caption(g.f.Label7), "3");
    QCOMPARE(g.timerLog(), (Log{"Timer2 started", "Timer2 stopped", "Timer2 started", "Timer2 stopped",
                                "Timer2 started", "Timer2 stopped"}));
    QVERIFY(g.f.Timer1.running());
}

void GameRules::everyShotIsJudgedBeforeTheNextOne_data()
{
    QTest::addColumn<bool>("startFirst");
    QTest::addColumn<int>("everyNthShotHits"); // 0: misses only
    QTest::newRow("misses while waiting") << false << 0;
    QTest::newRow("misses in play") << true << 0;
    QTest::newRow("hits and misses by turns") << true << 2;
    QTest::newRow("a hit every third shot") << true << 3;
}

// A storm of shots with no platform tick between them: the referee answers
// each at once, so the ammunition stops at exactly 0 under one loss box.
void GameRules::everyShotIsJudgedBeforeTheNextOne()
{
    QFETCH(bool, startFirst);
    QFETCH(int, everyNthShotHits);
    PacedGame g(5);
    g.platformTick(g.f.Timer2);
    if (startFirst)
        g.start();
    int hits = 0;
    for (int shot = 1; shot <= 130; ++shot) {
        rt::Image* target = g.shownTarget();
        if (everyNthShotHits && shot % everyNthShotHits == 0 && target && !g.form.ended()) {
            QVERIFY(target->Visible());
            g.shoot(*target);
            ++hits;
        } else {
            g.miss();
        }
    }
    QCOMPARE(g.caption(g.f.Label6), "0");
    QCOMPARE(g.host.boxes, std::vector<std::string>{lossText.toStdString()});
    QVERIFY(g.form.ended());
    QCOMPARE(g.host.ends, std::vector<int>{0});
    // Every hit found the next target already shown.
    QCOMPARE(g.caption(g.f.Label5), QString::number(hits));
    QCOMPARE(hits, everyNthShotHits ? 120 / everyNthShotHits : 0);
}

void GameRules::hundredthKillWinsAndNothingStartsATimerAgain()
{
    PacedGame g(7);
    g.platformTick(g.f.Timer2);
    g.start();
    for (int kill = 1; kill <= 100; ++kill) {
        rt::Image* target = g.shownTarget();
        QVERIFY2(target, "the referee shows the next target right after each hit");
        g.shoot(*target);
        if (kill % 30 == 0)
            g.platformTick(g.f.Timer1);
    }
    QVERIFY(g.f.Label11.Visible());
    QCOMPARE(g.caption(g.f.Label12), "3");
    QVERIFY(!g.f.Timer1.Enabled() && !g.f.Timer2.Enabled());
    const Log log = g.timerLog();
    QCOMPARE(Log(log.end() - 2, log.end()), (Log{"Timer1 stopped", "Timer2 stopped"}));

    // Shots after the win change the form, and nothing starts again.
    g.shoot(*g.shownTarget());
    g.miss();
    g.platformTick(g.f.Timer1);
    g.platformTick(g.f.Timer2);
    QCOMPARE(g.timerLog(), Log{});
    QCOMPARE(g.caption(g.f.Label5), "101");
    QVERIFY(!g.shownTarget());
}

QTEST_APPLESS_MAIN(GameRules)
#include "tst_game_rules.moc"
