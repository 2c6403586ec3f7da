// Event delivery of the forms runtime: which control takes a click, one event
// at a time, program end and runtime errors, and timers that sleep while
// their ticks would change nothing.
#include "form1_design.h"
#include "recording_host.h"

#include <QTest>

#include <utility>

namespace {

// A window with one label over one picture, a picture under nothing, and a timer.
constexpr rt::ControlDesign controls[] = {
    {.name = "Tick", .kind = rt::ControlKind::Timer, .visible = false, .interval = 1, .enabled = true},
    {.name = "Top", .kind = rt::ControlKind::Label, .place = {150, 150, 300, 300}, .caption = "x"},
    {.name = "Under", .kind = rt::ControlKind::Image, .place = {0, 0, 600, 600}},
};
constexpr rt::FormDesign design{.name = "Test", .client = {0, 0, 1500, 1500}, .controls = controls};

struct Fixture {
    rt::Form form{design};
    RecordingHost host;
    std::vector<std::string> ran;
    Fixture()
    {
        form.setHost(&host);
        form.onClick = [this] { ran.push_back("Form_Click"); };
        form.image("Under").handler = [this] { ran.push_back("Under_Click"); };
        form.timer("Tick").handler = [this] { ran.push_back("Tick_Timer"); };
    }
};

// Two timers, two labels and a picture; the timers started on the host's
// clock, so that they sleep as on every platform, unless a test says not.
constexpr rt::ControlDesign sleepControls[] = {
    {.name = "A", .kind = rt::ControlKind::Timer, .visible = false, .interval = 1, .enabled = true},
    {.name = "B", .kind = rt::ControlKind::Timer, .visible = false, .interval = 800, .enabled = false},
    {.name = "Text", .kind = rt::ControlKind::Label, .place = {0, 0, 300, 300}, .caption = "x"},
    {.name = "Other", .kind = rt::ControlKind::Label, .place = {300, 0, 300, 300}, .caption = ""},
    {.name = "Mark", .kind = rt::ControlKind::Image, .place = {600, 0, 300, 300}},
};
constexpr rt::FormDesign sleepDesign{.name = "Sleep", .client = {0, 0, 1500, 1500}, .controls = sleepControls};
constexpr int kBareX = 50, kBareY = 50;

struct Sleepers {
    rt::Form form{sleepDesign};
    RecordingHost host;
    rt::Timer& a = form.timer("A");
    rt::Timer& b = form.timer("B");
    rt::Label& text = form.label("Text");
    rt::Label& other = form.label("Other");
    rt::Image& mark = form.image("Mark");

    explicit Sleepers(bool started = true)
    {
        form.setHost(&host);
        if (started)
            form.startTimers();
        onTick(a, [] {});
        onTick(b, [] {});
    }
    // The tick is logged among the host's starts and stops.
    void onTick(rt::Timer& timer, std::function<void()> what)
    {
        timer.handler = [this, &timer, what] {
            host.timerLog.push_back(std::string(timer.name()) + " ticks");
            what();
        };
    }
    void onClick(std::function<void()> what)
    {
        form.onClick = [this, what] {
            host.timerLog.push_back("click");
            what();
        };
    }
    // What the platform does: a stopped timer does not tick.
    void platformTick(rt::Timer& timer)
    {
        if (timer.running())
            form.tick(timer);
    }
    std::vector<std::string> log() { return std::exchange(host.timerLog, {}); }
};

using Log = std::vector<std::string>;

// What a handler may do, by name, for tables of cases.
std::function<void()> action(Sleepers& s, const QString& name)
{
    if (name == "nothing") return [] {};
    if (name == "same caption") return [&s] { s.text.setCaption("x"); };
    if (name == "same Visible") return [&s] { s.mark.setVisible(true); };
    if (name == "reads and converts") return [&s] { rt::doubleToText(rt::textToDouble("12") + s.text.Caption().size()); };
    if (name == "new caption") return [&s] { s.text.setCaption(s.text.Caption() + "y"); };
    if (name == "new Visible") return [&s] { s.mark.setVisible(!s.mark.Visible()); };
    if (name == "random number") return [] { rt::nextRandom(); };
    if (name == "randomize") return [] { rt::randomize(); };
    if (name == "timer enabled") return [&s] { s.b.setEnabled(!s.b.Enabled()); };
    if (name == "message box") return [] { rt::messageBox("m"); };
    if (name == "program end") return [] { rt::endProgram(); };
    if (name == "runtime error") return [] { rt::textToDouble("x"); };
    qFatal("no action %s", qPrintable(name));
}

} // namespace

