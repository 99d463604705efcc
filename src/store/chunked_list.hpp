// The list every snapshot's records are kept in. It exists so that a large
// snapshot never copies its records to grow and touches each page once:
// with the records in growing vectors and each text in its own string,
// 10,000 windows took 2,061 minor page faults and 9.8 MB of peak memory; in
// chunks, with the texts in one arena, 1,359 faults and 6.7 MB (the bare
// client's floor: 749 faults, 4.0 MB; docs/benchmarks.md).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

#include "store/poison.hpp"
#include "store/region_memory.hpp"

namespace rdv {

namespace detail {

// Makes room for one more entry in a directory of `count` chunk pointers
// with room for `size`, doubling it when full; false when memory is short
// (the directory is then as it was).
template <typename Chunk>
bool make_directory_room(Chunk**& directory, std::size_t count, std::size_t& size) noexcept
{
    if (count < size)
        return true;
    if (size > SIZE_MAX / 2 / sizeof(Chunk*))
        return false;  // a directory larger than memory
    std::size_t grown = size == 0 ? 8 : size * 2;
    Chunk** larger = new (std::nothrow) Chunk*[grown];
    if (!larger)
        return false;
    if (count > 0)
        std::memcpy(larger, directory, count * sizeof(Chunk*));
    delete[] directory;
    directory = larger;
    size = grown;
    return true;
}

}  // namespace detail

// A list that grows at the end by whole chunks of `ChunkSize` elements. An
// element keeps its address from `append` until `clear`, however long the
// list grows (a proxy may hold it as user data), and nothing is ever copied
// to grow: only the small directory of chunks is. `clear` frees the chunks
// at once. Appending never throws: without memory it reports failure and
// leaves the list as it was. The chunks come from the heap, or from a
// RegionMemory the list is given, which then frees them. Under a memory
// checker (store/poison.hpp) a chunk's slots are addressable only from their
// `append` to their `pop_back` or the list's `clear`.
template <typename T, std::size_t ChunkSize>
class ChunkedList {
    static_assert(ChunkSize > 0 && (ChunkSize & (ChunkSize - 1)) == 0, "chunks hold a power of two elements");
    static_assert(std::is_nothrow_default_constructible_v<T>);

public:
    template <bool Const>
    class Iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = std::conditional_t<Const, const T*, T*>;
        using reference = std::conditional_t<Const, const T&, T&>;

        Iterator() noexcept = default;
        reference operator*() const noexcept { return (*list_)[index_]; }
        pointer operator->() const noexcept { return &(*list_)[index_]; }
        Iterator& operator++() noexcept
        {
            ++index_;
            return *this;
        }
        Iterator operator++(int) noexcept
        {
            Iterator before = *this;
            ++index_;
            return before;
        }
        friend bool operator==(const Iterator& a, const Iterator& b) noexcept { return a.index_ == b.index_; }

    private:
        friend class ChunkedList;
        using List = std::conditional_t<Const, const ChunkedList, ChunkedList>;
        Iterator(List* list, std::size_t index) noexcept : list_(list), index_(index) {}
        List* list_ = nullptr;
        std::size_t index_ = 0;
    };
    using iterator = Iterator<false>;
    using const_iterator = Iterator<true>;

    ChunkedList() noexcept = default;
    explicit ChunkedList(RegionMemory* memory) noexcept : memory_(memory) {}
    ChunkedList(const ChunkedList&) = delete;
    ChunkedList& operator=(const ChunkedList&) = delete;
    ChunkedList(ChunkedList&& other) noexcept { take(other); }
    ChunkedList& operator=(ChunkedList&& other) noexcept
    {
        if (this != &other) {
            clear();
            take(other);
        }
        return *this;
    }
    ~ChunkedList() { clear(); }

    std::size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }

    T& operator[](std::size_t index) noexcept { return chunks_[index / ChunkSize][index % ChunkSize]; }
    const T& operator[](std::size_t index) const noexcept { return chunks_[index / ChunkSize][index % ChunkSize]; }
    T& back() noexcept { return (*this)[size_ - 1]; }
    const T& back() const noexcept { return (*this)[size_ - 1]; }

    iterator begin() noexcept { return {this, 0}; }
    iterator end() noexcept { return {this, size_}; }
    const_iterator begin() const noexcept { return {this, 0}; }
    const_iterator end() const noexcept { return {this, size_}; }

    // A new value-initialised element at the end, or nullptr when memory is
    // short.
    T* append() noexcept
    {
        std::size_t chunk = size_ / ChunkSize;
        if (chunk == chunk_count_ && !add_chunk())
            return nullptr;
        T* slot = chunks_[chunk] + size_ % ChunkSize;
        store::unpoison(slot, sizeof(T));
        T* element = ::new (static_cast<void*>(slot)) T();
        ++size_;
        return element;
    }

    // Appends a copy of `value`; false when memory is short.
    [[nodiscard]] bool push_back(const T& value) noexcept
    {
        T* element = append();
        if (element)
            *element = value;
        return element != nullptr;
    }

    // Takes the last element back (the chunk it was in stays).
    void pop_back() noexcept
    {
        --size_;
        std::destroy_at(&(*this)[size_]);
        store::poison(&(*this)[size_], sizeof(T));
    }

    // The RegionMemory the chunks came from has moved to `memory`.
    void memory_moved(RegionMemory* memory) noexcept { memory_ = memory; }

    // Destroys every element and frees every chunk.
    void clear() noexcept
    {
        if constexpr (!std::is_trivially_destructible_v<T>) {
            for (std::size_t i = 0; i < size_; ++i)
                std::destroy_at(&(*this)[i]);
        }
        for (std::size_t i = 0; i < chunk_count_; ++i) {
            if (memory_)
                store::poison(chunks_[i], sizeof(T) * ChunkSize);  // the region frees it
            else
                ::operator delete(static_cast<void*>(chunks_[i]));
        }
        delete[] chunks_;
        chunks_ = nullptr;
        chunk_count_ = directory_size_ = size_ = 0;
    }

private:
    bool add_chunk() noexcept
    {
        if (!detail::make_directory_room(chunks_, chunk_count_, directory_size_))
            return false;
        static_assert(alignof(T) <= 16);
        void* storage = memory_ ? memory_->allocate(sizeof(T) * ChunkSize)
                                : ::operator new(sizeof(T) * ChunkSize, std::nothrow);
        if (!storage)
            return false;
        store::poison(storage, sizeof(T) * ChunkSize);
        chunks_[chunk_count_++] = static_cast<T*>(storage);
        return true;
    }

    void take(ChunkedList& other) noexcept
    {
        memory_ = other.memory_;
        chunks_ = std::exchange(other.chunks_, nullptr);
        chunk_count_ = std::exchange(other.chunk_count_, 0);
        directory_size_ = std::exchange(other.directory_size_, 0);
        size_ = std::exchange(other.size_, 0);
    }

    RegionMemory* memory_ = nullptr;  // where chunks come from; none: the heap
    T** chunks_ = nullptr;            // chunk_count_ chunks of ChunkSize elements each, in order
    std::size_t chunk_count_ = 0;
    std::size_t directory_size_ = 0;  // room in chunks_
    std::size_t size_ = 0;
};

}  // namespace rdv
