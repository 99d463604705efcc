// Buffered writers: every byte the tool prints passes through one of these.
#pragma once

#include <array>
#include <cstdint>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "text/error.hpp"

namespace rdv {

// A fixed buffer in front of a target. Bytes leave in the order they were
// written; a write that does not fit hands the buffered bytes and then the new
// ones to the target. Writing never allocates.
class Writer {
public:
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    [[nodiscard]] Result<> put(std::string_view bytes) noexcept
    {
        if (bytes.size() <= capacity_ - end_) {
            if (!bytes.empty())
                std::memcpy(buffer_ + end_, bytes.data(), bytes.size());
            end_ += bytes.size();
            return {};
        }
        return spill(bytes);
    }

    [[nodiscard]] Result<> put(char byte) noexcept
    {
        if (end_ < capacity_) {
            buffer_[end_++] = byte;
            return {};
        }
        return spill(std::string_view(&byte, 1));
    }

    // Hands every buffered byte to the target. With nothing buffered it does
    // nothing at all.
    [[nodiscard]] Result<> flush() noexcept;

    // Room for `size` bytes straight in the buffer, to be filled and then
    // handed to `commit`; nullptr when less is free (then `put` instead).
    char* room(std::size_t size) noexcept { return capacity_ - end_ >= size ? buffer_ + end_ : nullptr; }
    // Keeps the first `size` bytes written to `room`.
    void commit(std::size_t size) noexcept { end_ += size; }

    std::size_t buffered() const noexcept { return end_; }
    std::size_t capacity() const noexcept { return capacity_; }

protected:
    Writer(char* buffer, std::size_t capacity) noexcept : buffer_(buffer), capacity_(capacity) {}
    virtual ~Writer() = default;

    // Hands `head` and then `tail` to the target, in that order. Returns the
    // number of bytes taken from the front of the two (at least one when both
    // are not empty), or WriteFailed.
    virtual Result<std::size_t> drain(std::string_view head, std::string_view tail) noexcept = 0;

private:
    Result<> spill(std::string_view bytes) noexcept;

    char* buffer_;
    std::size_t capacity_;
    std::size_t end_ = 0;  // bytes currently buffered
};

// A writer on a file descriptor.
class FdWriter : public Writer {
protected:
    FdWriter(int fd, char* buffer, std::size_t capacity) noexcept : Writer(buffer, capacity), fd_(fd) {}
    Result<std::size_t> drain(std::string_view head, std::string_view tail) noexcept override;

private:
    int fd_;
};

namespace detail {
// A writer's buffer, as a base of its own that is built before the writer
// that is handed it.
template <std::size_t Size>
struct FixedStorage {
    std::array<char, Size> storage;
};
}  // namespace detail

class StdoutWriter final : private detail::FixedStorage<16384>, public FdWriter {
public:
    // The buffer is not zeroed: a page is only touched once output reaches it.
    StdoutWriter() noexcept : FdWriter(1, storage.data(), storage.size()) {}
};

class StderrWriter final : private detail::FixedStorage<512>, public FdWriter {
public:
    StderrWriter() noexcept : detail::FixedStorage<512>{}, FdWriter(2, storage.data(), storage.size()) {}
};

namespace detail {
struct MemoryStorage {
    explicit MemoryStorage(std::size_t capacity) : storage(capacity) {}
    std::vector<char> storage;
};
}  // namespace detail

// A writer that collects its output in memory, for tests, fuzzers and
// benchmarks. It can be told to fail once a given number of bytes would have
// reached it, and it remembers the size of every piece handed over.
class MemoryWriter final : private detail::MemoryStorage, public Writer {
public:
    explicit MemoryWriter(std::size_t capacity = 4096, std::size_t fail_after = SIZE_MAX)
        : detail::MemoryStorage(capacity), Writer(storage.data(), storage.size()), fail_after_(fail_after)
    {
    }

    // The bytes handed over so far; what no flush has moved yet stays buffered.
    const std::string& text() const noexcept { return text_; }
    const std::vector<std::size_t>& pieces() const noexcept { return pieces_; }

protected:
    Result<std::size_t> drain(std::string_view head, std::string_view tail) noexcept override;

private:
    std::string text_;
    std::vector<std::size_t> pieces_;
    std::size_t fail_after_;
};

}  // namespace rdv
