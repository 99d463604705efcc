// The one record every listener receives as user data.
#pragma once

#include <cstdint>
#include <new>
#include <vector>

#include "layout/layout_reply.hpp"
#include "outputs/output_head.hpp"
#include "scene/scene_node.hpp"
#include "wayland/protocol.hpp"
#include "windows/window_info.hpp"

namespace rdv {

// Lives in the entry function's frame for the whole run and never moves once
// a listener holds its address. Owns every record in its lists and every
// text in them; the proxies belong to the connection.
struct ClientState {
    ClientState() = default;
    ClientState(const ClientState&) = delete;
    ClientState& operator=(const ClientState&) = delete;

    wl_registry* registry = nullptr;
    zwlr_output_manager_v1* output_manager = nullptr;  // cleared when the manager finishes
    ext_foreign_toplevel_list_v1* toplevel_list = nullptr;
    zadozav_window_info_manager_v1* window_info_manager = nullptr;
    zadozav_scene_snapshot_v1* scene_snapshot = nullptr;

    SceneNodeList scene_nodes;  // arrival order
    HeadList heads;             // arrival order; records never move
    WindowList windows;         // order of `toplevel` events; records never move
    LayoutReply layout_reply;
    // Proxies no field refers to any more (a finished or replaced output
    // manager); teardown frees them on the client side.
    std::vector<wl_proxy*> orphaned_proxies;

    // Registry names and versions; a name of 0 marks a global not advertised
    // (for the output manager: not recorded).
    std::uint32_t output_manager_name = 0;
    std::uint32_t output_manager_version = 0;  // the version it was bound at
    std::uint32_t toplevel_list_name = 0;
    std::uint32_t toplevel_list_version = 0;
    std::uint32_t window_info_manager_name = 0;
    std::uint32_t window_info_manager_version = 0;  // as advertised

    bool wants_output_manager = false;
    bool outputs_done = false;
    bool output_manager_gone = false;
    bool scene_done = false;
    bool scene_names_full = false;  // a node was refused: its name had no position left
    bool toplevel_list_finished = false;
    bool layout_received = false;
};

// Keeps a proxy that no field refers to any more, so that teardown can free
// it. Should even that fail for lack of memory, the proxy is freed at once:
// left to the connection, its memory would never be given back.
inline void forget_proxy(ClientState& state, wl_proxy* proxy) noexcept
{
    try {
        state.orphaned_proxies.push_back(proxy);
    } catch (const std::bad_alloc&) {
        wl_proxy_destroy(proxy);
    }
}

}  // namespace rdv
