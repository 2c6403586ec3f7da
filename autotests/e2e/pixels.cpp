// Pixel readers of the end-to-end driver.
#include "pixels.h"

#include <QFont>
#include <QFontDatabase>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace e2e {

QImage picture(const char* file)
{
    const QImage image(QStringLiteral(SKEETRA_PICTURES "/") + QLatin1String(file));
    if (image.isNull())
        qFatal("cannot read the picture %s", file);
    return image;
}

int pixelsOfColour(const QImage& image, const QRect& rect, QRgb colour)
{
    int count = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            count += image.pixel(x, y) == colour;
    return count;
}

int differingPixels(const QImage& a, const QImage& b, const QRect& rect)
{
    int count = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            count += a.pixel(x, y) != b.pixel(x, y);
    return count;
}

QString differences(const QImage& shot, const QImage& expected, const QRect& rect)
{
    int count = 0;
    QPoint first(-1, -1);
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            if (shot.pixel(x, y) != expected.pixel(x, y) && count++ == 0)
                first = {x, y};
    if (count == 0)
        return {};
    return QStringLiteral("%1 pixels differ, the first at (%2, %3): %4 on screen, %5 expected")
        .arg(count)
        .arg(first.x())
        .arg(first.y())
        .arg(shot.pixel(first), 8, 16, QLatin1Char('0'))
        .arg(expected.pixel(first), 8, 16, QLatin1Char('0'));
}

int textRows(const QImage& shot, const QImage& background, const QRect& rect)
{
    int runs = 0;
    bool inRun = false;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        bool drawn = false;
        for (int x = rect.left(); x <= rect.right() && !drawn; ++x)
            drawn = shot.pixel(x, y) != background.pixel(x, y);
        runs += drawn && !inRun;
        inRun = drawn;
    }
    return runs;
}

bool uniform(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != image.pixel(0, 0))
                return false;
    return true;
}

namespace {

// The ink of a text: the pixels that differ clearly from its ground, cut to
// their bounding box.
QImage ink(const QImage& image, QRgb ground)
{
    QImage mask(image.size(), QImage::Format_Grayscale8);
    mask.fill(0);
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            const int distance = std::abs(qRed(p) - qRed(ground)) + std::abs(qGreen(p) - qGreen(ground)) +
                                 std::abs(qBlue(p) - qBlue(ground));
            if (distance > 64) {
                mask.setPixel(x, y, 255);
                box |= QRect(x, y, 1, 1);
            }
        }
    return mask.copy(box);
}

// Pixels where two inks differ, laid top-left on top-left.
int inkDifference(const QImage& a, const QImage& b)
{
    const int w = std::max(a.width(), b.width()), h = std::max(a.height(), b.height());
    int count = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool inA = a.rect().contains(x, y) && qGray(a.pixel(x, y)) > 0;
            const bool inB = b.rect().contains(x, y) && qGray(b.pixel(x, y)) > 0;
            count += inA != inB;
        }
    return count;
}

} // namespace

std::optional<int> nearestNumber(const QImage& region, QRgb ground, int pixelSize, const QList<int>& candidates)
{
    static const QString family = [] {
        const int id = QFontDatabase::addApplicationFont(QStringLiteral(SKEETRA_FONTS "/PTSans-Regular.ttf"));
        return QFontDatabase::applicationFontFamilies(id).value(0);
    }();
    const QImage shown = ink(region, ground);
    if (shown.isNull())
        return {};
    std::optional<int> best;
    int bestDifference = 0;
    for (int n : candidates) {
        QImage drawn(region.width() * 2, region.height() * 2, QImage::Format_RGB32);
        drawn.fill(ground);
        QPainter p(&drawn);
        QFont font(family);
        font.setPixelSize(pixelSize);
        p.setFont(font);
        p.setPen(Qt::black); // the default text colour
        p.drawText(QPoint(0, pixelSize), QString::number(n));
        p.end();
        const int difference = inkDifference(shown, ink(drawn, ground));
        if (!best || difference < bestDifference) {
            best = n;
            bestDifference = difference;
        }
    }
    return best;
}

// With the width of the bars, in device pixels, as the third coordinate.
std::optional<Crossing> barsCrossing(const QImage& bare, const QImage& with)
{
    QList<int> columns(bare.width()), rows(bare.height());
    for (int y = 0; y < bare.height(); ++y)
        for (int x = 0; x < bare.width(); ++x)
            if (bare.pixel(x, y) != with.pixel(x, y) && qGray(with.pixel(x, y)) < 64) {
                ++columns[x];
                ++rows[y];
            }
    auto bar = [](const QList<int>& counts) -> std::optional<std::pair<double, int>> {
        const int most = *std::max_element(counts.begin(), counts.end());
        if (most < 20)
            return {};
        QList<int> at;
        for (int i = 0; i < counts.size(); ++i)
            if (counts[i] * 10 >= most * 6)
                at << i;
        if (at.back() - at.front() + 1 != at.size())
            return {};
        return std::pair((at.front() + at.back() + 1) / 2.0, int(at.size()));
    };
    const auto x = bar(columns);
    const auto y = bar(rows);
    if (!x || !y)
        return {};
    return Crossing{QPointF(x->first, y->first), std::min(x->second, y->second)};
}

} // namespace e2e
