// The one paint order of a Form.
#include "paint_list.h"

namespace rt {

std::vector<const Control*> stackingOrder(const Form& form)
{
    std::vector<const Control*> order;
    const auto& controls = form.controls();
    // The design lists the topmost control first.
    for (auto it = controls.rbegin(); it != controls.rend(); ++it)
        if ((*it)->kind() != ControlKind::Timer)
            order.push_back(it->get());
    return order;
}

std::vector<PaintEntry> paintList(const Form& form)
{
    std::vector<PaintEntry> entries;
    for (const Control* c : stackingOrder(form)) {
        if (!c->Visible())
            continue;
        if (c->kind() == ControlKind::Image && c->design().picture.empty())
            continue;
        entries.push_back({c, c->rect()});
    }
    return entries;
}

} // namespace rt
