// The drawing rules every host follows: where a caption breaks into lines,
// which controls are painted in which order, the scale a window takes, the
// pictures a design names, and how an error reaches the player. Captions
// are measured here by a made-up face in which every character is one unit
// wide.
#include "design_pictures.h"
#include "error_box.h"
#include "line_breaks.h"
#include "paint_list.h"
#include "scale_rule.h"

#include <QTest>

#include <array>

class PaintRules : public QObject {
    Q_OBJECT
private slots:
    void captionsBreakAtRunsOfBlanks_data();
    void captionsBreakAtRunsOfBlanks();
    void paintListGoesBottomUpOverShownControls();
    void scaleIsTheLargestWholeThatFits_data();
    void scaleIsTheLargestWholeThatFits();
    void pageScaleShrinksOnlyWhereOneDoesNotFit_data();
    void pageScaleShrinksOnlyWhereOneDoesNotFit();
    void designPicturesAreListedOnceForEachUse();
    void errorsWriteTheLineThenShowTheBox();
    void boxTextsAreInTheGamesLanguage_data();
    void boxTextsAreInTheGamesLanguage();
};

namespace {

// One unit a character, not a byte: the captions are UTF-8.
double characters(std::string_view text)
{
    double n = 0;
    for (const char c : text)
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

QStringList broken(const QString& text, int width)
{
    const std::string utf8 = text.toStdString();
    QStringList lines;
    for (std::string_view line : rt::breakLines(utf8, width, characters))
        lines << QString::fromUtf8(line.data(), qsizetype(line.size()));
    return lines;
}

} // namespace

// The lines as drawn, blanks included: joined, they give the caption back.
void PaintRules::captionsBreakAtRunsOfBlanks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("fits exactly: no break") << "ab cd" << 5 << QStringList{"ab cd"};
    QTest::newRow("a word that fits only without its trailing blank") << "ab cd ef" << 5
                                                                     << QStringList{"ab cd ", "ef"};
    QTest::newRow("a run of blanks hangs past the edge") << "ab      cd" << 2 << QStringList{"ab      ", "cd"};
    QTest::newRow("a tab is a blank") << "ab\tcd" << 2 << QStringList{"ab\t", "cd"};
    QTest::newRow("a word wider than the label stands alone")
        << "a verylongword b" << 3 << QStringList{"a ", "verylongword ", "b"};
    QTest::newRow("a leading blank is kept") << " ab cd" << 6 << QStringList{" ab cd"};
    QTest::newRow("several breaks") << "a b c d e" << 3 << QStringList{"a b ", "c d ", "e"};
    QTest::newRow("measured in characters, not bytes")
        << "Вы набрали 100 убийств. Ваше время:" << 23 << QStringList{"Вы набрали 100 убийств. ", "Ваше время:"};
    QTest::newRow("empty: one empty line") << "" << 10 << QStringList{""};
    QTest::newRow("blanks only: one line") << "   " << 1 << QStringList{"   "};
}

void PaintRules::captionsBreakAtRunsOfBlanks()
{
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(QStringList, lines);
    QCOMPARE(broken(text, width), lines);
}

// Topmost first in the design; painted bottom first, so that the topmost
// lies over the rest. Only what shows anything is painted.
void PaintRules::paintListGoesBottomUpOverShownControls()
{
    using namespace rt;
    static constexpr std::array<ControlDesign, 6> controls{{
        {.name = "Top", .kind = ControlKind::Label, .place = {150, 150, 300, 300}},
        {.name = "Hidden", .kind = ControlKind::Image, .place = {0, 0, 150, 150}, .visible = false,
         .picture = ":/a.gif"},
        {.name = "Empty", .kind = ControlKind::Image, .place = {0, 0, 150, 150}},
        {.name = "Tick", .kind = ControlKind::Timer, .interval = 10},
        {.name = "HiddenLabel", .kind = ControlKind::Label, .place = {0, 0, 150, 150}, .visible = false},
        {.name = "Bottom", .kind = ControlKind::Image, .place = {0, 0, 600, 600}, .picture = ":/b.gif"},
    }};
    static constexpr FormDesign design{.name = "F", .client = {0, 0, 1500, 1500}, .controls = controls};
    Form form(design);
    auto names = [&] {
        QStringList out;
        for (const PaintEntry& e : paintList(form)) {
            out << QString::fromUtf8(e.control->name().data(), qsizetype(e.control->name().size()));
            const PixelRect r = e.control->rect();
            if (e.rect.left != r.left || e.rect.top != r.top || e.rect.width != r.width || e.rect.height != r.height)
                out << "(wrong rectangle)";
        }
        return out;
    };
    QCOMPARE(names(), (QStringList{"Bottom", "Top"}));
    form.image("Hidden").setVisible(true);
    form.label("HiddenLabel").setVisible(true);
    QCOMPARE(names(), (QStringList{"Bottom", "HiddenLabel", "Hidden", "Top"}));
    form.label("Top").setVisible(false);
    QCOMPARE(names(), (QStringList{"Bottom", "HiddenLabel", "Hidden"}));
}

