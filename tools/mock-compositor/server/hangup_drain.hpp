#pragma once
// Reading a client's last requests after it has hung up.
//
// libwayland-server 1.21 tears a client down as soon as epoll reports a
// hang-up on its socket, or as soon as a write to it fails, without reading
// what the client wrote just before closing. The releases and destroys a
// client sends on its way out would then be missing from the request log (and
// the destroys make libwayland write delete_id events, which fail).
//
// So a socket whose peer is gone but which still holds unread requests is
// treated as alive until libwayland has read them: while a HangupDrain exists,
// epoll_wait hides hang-ups as long as some client is in that state, and
// writes to such a socket are dropped instead of failing.

#include <functional>

struct wl_client;

namespace mock {

// The client has closed its end, and requests it sent are still unread.
bool hung_up_with_input(wl_client* client) noexcept;

class HangupDrain {
public:
    // `any_pending` says whether some client is hung_up_with_input.
    explicit HangupDrain(std::function<bool()> any_pending);
    ~HangupDrain();
    HangupDrain(const HangupDrain&) = delete;
    HangupDrain& operator=(const HangupDrain&) = delete;

private:
    std::function<bool()> any_pending_;
};

} // namespace mock
