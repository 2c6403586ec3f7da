// The one list of a design's pictures.
#include "design_pictures.h"

#include <algorithm>

namespace rt {

std::vector<DesignPicture> designPictures(const FormDesign& design)
{
    std::vector<DesignPicture> pictures;
    auto add = [&](std::string_view path, PictureUse use) {
        const bool listed = std::any_of(pictures.begin(), pictures.end(), [&](const DesignPicture& p) {
            return p.path == path && p.use == use;
        });
        if (!path.empty() && !listed)
            pictures.push_back({path, use});
    };
    add(design.picture, PictureUse::Painted);
    // The design lists the topmost control first.
    for (auto c = design.controls.rbegin(); c != design.controls.rend(); ++c)
        if (c->kind == ControlKind::Image)
            add(c->picture, PictureUse::Painted);
    add(design.icon, PictureUse::Icon);
    add(design.mouseIcon, PictureUse::Pointer);
    return pictures;
}

} // namespace rt
