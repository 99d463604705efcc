// Where a snapshot is kept: texts in their arena, records in chunked lists,
// the scene's nodes and names in one RegionMemory.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scene/scene_node.hpp"
#include "text/chunked_list.hpp"
#include "text/region_memory.hpp"
#include "text/text_arena.hpp"

namespace {

using rdv::Text;
using rdv::TextArena;

std::string shown(const Text& text)
{
    return text ? "\"" + std::string(*text) + "\"" : "absent";
}

// Stores into two fields in turn: each field must read back as its last
// text, whatever room the other reused or took.
TEST(TextArena, FieldsKeepTheirLastTexts)
{
    struct Step {
        int field;  // 0 or 1
        std::string_view bytes;
    };
    const Step steps[] = {
        {0, "hello"}, {1, "world"},        {0, "hi"},   {0, "a text longer than any room so far"},
        {1, ""},      {1, "back again"},   {0, "x"},    {0, ""},
        {0, "yz"},    {1, std::string_view("nul\0inside", 10)},
    };
    TextArena arena;
    Text fields[2];
    std::string expected[2] = {"absent", "absent"};
    for (const Step& step : steps) {
        ASSERT_TRUE(arena.store(fields[step.field], step.bytes));
        expected[step.field] = "\"" + std::string(step.bytes) + "\"";
        for (int f = 0; f < 2; ++f)
            ASSERT_EQ(shown(fields[f]), expected[f]) << "field " << f << " after storing " << step.bytes;
    }
}

TEST(TextArena, EmptyIsPresentAndAbsentStaysAbsent)
{
    TextArena arena;
    Text never;
    Text empty;
    ASSERT_TRUE(arena.store(empty, ""));
    EXPECT_FALSE(never.has_value());
    EXPECT_TRUE(empty.has_value());
    EXPECT_EQ(*empty, "");
    EXPECT_EQ(arena.reserved(), 0u);  // an empty text takes no memory
}

// A field that keeps changing must not pile up copies: with each new room
// twice the last, 5,000 ever longer texts and then long and short in turn
// take a few rooms, not one each (which would be 12.5 MB).
TEST(TextArena, AFieldThatKeepsGrowingWastesLittle)
{
    TextArena arena;
    Text field;
    for (std::size_t length = 1; length <= 5000; ++length)
        ASSERT_TRUE(arena.store(field, std::string(length, 'a')));
    for (int turn = 0; turn < 1000; ++turn)
        ASSERT_TRUE(arena.store(field, std::string(turn % 2 == 0 ? 5000 : 1, 'b')));
    EXPECT_EQ(*field, "b");
    EXPECT_LE(arena.reserved(), 2 * TextArena::kChunkSize);
}

TEST(TextArena, TooLongIsRefusedAndTheFieldKept)
{
    TextArena arena;
    Text field;
    ASSERT_TRUE(arena.store(field, "kept"));
    EXPECT_FALSE(arena.store(field, std::string(TextArena::kMaxText + 1, 'x')));
    EXPECT_EQ(*field, "kept");
    ASSERT_TRUE(arena.store(field, std::string(TextArena::kMaxText, 'x')));
    EXPECT_EQ((*field).size(), TextArena::kMaxText);
}

// Elements keep their address and value however far the list grows, from
// the heap or from a RegionMemory (past its first region, into huge ones).
TEST(ChunkedList, ElementsNeverMove)
{
    rdv::RegionMemory memory;
    rdv::ChunkedList<std::uint64_t, 64> from_heap;
    rdv::ChunkedList<std::uint64_t, 64> from_regions(&memory);
    for (auto* list : {&from_heap, &from_regions}) {
        std::vector<const std::uint64_t*> addresses;
        for (std::uint64_t i = 0; i < 100000; ++i) {
            std::uint64_t* element = list->append();
            ASSERT_NE(element, nullptr);
            *element = i * 7;
            addresses.push_back(element);
        }
        std::uint64_t i = 0;
        for (const std::uint64_t& element : *list) {
            ASSERT_EQ(&element, addresses[i]);
            ASSERT_EQ(element, i * 7);
            ++i;
        }
        ASSERT_EQ(i, 100000u);
        list->pop_back();
        EXPECT_EQ(list->size(), 99999u);
        EXPECT_EQ(list->back(), 99998u * 7);
    }
}

TEST(RegionMemory, BlocksAreAlignedAndApart)
{
    rdv::RegionMemory memory;
    std::vector<std::pair<unsigned char*, std::size_t>> blocks;
    // Small ones, one larger than a whole huge region, then small ones again.
    for (std::size_t size : std::vector<std::size_t>{1, 17, 4096, 200000, 3000000, 100, 65536, 2097152}) {
        auto* block = static_cast<unsigned char*>(memory.allocate(size));
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % 16, 0u);
        std::memset(block, static_cast<int>(blocks.size() + 1), size);
        blocks.emplace_back(block, size);
    }
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        const auto [block, size] = blocks[b];
        for (std::size_t i = 0; i < size; i += 511)
            ASSERT_EQ(block[i], b + 1) << "block " << b << " byte " << i;
        ASSERT_EQ(block[size - 1], b + 1);
    }
}

// A moved list must take its memory along: what is added after the move
// comes from it, and every name still reads back.
TEST(SceneNodeList, NamesSurviveAMoveAndLaterGrowth)
{
    auto name_of = [](std::uint32_t id) { return "node-" + std::to_string(id) + std::string(id % 40, '.'); };
    std::optional<rdv::SceneNodeList> holder;
    {
        rdv::SceneNodeList first;
        for (std::uint32_t id = 1; id <= 3000; ++id) {
            const std::string name = name_of(id);
            ASSERT_TRUE(first.add({.id = id, .parent_id = id / 2, .name = name, .enabled = true}));
        }
        holder.emplace(std::move(first));
    }  // the list it came from is gone
    rdv::SceneNodeList& moved = *holder;
    for (std::uint32_t id = 3001; id <= 60000; ++id) {
        const std::string name = name_of(id);
        ASSERT_TRUE(moved.add({.id = id, .parent_id = id / 2, .name = name}));
    }
    ASSERT_EQ(moved.size(), 60000u);
    std::uint32_t id = 1;
    for (const rdv::SceneNode& node : moved) {
        ASSERT_EQ(node.id, id);
        ASSERT_EQ(moved.name(node), name_of(id));
        ASSERT_EQ(node.enabled, id <= 3000);
        ++id;
    }
}

}  // namespace