class FormEvents : public QObject {
    Q_OBJECT
private slots:
    void clickGoesToTopmostShownControl_data();
    void clickGoesToTopmostShownControl();
    void unhandledLabelSwallowsItsClick();
    void aClickIsAPressAndAReleaseOnTheSameControl_data();
    void aClickIsAPressAndAReleaseOnTheSameControl();
    void endProgramStopsEverything();
    void runtimeErrorEndsProgramWithItsStatus();
    void nothingEntersWhileMessageBoxIsOpen();

    void quietTimerSleepsUntilTheFormChanges();
    void whatCountsAsAChange_data();
    void whatCountsAsAChange();
    void aTickThatChangesTheFormWakesTheOthers_data();
    void aTickThatChangesTheFormWakesTheOthers();
    void wokenTimersAnswerEveryChangeOfTheirEvent();
    void timersAnsweringEachOtherEndTheirEvent();
    void untilTheTimersStartEveryHandTickIsDelivered();
    void reEnabledTimerStartsAfresh_data();
    void reEnabledTimerStartsAfresh();
    void platformTickEndsTheWaking();
};

void FormEvents::clickGoesToTopmostShownControl_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<QStringList>("hide");
    QTest::addColumn<QStringList>("show");
    QTest::addColumn<QString>("taker");
    const QStringList none;
    QTest::newRow("start sign") << 136 << 288 << none << none << "Image1";
    QTest::newRow("start sign's last pixel") << 288 << 328 << none << none << "Image1";
    QTest::newRow("just right of the start sign") << 289 << 300 << none << none << "Form1";
    QTest::newRow("just below the start sign") << 200 << 329 << none << none << "Form1";
    QTest::newRow("start sign hidden") << 200 << 300 << QStringList{"Image1"} << none << "Form1";
    QTest::newRow("instructions") << 300 << 160 << none << none << "Label8";
    QTest::newRow("hidden target") << 140 << 10 << none << none << "Form1";
    QTest::newRow("shown target") << 140 << 10 << none << QStringList{"Image2"} << "Image2";
    QTest::newRow("shown target's corner") << 178 << 54 << none << QStringList{"Image2"} << "Image2";
    QTest::newRow("target under instructions' row") << 200 << 190 << none << QStringList{"Image5"} << "Image5";
    QTest::newRow("win message over the instructions") << 140 << 130 << none << QStringList{"Label11"} << "Label11";
    QTest::newRow("final time over the win message") << 230 << 150 << none << QStringList{"Label11", "Label12"} << "Label12";
    QTest::newRow("exit caption's empty corner") << 424 << 472 << none << none << "Label1";
    QTest::newRow("kills title's overlap with kills") << 152 << 445 << none << none << "Label5";
    QTest::newRow("credit line below its text") << 210 << 471 << none << none << "Label9";
    QTest::newRow("status strip, bare") << 340 << 430 << none << none << "Form1";
    QTest::newRow("hidden target index") << 30 << 350 << none << none << "Form1";
    QTest::newRow("shown target index") << 30 << 350 << none << QStringList{"Label10"} << "Label10";
    QTest::newRow("timer's design place") << 288 << 200 << none << none << "Form1";
}

