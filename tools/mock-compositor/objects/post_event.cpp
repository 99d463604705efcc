#include "objects/post_event.hpp"

#include "objects/wayland_glue.hpp"
#include "scenario/overloaded.hpp"

#include <array>
#include <cstdio>

namespace mock {

bool post_event(wl_resource* resource, const Event& event, bool send_unsupported, wl_resource* object) noexcept
{
    if (!send_unsupported && event.since > wl_resource_get_version(resource)) {
        return false;
    }
    if (wire_size(event) > max_message_size) {
        std::fprintf(stderr, "mock-compositor: %s.%s is too big for one message; not sent\n",
                     wl_resource_get_class(resource), event.name.c_str());
        return false;
    }
    std::array<wl_argument, 20> wire{};
    if (event.args.size() > wire.size()) {
        return false;
    }
    for (std::size_t i = 0; i < event.args.size(); ++i) {
        wl_argument& slot = wire[i];
        std::visit(Overloaded{
                       [&](std::int32_t value) { slot.i = value; },
                       [&](std::uint32_t value) { slot.u = value; },
                       [&](Fixed value) { slot.f = value.raw; },
                       [&](const std::string& value) { slot.s = value.c_str(); },
                       [&](const ModeRef&) { slot.o = reinterpret_cast<wl_object*>(object); },
                       [&](const NewMode&) { slot.o = reinterpret_cast<wl_object*>(object); },
                   },
                   event.args[i]);
    }
    wl_resource_post_event_array(resource, event.opcode, wire.data());
    return true;
}

} // namespace mock
