#pragma once
// What the mock knows about one connected client: its round-trip count, what
// is due at which round trip, and the objects it holds. Each client starts
// from the scenario afresh.

#include "objects/wayland_glue.hpp"
#include "scenario/scenario.hpp"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace mock {

class Host;

// Defined by the protocol areas that own them.
struct ToplevelListObject;
struct HandleObject;
struct InfoObject;
struct InfoManagerObject;
struct SnapshotObject;
struct OutputManagerObject;

struct WindowState {
    const WindowDef* def = nullptr;
    // Round trip at which the window appears; empty once it is known to all
    // lists bound from now on.
    std::optional<std::uint32_t> announce_at;
    bool closed = false;
    std::vector<std::weak_ptr<HandleObject>> handles;
    std::vector<std::weak_ptr<InfoObject>> infos;
};

struct ClientState {
    ClientState(Host& host, wl_client* client);
    ~ClientState();
    ClientState(const ClientState&) = delete;
    ClientState& operator=(const ClientState&) = delete;

    Host& host;
    wl_client* const client;
    const Scenario& scenario;

    std::uint32_t syncs = 0;
    std::uint32_t events_sent = 0; // every event logged for this client, errors included
    bool fault_fired = false;      // a --drop-after-events or --error-at-event fault has happened
    bool disconnecting = false;
    bool changed_globals = false; // the script added or removed globals

    std::vector<WindowState> windows;
    std::vector<const HeadDef*> heads;

    std::vector<std::weak_ptr<ToplevelListObject>> lists;
    std::vector<std::weak_ptr<InfoManagerObject>> info_managers;
    std::vector<std::weak_ptr<SnapshotObject>> snapshots;
    std::vector<std::weak_ptr<OutputManagerObject>> output_managers;

    bool send_unsupported() const noexcept { return scenario.send_unsupported_events; }

    // Runs `task` now (delay 0), at the delay-th round trip from now, or never.
    void schedule(Delay delay, std::function<void()> task);

    // A wl_display.sync has arrived: run whatever is due at this round trip.
    // Called from the protocol logger, before libwayland answers the sync.
    void on_sync();

    // Ends the connection once what is queued so far has gone out, without
    // answering the sync being handled.
    void disconnect() noexcept;

private:
    std::map<std::uint64_t, std::vector<std::function<void()>>> due_;
    ListenerSlot<ClientState> destroy_listener_;

    static void on_destroy(wl_listener* listener, void* data) noexcept;
};

} // namespace mock
