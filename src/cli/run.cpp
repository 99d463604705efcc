#include "cli/run.hpp"

#include "layout/layout_flow.hpp"
#include "outputs/output_flow.hpp"
#include "scene/scene_flow.hpp"
#include "wayland/session.hpp"
#include "wayland/window_flow.hpp"

namespace rdv {

Result<int> run_command(const ParsedCommand& command, StdoutWriter& out, StderrWriter& err)
{
    Session session(out, err);
    RDV_TRY(open_session(session, command.command));
    switch (command.command) {
    case Command::windows_table:
    case Command::windows_json:
    case Command::inspect_rule:
        return run_window_flow(session, command.command);
    case Command::scene_tree:
    case Command::scene_dot:
        return run_scene_flow(session, command.command);
    case Command::outputs_text:
    case Command::outputs_json:
        return run_output_flow(session, command.command);
    case Command::layout_query:
    case Command::layout_set:
        return run_layout_command(session, command);
    }
    return 1;
}

}  // namespace rdv
