#include "objects/outputs.hpp"

#include "objects/client_state.hpp"
#include "objects/post_event.hpp"

#include <variant>

namespace mock {

struct ModeObject {
    wl_resource* resource = nullptr;
};

struct HeadObject {
    wl_resource* resource = nullptr;
    std::size_t index = 0;
    std::vector<std::weak_ptr<ModeObject>> modes; // by mode index
};

struct OutputManagerObject {
    wl_resource* resource = nullptr;
    ClientState* state = nullptr;
    bool finished = false;
    std::vector<std::weak_ptr<HeadObject>> heads; // by head index
};

namespace {

template <class T>
std::shared_ptr<T> at(const std::vector<std::weak_ptr<T>>& refs, std::size_t index)
{
    return index < refs.size() ? refs[index].lock() : nullptr;
}

template <class T>
void put(std::vector<std::weak_ptr<T>>& refs, std::size_t index, const std::shared_ptr<T>& object)
{
    if (refs.size() <= index) {
        refs.resize(index + 1);
    }
    refs[index] = object;
}

// --- requests -------------------------------------------------------------

void finish_manager(OutputManagerObject& manager) noexcept
{
    if (!manager.finished) {
        manager.finished = true;
        zwlr_output_manager_v1_send_finished(manager.resource);
    }
}

void configuration_head_set_mode(wl_client*, wl_resource*, wl_resource*) noexcept {}
void configuration_head_set_custom_mode(wl_client*, wl_resource*, std::int32_t, std::int32_t, std::int32_t) noexcept
{
}
void configuration_head_set_position(wl_client*, wl_resource*, std::int32_t, std::int32_t) noexcept {}
void configuration_head_set_transform(wl_client*, wl_resource*, std::int32_t) noexcept {}
void configuration_head_set_scale(wl_client*, wl_resource*, wl_fixed_t) noexcept {}
void configuration_head_set_adaptive_sync(wl_client*, wl_resource*, std::uint32_t) noexcept {}

const struct zwlr_output_configuration_head_v1_interface configuration_head_implementation = {
    .set_mode = &configuration_head_set_mode,
    .set_custom_mode = &configuration_head_set_custom_mode,
    .set_position = &configuration_head_set_position,
    .set_transform = &configuration_head_set_transform,
    .set_scale = &configuration_head_set_scale,
    .set_adaptive_sync = &configuration_head_set_adaptive_sync,
};

void configuration_enable_head(wl_client* client, wl_resource* resource, std::uint32_t id, wl_resource*) noexcept
{
    wl_resource* head = create_child(client, zwlr_output_configuration_head_v1_interface, resource, id);
    if (head == nullptr) {
        return;
    }
    wl_resource_set_implementation(head, &configuration_head_implementation, nullptr, nullptr);
}

void configuration_disable_head(wl_client*, wl_resource*, wl_resource*) noexcept {}

// The mock changes no output: every configuration fails.
void configuration_apply(wl_client*, wl_resource* resource) noexcept
{
    zwlr_output_configuration_v1_send_failed(resource);
}

const struct zwlr_output_configuration_v1_interface configuration_implementation = {
    .enable_head = &configuration_enable_head,
    .disable_head = &configuration_disable_head,
    .apply = &configuration_apply,
    .test = &configuration_apply,
    .destroy = &destroy_request,
};

void manager_create_configuration(wl_client* client, wl_resource* resource, std::uint32_t id,
                                  std::uint32_t /*serial*/) noexcept
{
    wl_resource* configuration = create_child(client, zwlr_output_configuration_v1_interface, resource, id);
    if (configuration == nullptr) {
        return;
    }
    wl_resource_set_implementation(configuration, &configuration_implementation, nullptr, nullptr);
}

void manager_stop(wl_client* /*client*/, wl_resource* resource) noexcept
{
    finish_manager(*object_of<OutputManagerObject>(resource));
}

const struct zwlr_output_manager_v1_interface manager_implementation = {
    .create_configuration = &manager_create_configuration,
    .stop = &manager_stop,
};

const struct zwlr_output_head_v1_interface head_implementation = {
    .release = &destroy_request,
};

const struct zwlr_output_mode_v1_interface mode_implementation = {
    .release = &destroy_request,
};

// --- events ---------------------------------------------------------------

void send_events(wl_resource* resource, const EventList& events, bool send_unsupported) noexcept
{
    for (const Event& event : events) {
        post_event(resource, event, send_unsupported);
    }
}

// head.mode: a new mode object, then the mode's own events.
void announce_mode(ClientState& state, HeadObject& head, const Event& event, std::size_t index)
{
    if (!state.send_unsupported() && event.since > wl_resource_get_version(head.resource)) {
        return;
    }
    wl_resource* resource = create_child(state.client, zwlr_output_mode_v1_interface, head.resource, 0);
    if (resource == nullptr) {
        return;
    }
    const auto mode = std::make_shared<ModeObject>(ModeObject{resource});
    attach(resource, &mode_implementation, mode);
    put(head.modes, index, mode);

    post_event(head.resource, event, state.send_unsupported(), resource);
    send_events(resource, state.heads[head.index]->modes.at(index).events, state.send_unsupported());
}

// head.current_mode: a mode announced earlier on this manager.
void send_current_mode(ClientState& state, OutputManagerObject& manager, HeadObject& head, const Event& event,
                       const ModeRef& ref)
{
    const std::size_t owner = ref.head.value_or(head.index);
    const auto owner_head = at(manager.heads, owner);
    const auto mode = owner_head ? at(owner_head->modes, ref.mode) : nullptr;
    if (!mode) {
        std::fprintf(stderr,
                     "mock-compositor: current_mode: mode %zu of head %zu is not known to the client; "
                     "not sent\n",
                     ref.mode, owner);
        return;
    }
    post_event(head.resource, event, state.send_unsupported(), mode->resource);
}

void send_head_event_list(ClientState& state, OutputManagerObject& manager, HeadObject& head,
                          const EventList& events)
{
    for (const Event& event : events) {
        const Arg* first = event.args.empty() ? nullptr : &event.args.front();
        if (const auto* new_mode = first ? std::get_if<NewMode>(first) : nullptr) {
            announce_mode(state, head, event, new_mode->mode);
        } else if (const auto* ref = first ? std::get_if<ModeRef>(first) : nullptr) {
            send_current_mode(state, manager, head, event, *ref);
        } else {
            post_event(head.resource, event, state.send_unsupported());
        }
    }
}

void announce_head(ClientState& state, OutputManagerObject& manager, std::size_t index)
{
    if (manager.finished) {
        return;
    }
    wl_resource* resource = create_child(state.client, zwlr_output_head_v1_interface, manager.resource, 0);
    if (resource == nullptr) {
        return;
    }
    const auto head = std::make_shared<HeadObject>(HeadObject{resource, index, {}});
    attach(resource, &head_implementation, head);
    put(manager.heads, index, head);

    zwlr_output_manager_v1_send_head(manager.resource, resource);
    send_head_event_list(state, manager, *head, state.heads[index]->events);
}

void send_done(OutputManagerObject& manager, std::uint32_t serial) noexcept
{
    if (!manager.finished) {
        zwlr_output_manager_v1_send_done(manager.resource, serial);
    }
}

} // namespace

void bind_output_manager(ClientState& state, wl_resource* resource)
{
    const auto manager = std::make_shared<OutputManagerObject>(OutputManagerObject{resource, &state, false, {}});
    attach(resource, &manager_implementation, manager);
    remember(state.output_managers, manager);

    for (std::size_t i = 0; i < state.heads.size(); ++i) {
        announce_head(state, *manager, i);
    }
    const std::weak_ptr<OutputManagerObject> weak = manager;
    const std::uint32_t serial = state.scenario.output_manager.serial;
    state.schedule(state.scenario.output_manager.done_delay, [weak, serial] {
        if (const auto alive = weak.lock()) {
            send_done(*alive, serial);
        }
    });
}

void send_head_events(ClientState& state, std::size_t head, const EventList& events)
{
    for (const auto& manager : live(state.output_managers)) {
        if (const auto object = at(manager->heads, head)) {
            send_head_event_list(state, *manager, *object, events);
        }
    }
}

void send_mode_events(ClientState& state, std::size_t head, std::size_t mode, const EventList& events)
{
    for (const auto& manager : live(state.output_managers)) {
        const auto head_object = at(manager->heads, head);
        if (const auto object = head_object ? at(head_object->modes, mode) : nullptr) {
            send_events(object->resource, events, state.send_unsupported());
        }
    }
}

void add_head(ClientState& state, const HeadDef& def)
{
    state.heads.push_back(&def);
    for (const auto& manager : live(state.output_managers)) {
        announce_head(state, *manager, state.heads.size() - 1);
    }
}

void send_output_done(ClientState& state, std::uint32_t serial)
{
    for (const auto& manager : live(state.output_managers)) {
        send_done(*manager, serial);
    }
}

void finish_output_managers(ClientState& state)
{
    for (const auto& manager : live(state.output_managers)) {
        finish_manager(*manager);
    }
}

} // namespace mock
