// Finding a program's window and reading it back, for the outside watchers.
#include "x11_watch.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace bench {

double monotonicMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return a;
}

xcb_window_t windowOf(xcb_connection_t* c, xcb_window_t root, xcb_atom_t pidAtom, pid_t pid)
{
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr);
    if (!tree)
        return 0;
    xcb_window_t found = 0;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    for (int i = 0, n = xcb_query_tree_children_length(tree); i < n && !found; ++i) {
        xcb_get_property_reply_t* property = xcb_get_property_reply(
            c, xcb_get_property(c, 0, children[i], pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr);
        const bool ours = property && xcb_get_property_value_length(property) == 4 &&
                          *static_cast<const uint32_t*>(xcb_get_property_value(property)) == uint32_t(pid);
        std::free(property);
        if (!ours)
            continue;
        xcb_get_window_attributes_reply_t* attributes =
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, children[i]), nullptr);
        if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE)
            found = children[i];
        std::free(attributes);
    }
    std::free(tree);
    return found;
}

xcb_get_image_reply_t* readBack(xcb_connection_t* c, xcb_window_t window, int width, int height, double& at)
{
    xcb_get_image_reply_t* image = xcb_get_image_reply(
        c,
        xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0, static_cast<uint16_t>(width),
                      static_cast<uint16_t>(height), ~0u),
        nullptr);
    at = monotonicMs();
    return image;
}

} // namespace bench
