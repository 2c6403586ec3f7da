// Checks the committed pictures: their byte layout (the figure relies on its
// transparent index, the icons on their mask), and that the facade's
// openings, ledges and sign sit where the game puts the figure and the start
// area, and the pointer is the icon with a thicker bar.
#include "form1_design.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QList>
#include <QRect>
#include <QtTest>

#include <functional>

namespace {

struct Gif {
    QByteArray signature;
    int width = 0, height = 0, packed = 0, background = -1, aspect = -1;
    QList<QRgb> palette;
    QList<QByteArray> extensions;   // label byte followed by the first sub-block
    QList<QRect> images;
    QList<int> imagePacked, minCodeSizes;
    bool trailer = false;
};

// Walks the block structure; stops at the trailer or at anything it can't read.
Gif walkGif(const QByteArray &d)
{
    Gif g;
    auto u8 = [&](qsizetype i) { return i < d.size() ? int(uchar(d[i])) : -1; };
    auto u16 = [&](qsizetype i) { return u8(i) | (u8(i + 1) << 8); };
    auto skipBlocks = [&](qsizetype i) {
        while (u8(i) > 0)
            i += u8(i) + 1;
        return u8(i) == 0 ? i + 1 : d.size() + 1;
    };
    if (d.size() < 13)
        return g;
    g.signature = d.left(6);
    g.width = u16(6); g.height = u16(8); g.packed = u8(10);
    g.background = u8(11); g.aspect = u8(12);
    qsizetype i = 13;
    if (g.packed & 0x80) {
        for (int n = 0; n < (2 << (g.packed & 7)); ++n, i += 3)
            g.palette << qRgb(u8(i), u8(i + 1), u8(i + 2));
    }
    while (i < d.size()) {
        const int kind = u8(i);
        if (kind == 0x3B) {
            g.trailer = true;
            break;
        } else if (kind == 0x21) {
            g.extensions << d.mid(i + 1, 1) + d.mid(i + 3, u8(i + 2));
            i = skipBlocks(i + 2);
        } else if (kind == 0x2C) {
            g.images << QRect(u16(i + 1), u16(i + 3), u16(i + 5), u16(i + 7));
            g.imagePacked << u8(i + 9);
            i += 10;
            if (g.imagePacked.last() & 0x80)
                i += 3 * (2 << (g.imagePacked.last() & 7));
            g.minCodeSizes << u8(i);
            i = skipBlocks(i + 1);
        } else {
            break;
        }
    }
    return g;
}

QImage load(const QString &path)
{
    return QImage(path).convertToFormat(QImage::Format_ARGB32);
}

constexpr QRgb Black = 0xFF000000, Green = 0xFF00FF00, Yellow = 0xFFFFFF00,
               Olive = 0xFF808000, Grey = 0xFF808080, White = 0xFFFFFFFF;

const QImage &facade()
{
    static const QImage image = load(QStringLiteral(":/pictures/facade.gif"));
    return image;
}

// Top-left corners where the game shows the 43x55 figure.
QList<QPoint> targetSpotList()
{
    return {{56, 0},    {136, 0},   {256, 0},   {336, 0},   {24, 112},  {368, 112},
            {192, 184}, {32, 216},  {368, 216}, {152, 344}, {224, 344}, {384, 344}};
}

// Where the start control lies on the window; the facade is painted at the
// client area's top left, one picture pixel to a window pixel.
QRect startArea()
{
    for (const rt::ControlDesign &c : skeetra::form1Design().controls) {
        if (c.name == "Image1")
            return QRect(rt::twipsToPixels(c.place.left), rt::twipsToPixels(c.place.top),
                         rt::twipsToPixels(c.place.width), rt::twipsToPixels(c.place.height));
    }
    return {};
}

QRect boundingBox(const QImage &image, const QRect &within, const std::function<bool(QRgb)> &wanted)
{
    QRect box;
    for (int y = within.top(); y <= within.bottom(); ++y)
        for (int x = within.left(); x <= within.right(); ++x)
            if (wanted(image.pixel(x, y)))
                box |= QRect(x, y, 1, 1);
    return box;
}

int transparentCount(const QImage &image)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += qAlpha(image.pixel(x, y)) == 0;
    return n;
}

} // namespace

