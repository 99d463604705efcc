// Where a snapshot is kept: texts in their arena, records in chunked lists,
// the scene's nodes and names in one RegionMemory, and the scene's position
// index. The model-based test drives them all against a plain model; the
// tables reach the edges of their sizes; in a sanitizer build the overrun
// tests check that one byte past what the store handed out is reported.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "scene/scene_node.hpp"
#include "store/chunked_list.hpp"
#include "store/poison.hpp"
#include "store/position_index.hpp"
#include "store/region_memory.hpp"
#include "store/text_arena.hpp"
#include "store_model.hpp"

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

// Positions are 32-bit whatever size_t is: 65,536 chunks of 64 KiB. Where
// size_t is 32-bit too, working the limit out in size_t gave 0 chunks and an
// arena that refused every text; past the last position, `append` refuses
// with no_position (nothing kept), while `store`, which hands out pointers,
// goes on.
TEST(TextArena, PositionsEndAt4GiBOnEveryAbi)
{
    static_assert(std::uint64_t{TextArena::kPositionChunks} * TextArena::kChunkSize == std::uint64_t{1} << 32);
    TextArena unlimited;
    Text field;
    ASSERT_TRUE(unlimited.store(field, "title"));
    ASSERT_TRUE(unlimited.append("name").has_value());

    TextArena arena(nullptr, 2);
    const std::string half(TextArena::kChunkSize / 2, 'h');
    std::vector<std::uint32_t> positions;
    for (;;) {
        auto position = arena.append(half);
        if (!position) {
            EXPECT_EQ(position.error(), TextArena::Refusal::no_position);
            break;
        }
        positions.push_back(*position);
        ASSERT_LT(positions.size(), 8u);
    }
    EXPECT_EQ(positions.size(), rdv::store::kPoisoning ? 2u : 2u * 2);
    EXPECT_EQ(arena.reserved(), 2 * TextArena::kChunkSize);
    for (std::uint32_t position : positions)
        EXPECT_EQ(arena.at(position, half.size()), half);
    EXPECT_EQ(arena.append("").value_or(1), 0u);
    // Too long for what is left of the last chunk, with or without a
    // checker's gaps: a third chunk, which append could not have used.
    const std::string longest(TextArena::kMaxText, 'l');
    ASSERT_TRUE(arena.store(field, longest));
    EXPECT_EQ(*field, longest);
    EXPECT_EQ(arena.reserved(), 3 * TextArena::kChunkSize);
}

// A scene whose names fill every position keeps no node past them and says
// why, so that the flow can report it rather than drop nodes unseen.
TEST(SceneNodeList, ANodeBeyondTheLastPositionIsRefusedAsSuch)
{
    rdv::SceneNodeList list(1);
    const std::string name(TextArena::kMaxText, 'n');
    ASSERT_TRUE(list.add({.id = 1, .name = name}));
    auto refused = list.add({.id = 2, .parent_id = 1, .name = name});
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error(), TextArena::Refusal::no_position);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_TRUE(list.add({.id = 3, .parent_id = 1, .name = ""}));  // an empty name takes no position
    EXPECT_EQ(list.name(list[0]), name);
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
        std::size_t i = 0;
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

// The store against its model, from the heap and from regions: random
// operations of a fixed seed, then the same with allocations failing often.
TEST(StoreModel, RandomOperationsMatchTheModel)
{
    for (bool from_regions : {false, true}) {
        for (std::uint32_t seed = 1; seed <= 4; ++seed) {
            std::mt19937 rng(seed);
            std::string bytes(6000, '\0');
            for (char& byte : bytes)
                byte = static_cast<char>(rng());
            if (seed % 2 == 0) {
                for (std::size_t i = 0; i < bytes.size(); i += 5)
                    bytes[i] = static_cast<char>(12 + rng() % 4);  // an operation with a failing allocation
            }
            rdv_test::StoreModel model(from_regions);
            ASSERT_EQ(model.run(bytes), "") << "seed " << seed << (from_regions ? ", from regions" : ", from the heap");
        }
    }
}

