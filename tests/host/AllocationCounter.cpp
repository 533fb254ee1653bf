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
    void start() {}
    std::size_t stop() { return 0; }
}

#else

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
    thread_local std::size_t count = 0;

    inline void note()
    {
        if (counting)
            ++count;
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

    void start()
    {
        count = 0;
        counting = true;
    }

    std::size_t stop()
    {
        counting = false;
        return count;
    }
}

#endif
