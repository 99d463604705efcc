// Listeners that build WindowInfo records from the toplevel list, the
// toplevel handles and the window-info objects.
#pragma once

#include "wayland/client_state.hpp"
#include "wayland/events.hpp"

namespace rdv {

// Attached to the bound ext_foreign_toplevel_list_v1, with the ClientState as data.
extern const Listener<ext_foreign_toplevel_list_v1, ToplevelListEvent, ClientState> kToplevelListListener;

}  // namespace rdv
