// Counter operations: read the caption, compute in double precision, write
// the result back as text. The target index is drawn in single precision.
#include "counters.h"

namespace skeetra {

void stepCounter(rt::Label& counter, double amount)
{
    const double value = rt::textToDouble(counter.Caption());
    counter.setCaption(rt::doubleToText(rt::checkedResult(value + amount)));
}

double counterValue(const rt::Label& counter) { return rt::textToDouble(counter.Caption()); }

bool counterAtMost(const rt::Label& counter, double value) { return counterValue(counter) <= value; }
bool counterAtLeast(const rt::Label& counter, double value) { return counterValue(counter) >= value; }

void chooseTargetIndex(rt::Label& index)
{
    const float scaled = rt::checkedResult(rt::nextRandom() * 12.0f);
    index.setCaption(rt::singleToText(rt::integerPart(scaled)));
}

} // namespace skeetra
