// The two renderings of the scene snapshot.
#pragma once

#include "scene/scene_node.hpp"
#include "text/error.hpp"
#include "text/writer.hpp"

namespace rdv {

// The most entries of a node's ancestor chain: the node and 255 ancestors.
inline constexpr int MAX_TREE_CHAIN = 256;

// One line per node in list order, with box-drawing prefixes worked out
// from the parent ids. Runs in time linear in the node count (times the
// chain bound) through two indexes built once; falls back to
// write_scene_tree_plain when they cannot be allocated.
[[nodiscard]] Result<> write_scene_tree(Writer& writer, const SceneNodeList& nodes) noexcept;

// The same bytes by searching the list for every parent and sibling:
// quadratic, allocates nothing.
[[nodiscard]] Result<> write_scene_tree_plain(Writer& writer, const SceneNodeList& nodes) noexcept;

// A Graphviz digraph: one box per node, an edge from each parent.
[[nodiscard]] Result<> write_scene_dot(Writer& writer, const SceneNodeList& nodes) noexcept;

}  // namespace rdv
