#pragma once
// What the protocol objects need of the process that serves them: the
// scenario, the state of a client, the globals, the layout state shared by
// all clients, and word that a client has gone. The server implements it;
// the objects know nothing else of the server.

struct wl_client;

namespace mock {

struct Scenario;
struct ClientState;
class Globals;
class LayoutState;

class Host {
public:
    virtual const Scenario& scenario() const noexcept = 0;
    virtual Globals& globals() noexcept = 0;
    virtual LayoutState& layout() noexcept = 0;

    // The state of a client, or nullptr for one the mock does not know.
    virtual ClientState* state_of(wl_client* client) noexcept = 0;

    // Called when a client's connection ends.
    virtual void client_gone(ClientState& state) noexcept = 0;

protected:
    Host() = default;
    ~Host() = default;
    Host(const Host&) = default;
    Host& operator=(const Host&) = default;
};

} // namespace mock
