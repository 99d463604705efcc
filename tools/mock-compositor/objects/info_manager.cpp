#include "objects/info_manager.hpp"

#include "objects/client_state.hpp"
#include "objects/host.hpp"
#include "objects/layout.hpp"
#include "objects/post_event.hpp"
#include "objects/scene.hpp"
#include "objects/windows.hpp"

namespace mock {

struct InfoManagerObject {
    wl_resource* resource = nullptr;
    ClientState* state = nullptr;
};

namespace {

void post_layout(wl_resource* manager, const LayoutAnswer& answer, bool send_unsupported) noexcept
{
    post_event(manager, layout_event(answer), send_unsupported);
}

// The answer is worked out (and a change made) when the request arrives; it
// goes out after the scenario's reply_delay.
void schedule_answer(wl_resource* resource, LayoutAnswer answer)
{
    const auto manager = object_of<InfoManagerObject>(resource);
    ClientState& state = *manager->state;
    const std::weak_ptr<InfoManagerObject> weak = manager;
    const bool send_unsupported = state.send_unsupported();
    state.schedule(state.scenario.layout.reply_delay, [weak, answer = std::move(answer), send_unsupported] {
        if (const auto alive = weak.lock()) {
            post_layout(alive->resource, answer, send_unsupported);
        }
    });
}

void get_window_info(wl_client* client, wl_resource* resource, std::uint32_t id, wl_resource* toplevel) noexcept
{
    guarded_for(client, "get_window_info", [&] {
        create_window_info(*object_of<InfoManagerObject>(resource)->state, resource, id, toplevel);
    });
}

void get_scene_snapshot(wl_client* client, wl_resource* resource, std::uint32_t id) noexcept
{
    guarded_for(client, "get_scene_snapshot",
                [&] { create_scene_snapshot(*object_of<InfoManagerObject>(resource)->state, resource, id); });
}

void get_active_workspace_layout(wl_client* client, wl_resource* resource, const char* output) noexcept
{
    guarded_for(client, "get_active_workspace_layout", [&] {
        const ClientState& state = *object_of<InfoManagerObject>(resource)->state;
        schedule_answer(resource, state.host.layout().get(output));
    });
}

void set_active_workspace_layout(wl_client* client, wl_resource* resource, const char* output,
                                 const char* layout) noexcept
{
    guarded_for(client, "set_active_workspace_layout", [&] {
        const ClientState& state = *object_of<InfoManagerObject>(resource)->state;
        schedule_answer(resource, state.host.layout().set(output, layout));
    });
}

const struct zadozav_window_info_manager_v1_interface manager_implementation = {
    .get_window_info = &get_window_info,
    .destroy = &destroy_request,
    .get_scene_snapshot = &get_scene_snapshot,
    .get_active_workspace_layout = &get_active_workspace_layout,
    .set_active_workspace_layout = &set_active_workspace_layout,
};

} // namespace

void bind_info_manager(ClientState& state, wl_resource* resource)
{
    const auto manager = std::make_shared<InfoManagerObject>(InfoManagerObject{resource, &state});
    attach(resource, &manager_implementation, manager);
    remember(state.info_managers, manager);
}

void send_layout_reply(ClientState& state, const action::LayoutReply& reply)
{
    for (const auto& manager : live(state.info_managers)) {
        post_layout(manager->resource, reply, state.send_unsupported());
    }
}

} // namespace mock
