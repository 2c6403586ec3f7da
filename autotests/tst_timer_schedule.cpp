// The timer schedule the Form keeps for every host, on a made-up clock: ticks on time,
// late ticks made up one by one and in order however late (a minute, an
// hour, a day), timers stopped and started meanwhile, a message box open
// during a delay, timers that sleep, and a timer of interval 0.
#include "recording_host.h"
#include "timer_schedule.h"

#include <QTest>

#include <chrono>
#include <map>
#include <string>

using namespace std::chrono_literals;
using Time = rt::TimerSchedule::Time;

namespace {

constexpr rt::ControlDesign controls[] = {
    {.name = "Clock", .kind = rt::ControlKind::Timer, .visible = false, .interval = 800, .enabled = true},
    {.name = "Half", .kind = rt::ControlKind::Timer, .visible = false, .interval = 400, .enabled = false},
    {.name = "Idle", .kind = rt::ControlKind::Timer, .visible = false, .interval = 100, .enabled = false},
    {.name = "Referee", .kind = rt::ControlKind::Timer, .visible = false, .interval = 1, .enabled = false},
    {.name = "Fastest", .kind = rt::ControlKind::Timer, .visible = false, .interval = 0, .enabled = false},
    {.name = "Count", .kind = rt::ControlKind::Label, .place = {0, 0, 300, 300}, .caption = "0"},
    {.name = "Seen", .kind = rt::ControlKind::Label, .place = {300, 0, 300, 300}, .caption = ""},
};
constexpr rt::FormDesign design{.name = "Schedule", .client = {0, 0, 1500, 1500}, .controls = controls};

// A host that counts what it is asked to repaint.
struct ScheduleHost : RecordingHost {
    std::map<std::string, int> changes; // the host's repaints, by control
    void controlChanged(rt::Control& control) override { ++changes[std::string(control.name())]; }
};

struct Fixture {
    rt::Form form{design};
    ScheduleHost host;
    rt::Label& count = form.label("Count");
    std::vector<std::string> ticks; // timer names, in the order they ticked
    int clock = 0;
    int refereeTicks = 0;
    int clockEnd = 1 << 30;
    int fastest = 0;

    Fixture()
    {
        form.setHost(&host);
        // The clock and the half-time timer change the form at every tick,
        // as the game's clock does, so neither sleeps; the idle one changes
        // nothing.
        form.timer("Clock").handler = [this] {
            ticks.push_back("Clock");
            count.setCaption(std::to_string(++clock));
        };
        form.timer("Half").handler = [this] {
            ticks.push_back("Half");
            form.label("Seen").setCaption(std::to_string(ticks.size()));
        };
        form.timer("Idle").handler = [this] { ticks.push_back("Idle"); };
        // As the game's referee: it reads the form and changes it only
        // once the clock has reached its end, then stops the clock and
        // itself; until then each of its ticks changes nothing.
        form.timer("Referee").handler = [this] {
            ++refereeTicks;
            if (clock >= clockEnd) {
                form.timer("Clock").setEnabled(false);
                form.timer("Referee").setEnabled(false);
            }
        };
        form.timer("Fastest").handler = [this] { count.setCaption(std::to_string(++fastest)); };
        form.load();
        form.startTimers();
    }
    // The wake-up the host was asked for, in milliseconds; -1 for none.
    long long dueMs() const
    {
        return host.wakeUp ? std::chrono::duration_cast<std::chrono::milliseconds>(*host.wakeUp).count() : -1;
    }
    // The host's wake-up comes at `at`.
    int fireAt(Time at)
    {
        host.clock = at;
        return static_cast<int>(form.wake());
    }
};

} // namespace

