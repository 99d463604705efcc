// The window snapshot flow of `windows`, `windows --json` and `inspect --rule`.
#pragma once

#include "cli/command_line.hpp"
#include "wayland/session.hpp"

namespace rdv {

// Binds the toplevel list, collects every window's description within the
// round-trip budget, renders and closes. Returns the exit status.
[[nodiscard]] Result<int> run_window_flow(Session& session, Command command) noexcept;

}  // namespace rdv
