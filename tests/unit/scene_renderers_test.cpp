// The two renderings of the scene snapshot: indented tree text and the
// Graphviz DOT graph.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <iterator>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "scene/scene_node.hpp"
#include "scene/scene_renderers.hpp"
#include "test_support.hpp"

namespace {

using rdv::SceneNodeList;
using rdv_test::render_to_string;

#define FFFD "\xEF\xBF\xBD"

// Prefix pieces of the tree text.
const std::string kBranch = "\xE2\x94\x9C\xE2\x94\x80 ";      // "├─ "
const std::string kLastBranch = "\xE2\x94\x94\xE2\x94\x80 ";  // "└─ "
const std::string kPipe = "\xE2\x94\x82  ";                   // "│  "
const std::string kBlank = "   ";

constexpr std::string_view kDotHeader =
    "digraph zadozav_scene {\n"
    "  graph [rankdir=LR, bgcolor=\"#111827\", fontname=\"monospace\"];\n"
    "  node [shape=box, style=\"rounded,filled\", fontname=\"monospace\", color=\"#475569\", "
    "fontcolor=\"#0f172a\"];\n"
    "  edge [color=\"#64748b\"];\n";

// A node as a test writes it, with its name; rendered through a Nodes
// built from a list of them.
struct TestNode {
    std::uint32_t id = 0;
    std::uint32_t parent_id = 0;
    std::string name;
    std::uint32_t kind = 0;
    bool enabled = false;
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};
using Nodes = std::vector<TestNode>;

TestNode node(std::uint32_t id, std::uint32_t parent_id, std::string name, std::uint32_t kind = 0,
              bool enabled = true, std::int32_t x = 0, std::int32_t y = 0, std::int32_t width = 0,
              std::int32_t height = 0)
{
    return {id, parent_id, std::move(name), kind, enabled, x, y, width, height};
}

SceneNodeList list_from(const Nodes& nodes)
{
    SceneNodeList list;
    for (const TestNode& n : nodes) {
        EXPECT_TRUE(list.add({n.id, n.parent_id, n.name, n.kind, n.enabled, n.x, n.y, n.width, n.height}));
    }
    return list;
}

std::string tree(const Nodes& nodes)
{
    const SceneNodeList list = list_from(nodes);
    return render_to_string([&](rdv::Writer& w) { return rdv::write_scene_tree(w, list); });
}

std::string tree_plain(const Nodes& nodes)
{
    const SceneNodeList list = list_from(nodes);
    return render_to_string([&](rdv::Writer& w) { return rdv::write_scene_tree_plain(w, list); });
}

std::string dot(const Nodes& nodes)
{
    const SceneNodeList list = list_from(nodes);
    return render_to_string([&](rdv::Writer& w) { return rdv::write_scene_dot(w, list); });
}

std::string repeat(const std::string& piece, std::size_t count)
{
    std::string text;
    for (std::size_t i = 0; i < count; ++i)
        text += piece;
    return text;
}

// Checks both tree renderings against the same expected bytes.
void expect_tree(const Nodes& nodes, const std::string& expected)
{
    EXPECT_EQ(tree(nodes), expected) << "indexed rendering";
    EXPECT_EQ(tree_plain(nodes), expected) << "plain rendering";
}

Nodes example_nodes()
{
    return {
        node(1, 0, "root", 0, true),
        node(2, 1, "background", 1, true, 0, 0, 1920, 1080),
        node(3, 1, "windows", 0, true),
        node(4, 3, "term", 2, false, 10, 20, 800, 600),
        node(5, 0, "overlay", 0, true),
    };
}

// --------------------------------------------------------------- tree text

TEST(SceneTree, Example)
{
    expect_tree(example_nodes(), "root [tree]\n" + kBranch + "background [rect] (0,0 1920x1080)\n" + kLastBranch +
                                     "windows [tree]\n" + kBlank + kLastBranch +
                                     "term [buffer] disabled (10,20 800x600)\n"
                                     "overlay [tree]\n");
}

TEST(SceneTree, EmptyListWritesNothing)
{
    expect_tree({}, "");
}

TEST(SceneTree, RootsAtTheLeftMargin)
{
    expect_tree({node(1, 0, "only")}, "only [tree]\n");
    expect_tree({node(1, 0, "a"), node(2, 0, "b")}, "a [tree]\nb [tree]\n");
}

TEST(SceneTree, PipeColumnsUnderAParentWithALaterSibling)
{
    expect_tree(
        {
            node(1, 0, "R"),
            node(2, 1, "A"),
            node(3, 2, "A1"),
            node(4, 3, "A1a"),
            node(5, 1, "B"),
        },
        "R [tree]\n" + kBranch + "A [tree]\n" + kPipe + kLastBranch + "A1 [tree]\n" + kPipe + kBlank + kLastBranch +
            "A1a [tree]\n" + kLastBranch + "B [tree]\n");
}

TEST(SceneTree, MissingParentDrawsTheNodeAtTheMargin)
{
    expect_tree(
        {
            node(1, 99, "A"),
            node(2, 1, "B"),
            node(4, 2, "D"),
            node(5, 1, "E"),
            node(3, 99, "C"),
        },
        "A [tree]\n" + kBranch + "B [tree]\n" + kPipe + kLastBranch + "D [tree]\n" + kLastBranch +
            "E [tree]\n"
            "C [tree]\n");
}

TEST(SceneTree, ChildBeforeItsParent)
{
    expect_tree({node(2, 1, "S1"), node(1, 0, "R"), node(3, 1, "S2")},
                kBranch + "S1 [tree]\nR [tree]\n" + kLastBranch + "S2 [tree]\n");
}

TEST(SceneTree, DuplicateIdsTheFirstIsTheParent)
{
    expect_tree(
        {
            node(1, 0, "P1"),
            node(2, 0, "Q"),
            node(1, 2, "P2"),
            node(3, 1, "C"),
        },
        "P1 [tree]\nQ [tree]\n" + kLastBranch + "P2 [tree]\n" + kLastBranch + "C [tree]\n");
}

TEST(SceneTree, SelfParentFillsTheWholeChain)
{
    // The chain holds the node 256 times: 254 columns and a connector.
    expect_tree({node(7, 7, "loop")}, repeat(kBlank, 254) + kLastBranch + "loop [tree]\n");

    // With an earlier node carrying the same id, that node is the parent.
    expect_tree({node(5, 0, "N"), node(5, 5, "M")}, "N [tree]\n" + kLastBranch + "M [tree]\n");
}

TEST(SceneTree, TwoNodesNamingEachOther)
{
    // A and B are each other's parent; C hangs under B. A has a later sibling
    // (C, same parent id 2), B has none.
    const Nodes nodes = {node(1, 2, "A"), node(2, 1, "B"), node(3, 2, "C")};
    const std::string expected = repeat(kPipe + kBlank, 127) + kBranch + "A [tree]\n" +
                                 repeat(kBlank + kPipe, 127) + kLastBranch + "B [tree]\n" +
                                 repeat(kPipe + kBlank, 127) + kLastBranch + "C [tree]\n";
    expect_tree(nodes, expected);
}

TEST(SceneTree, DeepChainIsCutAt256Entries)
{
    Nodes nodes;
    for (std::uint32_t id = 1; id <= 300; ++id)
        nodes.push_back(node(id, id - 1, "n" + std::to_string(id)));
    std::string expected;
    for (std::uint32_t id = 1; id <= 300; ++id) {
        std::size_t depth = std::min<std::size_t>(id - 1, 255);
        if (depth >= 1)
            expected += repeat(kBlank, depth - 1) + kLastBranch;
        expected += "n" + std::to_string(id) + " [tree]\n";
    }
    expect_tree(nodes, expected);
}

TEST(SceneTree, GeometryDisabledAndKindWords)
{
    struct Case {
        TestNode n;
        std::string_view expected;
    };
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    const Case cases[] = {
        {node(1, 0, "g", 0, true, 0, 0, 0, -1), "g [tree] (0,0 0x-1)\n"},
        {node(1, 0, "g", 1, true, 5, 0, 0, 0), "g [rect] (5,0 0x0)\n"},
        {node(1, 0, "g", 2, true, 0, -7, 0, 0), "g [buffer] (0,-7 0x0)\n"},
        {node(1, 0, "g", 0, true, 0, 0, 3, 0), "g [tree] (0,0 3x0)\n"},
        {node(1, 0, "g", 0, true, kMin, -1, 1, kMax), "g [tree] (-2147483648,-1 1x2147483647)\n"},
        {node(1, 0, "g", 0, false), "g [tree] disabled\n"},
        {node(1, 0, "g", 1, false, 1, 2, 3, 4), "g [rect] disabled (1,2 3x4)\n"},
        {node(1, 0, "g", 3, true), "g [unknown]\n"},
        {node(1, 0, "g", std::numeric_limits<std::uint32_t>::max(), false), "g [unknown] disabled\n"},
    };
    for (const Case& c : cases)
        expect_tree({c.n}, std::string(c.expected));
}

TEST(SceneTree, NamesAreKeptOnOneLine)
{
    struct Case {
        std::string name;
        std::string_view expected;
    };
    const Case cases[] = {
        {"a\nb", "a b [tree]\n"},
        {"a\r\nb", "a  b [tree]\n"},
        {"", " [tree]\n"},
        {"t\tab", "t ab [tree]\n"},
        {std::string("z\0z", 3), "z z [tree]\n"},
        {"\x1b[0m\x7f", " [0m  [tree]\n"},
        {"c1\xc2\x85\xc2\x9f", "c1   [tree]\n"},
        {"\xc2\xa0\xc3\xa9", "\xc2\xa0\xc3\xa9 [tree]\n"},
        {"bad\xff\xc2", "bad\xff\xc2 [tree]\n"},
    };
    for (const Case& c : cases)
        expect_tree({node(1, 0, c.name)}, std::string(c.expected));

    expect_tree({node(1, 0, "p"), node(2, 1, "")}, "p [tree]\n" + kLastBranch + " [tree]\n");
}

// A direct transcription of the drawing rules, used as an oracle for
// generated lists. Names are restricted to the table in the generator, whose
// one-line forms are given there.
std::string reference_tree(const Nodes& nodes, const std::vector<std::string>& one_line_names)
{
    const std::size_t count = nodes.size();
    auto parent_of = [&](std::size_t q) -> std::optional<std::size_t> {
        if (nodes[q].parent_id == 0)
            return std::nullopt;
        for (std::size_t i = 0; i < count; ++i)
            if (nodes[i].id == nodes[q].parent_id)
                return i;
        return std::nullopt;
    };
    auto has_later_sibling = [&](std::size_t p) {
        for (std::size_t i = p + 1; i < count; ++i)
            if (nodes[i].parent_id == nodes[p].parent_id)
                return true;
        return false;
    };
    std::string out;
    for (std::size_t p = 0; p < count; ++p) {
        std::vector<std::size_t> chain{p};
        for (;;) {
            auto parent = parent_of(chain.back());
            if (!parent || chain.size() == 256)
                break;
            chain.push_back(*parent);
        }
        const std::size_t depth = chain.size() - 1;
        if (depth >= 1) {
            for (std::size_t k = depth - 1; k >= 1; --k)
                out += has_later_sibling(chain[k]) ? kPipe : kBlank;
            out += has_later_sibling(p) ? kBranch : kLastBranch;
        }
        const TestNode& n = nodes[p];
        out += one_line_names[p];
        out += " [";
        out += rdv::scene_kind_word(n.kind);
        out += "]";
        if (!n.enabled)
            out += " disabled";
        if (n.x != 0 || n.y != 0 || n.width != 0 || n.height != 0) {
            out += " (" + std::to_string(n.x) + "," + std::to_string(n.y) + " " + std::to_string(n.width) + "x" +
                   std::to_string(n.height) + ")";
        }
        out += "\n";
    }
    return out;
}

struct GeneratedList {
    Nodes nodes;
    std::vector<std::string> one_line_names;
};

struct NameChoice {
    std::string_view raw;
    std::string_view one_line;
};
constexpr NameChoice kNames[] = {
    {"a", "a"}, {"node", "node"}, {"", ""}, {"x\ny", "x y"}, {"t\tab", "t ab"}, {"\xc2\x85", " "},
    {"\xe2\x82", "\xe2\x82"}, {"\xc3\xa9t\xc3\xa9", "\xc3\xa9t\xc3\xa9"},
};

GeneratedList random_list(std::mt19937& rng, std::size_t count, std::uint32_t id_range, bool deep)
{
    GeneratedList list;
    auto pick = [&](std::uint32_t bound) { return static_cast<std::uint32_t>(rng() % bound); };
    auto coordinate = [&]() -> std::int32_t {
        if (pick(4) != 0)
            return 0;
        return static_cast<std::int32_t>(pick(2001)) - 1000;
    };
    for (std::size_t i = 0; i < count; ++i) {
        TestNode n;
        if (deep) {
            n.id = static_cast<std::uint32_t>(i + 1);
            switch (pick(10)) {
            case 0:
                n.parent_id = 0;
                break;
            case 1:
                n.parent_id = pick(static_cast<std::uint32_t>(count) + 5);  // anywhere, maybe later or missing
                break;
            case 2:
                n.parent_id = pick(n.id) + 1;  // any earlier node, or itself
                break;
            default:
                n.parent_id = n.id - 1;  // a long line of descent
                break;
            }
        } else {
            n.id = pick(id_range + 1);
            switch (pick(6)) {
            case 0:
                n.parent_id = 0;
                break;
            case 1:
                n.parent_id = n.id;
                break;
            case 2:
                n.parent_id = id_range + 1 + pick(3);  // no node carries it
                break;
            default:
                n.parent_id = pick(id_range + 1);
                break;
            }
        }
        const NameChoice& name = kNames[pick(static_cast<std::uint32_t>(std::size(kNames)))];
        n.name = std::string(name.raw);
        n.kind = pick(5);
        n.enabled = pick(3) != 0;
        n.x = coordinate();
        n.y = coordinate();
        n.width = coordinate();
        n.height = coordinate();
        list.nodes.push_back(std::move(n));
        list.one_line_names.emplace_back(name.one_line);
    }
    return list;
}

TEST(SceneTreeProperty, IndexedAndPlainRenderingsAgreeOnRandomLists)
{
    for (std::uint32_t seed = 0; seed < 600; ++seed) {
        std::mt19937 rng(seed);
        const std::size_t count = rng() % 40;
        const std::uint32_t id_range = 1 + static_cast<std::uint32_t>(rng() % 10);
        GeneratedList list = random_list(rng, count, id_range, false);
        std::string indexed = tree(list.nodes);
        std::string plain = tree_plain(list.nodes);
        ASSERT_EQ(indexed, plain) << "seed " << seed;
        ASSERT_EQ(indexed, reference_tree(list.nodes, list.one_line_names)) << "seed " << seed;
    }
}

TEST(SceneTreeProperty, IndexedAndPlainRenderingsAgreeOnWideIds)
{
    // Ids from across the whole 32-bit range, so that lookups by id meet
    // large values and values that land close together.
    constexpr std::uint32_t kPool[] = {
        1, 2, 3, 16, 17, 0x10000, 0x10001, 0x80000000u, 0x9E3779B1u, 0xFFFFFFFEu, 0xFFFFFFFFu,
    };
    constexpr std::uint32_t kPoolSize = static_cast<std::uint32_t>(std::size(kPool));
    for (std::uint32_t seed = 0; seed < 300; ++seed) {
        std::mt19937 rng(5000 + seed);
        const std::size_t count = rng() % 60;
        GeneratedList list = random_list(rng, count, kPoolSize - 1, false);
        for (TestNode& n : list.nodes) {
            n.id = kPool[n.id % kPoolSize];
            // Keep 0 (no parent); map the rest into the pool, or just past it.
            if (n.parent_id != 0)
                n.parent_id = n.parent_id < kPoolSize ? kPool[n.parent_id] : 0x7FFFFFFFu;
        }
        std::string indexed = tree(list.nodes);
        ASSERT_EQ(indexed, tree_plain(list.nodes)) << "seed " << seed;
        ASSERT_EQ(indexed, reference_tree(list.nodes, list.one_line_names)) << "seed " << seed;
    }
}

TEST(SceneTreeProperty, IndexedAndPlainRenderingsAgreeOnDeepLists)
{
    for (std::uint32_t seed = 0; seed < 6; ++seed) {
        std::mt19937 rng(1000 + seed);
        GeneratedList list = random_list(rng, 280 + seed * 10, 0, true);
        std::string indexed = tree(list.nodes);
        ASSERT_EQ(indexed, tree_plain(list.nodes)) << "seed " << seed;
        ASSERT_EQ(indexed, reference_tree(list.nodes, list.one_line_names)) << "seed " << seed;
    }
}

// --------------------------------------------------------------------- DOT

TEST(SceneDot, EmptyList)
{
    EXPECT_EQ(kDotHeader.size(), 217u);
    EXPECT_EQ(dot({}), std::string(kDotHeader) + "}\n");
}

TEST(SceneDot, Example)
{
    EXPECT_EQ(dot(example_nodes()),
              std::string(kDotHeader) +
                  "  n1 [label=\"root\\ntree\", fillcolor=\"#93c5fd\"];\n"
                  "  n2 [label=\"background\\nrect\\n0,0 1920x1080\", fillcolor=\"#fcd34d\"];\n"
                  "  n3 [label=\"windows\\ntree\", fillcolor=\"#93c5fd\"];\n"
                  "  n4 [label=\"term\\nbuffer \xc2\xb7 disabled\\n10,20 800x600\", fillcolor=\"#94a3b8\", "
                  "style=\"rounded,filled,dashed\"];\n"
                  "  n5 [label=\"overlay\\ntree\", fillcolor=\"#93c5fd\"];\n"
                  "  n1 -> n2;\n"
                  "  n1 -> n3;\n"
                  "  n3 -> n4;\n"
                  "}\n");
}

TEST(SceneDot, FillColourAndStyleByKindAndState)
{
    struct Case {
        std::uint32_t kind;
        bool enabled;
        std::string_view expected_statement;
    };
    const Case cases[] = {
        {0, true, "  n9 [label=\"k\\ntree\", fillcolor=\"#93c5fd\"];\n"},
        {1, true, "  n9 [label=\"k\\nrect\", fillcolor=\"#fcd34d\"];\n"},
        {2, true, "  n9 [label=\"k\\nbuffer\", fillcolor=\"#86efac\"];\n"},
        {3, true, "  n9 [label=\"k\\nunknown\", fillcolor=\"#e5e7eb\"];\n"},
        {std::numeric_limits<std::uint32_t>::max(), true, "  n9 [label=\"k\\nunknown\", fillcolor=\"#e5e7eb\"];\n"},
        {0, false,
         "  n9 [label=\"k\\ntree \xc2\xb7 disabled\", fillcolor=\"#94a3b8\", style=\"rounded,filled,dashed\"];\n"},
        {1, false,
         "  n9 [label=\"k\\nrect \xc2\xb7 disabled\", fillcolor=\"#94a3b8\", style=\"rounded,filled,dashed\"];\n"},
        {2, false,
         "  n9 [label=\"k\\nbuffer \xc2\xb7 disabled\", fillcolor=\"#94a3b8\", style=\"rounded,filled,dashed\"];\n"},
        {3, false,
         "  n9 [label=\"k\\nunknown \xc2\xb7 disabled\", fillcolor=\"#94a3b8\", "
         "style=\"rounded,filled,dashed\"];\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(dot({node(9, 0, "k", c.kind, c.enabled)}),
                  std::string(kDotHeader) + std::string(c.expected_statement) + "}\n")
            << "kind " << c.kind << ", enabled " << c.enabled;
    }
}

TEST(SceneDot, LabelEscapes)
{
    struct Case {
        std::string name;
        std::string_view expected_label_name;
    };
    const Case cases[] = {
        {"a\"b\\c", "a\\\"b\\\\c"},
        {"t\tab", "t?ab"},
        {"cr\rlf\ncrlf\r\n", "cr\\nlf\\ncrlf\\n\\n"},
        {std::string("\0\x01\x1f\x1b", 4), "????"},
        {"\x7f", "\x7f"},
        {"\xc2\x80\xc2\xa0\xc3\xa9\xf0\x9f\x98\x80", "\xc2\x80\xc2\xa0\xc3\xa9\xf0\x9f\x98\x80"},
        {"\xff", FFFD},
        {"\xc3\"", FFFD "\\\""},
        {"\xe2\x82\n", FFFD "\\n"},
        {"\xe2\x82\t", FFFD "?"},
        {"\xed\xa0\x80", FFFD FFFD FFFD},
        {"\xc0\xaf/", FFFD FFFD "/"},
        {"end\xf0\x9f\x98", "end" FFFD},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(dot({node(1, 0, c.name)}), std::string(kDotHeader) + "  n1 [label=\"" +
                                                 std::string(c.expected_label_name) +
                                                 "\\ntree\", fillcolor=\"#93c5fd\"];\n}\n")
            << "name " << testing::PrintToString(c.name);
    }
}

TEST(SceneDot, GeometryLine)
{
    EXPECT_EQ(dot({node(1, 0, "g", 1, true, -10, -20, 0, 0)}),
              std::string(kDotHeader) + "  n1 [label=\"g\\nrect\\n-10,-20 0x0\", fillcolor=\"#fcd34d\"];\n}\n");
    EXPECT_EQ(dot({node(1, 0, "g", 2, true, 0, 0, 0, -1)}),
              std::string(kDotHeader) + "  n1 [label=\"g\\nbuffer\\n0,0 0x-1\", fillcolor=\"#86efac\"];\n}\n");
    EXPECT_EQ(dot({node(1, 0, "g", 0, true, std::numeric_limits<std::int32_t>::min(), 0, 0, 0)}),
              std::string(kDotHeader) +
                  "  n1 [label=\"g\\ntree\\n-2147483648,0 0x0\", fillcolor=\"#93c5fd\"];\n}\n");
}

TEST(SceneDot, InconsistentDataIsWrittenUnchanged)
{
    const Nodes nodes = {
        node(3, 1, "c"),
        node(1, 0, "r"),
        node(0, 99, "zero"),
        node(1, 1, "dup"),
        node(4294967295u, 4294967295u, "max"),
    };
    EXPECT_EQ(dot(nodes), std::string(kDotHeader) +
                              "  n3 [label=\"c\\ntree\", fillcolor=\"#93c5fd\"];\n"
                              "  n1 [label=\"r\\ntree\", fillcolor=\"#93c5fd\"];\n"
                              "  n0 [label=\"zero\\ntree\", fillcolor=\"#93c5fd\"];\n"
                              "  n1 [label=\"dup\\ntree\", fillcolor=\"#93c5fd\"];\n"
                              "  n4294967295 [label=\"max\\ntree\", fillcolor=\"#93c5fd\"];\n"
                              "  n1 -> n3;\n"
                              "  n99 -> n0;\n"
                              "  n1 -> n1;\n"
                              "  n4294967295 -> n4294967295;\n"
                              "}\n");
}

// ---------------------------------------------------------- write failures

TEST(SceneRenderersFailure, StopAtTheFirstFailedWrite)
{
    const SceneNodeList nodes = list_from(example_nodes());
    const std::function<rdv::Result<>(rdv::Writer&)> renderers[] = {
        [&](rdv::Writer& w) { return rdv::write_scene_tree(w, nodes); },
        [&](rdv::Writer& w) { return rdv::write_scene_tree_plain(w, nodes); },
        [&](rdv::Writer& w) { return rdv::write_scene_dot(w, nodes); },
    };
    for (const auto& render : renderers) {
        std::string full = render_to_string(render);
        rdv_test::expect_stops_at_first_failure(render, full);
    }
}

}  // namespace
