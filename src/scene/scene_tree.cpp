#include <array>
#include <cstdint>
#include <cstring>
#include <optional>

#include "store/position_index.hpp"
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

    // The first node in list order whose id is `parent_id` of the node at
    // `position`; none for a parent id of 0.
    std::uint32_t parent_of(std::uint32_t position) const noexcept
    {
        std::uint32_t parent_id = nodes_[position].parent_id;
        if (parent_id == 0)
            return kNoNode;
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

// The same answers, worked out once per node and kept in one word per
// position, so that each line's chain walk only reads them: the parent's
// position in the low 31 bits (all ones for none) and, in the top bit,
// whether a later sibling exists. One index, sized once, serves both
// questions in turn: first ids to their first position, then, walking the
// list backwards, the parent ids already seen.
class IndexedSearch {
public:
    static std::optional<IndexedSearch> build(const SceneNodeList& nodes) noexcept
    {
        const std::size_t count = nodes.size();
        // Positions fit in 31 bits, and the table of twice as many slots
        // and the answers in one size_t (where it is 32-bit, no memory
        // holds so many nodes anyway).
        if (count >= kLaterSibling || count > SIZE_MAX / 8)
            return std::nullopt;
        const std::size_t slots = PositionIndex::slots_for(count);
        std::uint32_t* room = nodes.scratch(count + slots);
        if (!room)
            return std::nullopt;
        std::uint32_t* answers = room;
        PositionIndex index(room + count, slots);
        auto id_of = [&](std::uint32_t position) { return nodes[position].id; };
        for (std::uint32_t i = 0; i < count; ++i)
            index.insert_first(nodes[i].id, i, id_of);
        for (std::uint32_t i = 0; i < count; ++i)
            answers[i] = nodes[i].parent_id == 0 ? kParentMask : index.find(nodes[i].parent_id, id_of) & kParentMask;
        index.clear();
        auto parent_id_of = [&](std::uint32_t position) { return nodes[position].parent_id; };
        for (std::uint32_t i = static_cast<std::uint32_t>(count); i-- > 0;) {
            if (!index.insert_first(nodes[i].parent_id, i, parent_id_of))
                answers[i] |= kLaterSibling;
        }
        return IndexedSearch(answers);
    }

    std::uint32_t parent_of(std::uint32_t position) const noexcept
    {
        std::uint32_t parent = answers_[position] & kParentMask;
        return parent == kParentMask ? kNoNode : parent;
    }

    bool has_later_sibling(std::uint32_t position) const noexcept
    {
        return (answers_[position] & kLaterSibling) != 0;
    }

private:
    static constexpr std::uint32_t kLaterSibling = 0x80000000u;
    static constexpr std::uint32_t kParentMask = 0x7FFFFFFFu;

    explicit IndexedSearch(const std::uint32_t* answers) noexcept : answers_(answers) {}

    const std::uint32_t* answers_;  // by position, as above; in the list's scratch room
};

// What follows a node's name, before its geometry: the kind word in
// brackets and the disabled mark, by kind (0 to 2, then every other value)
// and by whether the node is enabled.
constexpr std::string_view kKindMarks[4][2] = {
    {" [tree] disabled", " [tree]"},
    {" [rect] disabled", " [rect]"},
    {" [buffer] disabled", " [buffer]"},
    {" [unknown] disabled", " [unknown]"},
};

std::string_view kind_marks(const SceneNode& node) noexcept
{
    return kKindMarks[node.kind < 3 ? node.kind : 3][node.enabled ? 1 : 0];
}

Result<> write_node_label(Writer& writer, const SceneNodeList& nodes, const SceneNode& node) noexcept
{
    RDV_TRY(write_single_line(writer, nodes.name(node)));
    RDV_TRY(writer.put(kind_marks(node)));
    if (node.x != 0 || node.y != 0 || node.width != 0 || node.height != 0) {
        RDV_TRY(writer.put(" ("));
        RDV_TRY(write_geometry(writer, node.x, node.y, node.width, node.height));
        return writer.put(")\n");
    }
    return writer.put('\n');
}

template <typename Search>
Result<> write_tree_lines(Writer& writer, const SceneNodeList& nodes, const Search& search) noexcept
{
    // The ancestor chain of the last line, from the top: line[0] at the left
    // margin, line[line_depth] the node itself. `complete` when the chain
    // ended at a node without a parent rather than at the MAX_TREE_CHAIN
    // bound: then the chain of any node whose parent is line[i] is line[0 ..
    // i] and the node, found without walking up.
    std::array<std::uint32_t, MAX_TREE_CHAIN> line;
    std::size_t line_depth = 0;
    bool complete = false;
    // The columns of the last line and then its branch, gathered to be
    // written at once: at most MAX_TREE_CHAIN - 2 columns. Column i (1 ..
    // depth - 1) stands for line[i] and depends on nothing else, so a line
    // keeps the columns of the ancestors it shares with the last one.
    std::array<char, (MAX_TREE_CHAIN - 2) * kPipeColumn.size() + kBranch.size()> prefix;
    static_assert(kBlankColumn.size() <= kPipeColumn.size() && kLastBranch.size() <= kBranch.size());
    std::array<std::uint16_t, MAX_TREE_CHAIN> column_end;  // prefix bytes up to and with column i
    column_end[0] = 0;                                     // the topmost ancestor has no column
    std::size_t columns = 0;                               // columns 1 .. columns are in `prefix`
    std::array<std::uint32_t, MAX_TREE_CHAIN> chain;       // chain[0] the node, then each one's parent

    for (std::size_t p = 0; p < nodes.size(); ++p) {
        const auto position = static_cast<std::uint32_t>(p);
        const std::uint32_t parent = search.parent_of(position);
        std::size_t depth = 0;
        std::size_t found = line_depth + 1;  // where the parent stands in `line`, if it does
        if (parent != kNoNode && complete) {
            for (std::size_t i = line_depth + 1; i-- > 0;) {
                if (line[i] == parent) {
                    found = i;
                    break;
                }
            }
        }
        if (parent == kNoNode) {
            line[0] = position;
            complete = true;
        } else if (found <= line_depth) {
            depth = found + 1;
            line[depth] = position;
            // At the bound, a child's chain would be cut at another ancestor.
            complete = depth + 1 < line.size();
        } else {
            chain[0] = position;
            chain[1] = parent;
            depth = 1;
            complete = false;
            while (depth + 1 < chain.size()) {
                std::uint32_t next = search.parent_of(chain[depth]);
                if (next == kNoNode) {
                    complete = true;
                    break;
                }
                chain[++depth] = next;
            }
            for (std::size_t i = 0; i <= depth; ++i)
                line[i] = chain[depth - i];
            columns = 0;  // a line of other ancestors: none of the columns is kept
        }
        line_depth = depth;
        if (depth == 0) {
            columns = 0;
        } else {
            if (columns > depth - 1)
                columns = depth - 1;
            std::size_t length = column_end[columns];
            for (std::size_t i = columns + 1; i < depth; ++i) {
                const std::string_view column = search.has_later_sibling(line[i]) ? kPipeColumn : kBlankColumn;
                std::memcpy(prefix.data() + length, column.data(), column.size());
                length += column.size();
                column_end[i] = static_cast<std::uint16_t>(length);
            }
            columns = depth - 1;
            const std::string_view branch = search.has_later_sibling(position) ? kBranch : kLastBranch;
            std::memcpy(prefix.data() + length, branch.data(), branch.size());
            RDV_TRY(writer.put(std::string_view(prefix.data(), length + branch.size())));
        }
        RDV_TRY(write_node_label(writer, nodes, nodes[p]));
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
