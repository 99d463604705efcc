#pragma once
// Readers for the parts of a scenario that several sections share, used by
// scenario_parse.cpp and script_parse.cpp. Each throws ScenarioError naming
// the place of the problem.

#include "scenario/json_read.hpp"
#include "scenario/scenario.hpp"

#include <cstddef>
#include <string>
#include <vector>

namespace mock {

GlobalDef read_global(const Json& value, const std::string& path);
WindowDef read_window(const Json& value, const std::string& path);
SceneNode read_node(const Json& value, const std::string& path);
std::vector<SceneNode> read_nodes(const Json& value, const std::string& path);

// A head added while the client runs; `head_modes` (the mode count of each
// head) gains its entry.
HeadDef read_new_head(const Json& value, const std::string& path, std::vector<std::size_t>& head_modes);

// What the script can refer to at the point a step runs.
struct ScriptScope {
    std::size_t windows = 0;
    std::vector<std::size_t> head_modes;
    std::size_t globals = 0;
};

// Steps come back sorted by round trip, in file order within one round trip.
std::vector<ScriptStep> read_script(const Json& value, const std::string& path, ScriptScope scope);

} // namespace mock
