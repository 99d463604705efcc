// One run's connection: the display, the state the listeners fill, and the
// two writers. Start-up, the global checks and teardown.
#pragma once

#include <string_view>

#include "cli/command_line.hpp"
#include "text/error.hpp"
#include "text/writer.hpp"
#include "wayland/client_state.hpp"

namespace rdv {

struct Session {
    Session(StdoutWriter& out_writer, StderrWriter& err_writer) noexcept : out(out_writer), err(err_writer) {}
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    // Closes a connection still open, so that no path can leave it behind.
    ~Session() { close(); }

    // Tears down the records, flushes the requests that teardown queued,
    // and disconnects. Does nothing the second time.
    void close() noexcept;

    wl_display* display = nullptr;
    ClientState state;
    StdoutWriter& out;
    StderrWriter& err;
};

// Connects, gets the registry, makes the first round trip, checks the
// command's globals and binds what it needs. Ends the process on a
// compositor problem; passes OutOfMemory or WriteFailed up after closing.
[[nodiscard]] Result<> open_session(Session& session, Command command);

// One round trip; when it fails, reports the broken connection and ends the
// process with status 1 (whether or not the message could be written).
void round_trip_or_fail(Session& session) noexcept;

// Writes a "ridaviduvo: " message and ends the process with status 1, leaving
// the connection to the system. Returns only when the message could not be
// written: the session is then closed and WriteFailed is the result.
[[nodiscard]] Error exit_with_message(Session& session, std::string_view message) noexcept;

// Frees every record and text of the state and gives back the objects that
// are ours to give back. Called once, by Session::close.
void teardown_client_state(ClientState& state) noexcept;

}  // namespace rdv
