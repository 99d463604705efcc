#include "scene/scene_flow.hpp"

#include <type_traits>

#include "scene/scene_renderers.hpp"
#include "text/messages.hpp"
#include "wayland/collection.hpp"
#include "wayland/events.hpp"
#include "wayland/requests.hpp"

namespace rdv {
namespace {

void on_scene_node(ClientState& state, const scene_snapshot_event::Node& node) noexcept
{
    // Memory shortage drops this one node; a name beyond the last position
    // is noted, and the flow reports it.
    auto added = state.scene_nodes.add({
        .id = node.id,
        .parent_id = node.parent_id,
        .name = node.name,
        .kind = node.kind,
        .enabled = node.enabled != 0,
        .x = node.x,
        .y = node.y,
        .width = node.width,
        .height = node.height,
    });
    if (!added && added.error() == TextArena::Refusal::no_position)
        state.scene_names_full = true;
}

void on_scene_done(ClientState& state) noexcept
{
    state.scene_done = true;
}

void on_scene_snapshot_event(ClientState& state, zadozav_scene_snapshot_v1*, const SceneSnapshotEvent& event) noexcept
{
    if (const auto* node = std::get_if<scene_snapshot_event::Node>(&event))
        on_scene_node(state, *node);
    else
        on_scene_done(state);
}

constexpr Listener<zadozav_scene_snapshot_v1, SceneSnapshotEvent, ClientState> kSceneSnapshotListener{
    on_scene_snapshot_event};

bool is_scene_snapshot_ready(const ClientState& state) noexcept
{
    return state.scene_done;
}

}  // namespace

Result<int> run_scene_flow(Session& session, Command command) noexcept
{
    ClientState& state = session.state;
    state.scene_snapshot = send_get_scene_snapshot(state.window_info_manager);
    if (!state.scene_snapshot) {
        session.close();
        return std::unexpected(Error::OutOfMemory);
    }
    add_listener(state.scene_snapshot, kSceneSnapshotListener, &state);

    RDV_TRY(run_collection_loop(session, {is_scene_snapshot_ready, messages::kSceneTimeout}));
    if (state.scene_names_full)
        return std::unexpected(exit_with_message(session, messages::kSceneTooLarge));
    Result<> rendered = command == Command::scene_dot ? write_scene_dot(session.out, state.scene_nodes)
                                                      : write_scene_tree(session.out, state.scene_nodes);
    return finish_flow(session, rendered, FlowEnding::snapshot);
}

}  // namespace rdv
