#include "wayland/collection.hpp"

#include <cstdlib>

namespace rdv {
namespace {

bool should_stop(const ClientState& state, const CollectionGoal& goal) noexcept
{
    return goal.ready(state) || (goal.stop_when_output_manager_gone && state.output_manager_gone);
}

}  // namespace

Result<> run_collection_loop(Session& session, const CollectionGoal& goal) noexcept
{
    for (int round_trips = 0; !should_stop(session.state, goal) && round_trips < MAX_EXTRA_ROUND_TRIPS;
         ++round_trips)
        round_trip_or_fail(session);
    if (goal.ready(session.state))
        return {};
    return std::unexpected(exit_with_message(session, goal.timeout_message));
}

Result<int> finish_flow(Session& session, Result<> rendered, FlowEnding ending) noexcept
{
    if (!rendered) {
        session.close();
        return std::unexpected(Error::WriteFailed);
    }
    Result<> flushed = session.out.flush();
    if (ending == FlowEnding::layout) {
        if (!flushed) {
            session.close();
            return std::unexpected(Error::WriteFailed);
        }
        if (session.state.layout_reply.status != 0)
            std::exit(1);
    }
    session.close();
    if (!flushed)
        return std::unexpected(Error::WriteFailed);
    return 0;
}

}  // namespace rdv
