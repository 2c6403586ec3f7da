// Form1 on the Qt runtime: fonts and text layout, mouse and timer events
// reaching the real handlers, program end, message boxes and painting.
#include "caption_lines.h"
#include "form1.h"
#include "qt_host.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QMessageBox>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTextLayout>
#include <QTimer>
#include <QWindow>

#include <cmath>
#include <functional>

using skeetra::Form1;

namespace {

QString text(const rt::Label& l) { return QString::fromStdString(l.Caption()); }

struct Window {
    rt::Form form{Form1::design()};
    Form1 f{form};
    rt::FormWindow window{form};
    QSignalSpy ended{&window, &rt::FormWindow::ended};

    Window()
    {
        window.setQuitOnEnd(false);
        form.load();
        rt::seedRandom(5);
        window.show();
    }
    // A design point in the window's own logical pixels, whatever the scale.
    QPoint at(int x, int y) const
    {
        const double k = window.scale() / window.devicePixelRatioF();
        return QPoint(int(std::floor((x + 0.5) * k)), int(std::floor((y + 0.5) * k)));
    }
    void click(int x, int y) { QTest::mouseClick(&window, Qt::LeftButton, {}, at(x, y)); }
};

// The scale and the pointer's ratio the screen this run is on calls for;
// CTest runs these tests on several screens of Qt's offscreen platform.
int expected(const char* name, int otherwise)
{
    return qEnvironmentVariableIsSet(name) ? qEnvironmentVariableIntValue(name) : otherwise;
}

// Answers each message box after it has stayed open for a while, and
// remembers every box it saw.
struct BoxWatcher : QObject {
    QStringList seen;
    // The window each box was a modal dialog of (transient for), which
    // window managers keep it over.
    QList<QWindow*> dialogOf;
    QPointer<QMessageBox> last;
    std::function<void(QMessageBox*)> answer = [](QMessageBox* box) { box->accept(); };
    explicit BoxWatcher(int keepOpenMs)
    {
        auto* poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [this, keepOpenMs] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(w);
                if (!box || !box->isVisible() || box == last)
                    continue;
                last = box;
                seen << box->windowTitle() + "|" + box->text();
                dialogOf << (box->isModal() && box->windowHandle() ? box->windowHandle()->transientParent() : nullptr);
                QTimer::singleShot(keepOpenMs, box, [this, box] { answer(box); });
            }
        });
        poll->start(5);
    }
};

} // namespace

class WindowTests : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void bundledFontsStandIn();
    void labelBreaksAtItsRunsOfBlanks_data();
    void labelBreaksAtItsRunsOfBlanks();
    void everyTextFitsItsLabel();
    void windowHasItsDesignedFrame();
    void scaleIsTheLargestThatFits_data();
    void scaleIsTheLargestThatFits();
    void clicksReachTheHandlers();
    void everyClickOfADoubleClickIsAShot();
    void releaseAFractionLeftOfTheWindowIsNoClick();
    void pressAndReleaseOnDifferentControlsIsNoClick();
    void aPressThePlatformTakesAwayIsNoClick_data();
    void aPressThePlatformTakesAwayIsNoClick();
    void exitCaptionEndsTheProgram();
    void closingTheWindowEndsTheProgram();
    void lossBoxIsShownOnceAndEndsTheProgram();
    void closingTheWindowWhileTheLossBoxIsOpenEndsTheProgram();
    void runtimeErrorIsReportedAndEndsTheProgram();
    void windowPictureIsPaintedOneToOne();
    void hidingATargetRestoresTheFacade();
    void denseDisplayKeepsPicturePixelsSharp();
    void pointerHotSpotIsWhereTheBarsCross();
};

void WindowTests::initTestCase() { rt::loadFonts(Form1::design()); }

void WindowTests::bundledFontsStandIn()
{
    const rt::FormDesign& d = Form1::design();
    QCOMPARE(QFontInfo(rt::fontFor(d, {"MS Sans Serif", 9.75})).family(), "PT Sans");
    QCOMPARE(QFontInfo(rt::fontFor(d, {"Comic Sans MS", 9.75})).family(), "Comfortaa");
    QCOMPARE(rt::fontFor(d, {"MS Sans Serif", 9.75}).pixelSize(), 13);
    QCOMPARE(rt::fontFor(d, {"MS Sans Serif", 12}).pixelSize(), 16);
}

