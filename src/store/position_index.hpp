// A map from 32-bit keys to list positions, for the scene tree's lookups.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rdv {

// Open addressing with linear probing over a power-of-two table that is at
// most half full, so that a free slot always ends a probe. The keys are not
// stored: each slot holds a position, and `key_of(position)` reads the key
// from the list itself (a node's id, or its parent id), so a slot is four
// bytes. The table lives in memory its user provides, slots_for(count)
// words for `count` keys.
class PositionIndex {
public:
    static constexpr std::uint32_t kNone = UINT32_MAX;

    // The table's size for `count` keys: a power of two, at least twice the
    // count.
    static std::size_t slots_for(std::size_t count) noexcept;

    // An empty table over `slots` words (slots_for of the key count).
    PositionIndex(std::uint32_t* slots, std::size_t size) noexcept;

    // The position stored for `key`, or kNone.
    template <typename KeyOf>
    std::uint32_t find(std::uint32_t key, const KeyOf& key_of) const noexcept
    {
        for (std::size_t slot = hash(key);; slot = (slot + 1) & mask_) {
            std::uint32_t position = slots_[slot];
            if (position == kNone || key_of(position) == key)
                return position;
        }
    }

    // Stores `position` for `key` unless the key already has a position;
    // returns whether it was stored.
    template <typename KeyOf>
    bool insert_first(std::uint32_t key, std::uint32_t position, const KeyOf& key_of) noexcept
    {
        for (std::size_t slot = hash(key);; slot = (slot + 1) & mask_) {
            std::uint32_t stored = slots_[slot];
            if (stored == kNone) {
                slots_[slot] = position;
                return true;
            }
            if (key_of(stored) == key)
                return false;
        }
    }

    // Forgets every key.
    void clear() noexcept;

private:
    std::size_t hash(std::uint32_t key) const noexcept
    {
        return static_cast<std::size_t>((key * 0x9E3779B1u) ^ (key >> 16)) & mask_;
    }

    std::uint32_t* slots_;  // kNone marks a free slot
    std::size_t mask_;
};

}  // namespace rdv
