#include "objects/client_state.hpp"

#include "objects/host.hpp"
#include "objects/script_run.hpp"
#include "objects/windows.hpp"

#include <sys/socket.h>

namespace mock {

ClientState::ClientState(Host& owner, wl_client* wl)
    : host(owner), client(wl), scenario(owner.scenario())
{
    windows.reserve(scenario.windows.size());
    for (const WindowDef& def : scenario.windows) {
        windows.push_back(WindowState{&def, def.announce_at_sync, false, {}, {}});
    }
    for (const HeadDef& head : scenario.output_manager.heads) {
        heads.push_back(&head);
    }
    destroy_listener_.owner = this;
    destroy_listener_.listener.notify = &ClientState::on_destroy;
    wl_client_add_destroy_listener(client, &destroy_listener_.listener);
}

ClientState::~ClientState()
{
    // Unlinks the listener whether or not the destroy signal has already
    // unlinked it (it leaves the link pointing at itself).
    wl_list_remove(&destroy_listener_.listener.link);
}

void ClientState::on_destroy(wl_listener* listener, void* /*data*/) noexcept
{
    // libwayland destroys the client's resources after this returns; they
    // hold no reference to this state, so it may go now.
    ClientState& self = ListenerSlot<ClientState>::owner_of(listener);
    self.host.client_gone(self);
}

void ClientState::schedule(Delay delay, std::function<void()> task)
{
    if (!delay) {
        return;
    }
    if (*delay == 0) {
        task();
        return;
    }
    due_[std::uint64_t{syncs} + *delay].push_back(std::move(task));
}

void ClientState::on_sync()
{
    ++syncs;
    if (disconnecting) {
        return;
    }
    if (auto node = due_.extract(syncs)) {
        for (auto& task : node.mapped()) {
            task();
        }
    }
    announce_windows_at(*this, syncs);
    run_script_at(*this, syncs);
}

void ClientState::disconnect() noexcept
{
    // wl_client_destroy cannot be called while libwayland is dispatching
    // this client's request. Shutting the socket down instead delivers what
    // is already queued, drops the answer to the current sync, and lets
    // libwayland tear the client down through its usual hang-up path.
    disconnecting = true;
    wl_client_flush(client);
    ::shutdown(wl_client_get_fd(client), SHUT_RDWR);
}

} // namespace mock
