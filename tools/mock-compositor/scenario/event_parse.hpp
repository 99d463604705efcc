#pragma once
// Reading scenario events such as ["title", "Terminal"] or ["geometry", 0, 0,
// 800, 600]: the name picks the event of the target interface and the values
// must match its signature.

#include "scenario/event.hpp"
#include "scenario/json_read.hpp"

#include <cstddef>
#include <string>
#include <vector>

namespace mock {

enum class EventTarget {
    handle, // ext_foreign_toplevel_handle_v1
    info,   // zadozav_window_info_v1
    head,   // zwlr_output_head_v1
    mode,   // zwlr_output_mode_v1
};

// What head events may refer to: the modes of the head they go to, and how
// many modes each head that exists when they are sent has.
struct ModeScope {
    std::size_t own_modes = 0;
    std::vector<std::size_t> head_modes;
};

EventList read_events(const Json& list, const std::string& path, EventTarget target,
                      const ModeScope& scope = {});

} // namespace mock
