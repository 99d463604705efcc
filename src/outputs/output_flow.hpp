// The output snapshot flow of `outputs` and `outputs --json`.
#pragma once

#include "cli/command_line.hpp"
#include "wayland/session.hpp"

namespace rdv {

// Waits for the manager's `done` within the round-trip budget (stopping
// early when the manager goes away), renders and closes.
[[nodiscard]] Result<int> run_output_flow(Session& session, Command command) noexcept;

}  // namespace rdv
