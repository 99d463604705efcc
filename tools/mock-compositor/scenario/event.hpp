#pragma once
// One event as a scenario describes it, checked against the generated
// interface description (objects/post_event.hpp posts it on a resource).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

struct wl_interface;

namespace mock {

// A wl_fixed_t argument, kept raw (24.8).
struct Fixed {
    std::int32_t raw = 0;
};

// The object argument of zwlr_output_head_v1.current_mode: mode `mode` of head
// `head`, or of the head the event goes to when `head` is empty.
struct ModeRef {
    std::optional<std::size_t> head;
    std::size_t mode = 0;
};

// The new_id argument of zwlr_output_head_v1.mode: announces mode `mode` of
// the head the event goes to.
struct NewMode {
    std::size_t mode = 0;
};

using Arg = std::variant<std::int32_t, std::uint32_t, Fixed, std::string, ModeRef, NewMode>;

struct Event {
    std::string name;
    std::uint32_t opcode = 0;
    int since = 1;
    std::vector<Arg> args;
};

using EventList = std::vector<Event>;

// The biggest message libwayland can send or receive, header included.
inline constexpr std::size_t max_message_size = 4096;

// Looks an event up by name in an interface description. Returns its opcode,
// or nothing when the interface has no such event.
std::optional<std::uint32_t> find_event(const wl_interface& interface, const std::string& name);

// The "since" version encoded at the start of a message signature.
int signature_since(const char* signature);

// Bytes the event takes on the wire, header included.
std::size_t wire_size(const Event& event);

// Builds an event from an opcode of an interface; the arguments must already
// match its signature.
Event make_event(const wl_interface& interface, std::uint32_t opcode, std::vector<Arg> args);

// Builds an event by name; the name must exist in the interface.
Event make_named_event(const wl_interface& interface, const std::string& name, std::vector<Arg> args);

} // namespace mock
