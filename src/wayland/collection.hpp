// What every collection flow shares: the round-trip budget, the loop that
// waits for a consistent snapshot, and the common ending after rendering.
#pragma once

#include <string_view>

#include "text/error.hpp"
#include "wayland/session.hpp"

namespace rdv {

// The most round trips a collection loop makes after its flow's setup.
inline constexpr int MAX_EXTRA_ROUND_TRIPS = 8;

struct CollectionGoal {
    bool (*ready)(const ClientState& state) noexcept;
    std::string_view timeout_message;
    bool stop_when_output_manager_gone = false;  // the output flow's early stop
};

// Returns once the goal is ready. Without readiness after the budget, writes
// the time-out message and ends the process with status 1; returns
// WriteFailed (after closing) only when that message could not be written.
[[nodiscard]] Result<> run_collection_loop(Session& session, const CollectionGoal& goal) noexcept;

enum class FlowEnding {
    snapshot,  // status 0 once flushed and closed
    layout,    // status 1, without teardown, when the reply was not a success
};

// Flushes standard output after the renderer ran, closes the session and
// returns the exit status; a failed write or flush becomes WriteFailed after
// closing.
[[nodiscard]] Result<int> finish_flow(Session& session, Result<> rendered, FlowEnding ending) noexcept;

}  // namespace rdv