void WindowTests::labelBreaksAtItsRunsOfBlanks_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QStringList>("lines");
    for (const skeetra::CaptionLines& c : skeetra::captionLines()) {
        QStringList lines;
        for (std::string_view line : c.lines)
            lines << QString::fromUtf8(line.data(), qsizetype(line.size()));
        const QString label = QString::fromUtf8(c.label.data(), qsizetype(c.label.size()));
        QTest::newRow(qPrintable(label)) << label << lines;
    }
}

void WindowTests::labelBreaksAtItsRunsOfBlanks()
{
    QFETCH(QString, label);
    QFETCH(QStringList, lines);
    rt::Form form(Form1::design());
    const rt::Label& l = form.label(label.toStdString());
    QStringList got = rt::labelLines(rt::fontFor(form.design(), l.design().font), l.rect().width, text(l));
    for (QString& line : got)
        line = line.trimmed();
    QCOMPARE(got, lines);
}

void WindowTests::everyTextFitsItsLabel()
{
    rt::Form form(Form1::design());
    // The counters as they stand at their widest in a game.
    form.label("Label6").setCaption("-120");
    form.label("Label5").setCaption("100");
    form.label("Label7").setCaption("9999");
    form.label("Label12").setCaption("9999");
    for (const auto& c : form.controls()) {
        if (c->kind() != rt::ControlKind::Label)
            continue;
        const auto& l = static_cast<const rt::Label&>(*c);
        const QFont font = rt::fontFor(form.design(), l.design().font);
        const QFontMetricsF metrics(font);
        const QStringList lines = rt::labelLines(font, l.rect().width, text(l));
        const QString name = QString::fromUtf8(l.name().data(), l.name().size());
        // The ink of every line, blanks at a break aside, lies inside the label
        // (within half a pixel: glyph boxes are measured rounded outwards).
        for (int i = 0; i < lines.size(); ++i) {
            const QString visible = lines[i].trimmed();
            if (visible.isEmpty())
                continue;
            const QRectF ink = metrics.tightBoundingRect(visible).translated(0, i * metrics.height() + metrics.ascent());
            QVERIFY2(QRectF(-0.5, -0.5, l.rect().width + 1, l.rect().height + 1).contains(ink),
                     qPrintable(QStringLiteral("%1: \"%2\" inked at %3,%4 %5x%6")
                                    .arg(name, visible)
                                    .arg(ink.x())
                                    .arg(ink.y())
                                    .arg(ink.width())
                                    .arg(ink.height())));
        }
    }
}

