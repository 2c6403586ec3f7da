// x11-window: asks a client's top-level window to close, or checks that the
// client's event loop still answers, the way a window manager would.
//
// Without a window manager xdotool can only destroy a window or kill its
// client; neither is the polite request a player's close button sends.
//
//   x11-window close WINDOW             WM_DELETE_WINDOW, as from a title bar
//   x11-window ping WINDOW [TIMEOUT_MS] _NET_WM_PING; status 0 when answered
//   x11-window cursor                   the pointer as the server draws it:
//       a line "X Y HOTX HOTY WIDTH HEIGHT", then one line of ARGB pixels
//       (hexadecimal, premultiplied) a row; screenshots leave it out
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <poll.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return a;
}

xcb_client_message_event_t protocolMessage(xcb_window_t window, xcb_atom_t protocols, xcb_atom_t protocol,
                                           uint32_t stamp)
{
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = protocols;
    event.data.data32[0] = protocol;
    event.data.data32[1] = stamp;
    event.data.data32[2] = window;
    return event;
}

bool sendChecked(xcb_connection_t* c, xcb_window_t window, const xcb_client_message_event_t& event)
{
    xcb_generic_error_t* error = xcb_request_check(
        c, xcb_send_event_checked(c, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event)));
    std::free(error);
    return !error;
}

// While we hold the root's substructure redirection, windows that clients
// map or move would wait for us; grant every such request as it is.
void grantRequest(xcb_connection_t* c, const xcb_generic_event_t* event)
{
    switch (event->response_type & 0x7f) {
    case XCB_MAP_REQUEST:
        xcb_map_window(c, reinterpret_cast<const xcb_map_request_event_t*>(event)->window);
        break;
    case XCB_CONFIGURE_REQUEST: {
        const auto* r = reinterpret_cast<const xcb_configure_request_event_t*>(event);
        uint32_t values[7];
        int n = 0;
        if (r->value_mask & XCB_CONFIG_WINDOW_X) values[n++] = static_cast<uint32_t>(r->x);
        if (r->value_mask & XCB_CONFIG_WINDOW_Y) values[n++] = static_cast<uint32_t>(r->y);
        if (r->value_mask & XCB_CONFIG_WINDOW_WIDTH) values[n++] = r->width;
        if (r->value_mask & XCB_CONFIG_WINDOW_HEIGHT) values[n++] = r->height;
        if (r->value_mask & XCB_CONFIG_WINDOW_BORDER_WIDTH) values[n++] = r->border_width;
        if (r->value_mask & XCB_CONFIG_WINDOW_SIBLING) values[n++] = r->sibling;
        if (r->value_mask & XCB_CONFIG_WINDOW_STACK_MODE) values[n++] = r->stack_mode;
        xcb_configure_window(c, r->window, r->value_mask, values);
        break;
    }
    case XCB_CIRCULATE_REQUEST: {
        const auto* r = reinterpret_cast<const xcb_circulate_request_event_t*>(event);
        xcb_circulate_window(c, r->place, r->window);
        break;
    }
    default: return;
    }
    xcb_flush(c);
}

// Gives the redirection back, then grants what reached us before the X
// server took it back: a request left unanswered would never be carried out.
void releaseRedirect(xcb_connection_t* c, xcb_window_t root)
{
    const uint32_t none = XCB_EVENT_MASK_NO_EVENT;
    std::free(xcb_request_check(c, xcb_change_window_attributes_checked(c, root, XCB_CW_EVENT_MASK, &none)));
    while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
        grantRequest(c, event);
        std::free(event);
    }
    xcb_flush(c);
}

