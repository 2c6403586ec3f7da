// The one line-breaking rule of labels.
#include "line_breaks.h"

namespace rt {

std::vector<std::string_view> breakLines(std::string_view text, int width, const MeasureText& measure)
{
    // Blanks are ASCII, so a UTF-8 text never breaks inside a character.
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    std::vector<std::string_view> lines;
    std::size_t lineStart = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        // A word and the blanks after it; only its visible part has to fit.
        std::size_t wordEnd = pos;
        while (wordEnd < text.size() && !blank(text[wordEnd]))
            ++wordEnd;
        std::size_t next = wordEnd;
        while (next < text.size() && blank(text[next]))
            ++next;
        if (pos > lineStart && wordEnd > pos && measure(text.substr(lineStart, wordEnd - lineStart)) > width) {
            lines.push_back(text.substr(lineStart, pos - lineStart));
            lineStart = pos;
        }
        pos = next;
    }
    if (lineStart < text.size() || lines.empty())
        lines.push_back(text.substr(lineStart));
    return lines;
}

} // namespace rt
