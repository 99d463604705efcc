#include <array>

#include "scene/position_index.hpp"
#include "scene/scene_renderers.hpp"
#include "text/write_ops.hpp"

namespace rdv {
namespace {

constexpr std::string_view kBranch = "\xE2\x94\x9C\xE2\x94\x80 ";      // "├─ "
constexpr std::string_view kLastBranch = "\xE2\x94\x94\xE2\x94\x80 ";  // "└─ "
constexpr std::string_view kPipeColumn = "\xE2\x94\x82  ";             // "│  "
constexpr std::string_view kBlankColumn = "   ";

constexpr std::uint32_t kNoNode = PositionIndex::kNone;

// The two questions each line asks of the list, answered by searching it.
class PlainSearch {
public:
    explicit PlainSearch(const SceneNodeList& nodes) noexcept : nodes_(nodes) {}

    // The first node in list order whose id is `parent_id` of the node at `position`.
    std::uint32_t parent_of(std::uint32_t position) const noexcept
    {
        std::uint32_t parent_id = nodes_[position].parent_id;
        for (std::size_t i = 0; i < nodes_.size(); ++i) {
            if (nodes_[i].id == parent_id)
                return static_cast<std::uint32_t>(i);
        }
        return kNoNode;
    }

    // Whether a later node carries the same parent id value.
    bool has_later_sibling(std::uint32_t position) const noexcept
    {
        std::uint32_t parent_id = nodes_[position].parent_id;
        for (std::size_t i = position + 1u; i < nodes_.size(); ++i) {
            if (nodes_[i].parent_id == parent_id)
                return true;
        }
        return false;
    }

private:
    const SceneNodeList& nodes_;
};

// The same answers from two indexes built once: id to first position, and
// parent id to last position.
class IndexedSearch {
public:
    static std::optional<IndexedSearch> build(const SceneNodeList& nodes) noexcept
    {
        auto first_by_id = PositionIndex::with_capacity(nodes.size());
        auto last_by_parent = PositionIndex::with_capacity(nodes.size());
        if (!first_by_id || !last_by_parent)
            return std::nullopt;
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            first_by_id->insert_first(nodes[i].id, static_cast<std::uint32_t>(i));
            last_by_parent->insert_last(nodes[i].parent_id, static_cast<std::uint32_t>(i));
        }
        return IndexedSearch(nodes, std::move(*first_by_id), std::move(*last_by_parent));
    }

    std::uint32_t parent_of(std::uint32_t position) const noexcept
    {
        return first_by_id_.find(nodes_[position].parent_id);
    }

    bool has_later_sibling(std::uint32_t position) const noexcept
    {
        return last_by_parent_.find(nodes_[position].parent_id) > position;
    }

private:
    IndexedSearch(const SceneNodeList& nodes, PositionIndex first_by_id, PositionIndex last_by_parent) noexcept
        : nodes_(nodes), first_by_id_(std::move(first_by_id)), last_by_parent_(std::move(last_by_parent))
    {
    }

    const SceneNodeList& nodes_;
    PositionIndex first_by_id_;
    PositionIndex last_by_parent_;
};

Result<> write_node_label(Writer& writer, const SceneNode& node) noexcept
{
    RDV_TRY(write_single_line(writer, node.name));
    RDV_TRY(writer.put(" ["));
    RDV_TRY(writer.put(scene_kind_word(node.kind)));
    RDV_TRY(writer.put(']'));
    if (!node.enabled)
        RDV_TRY(writer.put(" disabled"));
    if (node.x != 0 || node.y != 0 || node.width != 0 || node.height != 0) {
        RDV_TRY(writer.put(" ("));
        RDV_TRY(write_signed_decimal(writer, node.x));
        RDV_TRY(writer.put(','));
        RDV_TRY(write_signed_decimal(writer, node.y));
        RDV_TRY(writer.put(' '));
        RDV_TRY(write_signed_decimal(writer, node.width));
        RDV_TRY(writer.put('x'));
        RDV_TRY(write_signed_decimal(writer, node.height));
        RDV_TRY(writer.put(')'));
    }
    return writer.put('\n');
}

template <typename Search>
Result<> write_tree_lines(Writer& writer, const SceneNodeList& nodes, const Search& search) noexcept
{
    std::array<std::uint32_t, MAX_TREE_CHAIN> chain;  // chain[0] the node, then each one's parent
    for (std::size_t p = 0; p < nodes.size(); ++p) {
        chain[0] = static_cast<std::uint32_t>(p);
        std::size_t depth = 0;
        while (nodes[chain[depth]].parent_id != 0 && depth + 1 < chain.size()) {
            std::uint32_t parent = search.parent_of(chain[depth]);
            if (parent == kNoNode)
                break;
            chain[++depth] = parent;
        }
        if (depth >= 1) {
            // The topmost ancestor stands at the left margin and gets no column.
            for (std::size_t k = depth - 1; k >= 1; --k)
                RDV_TRY(writer.put(search.has_later_sibling(chain[k]) ? kPipeColumn : kBlankColumn));
            RDV_TRY(writer.put(search.has_later_sibling(chain[0]) ? kBranch : kLastBranch));
        }
        RDV_TRY(write_node_label(writer, nodes[p]));
    }
    return {};
}

}  // namespace

Result<> write_scene_tree(Writer& writer, const SceneNodeList& nodes) noexcept
{
    if (auto search = IndexedSearch::build(nodes))
        return write_tree_lines(writer, nodes, *search);
    return write_scene_tree_plain(writer, nodes);
}

Result<> write_scene_tree_plain(Writer& writer, const SceneNodeList& nodes) noexcept
{
    return write_tree_lines(writer, nodes, PlainSearch(nodes));
}

}  // namespace rdv
