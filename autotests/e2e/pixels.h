// Pixel readers: what a screenshot tells whatever the art looks like (how
// many pixels differ, how many lines of text a rectangle holds, which
// number a counter shows, where the crosshair's bars cross).
#pragma once

#include <QImage>
#include <QList>
#include <QPointF>
#include <QRect>
#include <QString>

#include <optional>

namespace e2e {

inline QImage region(const QImage& image, const QRect& rect) { return image.copy(rect); }

// One of the game's pictures as the files hold it.
QImage picture(const char* file);

int pixelsOfColour(const QImage& image, const QRect& rect, QRgb colour);
int differingPixels(const QImage& a, const QImage& b, const QRect& rect);
// Where the shot differs from the expected image, as text for a failure
// message; empty when they agree pixel for pixel.
QString differences(const QImage& shot, const QImage& expected, const QRect& rect);
// Runs of rows inside the rectangle that hold anything besides the
// background: the lines of a text drawn there.
int textRows(const QImage& shot, const QImage& background, const QRect& rect);
bool uniform(const QImage& image);

// Which of the numbers the region shows, read by the shape of its ink
// against each drawn in the window's bundled face at the pixel size: the
// game's own renderer may smooth its text differently, but the nearest
// shape is the number shown. Nothing when the region holds no ink.
std::optional<int> nearestNumber(const QImage& region, QRgb ground, int pixelSize, const QList<int>& candidates);

// Where the crosshair's bars cross on the screen, and how wide they are,
// in device pixels.
struct Crossing {
    QPointF centre;
    int barWidth = 0;
};
// The crosshair's bars in what the pointer changed: the run of columns
// and of rows drawn along most of the pointer's length.
std::optional<Crossing> barsCrossing(const QImage& bare, const QImage& with);

} // namespace e2e
