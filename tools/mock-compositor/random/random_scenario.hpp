#pragma once
// The seeded random mode: a hostile but protocol-valid scenario for one
// command of the tool, made from a seed, together with what the tool may do
// when it is played that scenario.
//
// The scenario is an ordinary scenario document (the same JSON a --scenario
// file holds), so a run can be replayed from the written file. The
// expectation lists every result the tool may end with: the exit status, the
// exact standard error (or its last line), and for results that print, the
// shape of standard output (how many windows are listed, nodes and edges,
// heads and their modes, the layout answer). Where the timing leaves a choice
// (an answer to a request the tool flushed early may arrive one round trip
// sooner), every possible result is listed.

#include "scenario/json_read.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mock {

enum class RandomCommand {
    windows_table,
    windows_json,
    inspect_rule,
    scene_tree,
    scene_dot,
    outputs_text,
    outputs_json,
    layout_query,
    layout_set,
};

// "windows", "windows-json", "inspect-rule", "scene", "scene-dot", "outputs",
// "outputs-json", "layout-query", "layout-set".
std::optional<RandomCommand> parse_random_command(std::string_view word);

struct RandomScenario {
    Json scenario; // a scenario document
    Json expect;   // {"seed", "command", "args_hex", "binds", "outcomes", "stats"}
};

RandomScenario make_random_scenario(std::uint64_t seed, RandomCommand command);

} // namespace mock
