// The interface descriptions the tool speaks: libwayland's wl_registry and
// the descriptions that wayland-scanner generates from our protocol files.
//
// Only the generated descriptions (wayland-scanner's private code) are
// used; the generated client headers are not, since our own protocol's
// `class` event becomes a listener member named `class`, which C++ cannot
// parse. The tool has its own dispatchers and requests instead.
#pragma once

#include <wayland-client-core.h>
#include <wayland-client-protocol.h>

extern "C" {

// Opaque object types: each is a wl_proxy.
struct ext_foreign_toplevel_list_v1;
struct ext_foreign_toplevel_handle_v1;
struct zwlr_output_manager_v1;
struct zwlr_output_head_v1;
struct zwlr_output_mode_v1;
struct zadozav_window_info_manager_v1;
struct zadozav_window_info_v1;
struct zadozav_scene_snapshot_v1;

extern const struct wl_interface ext_foreign_toplevel_list_v1_interface;
extern const struct wl_interface ext_foreign_toplevel_handle_v1_interface;
extern const struct wl_interface zwlr_output_manager_v1_interface;
extern const struct wl_interface zwlr_output_head_v1_interface;
extern const struct wl_interface zwlr_output_mode_v1_interface;
extern const struct wl_interface zwlr_output_configuration_v1_interface;
extern const struct wl_interface zwlr_output_configuration_head_v1_interface;
extern const struct wl_interface zadozav_window_info_manager_v1_interface;
extern const struct wl_interface zadozav_window_info_v1_interface;
extern const struct wl_interface zadozav_scene_snapshot_v1_interface;
}

namespace rdv {

// The opaque object types are names for wl_proxy.
template <typename Object>
wl_proxy* as_proxy(Object* object) noexcept
{
    return reinterpret_cast<wl_proxy*>(object);
}

template <typename Object>
Object* as_object(wl_proxy* proxy) noexcept
{
    return reinterpret_cast<Object*>(proxy);
}

}  // namespace rdv
