#pragma once
// Outputs: zwlr_output_manager_v1 with its heads and modes. Every bound
// manager gets its own head and mode objects. Configurations are accepted and
// always fail; the tool under test only reads.

#include "objects/wayland_glue.hpp"
#include "scenario/scenario.hpp"

#include <cstddef>
#include <cstdint>

namespace mock {

struct ClientState;

void bind_output_manager(ClientState& state, wl_resource* resource);

// Script actions, on every manager the client has bound.
void send_head_events(ClientState& state, std::size_t head, const EventList& events);
void send_mode_events(ClientState& state, std::size_t head, std::size_t mode, const EventList& events);
void add_head(ClientState& state, const HeadDef& def);
void send_output_done(ClientState& state, std::uint32_t serial);
void finish_output_managers(ClientState& state);

} // namespace mock