void FormEvents::clickGoesToTopmostShownControl()
{
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(QStringList, hide);
    QFETCH(QStringList, show);
    QFETCH(QString, taker);
    rt::Form form(skeetra::form1Design());
    for (const QString& name : hide)
        form.find(name.toStdString())->setVisible(false);
    for (const QString& name : show)
        form.find(name.toStdString())->setVisible(true);
    const rt::Control* c = form.controlAt(x, y);
    QCOMPARE(c ? QString::fromUtf8(c->name().data(), c->name().size()) : QStringLiteral("Form1"), taker);
}

void FormEvents::aClickIsAPressAndAReleaseOnTheSameControl_data()
{
    QTest::addColumn<QPoint>("pressAt"); // (-1, -1): no press
    QTest::addColumn<bool>("cancelled");
    QTest::addColumn<QPoint>("releaseAt");
    QTest::addColumn<QStringList>("ran");
    const QPoint none(-1, -1);
    QTest::newRow("on the picture") << QPoint(5, 5) << false << QPoint(35, 2) << QStringList{"Under_Click"};
    QTest::newRow("on the bare window") << QPoint(50, 50) << false << QPoint(99, 99) << QStringList{"Form_Click"};
    QTest::newRow("picture to window") << QPoint(5, 5) << false << QPoint(50, 50) << QStringList{};
    QTest::newRow("window to picture") << QPoint(50, 50) << false << QPoint(5, 5) << QStringList{};
    QTest::newRow("picture to the label over it") << QPoint(5, 5) << false << QPoint(12, 12) << QStringList{};
    QTest::newRow("released right of the window") << QPoint(50, 50) << false << QPoint(100, 50) << QStringList{};
    QTest::newRow("released above the window") << QPoint(50, 0) << false << QPoint(50, -1) << QStringList{};
    QTest::newRow("released left of the window") << QPoint(50, 50) << false << QPoint(-1, 50) << QStringList{};
    QTest::newRow("released below the window") << QPoint(50, 50) << false << QPoint(50, 100) << QStringList{};
    QTest::newRow("released with no press") << none << false << QPoint(50, 50) << QStringList{};
    QTest::newRow("press taken away") << QPoint(50, 50) << true << QPoint(50, 50) << QStringList{};
}

void FormEvents::aClickIsAPressAndAReleaseOnTheSameControl()
{
    QFETCH(QPoint, pressAt);
    QFETCH(bool, cancelled);
    QFETCH(QPoint, releaseAt);
    QFETCH(QStringList, ran);
    Fixture t;
    if (pressAt != QPoint(-1, -1))
        t.form.press(pressAt.x(), pressAt.y());
    if (cancelled)
        t.form.cancelPress();
    t.form.release(releaseAt.x(), releaseAt.y());
    t.form.release(releaseAt.x(), releaseAt.y()); // a release takes its press with it
    QStringList got;
    for (const std::string& name : t.ran)
        got << QString::fromStdString(name);
    QCOMPARE(got, ran);
}

void FormEvents::unhandledLabelSwallowsItsClick()
{
    Fixture t;
    t.form.clickAt(12, 12); // the label, over the picture, handles nothing
    t.form.clickAt(5, 5);   // the picture alone
    t.form.clickAt(50, 50); // bare
    t.form.image("Under").setVisible(false);
    t.form.clickAt(5, 5);
    QCOMPARE(t.ran, (std::vector<std::string>{"Under_Click", "Form_Click", "Form_Click"}));
}

void FormEvents::endProgramStopsEverything()
{
    Fixture t;
    bool after = false;
    t.form.onClick = [&] {
        rt::endProgram();
        after = true;
    };
    t.form.clickAt(50, 50);
    QVERIFY(!after);
    QVERIFY(t.form.ended());
    QCOMPARE(t.host.ends, std::vector<int>{0});
    QVERIFY(!t.form.timer("Tick").Enabled());
    t.form.tick(t.form.timer("Tick"));
    t.form.clickAt(5, 5);
    t.form.close();
    QVERIFY(t.ran.empty());
    QCOMPARE(t.host.ends.size(), size_t(1));
}

