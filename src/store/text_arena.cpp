#include "store/text_arena.hpp"

#include "store/chunked_list.hpp"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace rdv {

TextArena::TextArena(TextArena&& other) noexcept
    : memory_(other.memory_),
      chunks_(std::exchange(other.chunks_, nullptr)),
      chunk_count_(std::exchange(other.chunk_count_, 0)),
      directory_size_(std::exchange(other.directory_size_, 0)),
      used_(std::exchange(other.used_, kChunkSize)),
      position_chunks_(other.position_chunks_)
{
}

TextArena& TextArena::operator=(TextArena&& other) noexcept
{
    if (this != &other) {
        clear();
        memory_ = other.memory_;
        chunks_ = std::exchange(other.chunks_, nullptr);
        chunk_count_ = std::exchange(other.chunk_count_, 0);
        directory_size_ = std::exchange(other.directory_size_, 0);
        used_ = std::exchange(other.used_, kChunkSize);
        position_chunks_ = other.position_chunks_;
    }
    return *this;
}

bool TextArena::add_chunk() noexcept
{
    if (!detail::make_directory_room(chunks_, chunk_count_, directory_size_))
        return false;
    // Not zeroed: a page is only touched once a text is written to it.
    char* chunk = memory_ ? static_cast<char*>(memory_->allocate(kChunkSize)) : new (std::nothrow) char[kChunkSize];
    if (!chunk)
        return false;
    store::poison(chunk, kChunkSize);
    chunks_[chunk_count_++] = chunk;
    used_ = 0;
    return true;
}

bool TextArena::store(Text& field, std::string_view bytes) noexcept
{
    if (bytes.size() > kMaxText)
        return false;
    if (field.data_ && bytes.size() <= field.room_) {
        store::unpoison(field.data_, bytes.size());
        store::poison(field.data_ + bytes.size(), field.room_ - bytes.size());
        if (!bytes.empty())
            std::memcpy(field.writable(), bytes.data(), bytes.size());
        field.size_ = static_cast<std::uint16_t>(bytes.size());
        return true;
    }
    if (bytes.empty()) {
        field.data_ = "";
        field.size_ = 0;
        return true;
    }
    std::size_t room = std::max(bytes.size(), std::min<std::size_t>(2 * std::size_t{field.room_}, kMaxText));
    char* storage = allocate(room);
    if (!storage)
        return false;
    store::unpoison(storage, bytes.size());
    std::memcpy(storage, bytes.data(), bytes.size());
    store::poison(field.data_, field.room_);  // the room left behind
    field.data_ = storage;
    field.size_ = static_cast<std::uint16_t>(bytes.size());
    field.room_ = static_cast<std::uint16_t>(room);
    return true;
}

std::expected<std::uint32_t, TextArena::Refusal> TextArena::append(std::string_view bytes) noexcept
{
    if (bytes.empty())
        return 0;
    if (bytes.size() > kMaxText)
        return std::unexpected(Refusal::no_memory);
    const std::size_t taken = store::with_gap(bytes.size());
    if (taken > kChunkSize - used_) {
        if (chunk_count_ >= position_chunks_)
            return std::unexpected(Refusal::no_position);
        if (!add_chunk())
            return std::unexpected(Refusal::no_memory);
    }
    // The chunk number times the chunk size, plus the offset: below 2^32,
    // since the chunk is one of the first position_chunks_.
    const auto position = static_cast<std::uint32_t>((chunk_count_ - 1) * kChunkSize + used_);
    char* storage = chunks_[chunk_count_ - 1] + used_;
    used_ += taken;
    store::unpoison(storage, bytes.size());
    std::memcpy(storage, bytes.data(), bytes.size());
    return position;
}

void TextArena::clear() noexcept
{
    for (std::size_t i = 0; i < chunk_count_; ++i) {
        if (memory_)
            store::poison(chunks_[i], kChunkSize);  // the region frees it
        else
            delete[] chunks_[i];
    }
    delete[] chunks_;
    chunks_ = nullptr;
    chunk_count_ = directory_size_ = 0;
    used_ = kChunkSize;
}

}  // namespace rdv
