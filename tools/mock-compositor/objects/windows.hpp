#pragma once
// Windows: ext_foreign_toplevel_list_v1 with its handles, and the
// zadozav_window_info_v1 objects that describe the window behind a handle.

#include "objects/wayland_glue.hpp"
#include "scenario/scenario.hpp"

#include <cstddef>
#include <cstdint>

namespace mock {

struct ClientState;

void bind_toplevel_list(ClientState& state, wl_resource* resource);

// zadozav_window_info_manager_v1.get_window_info
void create_window_info(ClientState& state, wl_resource* manager, std::uint32_t id, wl_resource* toplevel);

// Announces the windows whose announce_at_sync is this round trip.
void announce_windows_at(ClientState& state, std::uint32_t sync);

// Script actions.
void add_window(ClientState& state, const WindowDef& def);
void close_window(ClientState& state, std::size_t window);
void send_window_events(ClientState& state, std::size_t window, const EventList& handle, const EventList& info);
void finish_toplevel_lists(ClientState& state);

} // namespace mock
