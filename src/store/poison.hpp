// Telling a memory checker which bytes of the store are handed out.
//
// A region of RegionMemory and a chunk of the text arena or of a chunked
// list are each one heap block to AddressSanitizer and to valgrind, so an
// overrun from one record or text into the next would stay inside the block
// and go unseen. The store therefore marks every byte it has not handed out
// (a region's unused tail, a room's bytes beyond its text, a chunk's slots
// not yet appended) as unaddressable, and makes bytes addressable exactly as
// it hands them out.
//
// Under AddressSanitizer (`-fsanitize=address`) this uses its manual
// poisoning; with RDV_MEMCHECK defined (the build that `make valgrind` and
// `make stress-valgrind` run under valgrind) it uses memcheck's client
// requests. Otherwise every function here is empty and the store's layout
// is what it would be without them.
#pragma once

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
#define RDV_POISON_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RDV_POISON_ASAN 1
#endif
#endif

#if defined(RDV_POISON_ASAN)
#include <sanitizer/asan_interface.h>
#elif defined(RDV_MEMCHECK)
#include <valgrind/memcheck.h>
#endif

namespace rdv::store {

// Whether a checker is told: then every block and room the store hands out
// starts on an 8-byte boundary with at least one unaddressable byte after
// it (kGap), since AddressSanitizer can only mark the start of an 8-byte
// granule addressable and its end not, never the other way round.
#if defined(RDV_POISON_ASAN) || defined(RDV_MEMCHECK)
inline constexpr bool kPoisoning = true;
#else
inline constexpr bool kPoisoning = false;
#endif
inline constexpr std::size_t kGranule = 8;
inline constexpr std::size_t kGap = kPoisoning ? 1 : 0;

// What a room of `size` bytes takes from its chunk: `size` itself unless a
// checker is told, else rounded up past at least one gap byte to the next
// granule.
constexpr std::size_t with_gap(std::size_t size) noexcept
{
    return kPoisoning ? (size + kGap + kGranule - 1) / kGranule * kGranule : size;
}

// The `size` bytes at `p` may no longer be read or written.
inline void poison([[maybe_unused]] const void* p, [[maybe_unused]] std::size_t size) noexcept
{
#if defined(RDV_POISON_ASAN)
    if (size > 0)
        ASAN_POISON_MEMORY_REGION(p, size);
#elif defined(RDV_MEMCHECK)
    if (size > 0)
        (void)VALGRIND_MAKE_MEM_NOACCESS(p, size);
#endif
}

// The `size` bytes at `p` are handed out: they may be written, and read once
// written.
inline void unpoison([[maybe_unused]] const void* p, [[maybe_unused]] std::size_t size) noexcept
{
#if defined(RDV_POISON_ASAN)
    if (size > 0)
        ASAN_UNPOISON_MEMORY_REGION(p, size);
#elif defined(RDV_MEMCHECK)
    if (size > 0)
        (void)VALGRIND_MAKE_MEM_UNDEFINED(p, size);
#endif
}

}  // namespace rdv::store