// Form1's client area, 434 x 475; frames and rooms in device pixels. A
// desktop's ratio sets the ceiling; 0 stands for none (the page).
void PaintRules::scaleIsTheLargestWholeThatFits_data()
{
    QTest::addColumn<int>("frameWidth");
    QTest::addColumn<int>("frameHeight");
    QTest::addColumn<int>("roomWidth");
    QTest::addColumn<int>("roomHeight");
    QTest::addColumn<double>("ratio");
    QTest::addColumn<int>("scale");
    QTest::newRow("100 %") << 0 << 0 << 1920 << 1080 << 1.0 << 1;
    QTest::newRow("100 % on a screen the window fits eight times") << 0 << 0 << 7680 << 4320 << 1.0 << 1;
    QTest::newRow("200 %, room to spare") << 8 << 60 << 2560 << 1440 << 2.0 << 2;
    QTest::newRow("200 % on 1024 x 768") << 0 << 0 << 1024 << 768 << 2.0 << 1;
    QTest::newRow("200 %, exactly tall enough") << 0 << 10 << 868 << 960 << 2.0 << 2;
    QTest::newRow("200 %, one row short with the frame") << 0 << 10 << 868 << 959 << 2.0 << 1;
    QTest::newRow("200 %, one column short") << 0 << 0 << 867 << 2000 << 2.0 << 1;
    QTest::newRow("200 % on 1920 x 1080 under a panel and a title bar") << 4 << 74 << 1920 << 1016 << 2.0 << 1;
    QTest::newRow("300 % where only 200 % fits") << 6 << 90 << 2400 << 1300 << 3.0 << 2;
    QTest::newRow("400 % on a 4K screen") << 8 << 120 << 3840 << 2100 << 4.0 << 4;
    // Windows' 150 % (144 dots per inch) and Qt's alike: the whole part.
    QTest::newRow("150 % takes 1 where 2 would fit") << 16 << 39 << 2560 << 1400 << 1.5 << 1;
    QTest::newRow("175 % takes 1") << 0 << 0 << 2560 << 1400 << 1.75 << 1;
    QTest::newRow("a ratio a hair below 3 is 3") << 0 << 0 << 3840 << 2160 << 2.9999999 << 3;
    QTest::newRow("too small even at 1") << 0 << 0 << 320 << 240 << 2.0 << 1;
    QTest::newRow("a frame larger than the room") << 5000 << 0 << 3840 << 2160 << 2.0 << 1;
    QTest::newRow("no ceiling: as many as fit") << 0 << 0 << 7680 << 4320 << 0.0 << 9;
    QTest::newRow("no ceiling, one row short of 3") << 0 << 0 << 1400 << 1424 << 0.0 << 2;
    QTest::newRow("no ceiling, exactly 3") << 0 << 0 << 1302 << 1425 << 0.0 << 3;
}

void PaintRules::scaleIsTheLargestWholeThatFits()
{
    QFETCH(int, frameWidth);
    QFETCH(int, frameHeight);
    QFETCH(int, roomWidth);
    QFETCH(int, roomHeight);
    QFETCH(double, ratio);
    QFETCH(int, scale);
    const std::optional<int> ceiling = ratio > 0 ? std::optional<int>(rt::wholeScale(ratio)) : std::nullopt;
    QCOMPARE(rt::fittingScale({434, 475}, {frameWidth, frameHeight}, {roomWidth, roomHeight}, ceiling), scale);
}

// The page's room is in device pixels, which come in fractions at a zoom.
void PaintRules::pageScaleShrinksOnlyWhereOneDoesNotFit_data()
{
    QTest::addColumn<double>("roomWidth");
    QTest::addColumn<double>("roomHeight");
    QTest::addColumn<double>("scale");
    QTest::newRow("a desktop browser at 100 %") << 1280.0 << 720.0 << 1.0;
    QTest::newRow("at 125 %: whole device pixels") << 1600.0 << 1000.0 << 2.0;
    QTest::newRow("a fraction short of 2 wide") << 867.9 << 2000.0 << 1.0;
    QTest::newRow("exactly 1") << 434.0 << 475.0 << 1.0;
    QTest::newRow("a phone held upright: below 1, the narrower side") << 217.0 << 900.0 << 0.5;
    QTest::newRow("short, not narrow") << 1000.0 << 237.5 << 0.5;
}