// A field replaced in place or moved to new room around the 16-bit cap,
// between two neighbours stored before and after it: each must read back
// whole, and the neighbours unchanged.
TEST(TextArena, RoomsAroundTheCap)
{
    struct Case {
        std::size_t first;
        std::size_t second;
        bool stored;
    };
    const Case cases[] = {
        {65534, 65535, true}, {65535, 65534, true}, {65535, 65535, true}, {65535, 65536, false},
        {65534, 65536, false}, {1, 65535, true},    {32767, 32768, true}, {32768, 65535, true},
        {40000, 40001, true}, {40000, 65535, true}, {8, 9, true},         {16, 17, true},
        {7, 8, true},         {0, 65535, true},     {65535, 0, true},     {65535, 1, true},
    };
    auto text = [](std::size_t length, char salt) {
        std::string bytes(length, salt);
        for (std::size_t i = 0; i < length; i += 97)
            bytes[i] = static_cast<char>(salt + 1 + static_cast<char>(i % 13));
        return bytes;
    };
    for (bool from_regions : {false, true}) {
        for (const Case& c : cases) {
            rdv::RegionMemory memory;
            rdv::TextArena arena(from_regions ? &memory : nullptr);
            Text before, field, after, later;
            const std::string a = text(5, 'a'), b = text(c.first, 'b'), d = text(c.second, 'd');
            const std::string e = text(3, 'e'), f = text(c.second ? c.second - 1 : 0, 'f');
            ASSERT_TRUE(arena.store(before, a));
            ASSERT_TRUE(arena.store(field, b));
            ASSERT_TRUE(arena.store(after, e));
            const std::string at = std::to_string(c.first) + " then " + std::to_string(c.second) + " bytes" +
                                   (from_regions ? ", from regions" : ", from the heap");
            ASSERT_EQ(arena.store(field, d), c.stored) << at;
            ASSERT_TRUE(arena.store(later, f)) << at;
            EXPECT_EQ(*field, c.stored ? d : b) << at;
            EXPECT_EQ(*before, a) << at;
            EXPECT_EQ(*after, e) << at;
            EXPECT_EQ(*later, f) << at;
            ASSERT_TRUE(arena.store(field, b)) << at;  // and back to the first length
            EXPECT_EQ(*field, b) << at;
            EXPECT_EQ(*later, f) << at;
        }
    }
}

// Kept texts fill a chunk to its last byte before the next chunk is taken
// (without a checker, whose gaps take room of their own).
TEST(TextArena, KeptTextsFillAChunkExactly)
{
    if constexpr (rdv::store::kPoisoning)
        GTEST_SKIP() << "a checker's gaps change the layout";
    struct Case {
        std::size_t first, second, third;
        std::size_t reserved;  // after the three
    };
    const Case cases[] = {
        {32768, 32768, 1, 2 * TextArena::kChunkSize},     {32768, 32767, 1, TextArena::kChunkSize},
        {65535, 1, 1, 2 * TextArena::kChunkSize},         {65535, 2, 1, 2 * TextArena::kChunkSize},
        {1, 65535, 65535, 2 * TextArena::kChunkSize},     {0, 0, 65535, TextArena::kChunkSize},
    };
    for (const Case& c : cases) {
        TextArena arena;
        std::vector<std::pair<std::uint32_t, std::string>> kept;
        for (std::size_t size : {c.first, c.second, c.third}) {
            std::string text(size, static_cast<char>('a' + kept.size()));
            auto position = arena.append(text);
            ASSERT_TRUE(position.has_value());
            kept.emplace_back(*position, std::move(text));
        }
        EXPECT_EQ(arena.reserved(), c.reserved) << c.first << ", " << c.second << ", " << c.third;
        for (const auto& [position, text] : kept)
            EXPECT_EQ(arena.at(position, text.size()), text);
    }
}

