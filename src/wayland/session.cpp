#include "wayland/session.hpp"

#include <algorithm>
#include <cstdlib>

#include "outputs/output_listeners.hpp"
#include "text/messages.hpp"
#include "wayland/events.hpp"
#include "wayland/requests.hpp"

namespace rdv {
namespace {

// The highest versions the tool binds at.
constexpr std::uint32_t kOutputManagerMaxVersion = 4;
constexpr std::uint32_t kWindowInfoManagerMaxVersion = 3;
// The first manager versions with scene snapshots and with layout control.
constexpr std::uint32_t kSceneSnapshotVersion = 2;
constexpr std::uint32_t kLayoutControlVersion = 3;

void destroy_proxy(void* object) noexcept
{
    if (object)
        wl_proxy_destroy(static_cast<wl_proxy*>(object));
}

void on_registry_event(ClientState& state, wl_registry* registry, const RegistryEvent& event) noexcept
{
    if (const auto* global = std::get_if<registry_event::Global>(&event)) {
        if (global->interface == "ext_foreign_toplevel_list_v1") {
            state.toplevel_list_name = global->name;
            state.toplevel_list_version = global->version;
        } else if (global->interface == "zadozav_window_info_manager_v1") {
            state.window_info_manager_name = global->name;
            state.window_info_manager_version = global->version;
        } else if (global->interface == "zwlr_output_manager_v1" && state.wants_output_manager) {
            state.output_manager_name = global->name;
            state.output_manager_version = std::min(global->version, kOutputManagerMaxVersion);
            auto* manager = bind_global<zwlr_output_manager_v1>(
                registry, global->name, zwlr_output_manager_v1_interface, state.output_manager_version);
            if (manager) {
                if (state.output_manager)
                    forget_proxy(state, as_proxy(state.output_manager));
                state.output_manager = manager;
                add_listener(manager, kOutputManagerListener, &state);
            }
        }
        return;
    }
    const auto& removed = std::get<registry_event::GlobalRemove>(event);
    if (state.output_manager_name != 0 && removed.name == state.output_manager_name)
        state.output_manager_gone = true;
}

constexpr Listener<wl_registry, RegistryEvent, ClientState> kRegistryListener{on_registry_event};

bool is_outputs_command(Command command) noexcept
{
    return command == Command::outputs_text || command == Command::outputs_json;
}

bool is_scene_command(Command command) noexcept
{
    return command == Command::scene_tree || command == Command::scene_dot;
}

bool is_layout_command(Command command) noexcept
{
    return command == Command::layout_query || command == Command::layout_set;
}

}  // namespace

void Session::close() noexcept
{
    if (!display)
        return;
    teardown_client_state(state);
    // Requests queued by teardown (releases) would be lost without this:
    // the library does not flush on disconnect.
    wl_display_flush(display);
    wl_display_disconnect(display);
    display = nullptr;
}

void round_trip_or_fail(Session& session) noexcept
{
    if (wl_display_roundtrip(session.display) >= 0)
        return;
    (void)session.err.put(messages::kConnectionFailed);
    (void)session.err.flush();
    std::exit(1);
}

Error exit_with_message(Session& session, std::string_view message) noexcept
{
    if (session.err.put(message) && session.err.flush())
        std::exit(1);
    session.close();
    return Error::WriteFailed;
}

Result<> open_session(Session& session, Command command)
{
    session.display = wl_display_connect(nullptr);
    if (!session.display)
        return std::unexpected(exit_with_message(session, messages::kUnableToConnect));

    ClientState& state = session.state;
    state.registry = send_get_registry(session.display);
    if (!state.registry) {
        session.close();
        return std::unexpected(Error::OutOfMemory);
    }
    state.wants_output_manager = is_outputs_command(command);
    add_listener(state.registry, kRegistryListener, &state);

    round_trip_or_fail(session);

    if (is_outputs_command(command)) {
        if (!state.output_manager)
            return std::unexpected(exit_with_message(session, messages::kNoOutputManagement));
        return {};
    }

    if (state.window_info_manager_name == 0 || (!is_scene_command(command) && state.toplevel_list_name == 0))
        return std::unexpected(exit_with_message(session, messages::kNoWindowIntrospection));

    state.window_info_manager = bind_global<zadozav_window_info_manager_v1>(
        state.registry, state.window_info_manager_name, zadozav_window_info_manager_v1_interface,
        std::min(state.window_info_manager_version, kWindowInfoManagerMaxVersion));
    if (!state.window_info_manager) {
        session.close();
        return std::unexpected(Error::OutOfMemory);
    }

    if (is_scene_command(command) && state.window_info_manager_version < kSceneSnapshotVersion)
        return std::unexpected(exit_with_message(session, messages::kNoSceneSnapshots));
    if (is_layout_command(command) && state.window_info_manager_version < kLayoutControlVersion)
        return std::unexpected(exit_with_message(session, messages::kNoLayoutControl));
    return {};
}

void teardown_client_state(ClientState& state) noexcept
{
    // No destroy request is ever sent, but every proxy the client library
    // made for us is freed on the client side (wl_proxy_destroy sends
    // nothing), so that nothing is left behind at disconnect.
    for (const WindowInfo& window : state.windows) {
        destroy_proxy(window.info);
        destroy_proxy(window.handle);
    }
    // The records and their texts go by whole chunks.
    state.windows.clear();
    state.scene_nodes.clear();
    for (OutputHead& head : state.heads)
        free_head(head);
    state.heads.clear();
    destroy_proxy(state.output_manager);
    state.output_manager = nullptr;
    for (wl_proxy* proxy : state.orphaned_proxies)
        destroy_proxy(proxy);
    std::vector<wl_proxy*>().swap(state.orphaned_proxies);
    destroy_proxy(state.toplevel_list);
    state.toplevel_list = nullptr;
    destroy_proxy(state.scene_snapshot);
    state.scene_snapshot = nullptr;
    destroy_proxy(state.window_info_manager);
    state.window_info_manager = nullptr;
    state.layout_reply.output = {};
    state.layout_reply.layout = {};
    state.layout_reply.texts.clear();
    if (state.registry)
        wl_proxy_destroy(as_proxy(state.registry));
    state.registry = nullptr;
}

}  // namespace rdv
