#include "RealTimeGuard.h"

#include <cstdlib>
#include <dlfcn.h>
#include <new>
#include <pthread.h>

namespace
{
// Per thread, so that other threads (the test runner, JUCE's own threads) are not counted.
thread_local bool watching = false;
thread_local int allocationCount = 0;
thread_local int lockCount = 0;

void* allocate(std::size_t size)
{
    if (watching)
        ++allocationCount;
    if (void* memory = std::malloc(size == 0 ? 1 : size))
        return memory;
    throw std::bad_alloc();
}
} // namespace

RealTimeGuard::RealTimeGuard()
{
    allocationCount = 0;
    lockCount = 0;
    watching = true;
}

RealTimeGuard::~RealTimeGuard()
{
    watching = false;
}

int RealTimeGuard::allocations() const
{
    return allocationCount;
}

int RealTimeGuard::locks() const
{
    return lockCount;
}

void* operator new(std::size_t size)
{
    return allocate(size);
}

void* operator new[](std::size_t size)
{
    return allocate(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    if (watching)
        ++allocationCount;
    return std::malloc(size == 0 ? 1 : size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    if (watching)
        ++allocationCount;
    return std::malloc(size == 0 ? 1 : size);
}

void operator delete(void* memory) noexcept
{
    std::free(memory);
}

void operator delete[](void* memory) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}

void operator delete[](void* memory, std::size_t) noexcept
{
    std::free(memory);
}

extern "C" int pthread_mutex_lock(pthread_mutex_t* mutex)
{
    using LockFunction = int (*)(pthread_mutex_t*);
    static LockFunction realLock = reinterpret_cast<LockFunction>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
    if (watching)
        ++lockCount;
    return realLock(mutex);
}
