// How many device pixels a design pixel takes: the one rule every host sizes
// its window by, so that each picture pixel is an even, sharp block of whole
// device pixels wherever the whole window fits.
#pragma once

#include <optional>

namespace rt {

struct PixelSize {
    int width = 0, height = 0;
};

// The largest whole scale from 1 up to `ceiling` (none: no limit) at which
// the client area at that scale, with the frame around it, fits the room;
// client area in design pixels, frame and room in device pixels. Where not
// even 1 fits, 1: a desktop window larger than its screen still opens.
int fittingScale(PixelSize client, PixelSize frame, PixelSize room, std::optional<int> ceiling);

// The ceiling a desktop's own ratio of device pixels to its units sets: its
// whole part, at least 1. Rounding 150 % up would draw the window a third
// larger than the setting asks for, and take more screen than the game had
// at 100 %; taken whole, it shows the design one to one there.
int wholeScale(double ratio);

// For a host that can draw a design pixel smaller than a device pixel (the
// page on a phone held upright): the whole scale where 1 fits the room, with
// no ceiling and no frame, or else the fraction at which the client area
// just fits. The room in device pixels, which a browser gives in fractions.
double fittingScaleOrFraction(PixelSize client, double roomWidth, double roomHeight);

} // namespace rt