void WindowTests::windowHasItsDesignedFrame()
{
    Window w;
    QVERIFY(QTest::qWaitForWindowExposed(&w.window));
    QCOMPARE(w.window.windowTitle(), "Skeetra beta 0.01");
    // In device pixels: the design's, times the scale, to the next whole
    // logical pixel where the ratio does not divide them.
    const int scale = expected("SKEETRA_TEST_SCALE", 1);
    QCOMPARE(w.window.scale(), scale);
    const double ratio = w.window.devicePixelRatioF();
    QCOMPARE(w.window.size(), QSize(int(std::ceil(434 * scale / ratio)), int(std::ceil(475 * scale / ratio))));
    QCOMPARE(w.window.minimumSize(), w.window.maximumSize());
    QVERIFY(!(w.window.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(w.window.windowFlags() & Qt::WindowCloseButtonHint);
    QCOMPARE(w.window.windowIcon().pixmap(32, 32).size(), QSize(32, 32));

    QVERIFY(w.f.Timer2.Enabled());
    QVERIFY(!w.f.Timer1.Enabled());
}

void WindowTests::scaleIsTheLargestThatFits_data()
{
    QTest::addColumn<QSize>("frame");
    QTest::addColumn<QSize>("workArea");
    QTest::addColumn<double>("ratio");
    QTest::addColumn<int>("scale");
    QTest::newRow("100 %") << QSize() << QSize(1920, 1080) << 1.0 << 1;
    QTest::newRow("100 % on a screen the window fits eight times") << QSize() << QSize(7680, 4320) << 1.0 << 1;
    QTest::newRow("200 %, room to spare") << QSize(8, 60) << QSize(2560, 1440) << 2.0 << 2;
    QTest::newRow("200 % on 1024 x 768") << QSize() << QSize(1024, 768) << 2.0 << 1;
    QTest::newRow("200 %, exactly tall enough") << QSize(0, 10) << QSize(868, 960) << 2.0 << 2;
    QTest::newRow("200 %, one row short with the frame") << QSize(0, 10) << QSize(868, 959) << 2.0 << 1;
    QTest::newRow("200 %, one column short") << QSize() << QSize(867, 2000) << 2.0 << 1;
    QTest::newRow("200 % on 1920 x 1080 under a panel and a title bar") << QSize(4, 74) << QSize(1920, 1016) << 2.0
                                                                        << 1;
    QTest::newRow("300 % where only 200 % fits") << QSize(6, 90) << QSize(2400, 1300) << 3.0 << 2;
    QTest::newRow("400 % on a 4K screen") << QSize(8, 120) << QSize(3840, 2100) << 4.0 << 4;
    QTest::newRow("150 % takes its whole part, 1") << QSize() << QSize(2560, 1400) << 1.5 << 1;
    QTest::newRow("125 % takes 1") << QSize() << QSize(2560, 1400) << 1.25 << 1;
    QTest::newRow("too small even at 1") << QSize() << QSize(320, 240) << 2.0 << 1;
}

void WindowTests::scaleIsTheLargestThatFits()
{
    QFETCH(QSize, frame);
    QFETCH(QSize, workArea);
    QFETCH(double, ratio);
    QFETCH(int, scale);
    QCOMPARE(rt::fittingScale({434, 475}, frame.isValid() ? frame : QSize(0, 0), workArea, ratio), scale);
}

void WindowTests::clicksReachTheHandlers()
{
    Window w;
    w.form.startTimers();
    w.click(420, 300); // bare: a miss
    QCOMPARE(text(w.f.Label6), "119");
    w.click(150, 100); // instructions: nothing
    QCOMPARE(text(w.f.Label6), "119");
    w.click(212, 308); // the start sign
    QVERIFY(!w.f.Image1.Visible());
    // The referee runs on its own timer and brings the first target.
    QTRY_VERIFY(std::any_of(w.f.targets.begin(), w.f.targets.end(), [](rt::Image* t) { return t->Visible(); }));
    rt::Image* shown = *std::find_if(w.f.targets.begin(), w.f.targets.end(), [](rt::Image* t) { return t->Visible(); });
    w.click(shown->rect().left + 20, shown->rect().top + 30);
    QCOMPARE(text(w.f.Label5), "1");
    QCOMPARE(text(w.f.Label6), "118");
    QCOMPARE(w.ended.count(), 0);
}

// On a scaled display Qt gives positions in fractions of a design pixel;
// half a pixel left of the window is outside it, not at its left edge.
void WindowTests::releaseAFractionLeftOfTheWindowIsNoClick()
{
    Window w;
    for (const QPointF p : {QPointF(0.25, 300), QPointF(-0.5, 300)}) {
        const QEvent::Type type = p.x() > 0 ? QEvent::MouseButtonPress : QEvent::MouseButtonRelease;
        const bool down = type == QEvent::MouseButtonPress;
        QMouseEvent e(type, p, w.window.mapToGlobal(p), Qt::LeftButton, down ? Qt::LeftButton : Qt::NoButton, {});
        QApplication::sendEvent(&w.window, &e);
    }
    QCOMPARE(text(w.f.Label6), "120");
}

void WindowTests::everyClickOfADoubleClickIsAShot()
{
    Window w;
    // The system's double click: press, release, press with double click, release.
    const QPointF p(420, 300);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonPress,
                              QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
        const bool down = type != QEvent::MouseButtonRelease;
        QMouseEvent e(type, p, w.window.mapToGlobal(p), Qt::LeftButton, down ? Qt::LeftButton : Qt::NoButton, {});
        QApplication::sendEvent(&w.window, &e);
    }
    QCOMPARE(text(w.f.Label6), "118");
}

void WindowTests::pressAndReleaseOnDifferentControlsIsNoClick()
{
    Window w;
    QTest::mousePress(&w.window, Qt::LeftButton, {}, QPoint(212, 308));
    QTest::mouseRelease(&w.window, Qt::LeftButton, {}, QPoint(420, 300));
    QTest::mousePress(&w.window, Qt::LeftButton, {}, QPoint(420, 300));
    QTest::mouseRelease(&w.window, Qt::LeftButton, {}, QPoint(400, 20));
    QVERIFY(w.f.Image1.Visible());
    QCOMPARE(text(w.f.Label6), "119"); // bare to bare is still the window's click
    QTest::mouseClick(&w.window, Qt::RightButton, {}, QPoint(420, 300));
    QCOMPARE(text(w.f.Label6), "119");
}

void WindowTests::aPressThePlatformTakesAwayIsNoClick_data()
{
    QTest::addColumn<int>("takenBy"); // the event that takes the press away; 0: none
    QTest::addColumn<QString>("ammunition");
    QTest::newRow("nothing takes it: a miss") << 0 << "119";
    QTest::newRow("the mouse grab lost") << int(QEvent::UngrabMouse) << "120";
    QTest::newRow("the pointer taken while held") << int(QEvent::Leave) << "120";
}

// A press on the bare window, taken away by the platform before the
// release that would have made it a miss.
void WindowTests::aPressThePlatformTakesAwayIsNoClick()
{
    QFETCH(int, takenBy);
    QFETCH(QString, ammunition);
    Window w;
    const QPoint bare = w.at(420, 300);
    QTest::mousePress(&w.window, Qt::LeftButton, {}, bare);
    if (takenBy) {
        QEvent taken(static_cast<QEvent::Type>(takenBy));
        QApplication::sendEvent(&w.window, &taken);
    }
    QTest::mouseRelease(&w.window, Qt::LeftButton, {}, bare);
    QCOMPARE(text(w.f.Label6), ammunition);
}

void WindowTests::exitCaptionEndsTheProgram()
{
    Window w;
    w.form.startTimers();
    w.click(424, 472); // inside the caption's rectangle, beyond its text
    QCOMPARE(w.ended.count(), 1);
    QCOMPARE(w.ended.first().first().toInt(), 0);
    QVERIFY(!w.window.isVisible());
    const auto timers = w.window.findChildren<QTimer*>();
    QVERIFY(std::none_of(timers.begin(), timers.end(), [](QTimer* t) { return t->isActive(); }));
}

void WindowTests::closingTheWindowEndsTheProgram()
{
    Window w;
    w.form.startTimers();
    w.click(212, 308);
    QVERIFY(w.window.close());
    QCOMPARE(w.ended.count(), 1);
    QCOMPARE(w.ended.first().first().toInt(), 0);
    const std::string time = w.f.Label7.Caption();
    QTest::qWait(900);
    QCOMPARE(w.f.Label7.Caption(), time);
}

void WindowTests::lossBoxIsShownOnceAndEndsTheProgram()
{
    Window w;
    BoxWatcher boxes(100); // a hundred referee intervals while the box is open
    w.f.Label6.setCaption("1");
    w.form.startTimers();
    w.click(420, 300);
    QTRY_COMPARE(w.ended.count(), 1);
    QCOMPARE(w.ended.first().first().toInt(), 0);
    QCOMPARE(boxes.seen, QStringList{"Skeetra|У вас кончились патроны. Вы проиграли!"});
    QCOMPARE(boxes.dialogOf, QList<QWindow*>{w.window.windowHandle()});
    QVERIFY(!w.window.isVisible());
}

void WindowTests::closingTheWindowWhileTheLossBoxIsOpenEndsTheProgram()
{
    Window w;
    BoxWatcher boxes(50);
    boxes.answer = [&w](QMessageBox*) { w.window.close(); };
    w.f.Label6.setCaption("1");
    w.form.startTimers();
    w.click(420, 300);
    QTRY_COMPARE(w.ended.count(), 1);
    QCOMPARE(w.ended.first().first().toInt(), 0);
    QCOMPARE(boxes.seen.size(), 1);
    QTRY_VERIFY(!boxes.last || !boxes.last->isVisible());
}

void WindowTests::runtimeErrorIsReportedAndEndsTheProgram()
{
    Window w;
    BoxWatcher boxes(0);
    w.f.Label6.setCaption("сто двадцать");
    w.form.startTimers();
    // As the program runs: the application's loop ends with the status.
    w.window.setQuitOnEnd(true);
    QTimer::singleShot(0, &w.window, [&w] { w.click(420, 300); });
    QCOMPARE(QApplication::exec(), rt::kRuntimeErrorStatus);
    QCOMPARE(w.ended.count(), 1);
    QCOMPARE(w.ended.first().first().toInt(), rt::kRuntimeErrorStatus);
    QCOMPARE(boxes.seen.size(), 1);
    QVERIFY2(boxes.seen.first().contains("13"), qPrintable(boxes.seen.first()));
}

void WindowTests::windowPictureIsPaintedOneToOne()
{
    Window w;
    const QImage facade = QImage(":/pictures/facade.gif").convertToFormat(QImage::Format_RGB32);
    const QImage shot = w.window.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shot.size(), QSize(434, 475));
    // Away from every label the window shows the picture pixel for pixel,
    // cut off at the right edge, and its background colour below it.
    for (int y = 180; y < 280; ++y)
        for (int x = 0; x < 434; ++x)
            QCOMPARE(shot.pixel(x, y), facade.pixel(x, y));
    QCOMPARE(QColor(shot.pixel(430, 470)), QColor(Qt::black));
    QCOMPARE(QColor(shot.pixel(340, 430)), QColor(Qt::black));
}

