#pragma once
// The layout of each output's active workspace, as get_ and
// set_active_workspace_layout see it. One state per process: a layout set by
// one client is what the next client reads.

#include "scenario/scenario.hpp"

#include <cstdint>
#include <map>
#include <string>

namespace mock {

class LayoutState {
public:
    explicit LayoutState(const LayoutDef& def);

    LayoutAnswer get(const std::string& output) const;
    // Changes the layout when the request is valid.
    LayoutAnswer set(const std::string& output, const std::string& layout);

private:
    LayoutAnswer answer(LayoutStatus status, const std::string& output, std::uint32_t workspace,
                        const std::string& layout) const;

    std::map<std::string, LayoutOutput> outputs_;
    bool unavailable_;
    std::optional<std::uint32_t> status_override_;
};

// The active_workspace_layout event carrying an answer.
Event layout_event(const LayoutAnswer& answer);

} // namespace mock
