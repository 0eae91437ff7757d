// A program-wide replacement of the global allocation functions: every block
// that the program's code takes from operator new is counted until it is
// given back. The other forms (arrays, nothrow, sized) reach these two.
#include "window/AllocationCounter.h"

#include <malloc.h>
#include <stdlib.h>

#include <atomic>
#include <new>

namespace {

std::atomic<long> s_nLive(0);
std::atomic<long long> s_cbLive(0);

void* Allocate(size_t cb)
{
    for (;;) {
        void* p = malloc(cb != 0 ? cb : 1);
        if (p != NULL) {
            ++s_nLive;
            s_cbLive += _msize(p);
            return p;
        }
        std::new_handler handler = std::get_new_handler();
        if (handler == NULL)
            return NULL;
        handler();
    }
}

void Release(void* p)
{
    if (p == NULL)
        return;
    --s_nLive;
    s_cbLive -= _msize(p);
    free(p);
}

}  // namespace

long LiveAllocations()
{
    return s_nLive;
}

long long LiveAllocatedBytes()
{
    return s_cbLive;
}

void* operator new(size_t cb)
{
    void* p = Allocate(cb);
    if (p == NULL)
        throw std::bad_alloc();
    return p;
}

void* operator new[](size_t cb)
{
    return operator new(cb);
}

void* operator new(size_t cb, const std::nothrow_t&) noexcept
{
    return Allocate(cb);
}

void* operator new[](size_t cb, const std::nothrow_t&) noexcept
{
    return Allocate(cb);
}

void operator delete(void* p) noexcept
{
    Release(p);
}

void operator delete[](void* p) noexcept
{
    Release(p);
}

void operator delete(void* p, size_t) noexcept
{
    Release(p);
}

void operator delete[](void* p, size_t) noexcept
{
    Release(p);
}

void operator delete(void* p, const std::nothrow_t&) noexcept
{
    Release(p);
}

void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    Release(p);
}
