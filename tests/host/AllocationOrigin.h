#pragma once

#include <cstddef>

// Splits the allocations that tests/AllocationCounter counts on this thread
// by who made them: code inside the loaded plug-in binary (our processor and
// the format's client wrapper) or the host around it.
namespace allocation_origin
{
    struct Counts
    {
        std::size_t plugin = 0, host = 0;
    };

    // pluginBinaryPart: a piece of the plug-in binary's path, e.g. "Grelk.vst3/".
    void start (const char* pluginBinaryPart);
    Counts stop();
}
