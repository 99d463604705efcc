// A map from 32-bit keys to list positions, for the scene tree's lookups.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

namespace rdv {

// Open addressing with linear probing over a power-of-two table. Built once
// for a known number of keys; allocates only at construction.
class PositionIndex {
public:
    static constexpr std::uint32_t kNone = UINT32_MAX;

    // Room for `count` keys; nothing when the memory cannot be had.
    static std::optional<PositionIndex> with_capacity(std::size_t count) noexcept;

    // The position stored for `key`, or kNone.
    std::uint32_t find(std::uint32_t key) const noexcept
    {
        for (std::size_t slot = hash(key);; slot = (slot + 1) & mask_) {
            if (positions_[slot] == kNone || keys_[slot] == key)
                return positions_[slot];
        }
    }

    // Stores `position` for `key` unless the key already has one.
    void insert_first(std::uint32_t key, std::uint32_t position) noexcept
    {
        std::uint32_t& stored = slot_for(key);
        if (stored == kNone)
            stored = position;
    }

    // Stores `position` for `key`, replacing an earlier one.
    void insert_last(std::uint32_t key, std::uint32_t position) noexcept { slot_for(key) = position; }

private:
    PositionIndex(std::unique_ptr<std::uint32_t[]> keys, std::unique_ptr<std::uint32_t[]> positions,
                  std::size_t mask) noexcept
        : keys_(std::move(keys)), positions_(std::move(positions)), mask_(mask)
    {
    }

    std::size_t hash(std::uint32_t key) const noexcept
    {
        return static_cast<std::size_t>((key * 0x9E3779B1u) ^ (key >> 16)) & mask_;
    }

    std::uint32_t& slot_for(std::uint32_t key) noexcept
    {
        std::size_t slot = hash(key);
        while (positions_[slot] != kNone && keys_[slot] != key)
            slot = (slot + 1) & mask_;
        keys_[slot] = key;
        return positions_[slot];
    }

    std::unique_ptr<std::uint32_t[]> keys_;
    std::unique_ptr<std::uint32_t[]> positions_;  // kNone marks a free slot
    std::size_t mask_;
};

}  // namespace rdv
