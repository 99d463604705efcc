// Listeners that turn wlr output management events into OutputHead and
// OutputMode records, and the operations that give those objects back.
#pragma once

#include <memory>

#include "wayland/client_state.hpp"
#include "wayland/events.hpp"

namespace rdv {

// Attached to the bound zwlr_output_manager_v1, with the ClientState as data.
extern const Listener<zwlr_output_manager_v1, OutputManagerEvent, ClientState> kOutputManagerListener;

// Gives back the head's modes and then the head (release where the object's
// version has it, destroy in any case) and frees the records.
void free_head(std::unique_ptr<OutputHead> head) noexcept;

// Gives back one mode object and frees its record.
void free_mode(std::unique_ptr<OutputMode> mode) noexcept;

}  // namespace rdv
