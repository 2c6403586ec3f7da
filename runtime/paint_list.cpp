// The one paint order of a Form.
#include "paint_list.h"

namespace rt {

std::vector<PaintEntry> paintList(const Form& form)
{
    std::vector<PaintEntry> entries;
    const auto& controls = form.controls();
    // The design lists the topmost control first.
    for (auto it = controls.rbegin(); it != controls.rend(); ++it) {
        const Control& c = **it;
        if (!c.Visible() || c.kind() == ControlKind::Timer)
            continue;
        if (c.kind() == ControlKind::Image && c.design().picture.empty())
            continue;
        entries.push_back({&c, c.rect()});
    }
    return entries;
}

} // namespace rt
