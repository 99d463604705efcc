#include "objects/windows.hpp"

#include "objects/client_state.hpp"
#include "objects/post_event.hpp"

namespace mock {

struct ToplevelListObject {
    wl_resource* resource = nullptr;
    ClientState* state = nullptr;
    bool finished = false;
};

struct HandleObject {
    wl_resource* resource = nullptr;
    std::size_t window = 0;
};

struct InfoObject {
    wl_resource* resource = nullptr;
};

namespace {

void send_events(wl_resource* resource, const EventList& events, bool send_unsupported) noexcept
{
    for (const Event& event : events) {
        post_event(resource, event, send_unsupported);
    }
}

void finish_list(ToplevelListObject& list) noexcept
{
    if (!list.finished) {
        list.finished = true;
        ext_foreign_toplevel_list_v1_send_finished(list.resource);
    }
}

void list_stop(wl_client* client, wl_resource* resource) noexcept
{
    guarded_for(client, "ext_foreign_toplevel_list_v1.stop", [&] {
        const auto list = object_of<ToplevelListObject>(resource);
        const std::weak_ptr<ToplevelListObject> weak = list;
        list->state->schedule(list->state->scenario.toplevel_list.finished_delay, [weak] {
            if (const auto alive = weak.lock()) {
                finish_list(*alive);
            }
        });
    });
}

const struct ext_foreign_toplevel_list_v1_interface list_implementation = {
    .stop = &list_stop,
    .destroy = &destroy_request,
};

const struct ext_foreign_toplevel_handle_v1_interface handle_implementation = {
    .destroy = &destroy_request,
};

const struct zadozav_window_info_v1_interface info_implementation = {
    .destroy = &destroy_request,
};

bool is_announced(const WindowState& window, std::uint32_t syncs)
{
    return !window.closed && (!window.announce_at || *window.announce_at <= syncs);
}

void announce(ClientState& state, ToplevelListObject& list, std::size_t index)
{
    if (list.finished) {
        return;
    }
    wl_resource* resource = create_child(state.client, ext_foreign_toplevel_handle_v1_interface, list.resource, 0);
    if (resource == nullptr) {
        return;
    }
    const auto handle = std::make_shared<HandleObject>(HandleObject{resource, index});
    attach(resource, &handle_implementation, handle);
    WindowState& window = state.windows[index];
    remember(window.handles, handle);

    ext_foreign_toplevel_list_v1_send_toplevel(list.resource, resource);
    send_events(resource, window.def->handle, state.send_unsupported());
}

void announce_everywhere(ClientState& state, std::size_t index)
{
    for (const auto& list : live(state.lists)) {
        announce(state, *list, index);
    }
}

} // namespace

void bind_toplevel_list(ClientState& state, wl_resource* resource)
{
    const auto list = std::make_shared<ToplevelListObject>(ToplevelListObject{resource, &state, false});
    attach(resource, &list_implementation, list);
    remember(state.lists, list);
    for (std::size_t i = 0; i < state.windows.size(); ++i) {
        if (is_announced(state.windows[i], state.syncs)) {
            announce(state, *list, i);
        }
    }
}

void create_window_info(ClientState& state, wl_resource* manager, std::uint32_t id, wl_resource* toplevel)
{
    // The type check libwayland does compares names only; this makes sure the
    // handle is one of ours and not some other object of that name.
    if (!wl_resource_instance_of(toplevel, &ext_foreign_toplevel_handle_v1_interface, &handle_implementation)) {
        wl_resource_post_error(manager, 0, "get_window_info: not a toplevel handle of this compositor");
        return;
    }
    const std::size_t index = object_of<HandleObject>(toplevel)->window;

    wl_resource* resource = create_child(state.client, zadozav_window_info_v1_interface, manager, id);
    if (resource == nullptr) {
        return;
    }
    const auto info = std::make_shared<InfoObject>(InfoObject{resource});
    attach(resource, &info_implementation, info);
    WindowState& window = state.windows[index];
    remember(window.infos, info);

    const std::weak_ptr<InfoObject> weak = info;
    const WindowDef* def = window.def;
    const bool send_unsupported = state.send_unsupported();
    state.schedule(def->info_delay, [weak, def, send_unsupported] {
        if (const auto alive = weak.lock()) {
            send_events(alive->resource, def->info, send_unsupported);
        }
    });
}

void announce_windows_at(ClientState& state, std::uint32_t sync)
{
    for (std::size_t i = 0; i < state.windows.size(); ++i) {
        const WindowState& window = state.windows[i];
        if (window.announce_at == sync && !window.closed) {
            announce_everywhere(state, i);
        }
    }
}

void add_window(ClientState& state, const WindowDef& def)
{
    state.windows.push_back(WindowState{&def, std::nullopt, false, {}, {}});
    announce_everywhere(state, state.windows.size() - 1);
}

void close_window(ClientState& state, std::size_t window)
{
    WindowState& target = state.windows.at(window);
    target.closed = true;
    for (const auto& handle : live(target.handles)) {
        ext_foreign_toplevel_handle_v1_send_closed(handle->resource);
    }
}

void send_window_events(ClientState& state, std::size_t window, const EventList& handle, const EventList& info)
{
    WindowState& target = state.windows.at(window);
    for (const auto& object : live(target.handles)) {
        send_events(object->resource, handle, state.send_unsupported());
    }
    for (const auto& object : live(target.infos)) {
        send_events(object->resource, info, state.send_unsupported());
    }
}

void finish_toplevel_lists(ClientState& state)
{
    for (const auto& list : live(state.lists)) {
        finish_list(*list);
    }
}

} // namespace mock