void FormEvents::runtimeErrorEndsProgramWithItsStatus()
{
    Fixture t;
    bool after = false;
    t.form.onClick = [&] {
        rt::textToDouble("abc");
        after = true;
    };
    t.form.clickAt(50, 50);
    QVERIFY(!after);
    QCOMPARE(t.host.errors, std::vector<int>{13});
    QCOMPARE(t.host.ends, std::vector<int>{rt::kRuntimeErrorStatus});
    QCOMPARE(t.form.exitStatus(), rt::kRuntimeErrorStatus);
    t.form.clickAt(5, 5);
    QVERIFY(t.ran.empty());
}

void FormEvents::nothingEntersWhileMessageBoxIsOpen()
{
    Fixture t;
    int boxes = 0;
    t.form.timer("Tick").handler = [&] {
        ++boxes;
        rt::messageBox("box");
        rt::endProgram();
    };
    // While the box is open the platform keeps delivering ticks and clicks.
    t.host.whileBoxOpen = [&] {
        for (int i = 0; i < 3; ++i) {
            t.form.tick(t.form.timer("Tick"));
            t.form.clickAt(50, 50);
        }
        // Closing the window while the box is open ends the program first.
        t.form.close();
    };
    t.form.tick(t.form.timer("Tick"));
    QCOMPARE(boxes, 1);
    QVERIFY(t.ran.empty());
    QCOMPARE(t.host.boxes.size(), size_t(1));
    QCOMPARE(t.host.ends, std::vector<int>{0});
}

void FormEvents::quietTimerSleepsUntilTheFormChanges()
{
    Sleepers s;
    s.platformTick(s.a);
    QCOMPARE(s.log(), (Log{"A ticks", "A stopped"}));
    QVERIFY(s.a.Enabled());
    QVERIFY(!s.a.running());
    s.platformTick(s.a);
    QCOMPARE(s.log(), Log{});

    // A click that changes the form wakes it, and it ticks before the click
    // has been delivered in full; changing nothing, it sleeps again.
    s.onClick([&s] { s.text.setCaption("y"); });
    s.form.clickAt(kBareX, kBareY);
    QCOMPARE(s.log(), (Log{"click", "A started", "A ticks", "A stopped"}));
    QVERIFY(s.a.Enabled());

    // Changed from outside any handler, the form wakes it to tick at its
    // platform timer's pace.
    s.text.setCaption("z");
    QCOMPARE(s.log(), Log{"A started"});
    s.platformTick(s.a);
    QCOMPARE(s.log(), (Log{"A ticks", "A stopped"}));

    // Disabled while asleep and enabled again, it starts as any timer does.
    s.a.setEnabled(false);
    QCOMPARE(s.log(), Log{});
    s.a.setEnabled(true);
    QCOMPARE(s.log(), Log{"A started"});
    QVERIFY(s.a.running());
}

void FormEvents::whatCountsAsAChange_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<bool>("change");
    QTest::newRow("nothing") << "nothing" << false;
    QTest::newRow("a caption written with the text it has") << "same caption" << false;
    QTest::newRow("Visible set to what it is") << "same Visible" << false;
    QTest::newRow("reading and converting") << "reads and converts" << false;
    QTest::newRow("a new caption") << "new caption" << true;
    QTest::newRow("a new Visible") << "new Visible" << true;
    QTest::newRow("a random number drawn") << "random number" << true;
    QTest::newRow("the generator seeded") << "randomize" << true;
    QTest::newRow("another timer enabled") << "timer enabled" << true;
    QTest::newRow("a message box") << "message box" << true;
}

