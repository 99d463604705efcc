#include "alloc_failure.hpp"

#include <dlfcn.h>

#include <cstddef>
#include <cstdlib>
#include <new>

namespace {

unsigned countdown = 0;  // 0: nothing to fail
bool failed = false;

bool this_one_fails() noexcept
{
    if (countdown == 0 || --countdown != 0)
        return false;
    failed = true;
    return true;
}

}  // namespace

namespace rdv_test {

void fail_allocation(unsigned n) noexcept
{
    countdown = n;
    failed = false;
}

bool allocation_failed() noexcept
{
    return failed;
}

}  // namespace rdv_test

// The throwing forms stay the library's (or the sanitizer runtime's), so
// what these hand out is freed by its own operator delete.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    if (this_one_fails())
        return nullptr;
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    if (this_one_fails())
        return nullptr;
    try {
        return ::operator new[](size);
    } catch (...) {
        return nullptr;
    }
}

// aligned_alloc, which the snapshot store's regions come from, is failed
// here too, whichever compiler built the tests. Only clang's AddressSanitizer
// runtime is linked into the program itself: this definition would replace
// its interceptor, and RTLD_NEXT would reach the C library's behind its
// back, so there regions are not failed.
#if defined(__clang__)
#if __has_feature(address_sanitizer)
#define RDV_TEST_FAILS_ALIGNED_ALLOC 0
#endif
#endif
#ifndef RDV_TEST_FAILS_ALIGNED_ALLOC
#define RDV_TEST_FAILS_ALIGNED_ALLOC 1
#endif

#if RDV_TEST_FAILS_ALIGNED_ALLOC
extern "C" void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept
{
    using AlignedAlloc = void* (*)(std::size_t, std::size_t);
    static const auto next = reinterpret_cast<AlignedAlloc>(dlsym(RTLD_NEXT, "aligned_alloc"));
    if (this_one_fails())
        return nullptr;
    return next(alignment, size);
}
#endif
