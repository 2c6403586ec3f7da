// Marks a message box as its parent's modal dialog on GNOME's mutter,
// through GNOME's own Wayland protocol, so that mutter puts it over the
// game; other compositors offer no such protocol and are left alone.
#include "qt_host.h"

#include <QGuiApplication>
#include <QWindow>
#include <qpa/qplatformnativeinterface.h>

#include <wayland-client-core.h>
#include <wayland-client-protocol.h>

#include <cstring>

namespace rt {

namespace {

// gtk_shell1, GNOME's own Wayland protocol, as mutter reads it: only the
// requests used here, and every event of the version bound, which the
// library must know to read them.
const wl_interface* kNoTypes[6] = {};
extern const wl_interface kGtkSurface;
const wl_interface* kGetGtkSurfaceTypes[] = {&kGtkSurface, &wl_surface_interface};
const wl_message kGtkShellRequests[] = {{"get_gtk_surface", "no", kGetGtkSurfaceTypes}};
const wl_message kGtkShellEvents[] = {{"capabilities", "u", kNoTypes}};
const wl_interface kGtkShell = {"gtk_shell1", 1, 1, kGtkShellRequests, 1, kGtkShellEvents};
const wl_message kGtkSurfaceRequests[] = {{"set_dbus_properties", "?s?s?s?s?s?s", kNoTypes},
                                          {"set_modal", "", kNoTypes}};
const wl_message kGtkSurfaceEvents[] = {{"configure", "a", kNoTypes}};
const wl_interface kGtkSurface = {"gtk_surface1", 1, 2, kGtkSurfaceRequests, 1, kGtkSurfaceEvents};
constexpr uint32_t kGetGtkSurface = 0;
constexpr uint32_t kSetModal = 1;

// The compositor's gtk_shell1, bound once on a queue of Qt's display's own,
// or null where it offers none. Its events then go to Qt's queue, which
// drops them: none matters here.
wl_proxy* gtkShell(wl_display* display)
{
    static wl_display* boundOn = nullptr;
    static wl_proxy* shell = nullptr;
    if (boundOn == display)
        return shell;
    boundOn = display;
    shell = nullptr;
    wl_event_queue* queue = wl_display_create_queue(display);
    auto* wrapper = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapper), queue);
    wl_registry* registry = wl_display_get_registry(wrapper);
    static const wl_registry_listener listener = {
        [](void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
            auto** found = static_cast<wl_proxy**>(data);
            if (!*found && std::strcmp(interface, kGtkShell.name) == 0)
                *found = static_cast<wl_proxy*>(wl_registry_bind(registry, name, &kGtkShell, 1));
        },
        [](void*, wl_registry*, uint32_t) {},
    };
    wl_registry_add_listener(registry, &listener, &shell);
    wl_display_roundtrip_queue(display, queue);
    if (shell)
        wl_proxy_set_queue(shell, nullptr);
    wl_registry_destroy(registry);
    wl_proxy_wrapper_destroy(wrapper);
    wl_event_queue_destroy(queue);
    return shell;
}

} // namespace

BoxMark markModal(QWindow* box)
{
    if (!box || !box->handle() || !QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return {nullptr, wl_proxy_destroy};
    QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
    auto* display = static_cast<wl_display*>(native->nativeResourceForIntegration("wl_display"));
    auto* surface = static_cast<wl_proxy*>(native->nativeResourceForWindow("surface", box));
    wl_proxy* shell = display && surface ? gtkShell(display) : nullptr;
    if (!shell)
        return {nullptr, wl_proxy_destroy};
    wl_proxy* marked = wl_proxy_marshal_flags(shell, kGetGtkSurface, &kGtkSurface, wl_proxy_get_version(shell), 0,
                                              nullptr, surface);
    if (marked)
        wl_proxy_marshal_flags(marked, kSetModal, nullptr, wl_proxy_get_version(marked), 0);
    return {marked, wl_proxy_destroy};
}

} // namespace rt
