#include "AllocationCounter.h"

#if defined(__has_feature)
 #if __has_feature(address_sanitizer)
  #define GRELK_ASAN 1
 #endif
#endif
#if defined(__SANITIZE_ADDRESS__)
 #define GRELK_ASAN 1
#endif

#if GRELK_ASAN

namespace allocation_counter
{
    bool available() { return false; }
    void start (const char*) {}
    Counts stop() { return {}; }
}

#else

#include <algorithm>
#include <cstdint>
#include <cstring>

#include <execinfo.h>
#include <link.h>

// glibc supports replacing malloc and friends; the framework allocates sample
// storage with malloc/realloc, so operator new alone would miss it.
extern "C"
{
    void* __libc_malloc (std::size_t);
    void* __libc_calloc (std::size_t, std::size_t);
    void* __libc_realloc (void*, std::size_t);
    void* __libc_memalign (std::size_t, std::size_t);
}

namespace
{
    thread_local bool counting = false;
    thread_local bool inside = false;
    thread_local allocation_counter::Counts counts;

    std::uintptr_t pluginBegin = 0, pluginEnd = 0;

    void note()
    {
        if (! counting || inside)
            return;

        inside = true;
        void* frames[48];
        const auto depth = backtrace (frames, 48);
        bool fromPlugin = false;

        for (int i = 0; i < depth && ! fromPlugin; ++i)
        {
            const auto address = reinterpret_cast<std::uintptr_t> (frames[i]);
            fromPlugin = address >= pluginBegin && address < pluginEnd;
        }

        ++(fromPlugin ? counts.plugin : counts.host);
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

            const auto begin = info->dlpi_addr + header.p_vaddr;
            pluginBegin = pluginBegin == 0 ? begin : std::min (pluginBegin, static_cast<std::uintptr_t> (begin));
            pluginEnd = std::max (pluginEnd, static_cast<std::uintptr_t> (begin + header.p_memsz));
        }

        return 1;
    }
}

extern "C"
{
    void* malloc (std::size_t size)
    {
        note();
        return __libc_malloc (size);
    }

    void* calloc (std::size_t n, std::size_t size)
    {
        note();
        return __libc_calloc (n, size);
    }

    void* realloc (void* p, std::size_t size)
    {
        note();
        return __libc_realloc (p, size);
    }

    void* aligned_alloc (std::size_t alignment, std::size_t size)
    {
        note();
        return __libc_memalign (alignment, size);
    }

    void* memalign (std::size_t alignment, std::size_t size)
    {
        note();
        return __libc_memalign (alignment, size);
    }
}

namespace allocation_counter
{
    bool available() { return true; }

    void start (const char* pluginBinaryPart)
    {
        // The first backtrace loads the unwinder, which allocates.
        void* warmUp[4];
        backtrace (warmUp, 4);

        pluginBegin = pluginEnd = 0;
        dl_iterate_phdr (findModule, const_cast<char*> (pluginBinaryPart));
        counts = {};
        counting = true;
    }

    Counts stop()
    {
        counting = false;
        return counts;
    }
}

#endif
