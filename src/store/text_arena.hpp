// Received texts, and the arena their bytes are kept in. It exists for the
// page faults and the memory: one heap string per text cost a 10,000-window
// snapshot 2,061 minor page faults and 9.8 MB of peak memory, texts packed
// into 64 KiB chunks (with the records in chunked lists) 1,359 faults and
// 6.7 MB (docs/benchmarks.md); a text is a view into its chunk, a pointer
// and two 16-bit sizes (12 bytes with 64-bit pointers, 8 with 32-bit ones).
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string_view>

#include "store/poison.hpp"
#include "store/region_memory.hpp"

namespace rdv {

class TextArena;

// A received text: absent when no event of its kind arrived, else the
// event's bytes, possibly none. It only looks at the bytes, which belong to
// the snapshot's TextArena (or, in tests, to a string literal). A text is at
// most 65,535 bytes: a whole Wayland message is no longer (its header gives
// its size in 16 bits), so no received text is refused for its length.
// Packed to a pointer and four bytes, since a window record holds ten.
class [[gnu::packed]] Text {
public:
    constexpr Text() noexcept = default;
    constexpr Text(std::nullopt_t) noexcept {}
    // A string literal, whose bytes stay where they are.
    template <std::size_t N>
    constexpr Text(const char (&literal)[N]) noexcept : data_(literal), size_(static_cast<std::uint16_t>(N - 1))
    {
        static_assert(N - 1 <= UINT16_MAX);
    }

    // A text that looks at bytes kept elsewhere, for as long as they stay
    // (tests and benchmarks; received texts go through TextArena::store).
    static constexpr Text viewing(std::string_view bytes) noexcept
    {
        Text text;
        text.data_ = bytes.data() ? bytes.data() : "";
        text.size_ = static_cast<std::uint16_t>(bytes.size() <= UINT16_MAX ? bytes.size() : UINT16_MAX);
        return text;
    }

    constexpr bool has_value() const noexcept { return data_ != nullptr; }
    constexpr explicit operator bool() const noexcept { return data_ != nullptr; }
    // The bytes; none for an absent text.
    constexpr std::string_view operator*() const noexcept { return {data_ ? data_ : "", size_}; }

private:
    friend class TextArena;
    char* writable() const noexcept { return const_cast<char*>(data_); }

    const char* data_ = nullptr;  // nullptr: absent
    std::uint16_t size_ = 0;
    std::uint16_t room_ = 0;  // arena bytes at data_ that a later text of the field may reuse
};
static_assert(sizeof(Text) == sizeof(const char*) + 2 * sizeof(std::uint16_t));

// The bytes of one snapshot's texts, in chunks of 64 KiB that never move and
// are freed together: from the heap, or from a RegionMemory the arena is
// given, which then frees them. Nothing here throws: without memory a text is
// not stored and the caller keeps what it had. Under a memory checker
// (store/poison.hpp) only a text's own bytes are addressable, not the rest
// of its room nor a room it has left, and every room is followed by at least
// one byte that is not.
class TextArena {
public:
    static constexpr std::size_t kChunkSize = 65536;
    static constexpr std::size_t kMaxText = UINT16_MAX;
    // Positions are 32-bit, so `append` can place texts in this many chunks
    // (4 GiB). `store` hands out pointers and knows no such limit.
    static constexpr std::size_t kPositionChunks = static_cast<std::size_t>((std::uint64_t{UINT32_MAX} + 1) / kChunkSize);

    // Why `append` kept no copy: memory could not be had, or the text's
    // position would not fit in 32 bits.
    enum class Refusal : std::uint8_t { no_memory, no_position };

    TextArena() noexcept = default;
    explicit TextArena(RegionMemory* memory) noexcept : memory_(memory) {}
    // An arena whose `append` places texts in at most `position_chunks`
    // chunks (tests give a small number to reach the limit).
    TextArena(RegionMemory* memory, std::size_t position_chunks) noexcept
        : memory_(memory), position_chunks_(position_chunks < kPositionChunks ? position_chunks : kPositionChunks)
    {
    }
    TextArena(const TextArena&) = delete;
    TextArena& operator=(const TextArena&) = delete;
    TextArena(TextArena&& other) noexcept;
    TextArena& operator=(TextArena&& other) noexcept;
    ~TextArena() { clear(); }

    // Makes `field` a copy of `bytes`: in the room the field already has
    // when they fit, else in new room, twice the old room when that is more
    // (so a field that keeps growing wastes at most what it holds). Returns
    // false, and leaves the field as it was, when memory is short or the
    // text is longer than kMaxText.
    [[nodiscard]] bool store(Text& field, std::string_view bytes) noexcept;

    // A copy of `bytes` that is never replaced, as a position for `at`; a
    // refusal when memory is short (also for a text longer than kMaxText,
    // which no message carries) or when the copy would lie beyond the last
    // 32-bit position.
    [[nodiscard]] std::expected<std::uint32_t, Refusal> append(std::string_view bytes) noexcept;
    // The `size` bytes at `position`.
    std::string_view at(std::uint32_t position, std::size_t size) const noexcept
    {
        if (size == 0)
            return {};
        return {chunks_[position / kChunkSize] + position % kChunkSize, size};
    }

    // The bytes the arena holds in chunks, used or not.
    std::size_t reserved() const noexcept { return chunk_count_ * kChunkSize; }

    // The RegionMemory the chunks came from has moved to `memory`.
    void memory_moved(RegionMemory* memory) noexcept { memory_ = memory; }

    // Frees every chunk.
    void clear() noexcept;

private:
    // Room for `size` bytes, not crossing a chunk. nullptr when memory is
    // short.
    char* allocate(std::size_t size) noexcept
    {
        const std::size_t taken = store::with_gap(size);
        if (taken > kChunkSize - used_ && !add_chunk())
            return nullptr;
        char* room = chunks_[chunk_count_ - 1] + used_;
        used_ += taken;
        return room;
    }
    // A new last chunk, with nothing used; false when memory is short.
    bool add_chunk() noexcept;

    RegionMemory* memory_ = nullptr;  // where chunks come from; none: the heap
    char** chunks_ = nullptr;         // chunk_count_ chunks of kChunkSize bytes
    std::size_t chunk_count_ = 0;
    std::size_t directory_size_ = 0;  // room in chunks_
    std::size_t used_ = kChunkSize;   // bytes used in the last chunk (full when there is none)
    std::size_t position_chunks_ = kPositionChunks;  // chunks that `append` may place texts in
};

}  // namespace rdv