// Blocks at and around the sizes of a region, as a fresh memory's first
// block and after a small one: each lies inside one region, is aligned,
// keeps every byte written to it, and the block after it is apart.
TEST(RegionMemory, BlocksAtTheEdgesOfARegion)
{
    using rdv::RegionMemory;
    constexpr std::size_t first = RegionMemory::kFirstRegion, huge = RegionMemory::kHugeRegion;
    constexpr std::size_t header = RegionMemory::kHeader;
    const std::size_t sizes[] = {
        first - header, first - header - 1, first - header - 16, first - header + 1, first - 1, first,
        first + 1,      huge - header,      huge - header - 16,  huge,               huge + 1,  1,
    };
    for (std::size_t small : {std::size_t{0}, std::size_t{16}, std::size_t{100}}) {
        for (std::size_t size : sizes) {
            RegionMemory memory;
            const std::string at = "block of " + std::to_string(size) + " after one of " + std::to_string(small);
            unsigned char* before = nullptr;
            if (small) {
                before = static_cast<unsigned char*>(memory.allocate(small));
                ASSERT_NE(before, nullptr) << at;
                std::memset(before, 0x11, small);
            }
            auto* block = static_cast<unsigned char*>(memory.allocate(size));
            ASSERT_NE(block, nullptr) << at;
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % RegionMemory::kAlign, 0u) << at;
            ASSERT_TRUE(memory.holds(block, size)) << at;
            std::memset(block, 0x22, size);
            auto* next = static_cast<unsigned char*>(memory.allocate(16));
            ASSERT_NE(next, nullptr) << at;
            ASSERT_TRUE(memory.holds(next, 16)) << at;
            EXPECT_TRUE(next >= block + size || next + 16 <= block) << at;
            std::memset(next, 0x33, 16);
            ASSERT_EQ(block[0], 0x22) << at;
            ASSERT_EQ(block[size - 1], 0x22) << at;
            for (std::size_t i = 0; i < small; ++i)
                ASSERT_EQ(before[i], 0x11) << at;
            EXPECT_FALSE(memory.holds(block, size + RegionMemory::kHugeRegion)) << at;
            // A block that fits what is left of the region follows the one
            // before it (a checker's gap apart).
            auto taken = [](std::size_t bytes) { return (bytes + rdv::store::kGap + 15) / 16 * 16; };
            if (small && taken(small) + taken(size) <= first - header) {
                EXPECT_EQ(block, before + taken(small)) << at;
            }
        }
    }
}

