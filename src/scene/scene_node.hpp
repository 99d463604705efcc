// One node of the compositor's scene graph snapshot.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <string_view>
#include <utility>

#include "store/chunked_list.hpp"
#include "store/text_arena.hpp"

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
// 36 bytes: the name's bytes are in the list's arena (SceneNodeList::name).
struct SceneNode {
    std::uint32_t id = 0;
    std::uint32_t parent_id = 0;  // 0: no parent
    std::uint32_t kind = SceneNodeKind::tree;
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint32_t name_position = 0;  // in the list's arena
    std::uint16_t name_size = 0;
    bool enabled = false;
};
static_assert(sizeof(SceneNode) == 36);

// What one `node` event carries.
struct SceneNodeValues {
    std::uint32_t id = 0;
    std::uint32_t parent_id = 0;
    std::string_view name;
    std::uint32_t kind = SceneNodeKind::tree;
    bool enabled = false;
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// Every node of the snapshot in arrival order, in chunks of 1,024 (36 KiB),
// and their names. A large snapshot's nodes, names and the tree renderer's
// index share one RegionMemory, and so its huge pages.
class SceneNodeList {
public:
    using Nodes = ChunkedList<SceneNode, 1024>;

    SceneNodeList() noexcept = default;
    // A list whose names may take at most `name_chunks` of the arena's
    // chunks (tests reach that limit with it).
    explicit SceneNodeList(std::size_t name_chunks) noexcept : names_(&memory_, name_chunks) {}
    SceneNodeList(const SceneNodeList&) = delete;
    SceneNodeList& operator=(const SceneNodeList&) = delete;
    SceneNodeList(SceneNodeList&& other) noexcept
        : memory_(std::move(other.memory_)),
          nodes_(std::move(other.nodes_)),
          names_(std::move(other.names_)),
          scratch_(std::exchange(other.scratch_, nullptr)),
          scratch_words_(std::exchange(other.scratch_words_, 0))
    {
        nodes_.memory_moved(&memory_);
        names_.memory_moved(&memory_);
    }
    SceneNodeList& operator=(SceneNodeList&&) = delete;

    std::size_t size() const noexcept { return nodes_.size(); }
    bool empty() const noexcept { return nodes_.empty(); }
    const SceneNode& operator[](std::size_t index) const noexcept { return nodes_[index]; }
    Nodes::const_iterator begin() const noexcept { return nodes_.begin(); }
    Nodes::const_iterator end() const noexcept { return nodes_.end(); }

    // Appends a node; with nothing kept, a refusal when memory is short or
    // when the names already fill every position the nodes can hold.
    [[nodiscard]] std::expected<void, TextArena::Refusal> add(const SceneNodeValues& values) noexcept
    {
        SceneNode* node = nodes_.append();
        if (!node)
            return std::unexpected(TextArena::Refusal::no_memory);
        auto position = names_.append(values.name);
        if (!position) {
            nodes_.pop_back();
            return std::unexpected(position.error());
        }
        *node = {values.id, values.parent_id, values.kind, values.x, values.y, values.width, values.height,
                 *position, static_cast<std::uint16_t>(values.name.size()), values.enabled};
        return {};
    }

    std::string_view name(const SceneNode& node) const noexcept
    {
        return names_.at(node.name_position, node.name_size);
    }

    // Room for `words` 32-bit words beside the nodes, for a renderer's index;
    // the next request may hand out the same room again. nullptr when memory
    // is short.
    std::uint32_t* scratch(std::size_t words) const noexcept
    {
        if (words > scratch_words_) {
            if (words > SIZE_MAX / sizeof(std::uint32_t))
                return nullptr;
            scratch_ = static_cast<std::uint32_t*>(memory_.allocate(words * sizeof(std::uint32_t)));
            scratch_words_ = scratch_ ? words : 0;
        }
        return scratch_;
    }

    // Frees every node, every name and the scratch room.
    void clear() noexcept
    {
        nodes_.clear();
        names_.clear();
        memory_.release();
        scratch_ = nullptr;
        scratch_words_ = 0;
    }

private:
    mutable RegionMemory memory_;
    Nodes nodes_{&memory_};
    TextArena names_{&memory_};
    mutable std::uint32_t* scratch_ = nullptr;
    mutable std::size_t scratch_words_ = 0;
};

}  // namespace rdv