class TestPictures : public QObject
{
    Q_OBJECT
private slots:
    void gifLayout_data();
    void gifLayout();
    void icoLayout_data();
    void icoLayout();
    void facadeColours();
    void figure();
    void icons_data();
    void icons();
    void targetSpots_data();
    void targetSpots();
    void signFillsTheStartArea();
    void pointerIsTheIconWithAThickerBar();
};

void TestPictures::gifLayout_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QList<QRgb>>("palette");
    QTest::addColumn<int>("transparentIndex");   // -1: no extension block at all
    QTest::newRow("facade") << ":/pictures/facade.gif" << QSize(438, 424)
        << QList<QRgb>{Black, White, Green, Yellow, Olive, Grey, Black, Black} << -1;
    QTest::newRow("target") << ":/pictures/target.gif" << QSize(43, 55)
        << QList<QRgb>{Black, White, 0xFF800080, Green, 0xFFFFC1A4, 0xFFFF0000, 0xFF800000, White}
        << 7;
}

void TestPictures::gifLayout()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    QFETCH(QList<QRgb>, palette);
    QFETCH(int, transparentIndex);
    QFile file(path);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
    const Gif g = walkGif(file.readAll());
    QCOMPARE(g.signature, QByteArray("GIF89a"));
    QCOMPARE(QSize(g.width, g.height), size);
    QCOMPARE(g.packed, 0xA2);
    QCOMPARE(g.background, 0);
    QCOMPARE(g.aspect, 0);
    QCOMPARE(g.palette, palette);
    if (transparentIndex < 0) {
        QVERIFY(g.extensions.isEmpty());
    } else {
        QCOMPARE(g.extensions.size(), 1);
        // label F9, flags: transparent only, delay 0, then the index
        QCOMPARE(g.extensions[0], QByteArray::fromHex("f9010000") + char(transparentIndex));
    }
    QCOMPARE(g.images, QList<QRect>{QRect(QPoint(0, 0), size)});
    QCOMPARE(g.imagePacked, QList<int>{0});
    QCOMPARE(g.minCodeSizes, QList<int>{3});
    QVERIFY(g.trailer);
}

void TestPictures::icoLayout_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("crosshair") << ":/pictures/crosshair.ico";
    QTest::newRow("pointer") << ":/pictures/pointer.ico";
}

void TestPictures::icoLayout()
{
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
    const QByteArray d = file.readAll();
    auto u8 = [&](int i) { return i < d.size() ? int(uchar(d[i])) : -1; };
    auto u16 = [&](int i) { return u8(i) | (u8(i + 1) << 8); };
    auto u32 = [&](int i) { return u16(i) | (u16(i + 2) << 16); };
    QCOMPARE(QList<int>({u16(0), u16(2), u16(4)}), QList<int>({0, 1, 1}));
    // directory entry: 32x32, no colour count, 1 plane, 8 bpp, image right after
    QCOMPARE(QList<int>({u8(6), u8(7), u8(8), u16(10), u16(12), u32(18)}),
             QList<int>({32, 32, 0, 1, 8, 22}));
    const int dib = 22, colours = 256;
    QCOMPARE(QList<int>({u32(dib), u32(dib + 4), u32(dib + 8), u16(dib + 12), u16(dib + 14),
                         u32(dib + 16)}),
             QList<int>({40, 32, 64, 1, 8, 0}));
    QVERIFY(u32(dib + 32) == 0 || u32(dib + 32) == colours);
    // header, palette, 8-bit pixels, then the 1-bit AND mask
    const int bytes = 40 + 4 * colours + 32 * 32 + 32 * 4;
    QCOMPARE(u32(14), bytes);
    QCOMPARE(d.size(), dib + bytes);
}

void TestPictures::facadeColours()
{
    const QImage &image = facade();
    QCOMPARE(image.size(), QSize(438, 424));
    const QList<QRgb> allowed{Black, Green, Yellow, Olive, Grey};
    int olive = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            QVERIFY2(allowed.contains(c), qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
            olive += c == Olive;
        }
    }
    const double share = double(olive) / (image.width() * image.height());
    QVERIFY2(share > 0.55 && share < 0.80, qPrintable(QString::number(share)));

    // The start text and the win box are painted here; yellow text needs plain wall.
    const QRect calm(QPoint(120, 88), QPoint(321, 177));
    for (int y = calm.top(); y <= calm.bottom(); ++y)
        for (int x = calm.left(); x <= calm.right(); ++x)
            QVERIFY2(image.pixel(x, y) == Olive, qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
}