void FormEvents::whatCountsAsAChange()
{
    QFETCH(QString, what);
    QFETCH(bool, change);

    // Done in a tick: the timer goes on only if it changed something.
    {
        Sleepers s;
        s.onTick(s.a, action(s, what));
        s.platformTick(s.a);
        QCOMPARE(s.a.running(), change);
        QVERIFY(s.a.Enabled());
    }
    // Done in a click: it wakes a sleeping timer only if it changed something.
    {
        Sleepers s;
        s.platformTick(s.a);
        s.log();
        s.onClick(action(s, what));
        s.form.clickAt(kBareX, kBareY);
        Log ofA;
        for (const std::string& entry : s.log())
            if (entry.starts_with("A "))
                ofA.push_back(entry);
        QCOMPARE(ofA, change ? (Log{"A started", "A ticks", "A stopped"}) : Log{});
    }
}

void FormEvents::aTickThatChangesTheFormWakesTheOthers_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<int>("status"); // -1: the program goes on
    QTest::newRow("a new caption") << "new caption" << -1;
    QTest::newRow("a random number drawn") << "random number" << -1;
    QTest::newRow("a message box") << "message box" << -1;
    QTest::newRow("the program's end") << "program end" << 0;
    QTest::newRow("a runtime error") << "runtime error" << rt::kRuntimeErrorStatus;
}

void FormEvents::aTickThatChangesTheFormWakesTheOthers()
{
    QFETCH(QString, what);
    QFETCH(int, status);
    Sleepers s;
    s.platformTick(s.a);
    s.b.setEnabled(true);
    QCOMPARE(s.log(), (Log{"A ticks", "A stopped", "A started", "B started"}));
    s.platformTick(s.a); // enabling B was a change; A slept through none of it
    s.log();

    s.onTick(s.b, action(s, what));
    s.platformTick(s.b);
    if (status >= 0) {
        // The program's end stops everything at once; nothing answers it.
        QCOMPARE(s.log(), Log{"B ticks"});
        QVERIFY(s.form.ended());
        QCOMPARE(s.host.ends, std::vector<int>{status});
        QVERIFY(!s.a.Enabled() && !s.b.Enabled());
        return;
    }
    QCOMPARE(s.log(), (Log{"B ticks", "A started", "A ticks", "A stopped"}));
    // B, changing something on every tick, keeps its rhythm: its platform
    // timer is never stopped or started again.
    for (int i = 0; i < 3; ++i)
        s.platformTick(s.b);
    QCOMPARE(s.log(), (Log{"B ticks", "A started", "A ticks", "A stopped", "B ticks", "A started", "A ticks",
                           "A stopped", "B ticks", "A started", "A ticks", "A stopped"}));
    QVERIFY(s.b.running());
}

void FormEvents::wokenTimersAnswerEveryChangeOfTheirEvent()
{
    Sleepers s;
    s.b.setEnabled(true);
    // A answers B's mark, B answers the click.
    s.onTick(s.a, [&s] {
        if (s.other.Caption() == "b")
            s.text.setCaption("a");
    });
    s.onTick(s.b, [&s] {
        if (s.text.Caption() == "go")
            s.other.setCaption("b");
    });
    s.platformTick(s.a);
    s.platformTick(s.b);
    QCOMPARE(s.log(), (Log{"B started", "A ticks", "A stopped", "B ticks", "B stopped"}));

    s.onClick([&s] { s.text.setCaption("go"); });
    s.form.clickAt(kBareX, kBareY);
    // A changed nothing at first, so it ticks again once B's tick has
    // changed the form, all before the click returns.
    QCOMPARE(s.log(), (Log{"click", "A started", "B started", "A ticks", "A stopped", "B ticks", "A started",
                           "A ticks"}));
    QCOMPARE(s.text.Caption(), "a");

    // Woken timers also answer each change that comes before their own
    // platform timers tick: A puts its caption back at once.
    s.form.clickAt(kBareX, kBareY);
    QCOMPARE(s.log(), (Log{"click", "A ticks", "B ticks", "B stopped"}));
    QCOMPARE(s.text.Caption(), "a");
    // A's platform tick ends that; changing nothing then, it sleeps.
    s.platformTick(s.a);
    QCOMPARE(s.log(), (Log{"A ticks", "A stopped"}));
}