void WindowTests::hidingATargetRestoresTheFacade()
{
    Window w;
    const QRect r(368, 216, 43, 55); // Image11
    const QImage before = w.window.grab(r).toImage();
    w.f.Image11.setVisible(true);
    const QImage shown = w.window.grab(r).toImage();
    const QImage figure = QImage(":/pictures/target.gif").convertToFormat(QImage::Format_ARGB32);
    int seeThrough = 0;
    for (int y = 0; y < r.height(); ++y) {
        for (int x = 0; x < r.width(); ++x) {
            const QRgb expected = qAlpha(figure.pixel(x, y)) == 0 ? before.pixel(x, y) : figure.pixel(x, y);
            QCOMPARE(shown.pixel(x, y), expected);
            seeThrough += qAlpha(figure.pixel(x, y)) == 0;
        }
    }
    QVERIFY(seeThrough > 0);
    w.f.Image11.setVisible(false);
    QCOMPARE(w.window.grab(r).toImage(), before);

    // The start area draws nothing: the sign is the window picture's.
    const QImage withStartArea = w.window.grab().toImage();
    w.f.Image1.setVisible(false);
    QCOMPARE(w.window.grab().toImage(), withStartArea);
}

void WindowTests::denseDisplayKeepsPicturePixelsSharp()
{
    Window w;
    w.f.Image5.setVisible(true);
    QImage dense(868, 950, QImage::Format_RGB32);
    dense.setDevicePixelRatio(2);
    w.window.render(&dense);
    const QImage plain = w.window.grab().toImage().convertToFormat(QImage::Format_RGB32);
    // Picture pixels become 2 x 2 blocks of the same colour, never blends.
    for (int y = 180; y < 280; ++y)
        for (int x = 0; x < 434; ++x)
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx)
                    QCOMPARE(dense.pixel(2 * x + dx, 2 * y + dy), plain.pixel(x, y));
    // Text is drawn at the finer resolution, not enlarged from the coarse one.
    bool finer = false;
    for (int y = 88; y < 161 && !finer; ++y)
        for (int x = 136; x < 305 && !finer; ++x)
            finer = dense.pixel(2 * x, 2 * y) != dense.pixel(2 * x + 1, 2 * y) ||
                    dense.pixel(2 * x, 2 * y) != dense.pixel(2 * x, 2 * y + 1);
    QVERIFY(finer);
}

