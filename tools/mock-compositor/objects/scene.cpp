#include "objects/scene.hpp"

#include "objects/client_state.hpp"

namespace mock {

struct SnapshotObject {
    wl_resource* resource = nullptr;
};

namespace {

const struct zadozav_scene_snapshot_v1_interface snapshot_implementation = {
    .destroy = &destroy_request,
};

// Node names are checked against the message size when the scenario is read.
void send_nodes(wl_resource* resource, const std::vector<SceneNode>& nodes) noexcept
{
    for (const SceneNode& node : nodes) {
        zadozav_scene_snapshot_v1_send_node(resource, node.id, node.parent, node.name.c_str(), node.kind,
                                            node.enabled, node.x, node.y, node.width, node.height);
    }
}

} // namespace

void create_scene_snapshot(ClientState& state, wl_resource* manager, std::uint32_t id)
{
    wl_resource* resource = create_child(state.client, zadozav_scene_snapshot_v1_interface, manager, id);
    if (resource == nullptr) {
        return;
    }
    const auto snapshot = std::make_shared<SnapshotObject>(SnapshotObject{resource});
    attach(resource, &snapshot_implementation, snapshot);
    remember(state.snapshots, snapshot);

    const SceneDef& scene = state.scenario.scene;
    send_nodes(resource, scene.nodes);
    const std::weak_ptr<SnapshotObject> weak = snapshot;
    state.schedule(scene.done_delay, [weak, &scene] {
        if (const auto alive = weak.lock()) {
            zadozav_scene_snapshot_v1_send_done(alive->resource);
            send_nodes(alive->resource, scene.after_done);
        }
    });
}

void send_scene_nodes(ClientState& state, const std::vector<SceneNode>& nodes)
{
    for (const auto& snapshot : live(state.snapshots)) {
        send_nodes(snapshot->resource, nodes);
    }
}

void send_scene_done(ClientState& state)
{
    for (const auto& snapshot : live(state.snapshots)) {
        zadozav_scene_snapshot_v1_send_done(snapshot->resource);
    }
}

} // namespace mock
