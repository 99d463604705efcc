#include <array>
#include <cstring>
#include <memory>
#include <new>

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

// The same answers, worked out once per node from two indexes (id to first
// position, parent id to last position) and kept in two arrays indexed by
// position, so that each line's chain walk only reads them.
class IndexedSearch {
public:
    static std::optional<IndexedSearch> build(const SceneNodeList& nodes) noexcept
    {
        auto first_by_id = PositionIndex::with_capacity(nodes.size());
        auto last_by_parent = PositionIndex::with_capacity(nodes.size());
        std::unique_ptr<std::uint32_t[]> parents(new (std::nothrow) std::uint32_t[nodes.size()]);
        std::unique_ptr<bool[]> later_siblings(new (std::nothrow) bool[nodes.size()]);
        if (!first_by_id || !last_by_parent || !parents || !later_siblings)
            return std::nullopt;
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            first_by_id->insert_first(nodes[i].id, static_cast<std::uint32_t>(i));
            last_by_parent->insert_last(nodes[i].parent_id, static_cast<std::uint32_t>(i));
        }
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            parents[i] = first_by_id->find(nodes[i].parent_id);
            later_siblings[i] = last_by_parent->find(nodes[i].parent_id) > i;
        }
        return IndexedSearch(std::move(parents), std::move(later_siblings));
    }

    std::uint32_t parent_of(std::uint32_t position) const noexcept { return parents_[position]; }

    bool has_later_sibling(std::uint32_t position) const noexcept { return later_siblings_[position]; }

private:
    IndexedSearch(std::unique_ptr<std::uint32_t[]> parents, std::unique_ptr<bool[]> later_siblings) noexcept
        : parents_(std::move(parents)), later_siblings_(std::move(later_siblings))
    {
    }

    std::unique_ptr<std::uint32_t[]> parents_;  // by position: PlainSearch::parent_of
    std::unique_ptr<bool[]> later_siblings_;    // by position: PlainSearch::has_later_sibling
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
    // A line's columns and branch, gathered to be written at once: at most
    // MAX_TREE_CHAIN - 2 columns.
    std::array<char, (MAX_TREE_CHAIN - 2) * kPipeColumn.size() + kBranch.size()> prefix;
    static_assert(kBlankColumn.size() <= kPipeColumn.size() && kLastBranch.size() <= kBranch.size());
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
            std::size_t length = 0;
            auto append = [&](std::string_view piece) {
                std::memcpy(prefix.data() + length, piece.data(), piece.size());
                length += piece.size();
            };
            // The topmost ancestor stands at the left margin and gets no column.
            for (std::size_t k = depth - 1; k >= 1; --k) {
                if (search.has_later_sibling(chain[k]))
                    append(kPipeColumn);
                else
                    append(kBlankColumn);
            }
            if (search.has_later_sibling(chain[0]))
                append(kBranch);
            else
                append(kLastBranch);
            RDV_TRY(writer.put(std::string_view(prefix.data(), length)));
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
