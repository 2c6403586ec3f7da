// The game's numbers live in label captions; these are the only ways the
// handlers read and change them.
#pragma once

#include "forms.h"

namespace skeetra {

// Adds a whole amount to the number a label shows.
void stepCounter(rt::Label& counter, double amount);
// The number a label shows.
double counterValue(const rt::Label& counter);
bool counterAtMost(const rt::Label& counter, double value);
bool counterAtLeast(const rt::Label& counter, double value);
// Writes a new random target index, 0 to 11, into the index label.
void chooseTargetIndex(rt::Label& index);

} // namespace skeetra