void TestPictures::figure()
{
    const QImage image = load(QStringLiteral(":/pictures/target.gif"));
    QCOMPARE(image.size(), QSize(43, 55));
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            QVERIFY2(image.pixel(x, y) != White,   // the transparent entry's colour
                     qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
    const int clear = transparentCount(image);
    QVERIFY2(clear >= 850 && clear <= 1000, qPrintable(QString::number(clear)));
    // head at the top row and soles at the bottom one: the figure fills its frame
    for (int y : {0, image.height() - 1}) {
        int opaque = 0;
        for (int x = 0; x < image.width(); ++x)
            opaque += qAlpha(image.pixel(x, y)) == 255;
        QVERIFY2(opaque > 0, qPrintable(QString::number(y)));
    }
}

void TestPictures::icons_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QList<int>>("barRows");
    QTest::newRow("crosshair") << ":/pictures/crosshair.ico" << QList<int>{15};
    QTest::newRow("pointer") << ":/pictures/pointer.ico" << QList<int>{15, 16};
}

void TestPictures::icons()
{
    QFETCH(QString, path);
    QFETCH(QList<int>, barRows);
    const QImage image = load(path);
    QCOMPARE(image.size(), QSize(32, 32));
    const int clear = transparentCount(image);
    QVERIFY2(clear >= 720 && clear <= 820, qPrintable(QString::number(clear)));
    for (QPoint corner : {QPoint(0, 0), QPoint(31, 0), QPoint(0, 31), QPoint(31, 31)})
        QCOMPARE(qAlpha(image.pixel(corner)), 0);
    // the upright bar crosses the horizontal one where the hot spot (16,16) is
    for (QPoint p : {QPoint(15, 15), QPoint(16, 15), QPoint(15, 16), QPoint(16, 16)})
        QCOMPARE(image.pixel(p), Black);
    // inside the ring, beside the upright bar, only the horizontal bar's rows are drawn
    for (int y = 12; y <= 19; ++y)
        QCOMPARE(image.pixel(10, y) == Black, barRows.contains(y));
}

void TestPictures::targetSpots_data()
{
    QTest::addColumn<QPoint>("spot");
    for (QPoint p : targetSpotList())
        QTest::addRow("%d,%d", p.x(), p.y()) << p;
}

void TestPictures::targetSpots()
{
    QFETCH(QPoint, spot);
    const QImage &image = facade();
    const QRect target(spot, QSize(43, 55));
    for (int y = target.top(); y <= target.bottom(); ++y)
        for (int x = target.left(); x <= target.right(); ++x)
            QVERIFY2(image.pixel(x, y) == Black, qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));

    // The opening is the dark area above the figure's foot; ledge outlines and
    // the base line touch it on purpose, so the fill stays above that row.
    const int foot = target.bottom() + 1;
    QList<bool> seen(image.width() * foot, false);
    QList<QPoint> todo{target.center()};
    while (!todo.isEmpty()) {
        const QPoint p = todo.takeLast();
        if (p.x() < 0 || p.y() < 0 || p.x() >= image.width() || p.y() >= foot
            || seen[p.y() * image.width() + p.x()] || image.pixel(p) != Black)
            continue;
        seen[p.y() * image.width() + p.x()] = true;
        todo << p + QPoint(1, 0) << p - QPoint(1, 0) << p + QPoint(0, 1) << p - QPoint(0, 1);
    }
    for (QPoint other : targetSpotList()) {
        const QPoint c = QRect(other, QSize(43, 55)).center();
        QVERIFY2(other == spot || c.y() >= foot || !seen[c.y() * image.width() + c.x()],
                 qPrintable(QStringLiteral("shares an opening with %1,%2")
                                .arg(other.x()).arg(other.y())));
    }

    // The figure stands on something: its foot row is the black top of a
    // ledge or the base line, with grey ledge, walkway or lawn right under it.
    for (int x = target.left(); x <= target.right(); ++x)
        QCOMPARE(image.pixel(x, foot), Black);
    int y = foot;
    while (y < foot + 3 && image.pixel(target.center().x(), y) == Black)
        ++y;
    const QRgb below = image.pixel(target.center().x(), y);
    QVERIFY2(below == Grey || below == Green, qPrintable(QString::number(y)));
}