void PaintRules::pageScaleShrinksOnlyWhereOneDoesNotFit()
{
    QFETCH(double, roomWidth);
    QFETCH(double, roomHeight);
    QFETCH(double, scale);
    QCOMPARE(rt::fittingScaleOrFraction({434, 475}, roomWidth, roomHeight), scale);
}

void PaintRules::designPicturesAreListedOnceForEachUse()
{
    using namespace rt;
    static constexpr std::array<ControlDesign, 6> controls{{
        {.name = "Top", .kind = ControlKind::Image, .picture = ":/a.gif"},
        {.name = "Caption", .kind = ControlKind::Label},
        {.name = "Hidden", .kind = ControlKind::Image, .visible = false, .picture = ":/b.gif"},
        {.name = "Empty", .kind = ControlKind::Image},
        {.name = "Tick", .kind = ControlKind::Timer, .interval = 10},
        {.name = "Bottom", .kind = ControlKind::Image, .picture = ":/a.gif"},
    }};
    static constexpr FormDesign design{.name = "F", .client = {0, 0, 1500, 1500}, .picture = ":/wall.gif",
                                       .icon = ":/wall.gif", .mouseIcon = ":/aim.ico", .controls = controls};
    QStringList listed;
    for (const DesignPicture& p : designPictures(design))
        listed << QString::fromUtf8(p.path.data(), qsizetype(p.path.size())) + ' ' +
                      QString::number(static_cast<int>(p.use));
    const QString painted = QString::number(static_cast<int>(PictureUse::Painted));
    QCOMPARE(listed, (QStringList{":/wall.gif " + painted, ":/a.gif " + painted, ":/b.gif " + painted,
                                  ":/wall.gif " + QString::number(static_cast<int>(PictureUse::Icon)),
                                  ":/aim.ico " + QString::number(static_cast<int>(PictureUse::Pointer))}));

    static constexpr FormDesign bare{.name = "G", .client = {0, 0, 1500, 1500}};
    QVERIFY(designPictures(bare).empty());
}

namespace {

// Records a host's platform calls for errors, in order.
class ErrorRecorder : public rt::ReportingHost {
public:
    QStringList calls;
    Time now() const override { return {}; }
    void wakeAt(std::optional<Time>) override {}
    void messageBox(std::string_view) override {}
    void programEnded(int) override {}

protected:
    void writeErrorLine(const std::string& line) override { calls << "line " + QString::fromStdString(line); }
    void showErrorBox(const std::string& text) override { calls << "box " + QString::fromStdString(text); }
};

} // namespace

void PaintRules::errorsWriteTheLineThenShowTheBox()
{
    ErrorRecorder host;
    rt::Host& asHost = host;
    asHost.errorReported(13, "Несоответствие типов");
    QCOMPARE(host.calls, (QStringList{"line skeetra: runtime error 13: Несоответствие типов",
                                      "box Ошибка выполнения 13:\n\nНесоответствие типов"}));
}

// Every box is in the game's language: its own words hold no Latin letter,
// whatever words the reason it passes on is in. Its line, for whoever
// reads the error output, names the program and the reason.
void PaintRules::boxTextsAreInTheGamesLanguage_data()
{
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("text");
    const QString why = "the display has no colours";
    auto row = [&](const char* name, const rt::ErrorReport& r, const QString& reason) {
        QTest::newRow(name) << reason << QString::fromStdString(r.line) << QString::fromStdString(r.boxText);
    };
    row("runtime error", rt::runtimeErrorReport(6, "Переполнение"), "Переполнение");
    row("the window cannot open", rt::cannotOpenReport(why.toStdString()), why);
    row("an internal fault", rt::internalErrorReport(why.toStdString()), why);
}

void PaintRules::boxTextsAreInTheGamesLanguage()
{
    QFETCH(QString, reason);
    QFETCH(QString, line);
    QFETCH(QString, text);
    QVERIFY2(line.startsWith("skeetra: ") && line.endsWith(reason) && !line.contains('\n'), qPrintable(line));
    QVERIFY2(text.endsWith(reason), qPrintable(text));
    const QString own = text.chopped(reason.size());
    QVERIFY2(!own.trimmed().isEmpty(), qPrintable(text));
    for (const QChar c : own)
        QVERIFY2(!(c.isLetter() && c.unicode() < 0x80), qPrintable("a Latin letter in the box's words: " + text));
}

QTEST_APPLESS_MAIN(PaintRules)
#include "tst_paint_rules.moc"
