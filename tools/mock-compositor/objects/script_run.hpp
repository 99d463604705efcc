#pragma once
// The scenario's script: actions run at a given round trip.

#include <cstdint>

namespace mock {

struct ClientState;

// Runs the steps of round trip `sync`, in file order.
void run_script_at(ClientState& state, std::uint32_t sync);

} // namespace mock
