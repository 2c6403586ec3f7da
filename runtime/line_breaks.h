// Where a label's caption breaks into lines, decided once for every host:
// the host only measures text in the face it draws with.
#pragma once

#include <functional>
#include <string_view>
#include <vector>

namespace rt {

// The width of a run of text as the host would draw it, in the same units
// as the width it is fitted into.
using MeasureText = std::function<double(std::string_view)>;

// Breaks `text` into lines of at most `width`, at runs of blanks (spaces and
// tabs) only: a line ends after the blanks that follow its last word, which
// hang past the edge and need not fit. A word wider than the width stands
// alone on its line; a leading blank stays. The lines are views into
// `text`, together the whole of it, one empty line for empty text.
std::vector<std::string_view> breakLines(std::string_view text, int width, const MeasureText& measure);

} // namespace rt
