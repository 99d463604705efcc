#include "server/server.hpp"

#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <sys/socket.h>

namespace mock {

namespace {

// libwayland-server 1.21 drops a client whose socket stays full, and the mock
// queues whole scenarios (megabytes) in one go; so every client socket gets
// a send buffer far larger than any scenario. SO_SNDBUFFORCE needs
// CAP_NET_ADMIN; without it SO_SNDBUF is capped by net.core.wmem_max.
void raise_send_buffer(int fd) noexcept
{
    const int size = 64 * 1024 * 1024;
    if (setsockopt(fd, SOL_SOCKET, SO_SNDBUFFORCE, &size, sizeof size) != 0) {
        setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    }
}

int timeout_milliseconds(double seconds)
{
    const double ms = std::ceil(seconds * 1000.0);
    return ms >= static_cast<double>(INT_MAX) ? INT_MAX : static_cast<int>(ms);
}

} // namespace

void Server::DisplayDeleter::operator()(wl_display* display) const noexcept
{
    wl_display_destroy_clients(display);
    wl_display_destroy(display);
}

Server::Server(const Options& options, const Scenario& scenario)
    : options_(options), scenario_(scenario), log_(options.log), layout_(scenario.layout),
      hangup_drain_([this] { return any_hung_up_with_input(); })
{
    display_.reset(wl_display_create());
    if (!display_) {
        throw std::runtime_error("cannot create a Wayland display");
    }
    if (std::getenv("XDG_RUNTIME_DIR") == nullptr) {
        throw std::runtime_error("XDG_RUNTIME_DIR is not set");
    }
    if (wl_display_add_socket(display_.get(), options_.socket.c_str()) != 0) {
        throw std::runtime_error("cannot listen on socket \"" + options_.socket + "\" in $XDG_RUNTIME_DIR: " +
                                 std::strerror(errno));
    }

    globals_ = std::make_unique<Globals>(*this, display_.get());
    globals_->create_initial();

    client_created_.owner = this;
    client_created_.listener.notify = &Server::on_client_created;
    wl_display_add_client_created_listener(display_.get(), &client_created_.listener);

    logger_.reset(wl_display_add_protocol_logger(display_.get(), &Server::on_protocol_message, this));

    wl_event_loop* loop = wl_display_get_event_loop(display_.get());
    sigterm_.reset(wl_event_loop_add_signal(loop, SIGTERM, &Server::on_signal, this));
    sigint_.reset(wl_event_loop_add_signal(loop, SIGINT, &Server::on_signal, this));
    if (!logger_ || !sigterm_ || !sigint_) {
        throw std::runtime_error("cannot set up the event loop");
    }
    if (options_.timeout_seconds > 0.0) {
        timer_.reset(wl_event_loop_add_timer(loop, &Server::on_timeout, this));
        if (!timer_) {
            throw std::runtime_error("cannot create the timeout timer");
        }
        wl_event_source_timer_update(timer_.get(), timeout_milliseconds(options_.timeout_seconds));
    }
}

Server::~Server()
{
    // Clients first: their destroy listeners need this object whole.
    if (display_) {
        wl_display_destroy_clients(display_.get());
    }
    log_.flush();
}

int Server::run()
{
    std::fputs("ready\n", stdout);
    std::fflush(stdout);

    wl_event_loop* loop = wl_display_get_event_loop(display_.get());
    for (;;) {
        // A failed flush destroys its client, which may end the run, so the
        // exit check comes after it.
        wl_display_flush_clients(display_.get());
        if (reset_globals_) {
            // Scripted global changes last as long as the client that made
            // them. A client that connected while it was leaving has not
            // asked for its registry yet: its requests come in a later
            // dispatch than the one that accepted it.
            reset_globals_ = false;
            globals_->reset_if_changed(!clients_.empty());
        }
        log_.flush();
        if (exit_status_) {
            break;
        }
        if (wl_event_loop_dispatch(loop, -1) < 0 && errno != EINTR) {
            std::fprintf(stderr, "mock-compositor: event loop failed: %s\n", std::strerror(errno));
            exit_status_ = exit_setup_failed;
        }
    }
    wl_display_flush_clients(display_.get());
    wl_display_destroy_clients(display_.get());
    log_.flush();
    return *exit_status_;
}

bool Server::any_hung_up_with_input() const noexcept
{
    for (const auto& [client, state] : clients_) {
        if (hung_up_with_input(client)) {
            return true;
        }
    }
    return false;
}

ClientState* Server::state_of(wl_client* client) noexcept
{
    const auto found = clients_.find(client);
    return found == clients_.end() ? nullptr : found->second.get();
}

void Server::client_gone(ClientState& state) noexcept
{
    log_.write_line("disconnect");
    log_.flush();
    client_finished_ = true;
    reset_globals_ = reset_globals_ || state.changed_globals;
    if (!options_.persist && state.client == first_client_ && !exit_status_) {
        exit_status_ = 0;
    }
    clients_.erase(state.client);
}

void Server::on_client_created(wl_listener* listener, void* data) noexcept
{
    Server& self = ListenerSlot<Server>::owner_of(listener);
    auto* client = static_cast<wl_client*>(data);
    guarded("new client", [&] {
        raise_send_buffer(wl_client_get_fd(client));
        if (self.first_client_ == nullptr) {
            self.first_client_ = client;
        }
        self.clients_.emplace(client, std::make_unique<ClientState>(self, client));
    });
}

void Server::on_protocol_message(void* data, wl_protocol_logger_type type,
                                 const wl_protocol_logger_message* message) noexcept
{
    auto& self = *static_cast<Server*>(data);
    if (type == WL_PROTOCOL_LOGGER_EVENT) {
        guarded("event", [&] { self.on_event(*message); });
        return;
    }
    guarded("request", [&] {
        self.log_.write_line(format_request(*message));

        // Everything due at a round trip goes out here, before libwayland
        // answers the sync, so the client sees it within that round trip.
        const bool sync = std::strcmp(wl_resource_get_class(message->resource), "wl_display") == 0 &&
                          std::strcmp(message->message->name, "sync") == 0;
        if (!sync) {
            return;
        }
        if (ClientState* state = self.state_of(wl_resource_get_client(message->resource))) {
            state->on_sync();
        }
    });
}

void Server::on_event(const wl_protocol_logger_message& message)
{
    ClientState* state = state_of(wl_resource_get_client(message.resource));
    if (state == nullptr || state->fault_fired) {
        return;
    }
    // This event is logged before libwayland queues it.
    const std::uint32_t number = ++state->events_sent;
    const bool first = state->client == first_client_;
    if (first && options_.drop_after_events && number == *options_.drop_after_events + 1) {
        // What is queued so far (events 1 to K) goes out; this one never does.
        state->fault_fired = true;
        log_.write_line("fault: connection shut after event " + std::to_string(number - 1));
        state->disconnect();
        return;
    }
    if (first && options_.error_at_event && number == *options_.error_at_event) {
        // The error is queued before this event, which the shut connection
        // then never delivers.
        state->fault_fired = true;
        log_.write_line("fault: protocol error as event " + std::to_string(number));
        wl_resource* display = wl_client_get_object(state->client, 1);
        wl_resource_post_error(display, WL_DISPLAY_ERROR_IMPLEMENTATION, "fault injected at event %u", number);
        state->disconnect();
        return;
    }
    if (options_.log_events) {
        log_.write_line("-> " + format_request(message));
    }
}

int Server::on_timeout(void* data) noexcept
{
    auto& self = *static_cast<Server*>(data);
    if (!self.client_finished_ && !self.exit_status_) {
        std::fprintf(stderr, "mock-compositor: timed out after %g s with no client finished\n",
                     self.options_.timeout_seconds);
        self.exit_status_ = exit_timed_out;
    }
    return 0;
}

int Server::on_signal(int /*signal_number*/, void* data) noexcept
{
    auto& self = *static_cast<Server*>(data);
    if (!self.exit_status_) {
        self.exit_status_ = 0;
    }
    return 0;
}

} // namespace mock
