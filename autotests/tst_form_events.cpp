// Event delivery of the forms runtime: which control takes a click, one event
// at a time, program end and runtime errors.
#include "form1_design.h"
#include "recording_host.h"

#include <QTest>

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

} // namespace

class FormEvents : public QObject {
    Q_OBJECT
private slots:
    void clickGoesToTopmostShownControl_data();
    void clickGoesToTopmostShownControl();
    void unhandledLabelSwallowsItsClick();
    void endProgramStopsEverything();
    void runtimeErrorEndsProgramWithItsStatus();
    void nothingEntersWhileMessageBoxIsOpen();
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

QTEST_APPLESS_MAIN(FormEvents)
#include "tst_form_events.moc"