// Keys whose probe starts at the table's last slot, so that the ones after
// the first wrap to its start; beside them keys that start at slot 0 and
// find it taken. find and insert_first must agree on each, and an absent
// key that starts at the last slot must end at a free one. Where a key
// starts is seen by inserting it alone into an empty table.
TEST(PositionIndex, ProbesThatWrapAtTheLastSlot)
{
    using rdv::PositionIndex;
    for (std::size_t count : {std::size_t{3}, std::size_t{8}, std::size_t{20}}) {
        const std::size_t size = PositionIndex::slots_for(count);
        ASSERT_GE(size, 2 * count);
        std::vector<std::uint32_t> slots(size);
        auto home = [&](std::uint32_t key) {
            PositionIndex alone(slots.data(), size);
            alone.insert_first(key, 0, [](std::uint32_t) { return 0u; });
            for (std::size_t s = 0; s < size; ++s) {
                if (slots[s] == 0)
                    return s;
            }
            return size;
        };
        std::vector<std::uint32_t> at_last, at_first;
        for (std::uint32_t key = 1; at_last.size() < count || at_first.size() < count; ++key) {
            const std::size_t start = home(key);
            if (start == size - 1 && at_last.size() < count)
                at_last.push_back(key);
            else if (start == 0 && at_first.size() < count)
                at_first.push_back(key);
        }
        // Half from each, the wrapping ones first, then the other order;
        // then only wrapping ones, whose probes cross a free slot 0.
        for (int order = 0; order < 3; ++order) {
            std::vector<std::uint32_t> keys;
            const std::size_t half = order == 2 ? count : count / 2 + 1;
            const auto& one = order == 1 ? at_first : at_last;
            const auto& other = order == 1 ? at_last : at_first;
            keys.insert(keys.end(), one.begin(), one.begin() + static_cast<std::ptrdiff_t>(half));
            keys.insert(keys.end(), other.begin(), other.begin() + static_cast<std::ptrdiff_t>(count - half));
            auto key_of = [&](std::uint32_t position) { return keys[position]; };
            PositionIndex index(slots.data(), size);
            for (std::uint32_t p = 0; p < keys.size(); ++p)
                ASSERT_TRUE(index.insert_first(keys[p], p, key_of)) << "key " << keys[p];
            for (std::uint32_t p = 0; p < keys.size(); ++p) {
                ASSERT_EQ(index.find(keys[p], key_of), p) << "key " << keys[p] << ", table of " << size;
                ASSERT_FALSE(index.insert_first(keys[p], 99, key_of)) << "key " << keys[p];
            }
            for (std::uint32_t absent : {at_last[count - 1], at_first[count - 1], 0u, UINT32_MAX}) {
                if (std::find(keys.begin(), keys.end(), absent) == keys.end()) {
                    ASSERT_EQ(index.find(absent, key_of), PositionIndex::kNone) << "absent key " << absent;
                }
            }
            index.clear();
            for (std::uint32_t key : keys)
                ASSERT_EQ(index.find(key, key_of), PositionIndex::kNone) << "after clear, key " << key;
        }
    }
}

// A scene node whose record or name finds no memory is not kept, whichever
// allocation fails, and the list goes on as if it had never been added.
TEST(SceneNodeList, ANodeWithoutMemoryIsNotKept)
{
    unsigned failures = 0;
    for (unsigned failing = 1; failing <= 6; ++failing) {
        // The first name fills the arena's chunk, so the second needs a
        // new one, from a new region.
        const std::string first(rdv::TextArena::kMaxText, 'f');
        rdv::SceneNodeList list;
        ASSERT_TRUE(list.add({.id = 1, .name = first}));
        rdv_test::fail_allocation(failing);
        const bool added = list.add({.id = 2, .parent_id = 1, .name = std::string(70000 % 65536, 'n')}).has_value();
        const bool failed = rdv_test::allocation_failed();
        rdv_test::fail_allocation(0);
        ASSERT_EQ(added, !failed) << "allocation " << failing;
        failures += failed ? 1 : 0;
        ASSERT_EQ(list.size(), added ? 2u : 1u) << "allocation " << failing;
        ASSERT_TRUE(list.add({.id = 3, .parent_id = 1, .name = "third"}));
        EXPECT_EQ(list.name(list[0]), first);
        EXPECT_EQ(list[list.size() - 1].id, 3u);
        EXPECT_EQ(list.name(list[list.size() - 1]), "third");
    }
    EXPECT_GT(failures, 0u);
}

// A chunked list past its chunk boundaries, emptied by pop_back and by
// clear, then used again: the elements read back in order, at addresses
// that hold.
TEST(ChunkedList, AcrossChunkBoundariesAndAfterClear)
{
    rdv::RegionMemory memory;
    rdv::ChunkedList<std::uint32_t, 4> from_heap;
    rdv::ChunkedList<std::uint32_t, 4> from_regions(&memory);
    for (auto* list : {&from_heap, &from_regions}) {
        for (std::size_t count : {std::size_t{3}, std::size_t{4}, std::size_t{5}, std::size_t{8}, std::size_t{9}}) {
            for (int round = 0; round < 2; ++round) {
                for (std::uint32_t i = 0; i < count; ++i)
                    ASSERT_TRUE(list->push_back(i * 3 + 1));
                ASSERT_EQ(list->size(), count);
                for (std::uint32_t i = 0; i < count; ++i)
                    ASSERT_EQ((*list)[i], i * 3 + 1) << count << " elements, round " << round;
                list->pop_back();
                ASSERT_TRUE(list->push_back(77));
                ASSERT_EQ(list->back(), 77u);
                ASSERT_EQ(list->size(), count);
                list->clear();
                ASSERT_TRUE(list->empty());
            }
        }
    }
}

