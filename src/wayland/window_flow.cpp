#include "wayland/window_flow.hpp"

#include <algorithm>

#include "text/messages.hpp"
#include "wayland/collection.hpp"
#include "wayland/requests.hpp"
#include "windows/window_listeners.hpp"
#include "windows/window_renderers.hpp"

namespace rdv {
namespace {

bool is_window_snapshot_ready(const ClientState& state) noexcept
{
    return state.toplevel_list_finished &&
           std::ranges::all_of(state.windows, [](const WindowInfo& window) { return is_window_complete(window); });
}

Result<> render_windows(Writer& writer, const WindowList& windows, Command command) noexcept
{
    switch (command) {
    case Command::windows_json:
        return write_windows_json(writer, windows);
    case Command::inspect_rule:
        return write_rule_stubs(writer, windows);
    case Command::windows_table:
    case Command::scene_tree:
    case Command::scene_dot:
    case Command::outputs_text:
    case Command::outputs_json:
    case Command::layout_query:
    case Command::layout_set:
        break;
    }
    return write_window_table(writer, windows);
}

}  // namespace

Result<int> run_window_flow(Session& session, Command command) noexcept
{
    ClientState& state = session.state;
    constexpr std::uint32_t kToplevelListVersion = 1;
    state.toplevel_list = bind_global<ext_foreign_toplevel_list_v1>(
        state.registry, state.toplevel_list_name, ext_foreign_toplevel_list_v1_interface, kToplevelListVersion);
    if (!state.toplevel_list) {
        session.close();
        return std::unexpected(Error::OutOfMemory);
    }
    add_listener(state.toplevel_list, kToplevelListListener, &state);

    // The compositor announces its windows; each handle's first `done` asks
    // for that window's description.
    round_trip_or_fail(session);
    send_toplevel_list_stop(state.toplevel_list);

    RDV_TRY(run_collection_loop(session, {is_window_snapshot_ready, messages::kWindowTimeout}));
    return finish_flow(session, render_windows(session.out, state.windows, command), FlowEnding::snapshot);
}

}  // namespace rdv
