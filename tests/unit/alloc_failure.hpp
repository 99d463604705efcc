// Allocation failure on demand, for the tests of the snapshot store: the
// binary that links alloc_failure.cpp replaces the nothrow forms of operator
// new (what the store allocates its chunks and directories with) and, in
// GCC builds, aligned_alloc (its regions).
#pragma once

namespace rdv_test {

// The `n`-th of the store's allocations from now fails (1: the next one);
// 0 lets every one succeed again.
void fail_allocation(unsigned n) noexcept;

// Whether the failure asked for has happened (and so is no longer pending).
bool allocation_failed() noexcept;

}  // namespace rdv_test
