#pragma once
// zadozav_window_info_manager_v1: the entry point that hands out window
// descriptions and scene snapshots, and answers the layout requests.

#include "objects/wayland_glue.hpp"
#include "scenario/scenario.hpp"

namespace mock {

struct ClientState;

void bind_info_manager(ClientState& state, wl_resource* resource);

// A scripted active_workspace_layout on every manager bound at version 3 or
// later.
void send_layout_reply(ClientState& state, const action::LayoutReply& reply);

} // namespace mock