void TestPictures::signFillsTheStartArea()
{
    const QImage &image = facade();
    const QRect area = startArea();
    QVERIFY(!area.isEmpty());

    // The sign is the yellow field with everything black joined to it: its
    // border and lettering. Flood it from a yellow pixel; if it leaked into
    // other black shapes, its box would grow past the start area.
    const QRect yellow = boundingBox(image, image.rect(), [](QRgb c) { return c == Yellow; });
    QVERIFY(!yellow.isEmpty());
    QRect sign;
    QList<bool> seen(image.width() * image.height(), false);
    QList<QPoint> todo{yellow.topLeft()};
    while (image.pixel(todo.first()) != Yellow)   // the yellow's top row holds one
        todo.first().rx()++;
    while (!todo.isEmpty()) {
        const QPoint p = todo.takeLast();
        if (!image.rect().contains(p) || seen[p.y() * image.width() + p.x()]
            || (image.pixel(p) != Yellow && image.pixel(p) != Black))
            continue;
        seen[p.y() * image.width() + p.x()] = true;
        sign |= QRect(p, QSize(1, 1));
        todo << p + QPoint(1, 0) << p - QPoint(1, 0) << p + QPoint(0, 1) << p - QPoint(0, 1);
    }
    QCOMPARE(sign, area);

    // A thick black border runs along the start area's edge, the yellow field
    // fills what it frames, and no yellow lies anywhere else.
    auto ringIsBlack = [&](int depth) {
        const QRect ring = area.adjusted(depth, depth, -depth, -depth);
        for (int y = ring.top(); y <= ring.bottom(); ++y)
            for (int x = ring.left(); x <= ring.right(); ++x)
                if ((x == ring.left() || x == ring.right() || y == ring.top() || y == ring.bottom())
                    && image.pixel(x, y) != Black)
                    return false;
        return true;
    };
    int border = 0;
    while (border < area.height() / 2 && ringIsBlack(border))
        ++border;
    const QRect field = area.adjusted(border, border, -border, -border);
    QVERIFY2(border >= 2, qPrintable(QString::number(border)));
    QCOMPARE(yellow, field);

    // The lettering is centred in the field and clear of the border.
    const QRect letters = boundingBox(image, field, [](QRgb c) { return c == Black; });
    QVERIFY(!letters.isEmpty());
    const int left = letters.left() - field.left(), right = field.right() - letters.right();
    const int top = letters.top() - field.top(), bottom = field.bottom() - letters.bottom();
    QVERIFY2(qAbs(left - right) <= 1 && qAbs(top - bottom) <= 1 && qMin(left, right) >= 3 && qMin(top, bottom) >= 3,
             qPrintable(QStringLiteral("margins %1 %2 %3 %4").arg(left).arg(right).arg(top).arg(bottom)));
    int lettering = 0;
    for (int y = field.top(); y <= field.bottom(); ++y)
        for (int x = field.left(); x <= field.right(); ++x)
            lettering += image.pixel(x, y) == Black;
    const double share = double(lettering) / (field.width() * field.height());
    QVERIFY2(share > 0.05 && share < 0.4, qPrintable(QString::number(share)));
}

void TestPictures::pointerIsTheIconWithAThickerBar()
{
    const QImage icon = load(QStringLiteral(":/pictures/crosshair.ico"));
    const QImage pointer = load(QStringLiteral(":/pictures/pointer.ico"));
    QCOMPARE(pointer.size(), icon.size());
    // The hot spot is the lower right pixel of the 2 x 2 crossing, so the
    // icon's 1-pixel bar is the row above it and the pointer adds its own row.
    const int hotRow = skeetra::form1Design().mouseHotY;
    const int barRow = hotRow - 1;
    auto row = [](const QImage &image, int y) {
        QList<QRgb> pixels;
        for (int x = 0; x < image.width(); ++x)
            pixels << image.pixel(x, y);
        return pixels;
    };
    int differing = 0;
    for (int y = 0; y < icon.height(); ++y) {
        if (y == barRow || y == hotRow)
            continue;
        for (int x = 0; x < icon.width(); ++x)
            differing += pointer.pixel(x, y) != icon.pixel(x, y);
    }
    QCOMPARE(differing, 0);
    QCOMPARE(row(pointer, barRow), row(icon, barRow));
    QCOMPARE(row(pointer, hotRow), row(icon, barRow));
    QVERIFY(row(icon, hotRow) != row(icon, barRow));
}

QTEST_MAIN(TestPictures)
#include "tst_pictures.moc"
