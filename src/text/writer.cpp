#include "text/writer.hpp"

#include <sys/uio.h>

#include <cerrno>
#include <new>

namespace rdv {

Result<> Writer::flush() noexcept
{
    while (end_ > 0) {
        auto taken = drain(std::string_view(buffer_, end_), {});
        if (!taken)
            return std::unexpected(taken.error());
        std::memmove(buffer_, buffer_ + *taken, end_ - *taken);
        end_ -= *taken;
    }
    return {};
}

Result<> Writer::spill(std::string_view bytes) noexcept
{
    // Hand over the buffered bytes and as much of the new ones as the target
    // takes, until nothing stays buffered and the rest fits in the buffer.
    while (end_ > 0 || bytes.size() > capacity_) {
        auto taken = drain(std::string_view(buffer_, end_), bytes);
        if (!taken)
            return std::unexpected(taken.error());
        std::size_t n = *taken;
        if (n < end_) {
            std::memmove(buffer_, buffer_ + n, end_ - n);
            end_ -= n;
            continue;
        }
        n -= end_;
        end_ = 0;
        bytes.remove_prefix(n);
    }
    if (!bytes.empty())
        std::memcpy(buffer_, bytes.data(), bytes.size());
    end_ = bytes.size();
    return {};
}

Result<std::size_t> FdWriter::drain(std::string_view head, std::string_view tail) noexcept
{
    iovec pieces[2];
    int count = 0;
    for (std::string_view piece : {head, tail}) {
        if (piece.empty())
            continue;
        pieces[count].iov_base = const_cast<char*>(piece.data());
        pieces[count].iov_len = piece.size();
        ++count;
    }
    for (;;) {
        ssize_t written = ::writev(fd_, pieces, count);
        if (written > 0)
            return static_cast<std::size_t>(written);
        if (written < 0 && errno == EINTR)
            continue;
        return std::unexpected(Error::WriteFailed);
    }
}

Result<std::size_t> MemoryWriter::drain(std::string_view head, std::string_view tail) noexcept
{
    std::size_t total = head.size() + tail.size();
    if (text_.size() + total > fail_after_)
        return std::unexpected(Error::WriteFailed);
    text_.append(head);
    text_.append(tail);
    pieces_.push_back(total);
    return total;
}

}  // namespace rdv
