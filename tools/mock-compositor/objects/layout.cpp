#include "objects/layout.hpp"

#include "objects/wayland_glue.hpp"

#include <algorithm>

namespace mock {

LayoutState::LayoutState(const LayoutDef& def)
    : outputs_(def.outputs), unavailable_(def.unavailable), status_override_(def.status_override)
{
}

LayoutAnswer LayoutState::answer(LayoutStatus status, const std::string& output, std::uint32_t workspace,
                                 const std::string& layout) const
{
    return LayoutAnswer{status_override_.value_or(static_cast<std::uint32_t>(status)), output, workspace, layout};
}

LayoutAnswer LayoutState::get(const std::string& output) const
{
    const auto found = outputs_.find(output);
    if (found == outputs_.end()) {
        return answer(LayoutStatus::output_not_found, output, 0, "");
    }
    if (unavailable_) {
        return answer(LayoutStatus::unavailable, output, 0, "");
    }
    return answer(LayoutStatus::success, output, found->second.workspace, found->second.layout);
}

LayoutAnswer LayoutState::set(const std::string& output, const std::string& layout)
{
    const auto found = outputs_.find(output);
    if (found == outputs_.end()) {
        return answer(LayoutStatus::output_not_found, output, 0, "");
    }
    if (unavailable_) {
        return answer(LayoutStatus::unavailable, output, 0, "");
    }
    LayoutOutput& state = found->second;
    if (std::find(state.layouts.begin(), state.layouts.end(), layout) == state.layouts.end()) {
        return answer(LayoutStatus::invalid_layout, output, state.workspace, state.layout);
    }
    state.layout = layout;
    return answer(LayoutStatus::success, output, state.workspace, state.layout);
}

Event layout_event(const LayoutAnswer& answer)
{
    return make_event(zadozav_window_info_manager_v1_interface, ZADOZAV_WINDOW_INFO_MANAGER_V1_ACTIVE_WORKSPACE_LAYOUT,
                      {answer.status, answer.output, answer.workspace, answer.layout});
}

} // namespace mock
