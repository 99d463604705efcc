#pragma once
// Posting a scenario's event on a resource.

#include "scenario/event.hpp"

struct wl_resource;

namespace mock {

// Posts the event on the resource. An object or new_id argument takes
// `object`. The event is skipped (returning false) when the resource's
// version predates it, unless `send_unsupported` is set, and when it would not
// fit in one message.
bool post_event(wl_resource* resource, const Event& event, bool send_unsupported,
                wl_resource* object = nullptr) noexcept;

} // namespace mock
