// Test-only allocation failure. Linked into the `ridaviduvo-failalloc`
// executable (built only with -Dfault-injection=true), it replaces malloc,
// calloc, realloc, the aligned allocators, strdup/strndup and every global
// operator new, counts each allocation from the moment the executable's own
// constructors run (just before main), and makes exactly one of them fail.
//
// Environment:
//   RDV_FAIL_ALLOC_AT=K     the K-th allocation (from 1) fails: the C
//                           functions return null with errno ENOMEM, the
//                           throwing operator new throws std::bad_alloc, the
//                           nothrow forms return null. Unset or 0: none fails.
//   RDV_ALLOC_REPORT=FILE   appended to at exit with "count N" (the number of
//                           allocations counted), and at the failure with
//                           "failed K FAMILY" followed by one "frame ..." line
//                           per stack frame from the allocation's caller
//                           outwards (FAMILY is "c" for the C functions,
//                           "new" for operator new).
//
// Every call is passed on to the next definition in the link order
// (dlsym RTLD_NEXT): the C library's, or the sanitizer runtime's in a
// sanitizer build, so AddressSanitizer and LeakSanitizer keep watching every
// block.

#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <unistd.h>
#include <unwind.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

using MallocFn = void* (*)(std::size_t);
using CallocFn = void* (*)(std::size_t, std::size_t);
using ReallocFn = void* (*)(void*, std::size_t);
using FreeFn = void (*)(void*);
using AlignedAllocFn = void* (*)(std::size_t, std::size_t);
using PosixMemalignFn = int (*)(void**, std::size_t, std::size_t);

MallocFn real_malloc = nullptr;
CallocFn real_calloc = nullptr;
ReallocFn real_realloc = nullptr;
FreeFn real_free = nullptr;
AlignedAllocFn real_aligned_alloc = nullptr;
AlignedAllocFn real_memalign = nullptr;
PosixMemalignFn real_posix_memalign = nullptr;

// dlsym itself may allocate before the real functions are known; such
// blocks come from this arena and are never given back.
alignas(std::max_align_t) unsigned char bootstrap_arena[64 * 1024];
std::size_t bootstrap_used = 0;
bool resolving = false;

bool in_arena(const void* p) noexcept
{
    const auto* bytes = static_cast<const unsigned char*>(p);
    return bytes >= bootstrap_arena && bytes < bootstrap_arena + sizeof bootstrap_arena;
}

void* arena_alloc(std::size_t size) noexcept
{
    constexpr std::size_t align = alignof(std::max_align_t);
    std::size_t start = (bootstrap_used + align - 1) / align * align;
    if (start + size > sizeof bootstrap_arena)
        return nullptr;
    bootstrap_used = start + size;
    return bootstrap_arena + start;
}

