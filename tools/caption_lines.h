// How the design's wrapped captions break in the bundled faces, as every
// host must draw them: the one table that the tests of each platform compare
// their lines with (the page's tests read it from the design table).
#pragma once

#include <string_view>
#include <vector>

namespace skeetra {

struct CaptionLines {
    std::string_view label;
    std::vector<std::string_view> lines; // without the blanks that hang past the edge
};

inline const std::vector<CaptionLines>& captionLines()
{
    static const std::vector<CaptionLines> table = {
        {"Label8", {"Набери 100 убийств за", "минимальное время.", "Чтобы начать нажми на", "надпись KILL THEM ALL !!!"}},
        {"Label11", {"Вы набрали 100 убийств.", "Ваше время:"}},
    };
    return table;
}

} // namespace skeetra
