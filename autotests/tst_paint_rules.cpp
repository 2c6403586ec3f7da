// The drawing rules every host follows: where a caption breaks into lines,
// and which controls are painted in which order. Measured here by a made-up
// face in which every character is one unit wide.
#include "line_breaks.h"
#include "paint_list.h"

#include <QTest>

#include <array>

class PaintRules : public QObject {
    Q_OBJECT
private slots:
    void captionsBreakAtRunsOfBlanks_data();
    void captionsBreakAtRunsOfBlanks();
    void paintListGoesBottomUpOverShownControls();
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

QTEST_APPLESS_MAIN(PaintRules)
#include "tst_paint_rules.moc"
