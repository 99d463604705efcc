#pragma once
// Synthetic scenario content for big tests and benchmarks: deterministic, so a
// run can be compared with the next, and varied, so the tool's formatting of
// every kind of value gets exercised.

#include "scenario/scenario.hpp"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mock {

// Windows number `first` onwards: identifier, title and app_id on the handle
// then done; a full set of info values then done.
std::vector<WindowDef> generate_windows(std::size_t first, std::size_t count);

// Heads number `first` onwards, each with `modes` modes.
std::vector<HeadDef> generate_heads(std::size_t first, std::size_t count, std::size_t modes);

// A tree of `count` nodes, `fanout` children per inner node, ids from
// `first_id`, sent depth first so that every parent precedes its children.
std::vector<SceneNode> generate_nodes(std::uint32_t first_id, std::size_t count, std::size_t fanout);

} // namespace mock
