// The layout query and change flow of `layout --output NAME [--set LAYOUT] --json`.
#pragma once

#include "cli/command_line.hpp"
#include "wayland/session.hpp"

namespace rdv {

// Sends the one request, waits for the answer within the round-trip budget
// and prints it. A reply other than success ends the process with status 1
// after its line is printed; otherwise returns the exit status.
[[nodiscard]] Result<int> run_layout_command(Session& session, const ParsedCommand& command) noexcept;

}  // namespace rdv