void FormEvents::timersAnsweringEachOtherEndTheirEvent()
{
    Sleepers s;
    s.b.setEnabled(true);
    int ticks = 0;
    // Once the mark is hidden each answers the other's caption with a longer
    // one, for ever. A runtime that let them answer within one event until
    // the form is quiet would never return; this ends it instead.
    auto answer = [&s, &ticks](rt::Label& mine, const rt::Label& theirs, const char* suffix) {
        if (++ticks > 100)
            rt::endProgram();
        if (!s.mark.Visible())
            mine.setCaption(theirs.Caption() + suffix);
    };
    s.onTick(s.a, [&] { answer(s.text, s.other, "a"); });
    s.onTick(s.b, [&] { answer(s.other, s.text, "b"); });
    s.platformTick(s.a);
    s.platformTick(s.b);
    s.log();

    s.onClick([&s] { s.mark.setVisible(false); });
    s.form.clickAt(kBareX, kBareY);
    QVERIFY(!s.form.ended());
    QCOMPARE(s.log(), (Log{"click", "A started", "B started", "A ticks", "B ticks"}));
    QCOMPARE(s.text.Caption(), "a");
    QCOMPARE(s.other.Caption(), "ab");
    QVERIFY(s.a.running() && s.b.running());
}

// A test that ticks timers on a script of its own gets every tick it gives
// and no other: until the timers start, none sleeps or is woken.
void FormEvents::untilTheTimersStartEveryHandTickIsDelivered()
{
    Sleepers s(false);
    for (int i = 0; i < 3; ++i)
        s.form.tick(s.a);
    s.onClick([&s] { s.text.setCaption("y"); });
    s.form.clickAt(kBareX, kBareY);
    QCOMPARE(s.log(), (Log{"A ticks", "A ticks", "A ticks", "click"}));
    QVERIFY(s.a.running());
}

void FormEvents::reEnabledTimerStartsAfresh_data()
{
    QTest::addColumn<bool>("wokenFirst"); // false: asleep when disabled
    QTest::addColumn<Log>("click");
    // Fresh, it waits for its platform timer: it neither sleeps on nor
    // answers the click that enabled it as a woken timer would.
    QTest::newRow("from asleep") << false << Log{"click", "A started"};
    QTest::newRow("from woken") << true << Log{"click", "A stopped", "A started"};
}

void FormEvents::reEnabledTimerStartsAfresh()
{
    QFETCH(bool, wokenFirst);
    QFETCH(Log, click);
    Sleepers s;
    s.platformTick(s.a);
    if (wokenFirst)
        s.text.setCaption("z"); // from outside any handler: woken, not yet ticked
    QCOMPARE(s.a.running(), wokenFirst);
    s.log();

    s.onClick([&s] {
        s.a.setEnabled(false);
        s.a.setEnabled(true);
    });
    s.form.clickAt(kBareX, kBareY);
    QCOMPARE(s.log(), click);
    QVERIFY(s.a.running());
}

void FormEvents::platformTickEndsTheWaking()
{
    Sleepers s;
    s.platformTick(s.a);
    s.text.setCaption("z"); // wakes A
    s.onTick(s.a, [&s] { s.other.setCaption(s.other.Caption() + "a"); });
    s.platformTick(s.a);
    QCOMPARE(s.log(), (Log{"A ticks", "A stopped", "A started", "A ticks"}));

    // Ticking at its interval again, it no longer answers each change at once.
    s.onClick([&s] { s.mark.setVisible(!s.mark.Visible()); });
    s.form.clickAt(kBareX, kBareY);
    QCOMPARE(s.log(), Log{"click"});
    QVERIFY(s.a.running());
}

QTEST_APPLESS_MAIN(FormEvents)
#include "tst_form_events.moc"
