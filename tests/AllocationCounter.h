#pragma once

#include <cstddef>

// Counts heap allocations made on the calling thread between start() and
// stop(): malloc, calloc, realloc, the aligned C allocators and every form of
// operator new. The framework's HeapBlock calls the C functions directly.
namespace AllocationCounter
{
    void start() noexcept;
    std::size_t stop() noexcept;  // allocations since start()

    // Called for every counted allocation, from inside the allocator, so it
    // must not allocate itself; null for none.
    using Observer = void (*)() noexcept;
    void setObserver (Observer) noexcept;
}
