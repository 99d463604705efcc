// One node of the compositor's scene graph snapshot.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace rdv {

// Values of a node's `kind`; others have no word of their own.
namespace SceneNodeKind {
inline constexpr std::uint32_t tree = 0;
inline constexpr std::uint32_t rect = 1;
inline constexpr std::uint32_t buffer = 2;
}  // namespace SceneNodeKind

// "tree", "rect", "buffer", or "unknown" above 2.
constexpr std::string_view scene_kind_word(std::uint32_t kind) noexcept
{
    switch (kind) {
    case SceneNodeKind::tree:
        return "tree";
    case SceneNodeKind::rect:
        return "rect";
    case SceneNodeKind::buffer:
        return "buffer";
    default:
        return "unknown";
    }
}

// Stored by value in arrival order; nothing about the values is checked.
struct SceneNode {
    std::uint32_t id = 0;
    std::uint32_t parent_id = 0;  // 0: no parent
    std::string name;
    std::uint32_t kind = SceneNodeKind::tree;
    bool enabled = false;
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

}  // namespace rdv
