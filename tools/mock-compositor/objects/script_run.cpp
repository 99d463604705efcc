#include "objects/script_run.hpp"

#include "objects/client_state.hpp"
#include "objects/globals.hpp"
#include "objects/host.hpp"
#include "objects/info_manager.hpp"
#include "objects/outputs.hpp"
#include "objects/scene.hpp"
#include "objects/windows.hpp"
#include "scenario/overloaded.hpp"

namespace mock {

namespace {

void run(ClientState& state, const Action& step)
{
    std::visit(Overloaded{
                   [&](const action::WindowEvents& a) { send_window_events(state, a.window, a.handle, a.info); },
                   [&](const action::CloseWindow& a) { close_window(state, a.window); },
                   [&](const action::NewWindow& a) { add_window(state, a.window); },
                   [&](const action::ToplevelFinished&) { finish_toplevel_lists(state); },
                   [&](const action::RemoveGlobal& a) {
                       state.changed_globals = true;
                       if (a.index) {
                           state.host.globals().remove_index(*a.index);
                       } else {
                           state.host.globals().remove_interface(a.interface.value_or(""));
                       }
                   },
                   [&](const action::AddGlobal& a) {
                       state.changed_globals = true;
                       state.host.globals().add(a.global);
                   },
                   [&](const action::ProtocolError& a) {
                       // libwayland cuts the client off once the sync
                       // request being handled returns.
                       wl_resource* display = wl_client_get_object(state.client, 1);
                       wl_resource_post_error(display, a.code, "%s", a.message.c_str());
                   },
                   [&](const action::Disconnect&) { state.disconnect(); },
                   [&](const action::HeadEvents& a) { send_head_events(state, a.head, a.events); },
                   [&](const action::ModeEvents& a) { send_mode_events(state, a.head, a.mode, a.events); },
                   [&](const action::NewHead& a) { add_head(state, a.head); },
                   [&](const action::OutputDone& a) {
                       send_output_done(state, a.serial.value_or(state.scenario.output_manager.serial));
                   },
                   [&](const action::OutputFinished&) { finish_output_managers(state); },
                   [&](const action::SceneNodes& a) { send_scene_nodes(state, a.nodes); },
                   [&](const action::SceneDone&) { send_scene_done(state); },
                   [&](const action::LayoutReply& a) { send_layout_reply(state, a); },
               },
               step);
}

} // namespace

void run_script_at(ClientState& state, std::uint32_t sync)
{
    // The script is kept sorted by round trip, file order within one.
    for (const ScriptStep& step : state.scenario.script) {
        if (step.at_sync > sync) {
            break;
        }
        if (step.at_sync == sync && !state.disconnecting) {
            run(state, step.action);
        }
    }
}

} // namespace mock
