#include "outputs/output_flow.hpp"

#include "outputs/output_renderers.hpp"
#include "text/messages.hpp"
#include "wayland/collection.hpp"

namespace rdv {
namespace {

bool is_output_snapshot_ready(const ClientState& state) noexcept
{
    return state.outputs_done;
}

}  // namespace

Result<int> run_output_flow(Session& session, Command command) noexcept
{
    // The manager announces its heads, their modes and `done` on its own.
    RDV_TRY(run_collection_loop(session, {is_output_snapshot_ready, messages::kOutputTimeout, true}));
    Result<> rendered = command == Command::outputs_json ? write_outputs_json(session.out, session.state.heads)
                                                         : write_outputs_text(session.out, session.state.heads);
    return finish_flow(session, rendered, FlowEnding::snapshot);
}

}  // namespace rdv
