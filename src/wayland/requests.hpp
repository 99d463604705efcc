// Every request the tool ever sends, as typed calls.
#pragma once

#include <cstdint>

#include "wayland/protocol.hpp"

namespace rdv {

// wl_display.get_registry; none when the library cannot allocate.
wl_registry* send_get_registry(wl_display* display) noexcept;

// wl_registry.bind of global `name` at `version`; the new proxy gets that
// version. None when the library cannot allocate.
wl_proxy* send_bind(wl_registry* registry, std::uint32_t name, const wl_interface& interface,
                    std::uint32_t version) noexcept;

template <typename Object>
Object* bind_global(wl_registry* registry, std::uint32_t name, const wl_interface& interface,
                    std::uint32_t version) noexcept
{
    return as_object<Object>(send_bind(registry, name, interface, version));
}

void send_toplevel_list_stop(ext_foreign_toplevel_list_v1* list) noexcept;

// The new objects take the manager's version. None when the library cannot allocate.
zadozav_window_info_v1* send_get_window_info(zadozav_window_info_manager_v1* manager,
                                             ext_foreign_toplevel_handle_v1* handle) noexcept;
zadozav_scene_snapshot_v1* send_get_scene_snapshot(zadozav_window_info_manager_v1* manager) noexcept;

// `output` and `layout` are NUL-terminated.
void send_get_active_workspace_layout(zadozav_window_info_manager_v1* manager, const char* output) noexcept;
void send_set_active_workspace_layout(zadozav_window_info_manager_v1* manager, const char* output,
                                      const char* layout) noexcept;

// Gives a head or mode object back: `release` when the object's version is 3
// or more (the request exists since 3), then the proxy is destroyed.
void release_output_object(wl_proxy* object) noexcept;

// Only the `release` of release_output_object; the proxy stays.
void send_output_object_release(wl_proxy* object) noexcept;

}  // namespace rdv
