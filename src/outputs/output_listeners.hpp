// Listeners that turn wlr output management events into OutputHead and
// OutputMode records, and the operations that give those objects back.
#pragma once

#include "wayland/client_state.hpp"
#include "wayland/events.hpp"

namespace rdv {

// Attached to the bound zwlr_output_manager_v1, with the ClientState as data.
extern const Listener<zwlr_output_manager_v1, OutputManagerEvent, ClientState> kOutputManagerListener;

// Gives back the head's modes and then the head (release where the object's
// version has it, destroy in any case) and frees its mode records; the head
// record goes with its list.
void free_head(OutputHead& head) noexcept;

}  // namespace rdv
