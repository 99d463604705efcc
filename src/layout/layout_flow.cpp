#include "layout/layout_flow.hpp"

#include <string>

#include "layout/layout_result.hpp"
#include "text/messages.hpp"
#include "wayland/collection.hpp"
#include "wayland/events.hpp"
#include "wayland/requests.hpp"

namespace rdv {
namespace {

void on_window_info_manager_event(ClientState& state, zadozav_window_info_manager_v1*,
                                  const WindowInfoManagerEvent& event) noexcept
{
    const auto& answer = std::get<window_info_manager_event::ActiveWorkspaceLayout>(event);
    LayoutReply& reply = state.layout_reply;
    reply.status = answer.status;
    reply.workspace = answer.workspace;
    // A text that cannot be copied keeps its previous value; the answer still counts.
    (void)reply.texts.store(reply.output, answer.output);
    (void)reply.texts.store(reply.layout, answer.layout);
    state.layout_received = true;
}

constexpr Listener<zadozav_window_info_manager_v1, WindowInfoManagerEvent, ClientState> kWindowInfoManagerListener{
    on_window_info_manager_event};

bool is_layout_ready(const ClientState& state) noexcept
{
    return state.layout_received;
}

}  // namespace

Result<int> run_layout_command(Session& session, const ParsedCommand& command) noexcept
{
    ClientState& state = session.state;
    add_listener(state.window_info_manager, kWindowInfoManagerListener, &state);

    // The texts go out byte for byte as given, empty ones included.
    std::string output;
    std::string layout;
    try {
        output.assign(command.name);
        layout.assign(command.layout);
    } catch (const std::bad_alloc&) {
        session.close();
        return std::unexpected(Error::OutOfMemory);
    }
    if (command.command == Command::layout_set)
        send_set_active_workspace_layout(state.window_info_manager, output.c_str(), layout.c_str());
    else
        send_get_active_workspace_layout(state.window_info_manager, output.c_str());

    RDV_TRY(run_collection_loop(session, {is_layout_ready, messages::kLayoutTimeout}));
    return finish_flow(session, write_layout_result(session.out, state.layout_reply), FlowEnding::layout);
}

}  // namespace rdv