class TimerScheduleTest : public QObject {
    Q_OBJECT
private slots:
    // One wake-up, however late, gives the clock every tick that fell due,
    // in order, and the ticks after it stay on the schedule's own beat: a
    // minute, an hour or a day held up, the clock reads the time since it
    // started. The referee, woken by each tick of the clock, ticks once
    // after it and sleeps again; and the host hears of the changed label
    // once, not once a tick, and is asked for its next wake-up once.
    void lateWakeUpMakesUpEveryTick_data()
    {
        QTest::addColumn<qint64>("wakeMs");
        QTest::addColumn<int>("ticks");
        QTest::addColumn<qint64>("nextDueMs");
        QTest::newRow("early") << qint64(799) << 0 << qint64(800);
        QTest::newRow("on time") << qint64(800) << 1 << qint64(1600);
        QTest::newRow("a little late") << qint64(1599) << 1 << qint64(1600);
        QTest::newRow("late by one tick") << qint64(1600) << 2 << qint64(2400);
        QTest::newRow("late by many") << qint64(40'100) << 50 << qint64(40'800);
        QTest::newRow("a minute late") << qint64(60'000) << 75 << qint64(60'800);
        QTest::newRow("70 s late") << qint64(70'000) << 87 << qint64(70'400);
        QTest::newRow("an hour late") << qint64(3'600'000) << 4500 << qint64(3'600'800);
        QTest::newRow("a day late") << qint64(86'400'000) << 108'000 << qint64(86'400'800);
    }
    void lateWakeUpMakesUpEveryTick()
    {
        QFETCH(qint64, wakeMs);
        QFETCH(int, ticks);
        QFETCH(qint64, nextDueMs);
        Fixture f;
        f.form.timer("Referee").setEnabled(true);
        QCOMPARE(f.fireAt(1ms), 1); // its first tick changes nothing: it sleeps
        QVERIFY(!f.form.timer("Referee").running());
        f.ticks.clear();
        f.refereeTicks = 0;
        f.host.changes.clear();

        QCOMPARE(f.dueMs(), 800LL);
        const int asked = f.host.wakeUpsAsked;
        QCOMPARE(f.fireAt(std::chrono::milliseconds(wakeMs)), ticks);
        // Once, after the last tick; also after an early wake-up, which
        // the host no longer holds.
        QCOMPARE(f.host.wakeUpsAsked, asked + 1);
        QCOMPARE(f.clock, ticks);
        QCOMPARE(f.count.Caption(), std::to_string(ticks)); // each tick its own event
        QCOMPARE(f.refereeTicks, ticks);
        QCOMPARE(f.host.changes["Count"], ticks > 0 ? 1 : 0);
        QVERIFY(!f.form.timer("Referee").running());
        QCOMPARE(f.dueMs(), (long long)nextDueMs);
        QCOMPARE(f.fireAt(std::chrono::milliseconds(nextDueMs)), 1);
        QCOMPARE(f.host.changes["Count"], ticks > 0 ? 2 : 1);
    }

    // The referee ends play in the middle of a day's hold-up: the clock
    // stops at the tick that ended it, and nothing after that is due.
    void playEndingDuringTheHoldUpStopsTheClockThere()
    {
        Fixture f;
        f.clockEnd = 100;
        f.form.timer("Referee").setEnabled(true);
        QCOMPARE(f.fireAt(86'400'000ms), 101); // the referee's first tick, and the clock's hundred
        QCOMPARE(f.clock, 100);
        QCOMPARE(f.count.Caption(), "100");
        QVERIFY(!f.form.timer("Clock").Enabled());
        QVERIFY(!f.form.timer("Referee").Enabled());
        QCOMPARE(f.dueMs(), -1LL);
    }

    // A timer of interval 0 ticks as fast as a millisecond allows: a
    // wake-up 5 ms late gives it five ticks, and fire() returns.
    void intervalZeroTicksOnceAMillisecond()
    {
        Fixture f;
        f.form.timer("Clock").setEnabled(false);
        f.host.clock = 10ms;
        f.form.timer("Fastest").setEnabled(true);
        QCOMPARE(f.dueMs(), 11LL);
        QCOMPARE(f.fireAt(15ms), 5);
        QCOMPARE(f.fastest, 5);
        QCOMPARE(f.dueMs(), 16LL);
    }

    // Made-up ticks of several timers come as they fell due; timers due at
    // the same moment tick in the order of the design.
    void catchUpKeepsTheOrderOfDueTimes()
    {
        Fixture f;
        f.form.timer("Half").setEnabled(true);
        QCOMPARE(f.dueMs(), 400LL);
        QCOMPARE(f.fireAt(1700ms), 6);
        const std::vector<std::string> expected{"Half", "Clock", "Half", "Half", "Clock", "Half"};
        QCOMPARE(f.ticks, expected);
        QCOMPARE(f.dueMs(), 2000LL);
    }

