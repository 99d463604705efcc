// Memory for one snapshot's large lists, handed out from regions that are
// given back together.
#pragma once

#include <cstddef>

namespace rdv {

// Hands out memory by bumping through regions; nothing is given back until
// `release`, which frees every region at once. The first region is 128 KiB
// of ordinary pages, so a small snapshot stays small. Every later region is
// 2 MiB, aligned to 2 MiB and advised as a transparent huge page: where the
// kernel grants it, one page fault maps the whole region instead of 4 KiB
// (on the virtual machines this runs on, each page fault costs about 10 us,
// more than decoding a hundred events). Where it does not, the region takes
// ordinary pages as it is touched, like any other allocation.
class RegionMemory {
public:
    static constexpr std::size_t kFirstRegion = 128 * 1024;
    static constexpr std::size_t kHugeRegion = 2 * 1024 * 1024;

    RegionMemory() noexcept = default;
    RegionMemory(const RegionMemory&) = delete;
    RegionMemory& operator=(const RegionMemory&) = delete;
    RegionMemory(RegionMemory&& other) noexcept;
    RegionMemory& operator=(RegionMemory&& other) noexcept;
    ~RegionMemory() { release(); }

    // `size` bytes aligned to 16, or nullptr when memory is short.
    void* allocate(std::size_t size) noexcept;

    // Frees every region.
    void release() noexcept;

private:
    struct Region;  // header at the start of each region

    Region* last_ = nullptr;   // the region being handed out, linked to the earlier ones
    char* next_ = nullptr;     // first free byte in it
    std::size_t left_ = 0;     // free bytes after next_
};

}  // namespace rdv
