// The game window Form1 as designed: its settings, controls, pictures and fonts.
#pragma once

#include "forms.h"

namespace skeetra {

const rt::FormDesign& form1Design();

} // namespace skeetra
