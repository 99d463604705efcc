#include "scenario/event_parse.hpp"

#include "scenario/interfaces.hpp"
#include "scenario/text_value.hpp"

#include <cmath>

namespace mock {

namespace {

const wl_interface& interface_of(EventTarget target)
{
    switch (target) {
    case EventTarget::handle: return ext_foreign_toplevel_handle_v1_interface;
    case EventTarget::info: return zadozav_window_info_v1_interface;
    case EventTarget::head: return zwlr_output_head_v1_interface;
    case EventTarget::mode: return zwlr_output_mode_v1_interface;
    }
    return ext_foreign_toplevel_handle_v1_interface;
}

std::string event_names(const wl_interface& interface, EventTarget target)
{
    std::string names;
    for (int i = 0; i < interface.event_count; ++i) {
        names += names.empty() ? "" : ", ";
        names += interface.events[i].name;
    }
    if (target == EventTarget::head) {
        names += ", scale_fixed";
    }
    return names;
}

std::size_t read_mode_index(const Json& value, const std::string& path, std::size_t modes)
{
    const std::uint32_t index = read_uint(value, path);
    if (index >= modes) {
        fail(path, "mode " + std::to_string(index) + " does not exist (the head's modes: " +
                       std::to_string(modes) + ")");
    }
    return index;
}

Arg read_mode_ref(const Json& value, const std::string& path, const ModeScope& scope)
{
    if (!value.is_object()) {
        return ModeRef{std::nullopt, read_mode_index(value, path, scope.own_modes)};
    }
    require_object(value, path, {"head", "mode"});
    const std::string head_path = member_path(path, "head");
    const std::uint32_t head = read_uint(require_member(value, path, "head"), head_path);
    if (head >= scope.head_modes.size()) {
        fail(head_path, "head " + std::to_string(head) + " does not exist (there are " +
                            std::to_string(scope.head_modes.size()) + " heads)");
    }
    const std::size_t mode =
        read_mode_index(require_member(value, path, "mode"), member_path(path, "mode"), scope.head_modes[head]);
    return ModeRef{head, mode};
}

Fixed read_fixed(const Json& value, const std::string& path)
{
    const double number = read_number(value, path);
    if (!(std::fabs(number) < 8388608.0)) {
        fail(path, "does not fit a 24.8 fixed-point number");
    }
    return Fixed{wl_fixed_from_double(number)};
}

Event read_event(const Json& entry, const std::string& path, EventTarget target, const ModeScope& scope)
{
    require_array(entry, path);
    if (entry.empty() || !entry[0].is_string()) {
        fail(path, "an event is an array starting with the event's name");
    }
    const wl_interface& interface = interface_of(target);
    const std::string name = entry[0].get<std::string>();
    const bool raw_scale = target == EventTarget::head && name == "scale_fixed";
    const auto opcode = find_event(interface, raw_scale ? std::string("scale") : name);
    if (!opcode) {
        fail(path, "unknown " + std::string(interface.name) + " event \"" + name + "\" (known: " +
                       event_names(interface, target) + ")");
    }
    const wl_message& message = interface.events[*opcode];

    std::vector<Arg> args;
    std::size_t next = 1;
    for (const char* type = message.signature; *type != '\0'; ++type) {
        if ((*type >= '0' && *type <= '9') || *type == '?') {
            continue;
        }
        const std::string arg_path = element_path(path, next);
        if (next >= entry.size()) {
            fail(path, "\"" + name + "\" needs more values");
        }
        const Json& value = entry[next++];
        switch (*type) {
        case 'i': args.emplace_back(read_int(value, arg_path)); break;
        case 'u': args.emplace_back(read_uint(value, arg_path)); break;
        case 'f':
            args.emplace_back(raw_scale ? Fixed{read_int(value, arg_path)} : read_fixed(value, arg_path));
            break;
        case 's': args.emplace_back(read_text(value, arg_path)); break;
        case 'o': args.emplace_back(read_mode_ref(value, arg_path, scope)); break;
        case 'n': args.emplace_back(NewMode{read_mode_index(value, arg_path, scope.own_modes)}); break;
        default: fail(path, "\"" + name + "\" has arguments a scenario cannot give");
        }
    }
    if (next != entry.size()) {
        fail(path, "\"" + name + "\" takes " + std::to_string(next - 1) + " values, found " +
                       std::to_string(entry.size() - 1));
    }
    Event event{name, *opcode, signature_since(message.signature), std::move(args)};
    if (wire_size(event) > max_message_size) {
        fail(path, "the event takes " + std::to_string(wire_size(event)) +
                       " bytes, more than a Wayland message can hold (" + std::to_string(max_message_size) + ")");
    }
    return event;
}

} // namespace

EventList read_events(const Json& list, const std::string& path, EventTarget target, const ModeScope& scope)
{
    require_array(list, path);
    EventList events;
    events.reserve(list.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        events.push_back(read_event(list[i], element_path(path, i), target, scope));
    }
    return events;
}

} // namespace mock