template <typename Fn>
Fn next_symbol(const char* name) noexcept
{
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

void resolve() noexcept
{
    if (real_malloc || resolving)
        return;
    resolving = true;
    real_calloc = next_symbol<CallocFn>("calloc");
    real_realloc = next_symbol<ReallocFn>("realloc");
    real_free = next_symbol<FreeFn>("free");
    real_aligned_alloc = next_symbol<AlignedAllocFn>("aligned_alloc");
    real_memalign = next_symbol<AlignedAllocFn>("memalign");
    real_posix_memalign = next_symbol<PosixMemalignFn>("posix_memalign");
    real_malloc = next_symbol<MallocFn>("malloc");
    resolving = false;
}

// Counting state.
bool armed = false;                  // set just before main
std::atomic<std::uint64_t> counted{0};
std::uint64_t fail_at = 0;           // 0: never
thread_local bool reporting = false;  // allocations made while reporting are not counted
int report_fd = -1;

void write_all(int fd, const char* text, std::size_t length) noexcept
{
    while (length > 0) {
        ssize_t n = ::write(fd, text, length);
        if (n <= 0)
            return;
        text += n;
        length -= static_cast<std::size_t>(n);
    }
}

void write_text(int fd, const char* text) noexcept
{
    write_all(fd, text, std::strlen(text));
}

void write_number(int fd, std::uint64_t value) noexcept
{
    char digits[24];
    std::size_t at = sizeof digits;
    do {
        digits[--at] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    write_all(fd, digits + at, sizeof digits - at);
}

// The return addresses of the calling frames. glibc's backtrace() would
// load the unwinder with dlopen on its first call, and the loader's blocks
// would then count as leaks; the unwinder is linked in already.
struct FrameCollector {
    void** frames;
    int capacity;
    int depth;
};

_Unwind_Reason_Code collect_frame(_Unwind_Context* context, void* data) noexcept
{
    auto* collector = static_cast<FrameCollector*>(data);
    if (collector->depth >= collector->capacity)
        return _URC_END_OF_STACK;
    collector->frames[collector->depth++] = reinterpret_cast<void*>(_Unwind_GetIP(context));
    return _URC_NO_REASON;
}

int collect_frames(void** frames, int capacity) noexcept
{
    FrameCollector collector{frames, capacity, 0};
    _Unwind_Backtrace(collect_frame, &collector);
    return collector.depth;
}

// Writes the failed allocation's number, family and stack, from the frame of
// `caller` (the allocation function's return address) outwards.
[[gnu::noinline]] void report_failure(std::uint64_t number, const char* family, void* caller) noexcept
{
    if (report_fd < 0)
        return;
    reporting = true;
    void* frames[128];
    int depth = collect_frames(frames, 128);
    int first = 0;
    for (int i = 0; i < depth; ++i) {
        // The return address lies inside the caller's frame entry.
        if (frames[i] == caller) {
            first = i;
            break;
        }
    }
    write_text(report_fd, "failed ");
    write_number(report_fd, number);
    write_text(report_fd, " ");
    write_text(report_fd, family);
    write_text(report_fd, "\n");
    for (int i = first; i < depth; ++i) {
        write_text(report_fd, "frame ");
        backtrace_symbols_fd(frames + i, 1, report_fd);
    }
    reporting = false;
}

// True when this allocation is the one that must fail.
bool should_fail(const char* family, void* caller) noexcept
{
    if (!armed || reporting)
        return false;
    std::uint64_t number = counted.fetch_add(1, std::memory_order_relaxed) + 1;
    if (number != fail_at)
        return false;
    report_failure(number, family, caller);
    return true;
}

std::uint64_t parse_number(const char* text) noexcept
{
    std::uint64_t value = 0;
    if (!text)
        return 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        value = value * 10 + static_cast<std::uint64_t>(*text - '0');
    return value;
}

void write_count() noexcept
{
    if (report_fd < 0)
        return;
    write_text(report_fd, "count ");
    write_number(report_fd, counted.load(std::memory_order_relaxed));
    write_text(report_fd, "\n");
}

// The executable's constructors run after those of every shared library
// (the C++ runtime's included) and right before main.
[[gnu::constructor]] void arm() noexcept
{
    resolve();
    if (const char* path = std::getenv("RDV_ALLOC_REPORT"))
        report_fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    fail_at = parse_number(std::getenv("RDV_FAIL_ALLOC_AT"));
    std::atexit(write_count);
    armed = true;
}

void* checked_malloc(std::size_t size, const char* family, void* caller) noexcept
{
    resolve();
    if (!real_malloc)
        return arena_alloc(size);
    if (should_fail(family, caller)) {
        errno = ENOMEM;
        return nullptr;
    }
    return real_malloc(size);
}

void* checked_aligned(std::size_t alignment, std::size_t size, const char* family, void* caller) noexcept
{
    resolve();
    if (!real_posix_memalign)
        return alignment <= alignof(std::max_align_t) ? arena_alloc(size) : nullptr;
    if (should_fail(family, caller)) {
        errno = ENOMEM;
        return nullptr;
    }
    void* p = nullptr;
    if (real_posix_memalign(&p, alignment < sizeof(void*) ? sizeof(void*) : alignment, size) != 0)
        return nullptr;
    return p;
}

void* new_or_throw(std::size_t size, void* caller)
{
    void* p = checked_malloc(size == 0 ? 1 : size, "new", caller);
    if (!p)
        throw std::bad_alloc();
    return p;
}

void* aligned_new_or_throw(std::size_t size, std::align_val_t alignment, void* caller)
{
    void* p = checked_aligned(static_cast<std::size_t>(alignment), size == 0 ? 1 : size, "new", caller);
    if (!p)
        throw std::bad_alloc();
    return p;
}

void release(void* p) noexcept
{
    if (!p || in_arena(p))
        return;
    resolve();
    real_free(p);
}

}  // namespace

extern "C" {

void* malloc(std::size_t size) noexcept
{
    return checked_malloc(size, "c", __builtin_return_address(0));
}

void free(void* p) noexcept
{
    release(p);
}

void* calloc(std::size_t count, std::size_t size) noexcept
{
    resolve();
    if (!real_calloc) {
        if (size != 0 && count > SIZE_MAX / size)
            return nullptr;
        void* p = arena_alloc(count * size);
        if (p)
            std::memset(p, 0, count * size);
        return p;
    }
    if (should_fail("c", __builtin_return_address(0))) {
        errno = ENOMEM;
        return nullptr;
    }
    return real_calloc(count, size);
}

void* realloc(void* p, std::size_t size) noexcept
{
    resolve();
    if (p && in_arena(p)) {
        // Move a bootstrap block to the real heap; its old size is unknown,
        // but never more than what is left of the arena after it.
        void* moved = checked_malloc(size, "c", __builtin_return_address(0));
        if (moved) {
            auto available = static_cast<std::size_t>(bootstrap_arena + sizeof bootstrap_arena -
                                                      static_cast<unsigned char*>(p));
            std::memcpy(moved, p, size < available ? size : available);
        }
        return moved;
    }
    if (p && size == 0) {
        real_free(p);
        return nullptr;
    }
    if (should_fail("c", __builtin_return_address(0))) {
        errno = ENOMEM;
        return nullptr;
    }
    return real_realloc(p, size);
}

void* reallocarray(void* p, std::size_t count, std::size_t size) noexcept
{
    if (size != 0 && count > SIZE_MAX / size) {
        errno = ENOMEM;
        return nullptr;
    }
    return realloc(p, count * size);
}

void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept
{
    return checked_aligned(alignment, size, "c", __builtin_return_address(0));
}

void* memalign(std::size_t alignment, std::size_t size) noexcept
{
    return checked_aligned(alignment, size, "c", __builtin_return_address(0));
}

int posix_memalign(void** out, std::size_t alignment, std::size_t size) noexcept
{
    void* p = checked_aligned(alignment, size, "c", __builtin_return_address(0));
    if (!p)
        return ENOMEM;
    *out = p;
    return 0;
}

void* valloc(std::size_t size) noexcept
{
    return checked_aligned(static_cast<std::size_t>(sysconf(_SC_PAGESIZE)), size, "c",
                           __builtin_return_address(0));
}

char* strdup(const char* text) noexcept
{
    std::size_t length = std::strlen(text) + 1;
    auto* copy = static_cast<char*>(checked_malloc(length, "c", __builtin_return_address(0)));
    if (copy)
        std::memcpy(copy, text, length);
    return copy;
}

char* strndup(const char* text, std::size_t limit) noexcept
{
    std::size_t length = strnlen(text, limit);
    auto* copy = static_cast<char*>(checked_malloc(length + 1, "c", __builtin_return_address(0)));
    if (copy) {
        std::memcpy(copy, text, length);
        copy[length] = '\0';
    }
    return copy;
}

}  // extern "C"

void* operator new(std::size_t size)
{
    return new_or_throw(size, __builtin_return_address(0));
}

void* operator new[](std::size_t size)
{
    return new_or_throw(size, __builtin_return_address(0));
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return checked_malloc(size == 0 ? 1 : size, "new", __builtin_return_address(0));
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return checked_malloc(size == 0 ? 1 : size, "new", __builtin_return_address(0));
}

void* operator new(std::size_t size, std::align_val_t alignment)
{
    return aligned_new_or_throw(size, alignment, __builtin_return_address(0));
}

void* operator new[](std::size_t size, std::align_val_t alignment)
{
    return aligned_new_or_throw(size, alignment, __builtin_return_address(0));
}

void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return checked_aligned(static_cast<std::size_t>(alignment), size == 0 ? 1 : size, "new",
                           __builtin_return_address(0));
}

void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return checked_aligned(static_cast<std::size_t>(alignment), size == 0 ? 1 : size, "new",
                           __builtin_return_address(0));
}

void operator delete(void* p) noexcept
{
    release(p);
}

void operator delete[](void* p) noexcept
{
    release(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    release(p);
}

void operator delete[](void* p, std::size_t) noexcept
{
    release(p);
}

void operator delete(void* p, const std::nothrow_t&) noexcept
{
    release(p);
}

void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    release(p);
}

void operator delete(void* p, std::align_val_t) noexcept
{
    release(p);
}

void operator delete[](void* p, std::align_val_t) noexcept
{
    release(p);
}

void operator delete(void* p, std::size_t, std::align_val_t) noexcept
{
    release(p);
}

void operator delete[](void* p, std::size_t, std::align_val_t) noexcept
{
    release(p);
}

void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept
{
    release(p);
}

void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept
{
    release(p);
}
