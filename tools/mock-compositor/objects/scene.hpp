#pragma once
// Scene snapshots: zadozav_scene_snapshot_v1 objects, each sent the scene's
// nodes and then done.

#include "objects/wayland_glue.hpp"
#include "scenario/scenario.hpp"

#include <cstdint>
#include <vector>

namespace mock {

struct ClientState;

// zadozav_window_info_manager_v1.get_scene_snapshot
void create_scene_snapshot(ClientState& state, wl_resource* manager, std::uint32_t id);

// Script actions, on every snapshot the client still holds.
void send_scene_nodes(ClientState& state, const std::vector<SceneNode>& nodes);
void send_scene_done(ClientState& state);

} // namespace mock
