#include "AllocationCounter.h"

#include <cerrno>
#include <cstdlib>
#include <new>

// glibc's own entry points, which the replacements below hand on to.
extern "C"
{
    void* __libc_malloc (std::size_t);
    void* __libc_calloc (std::size_t, std::size_t);
    void* __libc_realloc (void*, std::size_t);
    void* __libc_memalign (std::size_t, std::size_t);
    void __libc_free (void*);
}

namespace
{
    thread_local bool counting = false;
    thread_local std::size_t count = 0;
    AllocationCounter::Observer observer = nullptr;

    inline void noteAllocation() noexcept
    {
        if (counting)
        {
            ++count;

            if (observer != nullptr)
                observer();
        }
    }
}

void AllocationCounter::setObserver (Observer o) noexcept
{
    observer = o;
}

void AllocationCounter::start() noexcept
{
    count = 0;
    counting = true;
}

std::size_t AllocationCounter::stop() noexcept
{
    counting = false;
    return count;
}

extern "C"
{
    void* malloc (std::size_t size)
    {
        noteAllocation();
        return __libc_malloc (size);
    }

    void* calloc (std::size_t n, std::size_t size)
    {
        noteAllocation();
        return __libc_calloc (n, size);
    }

    void* realloc (void* p, std::size_t size)
    {
        noteAllocation();
        return __libc_realloc (p, size);
    }

    void free (void* p)
    {
        __libc_free (p);
    }

    void* memalign (std::size_t alignment, std::size_t size)
    {
        noteAllocation();
        return __libc_memalign (alignment, size);
    }

    void* aligned_alloc (std::size_t alignment, std::size_t size)
    {
        noteAllocation();
        return __libc_memalign (alignment, size);
    }

    int posix_memalign (void** result, std::size_t alignment, std::size_t size)
    {
        noteAllocation();
        if (auto* p = __libc_memalign (alignment, size))
        {
            *result = p;
            return 0;
        }
        return ENOMEM;
    }
}

// Counted here as well, in case a runtime's operator new does not come
// through the malloc above; the other forms end up in one of the two.
void* operator new (std::size_t size)
{
    noteAllocation();
    if (auto* p = __libc_malloc (size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

void operator delete (void* p) noexcept { __libc_free (p); }
void operator delete (void* p, std::size_t) noexcept { __libc_free (p); }
