// Replaces the global operator new and delete for the whole process, counting
// the blocks alive and their bytes. The runtime's array, nothrow and sized
// forms call these.
#include "window/AllocationCounter.h"

#include <malloc.h>
#include <stdlib.h>

#include <atomic>
#include <new>

namespace {

std::atomic<long> s_nLive(0);
std::atomic<long long> s_cbLive(0);

}  // namespace

long LiveAllocations() { return s_nLive; }

long long LiveAllocatedBytes() { return s_cbLive; }

void* operator new(size_t cb)
{
    void* p = malloc(cb != 0 ? cb : 1);
    if (p == NULL)
        throw std::bad_alloc();
    ++s_nLive;
    s_cbLive += _msize(p);
    return p;
}

void operator delete(void* p) noexcept
{
    if (p == NULL)
        return;
    --s_nLive;
    s_cbLive -= _msize(p);
    free(p);
}

void operator delete(void* p, size_t) noexcept { operator delete(p); }