// Also run on screens scaled by 2, where the pointer grows with the window.
// Its picture is in device pixels; its hot spot in the platform's own
// units, device pixels divided by the ratio the platform itself applies
// (an output's scale on Wayland, the pointer pixmap's ratio), never by Qt's.
void WindowTests::pointerHotSpotIsWhereTheBarsCross()
{
    Window w;
    QVERIFY(QTest::qWaitForWindowExposed(&w.window));
    const QCursor pointer = w.window.cursor();
    QCOMPARE(pointer.shape(), Qt::BitmapCursor);
    const int scale = expected("SKEETRA_TEST_SCALE", 1);
    const int native = expected("SKEETRA_TEST_NATIVE_RATIO", 1);
    QCOMPARE(w.window.scale(), scale);
    const QImage image = pointer.pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(image.size(), QSize(32, 32) * scale);
    QCOMPARE(pointer.pixmap().devicePixelRatio(), double(native));
    QCOMPARE(pointer.hotSpot(), QPoint(16, 16) * scale / native);
    // The hot spot is the lower right pixel of the 2 x 2 block where the
    // bars cross; the bars run off from it in all four directions.
    for (const QPoint& p : {QPoint(15, 15), QPoint(16, 16), QPoint(15, 5), QPoint(16, 26), QPoint(5, 15), QPoint(26, 16)}) {
        const QRgb pixel = image.pixel(p * scale);
        QVERIFY2(qAlpha(pixel) == 255 && qGray(pixel) < 64, qPrintable(QStringLiteral("%1,%2").arg(p.x()).arg(p.y())));
    }
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
}

QTEST_MAIN(WindowTests)
#include "tst_window.moc"
