#pragma once
// The mock compositor's one piece of process-wide state: the display, its
// socket, globals, the request log, the layout state shared by all clients,
// and the per-client states. Every libwayland callback reaches it through
// user data.

#include "objects/client_state.hpp"
#include "objects/globals.hpp"
#include "objects/host.hpp"
#include "objects/layout.hpp"
#include "objects/wayland_glue.hpp"
#include "scenario/scenario.hpp"
#include "server/hangup_drain.hpp"
#include "server/options.hpp"
#include "server/request_log.hpp"

#include <memory>
#include <optional>
#include <unordered_map>

namespace mock {

// Exit statuses besides 0 and the usage/scenario error 2.
inline constexpr int exit_setup_failed = 1;
inline constexpr int exit_timed_out = 3;

class Server final : public Host {
public:
    // Creates the display and the socket; throws std::runtime_error.
    Server(const Options& options, const Scenario& scenario);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Prints "ready", serves clients and returns the exit status.
    int run();

    // What the protocol objects reach through Host.
    const Scenario& scenario() const noexcept override { return scenario_; }
    Globals& globals() noexcept override { return *globals_; }
    LayoutState& layout() noexcept override { return layout_; }
    ClientState* state_of(wl_client* client) noexcept override;
    void client_gone(ClientState& state) noexcept override;

    // Some client has hung up with requests still unread.
    bool any_hung_up_with_input() const noexcept;

private:
    struct DisplayDeleter {
        void operator()(wl_display* display) const noexcept;
    };
    struct SourceDeleter {
        void operator()(wl_event_source* source) const noexcept { wl_event_source_remove(source); }
    };
    struct LoggerDeleter {
        void operator()(wl_protocol_logger* logger) const noexcept { wl_protocol_logger_destroy(logger); }
    };
    using Source = std::unique_ptr<wl_event_source, SourceDeleter>;

    static void on_client_created(wl_listener* listener, void* data) noexcept;
    static void on_protocol_message(void* data, wl_protocol_logger_type type,
                                    const wl_protocol_logger_message* message) noexcept;
    static int on_timeout(void* data) noexcept;
    // Counts an event sent to a client and plays the connection faults.
    void on_event(const wl_protocol_logger_message& message);
    static int on_signal(int signal_number, void* data) noexcept;

    const Options& options_;
    const Scenario& scenario_;
    RequestLog log_;
    LayoutState layout_;

    // Destroyed last, after everything that lives in or on the display.
    std::unique_ptr<wl_display, DisplayDeleter> display_;
    std::unique_ptr<Globals> globals_;
    std::unique_ptr<wl_protocol_logger, LoggerDeleter> logger_;
    Source timer_;
    Source sigterm_;
    Source sigint_;
    ListenerSlot<Server> client_created_;

    std::unordered_map<wl_client*, std::unique_ptr<ClientState>> clients_;
    HangupDrain hangup_drain_;
    wl_client* first_client_ = nullptr; // the one a run without --persist serves
    bool client_finished_ = false;
    bool reset_globals_ = false;
    std::optional<int> exit_status_;
};

} // namespace mock
