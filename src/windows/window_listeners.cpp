#include "windows/window_listeners.hpp"

#include <type_traits>

#include "wayland/requests.hpp"

namespace rdv {
namespace {

// Keeps a text of the window in its list's arena; without memory the event
// is dropped and the field keeps its value.
void store(WindowInfo& window, Text& field, std::string_view bytes) noexcept
{
    (void)window.client->windows.texts.store(field, bytes);
}

void on_window_info_event(WindowInfo& window, zadozav_window_info_v1*, const WindowInfoEvent& event) noexcept
{
    std::visit(
        [&](const auto& e) {
            using namespace window_info_event;
            using E = std::decay_t<decltype(e)>;
            if constexpr (std::is_same_v<E, Backend>) {
                window.backend = e.backend;
            } else if constexpr (std::is_same_v<E, AppId>) {
                store(window, window.app_id, e.text);
            } else if constexpr (std::is_same_v<E, Class>) {
                store(window, window.window_class, e.text);
            } else if constexpr (std::is_same_v<E, Output>) {
                store(window, window.output, e.text);
            } else if constexpr (std::is_same_v<E, Workspace>) {
                window.workspace = e.workspace;
            } else if constexpr (std::is_same_v<E, Geometry>) {
                window.geometry = {e.x, e.y, e.width, e.height};
            } else if constexpr (std::is_same_v<E, State>) {
                window.state = e.state;
            } else if constexpr (std::is_same_v<E, Layout>) {
                store(window, window.layout, e.text);
            } else if constexpr (std::is_same_v<E, MatchedRule>) {
                window.matched_rule = e.rule;
            } else if constexpr (std::is_same_v<E, RuleMatcher>) {
                if (e.kind < window.rule_matchers.size())
                    store(window, window.rule_matchers[e.kind], e.text);
            } else {
                static_assert(std::is_same_v<E, Done>);
                window.info_done = true;
            }
        },
        event);
}

constexpr Listener<zadozav_window_info_v1, WindowInfoEvent, WindowInfo> kWindowInfoListener{on_window_info_event};

// The window's description is asked for once, at the handle's first `done`,
// when its initial identifier, title and app id have normally arrived.
void request_window_info(WindowInfo& window) noexcept
{
    if (window.info_requested)
        return;
    zadozav_window_info_manager_v1* manager = window.client->window_info_manager;
    if (!manager)
        return;
    zadozav_window_info_v1* info = send_get_window_info(manager, window.handle);
    if (!info)
        return;  // a later `done` tries again
    window.info = info;
    window.info_requested = true;
    add_listener(info, kWindowInfoListener, &window);
}

void on_toplevel_handle_event(WindowInfo& window, ext_foreign_toplevel_handle_v1*,
                              const ToplevelHandleEvent& event) noexcept
{
    std::visit(
        [&](const auto& e) {
            using namespace toplevel_handle_event;
            using E = std::decay_t<decltype(e)>;
            if constexpr (std::is_same_v<E, Closed>) {
                window.closed = true;
            } else if constexpr (std::is_same_v<E, Done>) {
                request_window_info(window);
            } else if constexpr (std::is_same_v<E, Title>) {
                store(window, window.title, e.text);
            } else if constexpr (std::is_same_v<E, AppId>) {
                store(window, window.toplevel_app_id, e.text);
            } else {
                static_assert(std::is_same_v<E, Identifier>);
                store(window, window.identifier, e.text);
            }
        },
        event);
}

constexpr Listener<ext_foreign_toplevel_handle_v1, ToplevelHandleEvent, WindowInfo> kToplevelHandleListener{
    on_toplevel_handle_event};

// Without memory for the list to grow, the toplevel is ignored and its
// handle freed on the client side.
void add_window(ClientState& state, ext_foreign_toplevel_handle_v1* handle) noexcept
{
    WindowInfo* record = state.windows.append();
    if (!record) {
        wl_proxy_destroy(as_proxy(handle));
        return;
    }
    record->client = &state;
    record->handle = handle;
    add_listener(handle, kToplevelHandleListener, record);
}

void on_toplevel_list_event(ClientState& state, ext_foreign_toplevel_list_v1*,
                            const ToplevelListEvent& event) noexcept
{
    if (const auto* toplevel = std::get_if<toplevel_list_event::Toplevel>(&event)) {
        add_window(state, toplevel->handle);
        return;
    }
    state.toplevel_list_finished = true;
}

}  // namespace

constinit const Listener<ext_foreign_toplevel_list_v1, ToplevelListEvent, ClientState> kToplevelListListener{
    on_toplevel_list_event};

}  // namespace rdv
