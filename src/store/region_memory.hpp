// Memory for one snapshot's large lists: regions handed out by bumping and
// given back together. It exists for the page faults: on the virtual
// machines the tool runs on, the first touch of a fresh 4 KiB page costs
// about 10 us, and a scene of 100,000 nodes in ordinary heap blocks took
// 4,832 minor faults and 47.8 ms of system time (the bare client's floor:
// 85 faults, 9.1 ms); in regions of 2 MiB huge pages it takes 130 faults
// and 8.6 ms (docs/benchmarks.md).
#pragma once

#include <cstddef>

namespace rdv {

// Hands out memory by bumping through regions; nothing is given back until
// `release`, which frees every region at once. The first region is 128 KiB
// of ordinary pages, so a small snapshot stays small. Every later region is
// 2 MiB, aligned to 2 MiB and advised as a transparent huge page: where the
// kernel grants it, one page fault maps the whole region instead of 4 KiB.
// Where it does not, the region takes ordinary pages as it is touched, like
// any other allocation. Under a memory checker (store/poison.hpp) only the
// blocks handed out are addressable, each followed by at least one byte
// that is not.
class RegionMemory {
public:
    static constexpr std::size_t kFirstRegion = 128 * 1024;
    static constexpr std::size_t kHugeRegion = 2 * 1024 * 1024;
    static constexpr std::size_t kAlign = 16;
    // The bytes at the start of each region that it keeps for itself.
    static constexpr std::size_t kHeader = 16;

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

    // Whether the `size` bytes at `p` lie inside one region, after its
    // header and before the first byte not yet handed out (for tests).
    bool holds(const void* p, std::size_t size) const noexcept;

private:
    struct Region;  // header at the start of each region

    Region* last_ = nullptr;   // the region being handed out, linked to the earlier ones
    char* next_ = nullptr;     // first free byte in it
    std::size_t left_ = 0;     // free bytes after next_
};

}  // namespace rdv
