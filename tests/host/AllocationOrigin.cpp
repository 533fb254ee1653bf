#include "AllocationOrigin.h"

#include "AllocationCounter.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include <execinfo.h>
#include <link.h>

namespace
{
    std::uintptr_t pluginBegin = 0, pluginEnd = 0;
    thread_local std::size_t fromPlugin = 0;
    thread_local bool inside = false;

    // Runs inside the allocator: backtrace only walks the stack once warm.
    void attribute() noexcept
    {
        if (inside)
            return;

        inside = true;
        void* frames[48];
        const auto depth = backtrace (frames, 48);

        for (int i = 0; i < depth; ++i)
        {
            const auto address = reinterpret_cast<std::uintptr_t> (frames[i]);

            if (address >= pluginBegin && address < pluginEnd)
            {
                ++fromPlugin;
                break;
            }
        }

        inside = false;
    }

    int findModule (dl_phdr_info* info, size_t, void* part)
    {
        if (info->dlpi_name == nullptr || std::strstr (info->dlpi_name, static_cast<const char*> (part)) == nullptr)
            return 0;

        for (int i = 0; i < info->dlpi_phnum; ++i)
        {
            const auto& header = info->dlpi_phdr[i];

            if (header.p_type != PT_LOAD)
                continue;

            const auto begin = static_cast<std::uintptr_t> (info->dlpi_addr + header.p_vaddr);
            pluginBegin = pluginBegin == 0 ? begin : std::min (pluginBegin, begin);
            pluginEnd = std::max (pluginEnd, begin + header.p_memsz);
        }

        return 1;
    }
}

namespace allocation_origin
{
    void start (const char* pluginBinaryPart)
    {
        // The first backtrace loads the unwinder, which allocates.
        void* warmUp[4];
        backtrace (warmUp, 4);

        pluginBegin = pluginEnd = 0;
        dl_iterate_phdr (findModule, const_cast<char*> (pluginBinaryPart));
        fromPlugin = 0;
        AllocationCounter::setObserver (attribute);
        AllocationCounter::start();
    }

    Counts stop()
    {
        const auto total = AllocationCounter::stop();
        AllocationCounter::setObserver (nullptr);
        return { fromPlugin, total - fromPlugin };
    }
}
