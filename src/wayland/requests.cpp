#include "wayland/requests.hpp"

namespace rdv {
namespace {

// Opcodes of the requests below.
constexpr std::uint32_t kDisplayGetRegistry = 1;
constexpr std::uint32_t kRegistryBind = 0;
constexpr std::uint32_t kToplevelListStop = 0;
constexpr std::uint32_t kManagerGetWindowInfo = 0;
constexpr std::uint32_t kManagerGetSceneSnapshot = 2;
constexpr std::uint32_t kManagerGetActiveWorkspaceLayout = 3;
constexpr std::uint32_t kManagerSetActiveWorkspaceLayout = 4;
constexpr std::uint32_t kOutputObjectRelease = 0;  // of both zwlr_output_head_v1 and zwlr_output_mode_v1
constexpr std::uint32_t kReleaseSinceVersion = 3;

}  // namespace

wl_registry* send_get_registry(wl_display* display) noexcept
{
    wl_argument args[1]{};
    args[0].o = nullptr;  // the new registry
    return as_object<wl_registry>(wl_proxy_marshal_array_constructor(as_proxy(display), kDisplayGetRegistry, args,
                                                                      &wl_registry_interface));
}

wl_proxy* send_bind(wl_registry* registry, std::uint32_t name, const wl_interface& interface,
                    std::uint32_t version) noexcept
{
    wl_argument args[4]{};
    args[0].u = name;
    args[1].s = interface.name;
    args[2].u = version;
    args[3].o = nullptr;  // the new object
    return wl_proxy_marshal_array_constructor_versioned(as_proxy(registry), kRegistryBind, args, &interface, version);
}

void send_toplevel_list_stop(ext_foreign_toplevel_list_v1* list) noexcept
{
    wl_argument none[1]{};
    wl_proxy_marshal_array(as_proxy(list), kToplevelListStop, none);
}

zadozav_window_info_v1* send_get_window_info(zadozav_window_info_manager_v1* manager,
                                             ext_foreign_toplevel_handle_v1* handle) noexcept
{
    wl_argument args[2]{};
    args[0].o = nullptr;  // the new window-info object
    args[1].o = reinterpret_cast<wl_object*>(handle);
    return as_object<zadozav_window_info_v1>(wl_proxy_marshal_array_constructor(
        as_proxy(manager), kManagerGetWindowInfo, args, &zadozav_window_info_v1_interface));
}

zadozav_scene_snapshot_v1* send_get_scene_snapshot(zadozav_window_info_manager_v1* manager) noexcept
{
    wl_argument args[1]{};
    args[0].o = nullptr;  // the new snapshot
    return as_object<zadozav_scene_snapshot_v1>(wl_proxy_marshal_array_constructor(
        as_proxy(manager), kManagerGetSceneSnapshot, args, &zadozav_scene_snapshot_v1_interface));
}

void send_get_active_workspace_layout(zadozav_window_info_manager_v1* manager, const char* output) noexcept
{
    wl_argument args[1]{};
    args[0].s = output;
    wl_proxy_marshal_array(as_proxy(manager), kManagerGetActiveWorkspaceLayout, args);
}

void send_set_active_workspace_layout(zadozav_window_info_manager_v1* manager, const char* output,
                                      const char* layout) noexcept
{
    wl_argument args[2]{};
    args[0].s = output;
    args[1].s = layout;
    wl_proxy_marshal_array(as_proxy(manager), kManagerSetActiveWorkspaceLayout, args);
}

void send_output_object_release(wl_proxy* object) noexcept
{
    if (wl_proxy_get_version(object) >= kReleaseSinceVersion) {
        wl_argument none[1]{};
        wl_proxy_marshal_array(object, kOutputObjectRelease, none);
    }
}

void release_output_object(wl_proxy* object) noexcept
{
    send_output_object_release(object);
    wl_proxy_destroy(object);
}

}  // namespace rdv
