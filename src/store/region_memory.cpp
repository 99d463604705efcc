#include "store/region_memory.hpp"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <utility>

#include "store/poison.hpp"

namespace rdv {

struct RegionMemory::Region {
    Region* earlier;
    std::size_t size;
};

namespace {

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
    static_assert(sizeof(Region) <= kHeader && kHeader % kAlign == 0);
    // Sizes near the top of size_t, which no memory holds, would wrap below.
    if (size > SIZE_MAX / 2)
        return nullptr;
    const std::size_t taken = round_up(size + store::kGap, kAlign);
    if (taken > left_) {
        const bool first = last_ == nullptr;
        std::size_t region = first ? kFirstRegion : kHugeRegion;
        if (taken + kHeader > region)
            region = round_up(taken + kHeader, first ? kAlign : kHugeRegion);
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
        store::poison(next_, left_);
    }
    void* room = next_;
    next_ += taken;
    left_ -= taken;
    store::unpoison(room, size);
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

bool RegionMemory::holds(const void* p, std::size_t size) const noexcept
{
    const std::less_equal<const void*> at_most;
    for (const Region* region = last_; region; region = region->earlier) {
        const char* start = reinterpret_cast<const char*>(region) + kHeader;
        const char* end = region == last_ ? next_ : reinterpret_cast<const char*>(region) + region->size;
        if (at_most(start, p) && size <= static_cast<std::size_t>(end - start) &&
            at_most(static_cast<const char*>(p), end - size))
            return true;
    }
    return false;
}

}  // namespace rdv