    // A timer started by a made-up tick is due one interval after that
    // tick was due, not after the late wake-up, and its ticks take their
    // places among those still to be made up.
    void timerStartedByALateTickKeepsItsPlace()
    {
        Fixture f;
        f.form.timer("Clock").handler = [&] {
            f.ticks.push_back("Clock");
            f.count.setCaption(std::to_string(++f.clock));
            f.form.timer("Half").setEnabled(true);
        };
        QCOMPARE(f.fireAt(2000ms), 5);
        const std::vector<std::string> expected{"Clock", "Half", "Clock", "Half", "Half"};
        QCOMPARE(f.ticks, expected);
        QCOMPARE(f.dueMs(), 2400LL);
    }

    // A timer stopped while late owes nothing; started again, it is due one
    // interval later, as a new one. A tick that stops another timer in the
    // middle of a catch-up ends that timer's share of it.
    void timersStoppedAndStartedMeanwhile()
    {
        Fixture f;
        f.form.onClick = [&] { f.form.timer("Clock").setEnabled(!f.form.timer("Clock").Enabled()); };
        f.host.clock = 3000ms; // three ticks late, and not yet woken
        f.form.click(nullptr);
        QCOMPARE(f.dueMs(), -1LL);
        QCOMPARE(f.fireAt(3000ms), 0);
        f.host.clock = 5000ms;
        f.form.click(nullptr);
        QCOMPARE(f.fireAt(5799ms), 0);
        QCOMPARE(f.fireAt(5800ms), 1);

        f.ticks.clear();
        f.form.timer("Half").setEnabled(true); // due at 6200, 6600, 7000, ...
        f.form.timer("Clock").handler = [&] {
            f.ticks.push_back("Clock");
            f.form.timer("Half").setEnabled(false);
        };
        // Both due at 6600: the clock first, and the 6600 and 7000 ticks of
        // the other timer never come.
        QCOMPARE(f.fireAt(7000ms), 2);
        QCOMPARE(f.ticks, std::vector<std::string>({"Half", "Clock"}));
        QCOMPARE(f.dueMs(), 7400LL);
    }

    // While a box waits for the player no tick is taken, and none is held
    // for later: the clock resumes on its beat once the box is answered.
    void boxOpenDuringTheDelay()
    {
        Fixture f;
        f.form.timer("Clock").handler = [&] {
            f.count.setCaption(std::to_string(++f.clock));
            if (f.clock == 1)
                rt::messageBox("wait");
        };
        int whileOpen = -1;
        int countShownUnderTheBox = -1;
        f.host.whileBoxOpen = [&] {
            countShownUnderTheBox = f.host.changes["Count"];
            whileOpen = f.fireAt(4900ms);
        };
        QCOMPARE(f.fireAt(800ms), 1);
        QCOMPARE(f.host.boxes.size(), size_t{1});
        QCOMPARE(whileOpen, 0);
        QCOMPARE(countShownUnderTheBox, 1); // the box opens over the tick's change
        QCOMPARE(f.dueMs(), 5600LL);
        QCOMPARE(f.fireAt(5599ms), 0);
        QCOMPARE(f.fireAt(5600ms), 1);
        QCOMPARE(f.clock, 2);
    }

    // A timer whose tick changes nothing sleeps and has no due time; a
    // change wakes it, and it ticks inside that event, not from the schedule.
    // After the program's end nothing is due.
    void sleepingTimersHaveNoDueTime()
    {
        Fixture f;
        f.form.timer("Clock").setEnabled(false);
        f.form.timer("Idle").setEnabled(true);
        QCOMPARE(f.dueMs(), 100LL);
        QCOMPARE(f.fireAt(1000ms), 1); // nine more fell due, but the first put it to sleep
        QVERIFY(!f.form.timer("Idle").running());
        QCOMPARE(f.dueMs(), -1LL);
        QCOMPARE(f.fireAt(5000ms), 0);

        f.form.onClick = [&] { f.count.setCaption("changed"); };
        f.host.clock = 5050ms;
        f.form.click(nullptr);
        QCOMPARE(f.ticks, std::vector<std::string>({"Idle", "Idle"}));
        QCOMPARE(f.dueMs(), -1LL); // that tick changed nothing either

        f.form.timer("Clock").setEnabled(true);
        f.form.close();
        QCOMPARE(f.dueMs(), -1LL);
        QCOMPARE(f.fireAt(10'000ms), 0);
    }
};

QTEST_GUILESS_MAIN(TimerScheduleTest)
#include "tst_timer_schedule.moc"
