// Runs one matched command: connection, the command's flow, rendering.
#pragma once

#include "cli/command_line.hpp"
#include "text/error.hpp"
#include "text/writer.hpp"

namespace rdv {

// Returns the exit status, or the failure to report. Paths that report a
// compositor problem end the process themselves.
[[nodiscard]] Result<int> run_command(const ParsedCommand& command, StdoutWriter& out, StderrWriter& err);

}  // namespace rdv