// Sends the ping and waits for the client to send it back to the root. The
// reply comes from the client's main thread, so it shows its event loop runs.
int awaitPong(xcb_connection_t* c, xcb_window_t window, int timeoutMs)
{
    const xcb_atom_t protocols = atom(c, "WM_PROTOCOLS");
    const xcb_atom_t pingAtom = atom(c, "_NET_WM_PING");
    const auto stamp =
        static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count() & 0x7fffffff);
    if (!sendChecked(c, window, protocolMessage(window, protocols, pingAtom, stamp))) {
        std::fprintf(stderr, "x11-window: no window 0x%x\n", window);
        return 1;
    }

    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(event);
            const bool pong = (event->response_type & 0x7f) == XCB_CLIENT_MESSAGE &&
                              message->data.data32[0] == pingAtom && message->data.data32[1] == stamp;
            grantRequest(c, event);
            std::free(event);
            if (pong)
                return 0;
        }
        if (xcb_connection_has_error(c)) {
            std::fprintf(stderr, "x11-window: lost the X connection\n");
            return 1;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            std::fprintf(stderr, "x11-window: no answer to the ping within %d ms\n", timeoutMs);
            return 1;
        }
        pollfd fd{xcb_get_file_descriptor(c), POLLIN, 0};
        ::poll(&fd, 1, static_cast<int>(left));
    }
}

int ping(xcb_connection_t* c, xcb_window_t root, xcb_window_t window, int timeoutMs)
{
    // The X server hands a reply sent with the redirect mask to the client
    // that redirects, the window manager; without one, that is us.
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT;
    xcb_generic_error_t* error =
        xcb_request_check(c, xcb_change_window_attributes_checked(c, root, XCB_CW_EVENT_MASK, &mask));
    if (error) {
        std::free(error);
        std::fprintf(stderr, "x11-window: a window manager runs; it is the one that gets ping replies\n");
        return 1;
    }
    const int status = awaitPong(c, window, timeoutMs);
    releaseRedirect(c, root);
    return status;
}

int cursor(xcb_connection_t* c)
{
    std::free(xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 4, 0), nullptr));
    xcb_xfixes_get_cursor_image_reply_t* image =
        xcb_xfixes_get_cursor_image_reply(c, xcb_xfixes_get_cursor_image(c), nullptr);
    if (!image) {
        std::fprintf(stderr, "x11-window: the X server gives no cursor image\n");
        return 1;
    }
    std::printf("%d %d %d %d %d %d\n", image->x, image->y, image->xhot, image->yhot, image->width, image->height);
    const uint32_t* pixels = xcb_xfixes_get_cursor_image_cursor_image(image);
    for (int y = 0; y < image->height; ++y) {
        for (int x = 0; x < image->width; ++x)
            std::printf("%s%08x", x ? " " : "", pixels[y * image->width + x]);
        std::printf("\n");
    }
    std::free(image);
    return 0;
}

int usage()
{
    std::fprintf(stderr, "usage: x11-window close WINDOW | ping WINDOW [TIMEOUT_MS] | cursor\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::string(argv[1]) == "cursor") {
        xcb_connection_t* c = xcb_connect(nullptr, nullptr);
        const int status = xcb_connection_has_error(c) ? 1 : cursor(c);
        xcb_disconnect(c);
        return status;
    }
    if (argc < 3)
        return usage();
    const std::string command = argv[1];
    char* end = nullptr;
    const unsigned long id = std::strtoul(argv[2], &end, 0);
    if (*end != '\0' || id == 0 || (command != "close" && command != "ping"))
        return usage();
    const auto window = static_cast<xcb_window_t>(id);
    const int timeoutMs = argc > 3 ? std::atoi(argv[3]) : 20000;

    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "x11-window: cannot open the display\n");
        return 1;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;

    int status = 0;
    if (command == "close") {
        const auto event = protocolMessage(window, atom(c, "WM_PROTOCOLS"), atom(c, "WM_DELETE_WINDOW"),
                                           XCB_CURRENT_TIME);
        if (!sendChecked(c, window, event)) {
            std::fprintf(stderr, "x11-window: no window 0x%x\n", window);
            status = 1;
        }
    } else {
        status = ping(c, root, window, timeoutMs);
    }
    xcb_disconnect(c);
    return status;
}
