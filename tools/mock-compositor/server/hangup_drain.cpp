#include "server/hangup_drain.hpp"

#include <wayland-server-core.h>

#include <cerrno>
#include <cstdint>

#include <poll.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace mock {

namespace {

// libwayland's event loop gives no hook between epoll_wait and dispatch, so
// the one live HangupDrain is reached through this pointer.
const std::function<bool()>* active_drain = nullptr;

bool hides_hangups() noexcept
{
    try {
        return active_drain != nullptr && (*active_drain)();
    } catch (...) {
        return false;
    }
}

bool has_unread_input(int fd) noexcept
{
    int unread = 0;
    return ioctl(fd, FIONREAD, &unread) == 0 && unread > 0;
}

} // namespace

bool hung_up_with_input(wl_client* client) noexcept
{
    const int fd = wl_client_get_fd(client);
    pollfd state{fd, POLLRDHUP, 0};
    return poll(&state, 1, 0) == 1 && (state.revents & (POLLHUP | POLLRDHUP)) != 0 && has_unread_input(fd);
}

HangupDrain::HangupDrain(std::function<bool()> any_pending) : any_pending_(std::move(any_pending))
{
    active_drain = &any_pending_;
}

HangupDrain::~HangupDrain()
{
    active_drain = nullptr;
}

} // namespace mock

// The two functions below take the place of libc's for libwayland-server,
// which calls them from wl_event_loop_dispatch and wl_connection_flush.

// A readable socket whose hang-up (or error, or writability) is hidden gets
// read by libwayland: the read brings the remaining requests or, once there
// are none, the end of the stream.
extern "C" int epoll_wait(int epfd, epoll_event* events, int maxevents, int timeout)
{
    const int count = epoll_pwait(epfd, events, maxevents, timeout, nullptr);
    constexpr std::uint32_t hangup = EPOLLHUP | EPOLLERR;
    bool any_hangup = false;
    for (int i = 0; i < count; ++i) {
        any_hangup = any_hangup || ((events[i].events & EPOLLIN) != 0 && (events[i].events & hangup) != 0);
    }
    if (any_hangup && mock::hides_hangups()) {
        for (int i = 0; i < count; ++i) {
            if ((events[i].events & EPOLLIN) != 0) {
                events[i].events &= ~(hangup | std::uint32_t{EPOLLOUT});
            }
        }
    }
    return count;
}

// Writing to a client that is gone fails with EPIPE. While its last requests
// are still unread, the write is dropped as if it had gone out.
extern "C" ssize_t sendmsg(int fd, const msghdr* message, int flags)
{
    const auto sent = static_cast<ssize_t>(syscall(SYS_sendmsg, fd, message, flags));
    if (sent >= 0 || errno != EPIPE || !mock::has_unread_input(fd)) {
        return sent;
    }
    std::size_t length = 0;
    for (std::size_t i = 0; i < message->msg_iovlen; ++i) {
        length += message->msg_iov[i].iov_len;
    }
    return static_cast<ssize_t>(length);
}
