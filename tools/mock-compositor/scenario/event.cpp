#include "scenario/event.hpp"

#include "scenario/interfaces.hpp"

#include <cstring>
#include <stdexcept>

namespace mock {

namespace {

std::size_t padded_string_size(std::size_t length)
{
    // Length word, bytes, terminating zero, padding to 32 bits.
    return 4 + ((length + 1 + 3) & ~std::size_t{3});
}

} // namespace

std::optional<std::uint32_t> find_event(const wl_interface& interface, const std::string& name)
{
    for (int i = 0; i < interface.event_count; ++i) {
        if (name == interface.events[i].name) {
            return static_cast<std::uint32_t>(i);
        }
    }
    return std::nullopt;
}

int signature_since(const char* signature)
{
    int since = 0;
    for (; *signature >= '0' && *signature <= '9'; ++signature) {
        since = since * 10 + (*signature - '0');
    }
    return since == 0 ? 1 : since;
}

std::size_t wire_size(const Event& event)
{
    std::size_t size = 8;
    for (const Arg& arg : event.args) {
        if (const auto* text = std::get_if<std::string>(&arg)) {
            size += padded_string_size(text->size());
        } else {
            size += 4;
        }
    }
    return size;
}

Event make_event(const wl_interface& interface, std::uint32_t opcode, std::vector<Arg> args)
{
    const wl_message& message = interface.events[opcode];
    return Event{message.name, opcode, signature_since(message.signature), std::move(args)};
}

Event make_named_event(const wl_interface& interface, const std::string& name, std::vector<Arg> args)
{
    const auto opcode = find_event(interface, name);
    if (!opcode) {
        throw std::logic_error(std::string(interface.name) + " has no event " + name);
    }
    return make_event(interface, *opcode, std::move(args));
}

} // namespace mock
