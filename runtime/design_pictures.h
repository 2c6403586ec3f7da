// The picture files a design names, listed once for every host: each host
// decodes, scales and shows them with its own calls.
#pragma once

#include "design.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace rt {

enum class PictureUse : std::uint8_t {
    Painted, // drawn in the client area: the form's picture and the controls'
    Icon,    // the window's icon
    Pointer, // the mouse pointer over the client area
};

struct DesignPicture {
    std::string_view path; // resource path
    PictureUse use;
};

// The painted pictures first, bottom of the drawing first (the form's, then
// the controls' from the bottom of the stacking order up), then the icon and
// the pointer. Each file once for each use: controls sharing a picture share
// one entry. Names left empty are left out.
std::vector<DesignPicture> designPictures(const FormDesign& design);

} // namespace rt