// In a sanitizer build, one byte written past what the store handed out is
// reported: past a region's block (also when another block follows it), past
// a text into its room or the next text, into a room the text has left,
// past a chunk's last appended slot, and into a list cleared.
#if defined(RDV_POISON_ASAN)
TEST(StoreOverrunDeathTest, OneBytePastWhatWasHandedOutIsReported)
{
    static_assert(rdv::store::kPoisoning);
    auto write_at = [](const void* p) { *static_cast<volatile char*>(const_cast<void*>(p)) = 'x'; };
    const std::string report = "ERROR: AddressSanitizer";
    struct Case {
        const char* what;
        std::function<void()> overrun;
    };
    const Case cases[] = {
        {"past a region's block", [&] {
             rdv::RegionMemory memory;
             auto* block = static_cast<char*>(memory.allocate(24));
             write_at(block + 24);
         }},
        {"past a block with another after it", [&] {
             rdv::RegionMemory memory;
             auto* block = static_cast<char*>(memory.allocate(32));
             (void)memory.allocate(32);
             write_at(block + 32);
         }},
        {"past the first region's last block", [&] {
             rdv::RegionMemory memory;
             auto* block = static_cast<char*>(memory.allocate(rdv::RegionMemory::kFirstRegion - 64));
             write_at(block + rdv::RegionMemory::kFirstRegion - 64);
         }},
        {"past a text into the next one", [&] {
             TextArena arena;
             Text first, second;
             (void)arena.store(first, "12345678");
             (void)arena.store(second, "abcdefgh");
             write_at((*first).data() + 8);
         }},
        {"past a shorter text into its room", [&] {
             TextArena arena;
             Text field;
             (void)arena.store(field, "a longer text");
             (void)arena.store(field, "short");
             write_at((*field).data() + 5);
         }},
        {"into the room a text has left", [&] {
             TextArena arena;
             Text field;
             (void)arena.store(field, "short");
             const char* left = (*field).data();
             (void)arena.store(field, "a text longer than the room it had");
             write_at(left);
         }},
        {"past a kept text", [&] {
             rdv::RegionMemory memory;
             TextArena arena(&memory);
             auto position = arena.append("node-1");
             (void)arena.append("node-2");
             write_at(arena.at(*position, 6).data() + 6);
         }},
        {"past a chunk's last appended slot", [&] {
             rdv::ChunkedList<std::uint32_t, 8> list;
             (void)list.push_back(1);
             (void)list.push_back(2);
             write_at(reinterpret_cast<const char*>(&list.back()) + sizeof(std::uint32_t));
         }},
        {"past a region chunk's last slot", [&] {
             rdv::RegionMemory memory;
             rdv::ChunkedList<rdv::SceneNode, 16> list(&memory);
             (void)list.append();
             write_at(reinterpret_cast<const char*>(&list.back()) + sizeof(rdv::SceneNode));
         }},
        {"into a slot taken back", [&] {
             rdv::ChunkedList<std::uint64_t, 8> list;
             (void)list.push_back(1);
             (void)list.push_back(2);
             const std::uint64_t* last = &list.back();
             list.pop_back();
             write_at(last);
         }},
        {"into a list cleared", [&] {
             rdv::RegionMemory memory;
             rdv::ChunkedList<std::uint32_t, 8> list(&memory);
             (void)list.push_back(1);
             const std::uint32_t* first = &list.back();
             list.clear();
             write_at(first);
         }},
    };
    for (const Case& c : cases)
        EXPECT_DEATH(c.overrun(), report) << c.what;
}
#endif

}  // namespace
