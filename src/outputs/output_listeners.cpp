#include "outputs/output_listeners.hpp"

#include <type_traits>

#include "wayland/requests.hpp"

namespace rdv {
namespace {

void on_mode_event(OutputMode& mode, zwlr_output_mode_v1*, const ModeEvent& event) noexcept
{
    std::visit(
        [&](const auto& e) {
            using E = std::decay_t<decltype(e)>;
            if constexpr (std::is_same_v<E, mode_event::Size>) {
                mode.width = e.width;
                mode.height = e.height;
            } else if constexpr (std::is_same_v<E, mode_event::Refresh>) {
                mode.refresh_mhz = e.refresh_mhz;
            } else if constexpr (std::is_same_v<E, mode_event::Preferred>) {
                mode.preferred = true;
            } else {
                static_assert(std::is_same_v<E, mode_event::Finished>);
                mode.finished = true;
            }
        },
        event);
}

constexpr Listener<zwlr_output_mode_v1, ModeEvent, OutputMode> kModeListener{on_mode_event};

// Gives back a head or mode object whose record could not be kept, in the
// middle of a round trip. `release` goes out at once; the client-side proxy
// is freed at teardown, because events already read may still name it or
// announce new objects on it, and libwayland-client (1.21) never frees a
// proxy destroyed under such events, nor the objects they announce. Without
// memory to remember it, the proxy is freed at once (forget_proxy).
void give_back_unkept(ClientState& state, wl_proxy* object) noexcept
{
    send_output_object_release(object);
    forget_proxy(state, object);
}

// The listener of a head whose record could not be kept: the modes it
// announces are given back at once.
void on_unkept_head_event(ClientState& state, zwlr_output_head_v1*, const HeadEvent& event) noexcept
{
    if (const auto* mode = std::get_if<head_event::Mode>(&event))
        give_back_unkept(state, as_proxy(mode->mode));
}

constexpr Listener<zwlr_output_head_v1, HeadEvent, ClientState> kUnkeptHeadListener{on_unkept_head_event};

void add_mode(OutputHead& head, zwlr_output_mode_v1* proxy) noexcept
{
    OutputMode* mode = head.modes.append();
    if (!mode) {
        give_back_unkept(*head.client, as_proxy(proxy));
        return;
    }
    mode->proxy = proxy;
    add_listener(proxy, kModeListener, mode);
}

void set_current_mode(OutputHead& head, const zwlr_output_mode_v1* proxy) noexcept
{
    head.current_mode = nullptr;
    if (!proxy)
        return;
    for (const OutputMode& mode : head.modes) {
        if (mode.proxy == proxy) {
            head.current_mode = &mode;
            return;
        }
    }
}

// Keeps a text of the head in its list's arena; without memory the event is
// dropped and the field keeps its value.
void store(OutputHead& head, Text& field, std::string_view bytes) noexcept
{
    (void)head.client->heads.texts.store(field, bytes);
}

void on_head_event(OutputHead& head, zwlr_output_head_v1*, const HeadEvent& event) noexcept
{
    std::visit(
        [&](const auto& e) {
            using E = std::decay_t<decltype(e)>;
            if constexpr (std::is_same_v<E, head_event::Name>) {
                store(head, head.name, e.text);
            } else if constexpr (std::is_same_v<E, head_event::Description>) {
                store(head, head.description, e.text);
            } else if constexpr (std::is_same_v<E, head_event::PhysicalSize>) {
                head.physical_width_mm = e.width_mm;
                head.physical_height_mm = e.height_mm;
                head.has_physical_size = true;
            } else if constexpr (std::is_same_v<E, head_event::Mode>) {
                add_mode(head, e.mode);
            } else if constexpr (std::is_same_v<E, head_event::Enabled>) {
                head.enabled = e.enabled != 0;
            } else if constexpr (std::is_same_v<E, head_event::CurrentMode>) {
                set_current_mode(head, e.mode);
            } else if constexpr (std::is_same_v<E, head_event::Position>) {
                head.x = e.x;
                head.y = e.y;
            } else if constexpr (std::is_same_v<E, head_event::Transform>) {
                head.transform = e.transform;
            } else if constexpr (std::is_same_v<E, head_event::Scale>) {
                head.scale = e.scale / 256.0;
            } else if constexpr (std::is_same_v<E, head_event::Finished>) {
                head.finished = true;
            } else if constexpr (std::is_same_v<E, head_event::Make>) {
                store(head, head.make, e.text);
            } else if constexpr (std::is_same_v<E, head_event::Model>) {
                store(head, head.model, e.text);
            } else if constexpr (std::is_same_v<E, head_event::SerialNumber>) {
                store(head, head.serial_number, e.text);
            } else {
                static_assert(std::is_same_v<E, head_event::AdaptiveSync>);
                head.adaptive_sync = e.state == 1;
            }
        },
        event);
}

constexpr Listener<zwlr_output_head_v1, HeadEvent, OutputHead> kHeadListener{on_head_event};

void add_head(ClientState& state, zwlr_output_head_v1* proxy) noexcept
{
    OutputHead* head = state.heads.append();
    if (!head) {
        add_listener(proxy, kUnkeptHeadListener, &state);
        give_back_unkept(state, as_proxy(proxy));
        return;
    }
    head->client = &state;
    head->proxy = proxy;
    add_listener(proxy, kHeadListener, head);
}

void on_output_manager_event(ClientState& state, zwlr_output_manager_v1*, const OutputManagerEvent& event) noexcept
{
    std::visit(
        [&](const auto& e) {
            using E = std::decay_t<decltype(e)>;
            if constexpr (std::is_same_v<E, output_manager_event::Head>) {
                add_head(state, e.head);
            } else if constexpr (std::is_same_v<E, output_manager_event::Done>) {
                state.outputs_done = true;
            } else {
                static_assert(std::is_same_v<E, output_manager_event::Finished>);
                state.output_manager_gone = true;
                if (state.output_manager)
                    forget_proxy(state, as_proxy(state.output_manager));
                state.output_manager = nullptr;
            }
        },
        event);
}

}  // namespace

constinit const Listener<zwlr_output_manager_v1, OutputManagerEvent, ClientState> kOutputManagerListener{
    on_output_manager_event};

void free_head(OutputHead& head) noexcept
{
    for (const OutputMode& mode : head.modes)
        release_output_object(as_proxy(mode.proxy));
    head.modes.clear();
    release_output_object(as_proxy(head.proxy));
}

}  // namespace rdv
