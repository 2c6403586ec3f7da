// What a host paints, and in which order, decided once for every host: the
// host draws each entry with its own primitives (a filled rectangle, a
// picture, a run of text), clipped to the entry's rectangle.
#pragma once

#include "form.h"

#include <vector>

namespace rt {

struct PaintEntry {
    const Control* control; // a Label (its back and caption) or an Image (its picture)
    PixelRect rect;         // in design pixels; nothing of it is drawn outside
};

// Every control that can show something (labels and pictures, shown or
// hidden), bottom of the stacking order first: the order in which a host
// that keeps an element for each control builds them, the page's way.
std::vector<const Control*> stackingOrder(const Form& form);

// The controls that show something, bottom of the stacking order first, so
// that each is drawn over those below it: visible labels, and visible
// pictures that have a picture. Timers, hidden controls and empty pictures
// are left out. The form's own back colour and picture lie under them all.
std::vector<PaintEntry> paintList(const Form& form);

} // namespace rt
