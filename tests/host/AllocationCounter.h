#pragma once

#include <cstddef>

// Counts heap allocations made on the calling thread between start and stop,
// by the loaded plug-in as much as by the host, the way a real-time audio
// thread would suffer them. Unavailable under AddressSanitizer, which owns
// the allocator there.
namespace allocation_counter
{
    bool available();
    void start();
    std::size_t stop();
}
