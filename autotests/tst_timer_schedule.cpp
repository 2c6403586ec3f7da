// The timer schedule every host follows, on a made-up clock: ticks on time,
// late ticks made up one by one and in order, the bound past which missed
// time is dropped, timers stopped and started meanwhile, a message box open
// during a delay, and timers that sleep.
#include "recording_host.h"
#include "timer_schedule.h"

#include <QTest>

#include <chrono>
#include <string>

using namespace std::chrono_literals;
using Time = rt::TimerSchedule::Time;

namespace {

constexpr rt::ControlDesign controls[] = {
    {.name = "Clock", .kind = rt::ControlKind::Timer, .visible = false, .interval = 800, .enabled = true},
    {.name = "Half", .kind = rt::ControlKind::Timer, .visible = false, .interval = 400, .enabled = false},
    {.name = "Idle", .kind = rt::ControlKind::Timer, .visible = false, .interval = 100, .enabled = false},
    {.name = "Count", .kind = rt::ControlKind::Label, .place = {0, 0, 300, 300}, .caption = "0"},
    {.name = "Seen", .kind = rt::ControlKind::Label, .place = {300, 0, 300, 300}, .caption = ""},
};
constexpr rt::FormDesign design{.name = "Schedule", .client = {0, 0, 1500, 1500}, .controls = controls};

// A host as the platforms are: it follows running() and tells the schedule,
// with its clock's time, of every timer that starts or stops.
struct ScheduleHost : RecordingHost {
    rt::TimerSchedule* schedule = nullptr;
    Time now{};
    void timerChanged(rt::Timer& timer) override
    {
        RecordingHost::timerChanged(timer);
        schedule->timerChanged(timer, now);
    }
};

struct Fixture {
    rt::Form form{design};
    ScheduleHost host;
    rt::TimerSchedule schedule{form};
    rt::Label& count = form.label("Count");
    std::vector<std::string> ticks; // timer names, in the order they ticked
    int clock = 0;

    Fixture()
    {
        host.followRunning = true;
        host.schedule = &schedule;
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
        form.load();
        schedule.start(0ms);
    }
    // The next due time in milliseconds, -1 for none.
    long long dueMs() const
    {
        const auto due = schedule.nextDue();
        return due ? std::chrono::duration_cast<std::chrono::milliseconds>(*due).count() : -1;
    }
    int fireAt(Time at)
    {
        host.now = at;
        return schedule.fire(at);
    }
};

} // namespace

class TimerScheduleTest : public QObject {
    Q_OBJECT
private slots:
    // One wake-up, however late, gives the clock every tick that fell due,
    // and the ticks after it stay on the schedule's own beat; up to the
    // bound, then the missed time is dropped and the clock starts afresh.
    void lateWakeUpMakesUpEveryTick_data()
    {
        QTest::addColumn<int>("wakeMs");
        QTest::addColumn<int>("ticks");
        QTest::addColumn<int>("nextDueMs");
        QTest::newRow("early") << 799 << 0 << 800;
        QTest::newRow("on time") << 800 << 1 << 1600;
        QTest::newRow("a little late") << 1599 << 1 << 1600;
        QTest::newRow("late by one tick") << 1600 << 2 << 2400;
        QTest::newRow("late by many") << 40'100 << 50 << 40'800;
        QTest::newRow("at the bound") << 61'600 << 77 << 62'400;
        QTest::newRow("past the bound") << 61'601 << 1 << 62'401;
        QTest::newRow("hours later") << 3 * 3600'000 << 1 << 3 * 3600'000 + 800;
    }
    void lateWakeUpMakesUpEveryTick()
    {
        QFETCH(int, wakeMs);
        QFETCH(int, ticks);
        QFETCH(int, nextDueMs);
        Fixture f;
        QCOMPARE(f.dueMs(), 800LL);
        QCOMPARE(f.fireAt(std::chrono::milliseconds(wakeMs)), ticks);
        QCOMPARE(f.clock, ticks);
        QCOMPARE(f.count.Caption(), std::to_string(ticks)); // each tick its own event
        QCOMPARE(f.dueMs(), (long long)nextDueMs);
        QCOMPARE(f.fireAt(std::chrono::milliseconds(nextDueMs)), 1);
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

    // A timer stopped while late owes nothing; started again, it is due one
    // interval later, as a new one. A tick that stops another timer in the
    // middle of a catch-up ends that timer's share of it.
    void timersStoppedAndStartedMeanwhile()
    {
        Fixture f;
        f.form.onClick = [&] { f.form.timer("Clock").setEnabled(!f.form.timer("Clock").Enabled()); };
        f.host.now = 3000ms; // three ticks late, and not yet woken
        f.form.click(nullptr);
        QCOMPARE(f.dueMs(), -1LL);
        QCOMPARE(f.fireAt(3000ms), 0);
        f.host.now = 5000ms;
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
        f.host.whileBoxOpen = [&] { whileOpen = f.fireAt(4900ms); };
        QCOMPARE(f.fireAt(800ms), 1);
        QCOMPARE(f.host.boxes.size(), size_t{1});
        QCOMPARE(whileOpen, 0);
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
        f.host.now = 5050ms;
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
