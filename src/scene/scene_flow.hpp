// The scene snapshot flow of `scene` and `scene --dot`.
#pragma once

#include "cli/command_line.hpp"
#include "wayland/session.hpp"

namespace rdv {

// Asks for a scene snapshot, collects its nodes until `done` within the
// round-trip budget, renders and closes.
[[nodiscard]] Result<int> run_scene_flow(Session& session, Command command) noexcept;

}  // namespace rdv
