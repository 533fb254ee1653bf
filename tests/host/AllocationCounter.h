#pragma once

#include <cstddef>

// Counts heap allocations made on the calling thread between start and stop,
// split by who made them: code inside the loaded plug-in binary (our
// processor and the format's client wrapper) or the host around it.
// Unavailable under AddressSanitizer, which owns the allocator there.
namespace allocation_counter
{
    struct Counts
    {
        std::size_t plugin = 0, host = 0;
    };

    bool available();

    // pluginBinaryPart: a piece of the plug-in binary's path, e.g. "Grelk.vst3/".
    void start (const char* pluginBinaryPart);
    Counts stop();
}
