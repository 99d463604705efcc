#include "text/region_memory.hpp"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <utility>

namespace rdv {

struct RegionMemory::Region {
    Region* earlier;
    std::size_t size;
};

namespace {

constexpr std::size_t kAlign = 16;
constexpr std::size_t kHeader = (sizeof(void*) + sizeof(std::size_t) + kAlign - 1) / kAlign * kAlign;

constexpr std::size_t round_up(std::size_t value, std::size_t to) noexcept
{
    return (value + to - 1) / to * to;
}

}  // namespace

RegionMemory::RegionMemory(RegionMemory&& other) noexcept
    : last_(std::exchange(other.last_, nullptr)),
      next_(std::exchange(other.next_, nullptr)),
      left_(std::exchange(other.left_, 0))
{
}

RegionMemory& RegionMemory::operator=(RegionMemory&& other) noexcept
{
    if (this != &other) {
        release();
        last_ = std::exchange(other.last_, nullptr);
        next_ = std::exchange(other.next_, nullptr);
        left_ = std::exchange(other.left_, 0);
    }
    return *this;
}

void* RegionMemory::allocate(std::size_t size) noexcept
{
    size = round_up(size, kAlign);
    if (size > left_) {
        const bool first = last_ == nullptr;
        std::size_t region = first ? kFirstRegion : kHugeRegion;
        if (size + kHeader > region)
            region = round_up(size + kHeader, first ? kAlign : kHugeRegion);
        // Through the allocator, so that allocation failures can be tested
        // and leak checkers see every region.
        void* memory = first ? std::aligned_alloc(kAlign, region) : std::aligned_alloc(kHugeRegion, region);
        if (!memory)
            return nullptr;
        if (!first)
            (void)madvise(memory, region, MADV_HUGEPAGE);  // advice only: ordinary pages where refused
        auto* header = static_cast<Region*>(memory);
        header->earlier = last_;
        header->size = region;
        last_ = header;
        next_ = static_cast<char*>(memory) + kHeader;
        left_ = region - kHeader;
    }
    void* room = next_;
    next_ += size;
    left_ -= size;
    return room;
}

void RegionMemory::release() noexcept
{
    while (last_) {
        Region* earlier = last_->earlier;
        std::free(last_);
        last_ = earlier;
    }
    next_ = nullptr;
    left_ = 0;
}

}  // namespace rdv
