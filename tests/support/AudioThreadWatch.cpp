#include "AudioThreadWatch.h"

#include <cstdarg>
#include <cstddef>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/types.h>
#include <new>
#include <pthread.h>

// glibc's own allocator entry points, which the replacements below forward to.
extern "C"
{
    void* __libc_malloc(std::size_t size);
    void* __libc_calloc(std::size_t count, std::size_t size);
    void* __libc_realloc(void* memory, std::size_t size);
    void* __libc_memalign(std::size_t alignment, std::size_t size);
    void __libc_free(void* memory);
}

namespace
{
struct Counts
{
    bool watching = false;
    int allocations = 0;
    int frees = 0;
    int locks = 0;
    int threads = 0;
    int fileCalls = 0;
};

thread_local Counts counts; // constant-initialised: touching it never allocates

void countAllocation()
{
    if (counts.watching)
        ++counts.allocations;
}

void countFree(void* memory)
{
    if (memory != nullptr && counts.watching)
        ++counts.frees;
}

using LockFunction = int (*)(pthread_mutex_t*);
using CreateFunction = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

LockFunction realLock()
{
    static const auto function = reinterpret_cast<LockFunction>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
    return function;
}

CreateFunction realCreate()
{
    static const auto function = reinterpret_cast<CreateFunction>(dlsym(RTLD_NEXT, "pthread_create"));
    return function;
}

template <typename Function> Function realFunction(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

using OpenFunction = int (*)(const char*, int, ...);
using OpenAtFunction = int (*)(int, const char*, int, ...);
using WriteFunction = ssize_t (*)(int, const void*, size_t);
using SyncFunction = int (*)(int);
using RenameFunction = int (*)(const char*, const char*);

OpenFunction realOpen()
{
    static const auto function = realFunction<OpenFunction>("open");
    return function;
}
OpenFunction realOpen64()
{
    static const auto function = realFunction<OpenFunction>("open64");
    return function;
}
OpenAtFunction realOpenAt()
{
    static const auto function = realFunction<OpenAtFunction>("openat");
    return function;
}
WriteFunction realWrite()
{
    static const auto function = realFunction<WriteFunction>("write");
    return function;
}
SyncFunction realFsync()
{
    static const auto function = realFunction<SyncFunction>("fsync");
    return function;
}
RenameFunction realRename()
{
    static const auto function = realFunction<RenameFunction>("rename");
    return function;
}

void countFileCall()
{
    if (counts.watching)
        ++counts.fileCalls;
}

// Resolved before any test runs, so that no watch sees the lookup's own work.
const bool resolvedEarly = realLock() != nullptr && realCreate() != nullptr && realOpen() != nullptr
                           && realOpen64() != nullptr && realOpenAt() != nullptr && realWrite() != nullptr
                           && realFsync() != nullptr && realRename() != nullptr;
} // namespace

AudioThreadWatch::AudioThreadWatch()
{
    counts = Counts{};
    counts.watching = resolvedEarly;
}

AudioThreadWatch::~AudioThreadWatch()
{
    counts.watching = false;
}

int AudioThreadWatch::allocations() const
{
    return counts.allocations;
}

int AudioThreadWatch::frees() const
{
    return counts.frees;
}

int AudioThreadWatch::locks() const
{
    return counts.locks;
}

int AudioThreadWatch::threadsStarted() const
{
    return counts.threads;
}

int AudioThreadWatch::fileCalls() const
{
    return counts.fileCalls;
}

extern "C"
{
    void* malloc(std::size_t size)
    {
        countAllocation();
        return __libc_malloc(size);
    }

    void* calloc(std::size_t count, std::size_t size)
    {
        countAllocation();
        return __libc_calloc(count, size);
    }

    void* realloc(void* memory, std::size_t size)
    {
        countAllocation();
        return __libc_realloc(memory, size);
    }

    void* memalign(std::size_t alignment, std::size_t size)
    {
        countAllocation();
        return __libc_memalign(alignment, size);
    }

    void* aligned_alloc(std::size_t alignment, std::size_t size)
    {
        countAllocation();
        return __libc_memalign(alignment, size);
    }

    int posix_memalign(void** result, std::size_t alignment, std::size_t size)
    {
        countAllocation();
        *result = __libc_memalign(alignment, size);
        return *result != nullptr || size == 0 ? 0 : 12; // ENOMEM
    }

    void free(void* memory)
    {
        countFree(memory);
        __libc_free(memory);
    }

    int pthread_mutex_lock(pthread_mutex_t* mutex)
    {
        if (counts.watching)
            ++counts.locks;
        return realLock()(mutex);
    }

    // Files: opening, writing, forcing to the disk, renaming.
    int open(const char* path, int flags, ...)
    {
        countFileCall();
        va_list arguments;
        va_start(arguments, flags);
        const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) != 0 ? va_arg(arguments, mode_t) : 0;
        va_end(arguments);
        return realOpen()(path, flags, mode);
    }

    int open64(const char* path, int flags, ...)
    {
        countFileCall();
        va_list arguments;
        va_start(arguments, flags);
        const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) != 0 ? va_arg(arguments, mode_t) : 0;
        va_end(arguments);
        return realOpen64()(path, flags, mode);
    }

    int openat(int folder, const char* path, int flags, ...)
    {
        countFileCall();
        va_list arguments;
        va_start(arguments, flags);
        const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) != 0 ? va_arg(arguments, mode_t) : 0;
        va_end(arguments);
        return realOpenAt()(folder, path, flags, mode);
    }

    ssize_t write(int handle, const void* data, size_t size)
    {
        countFileCall();
        return realWrite()(handle, data, size);
    }

    int fsync(int handle)
    {
        countFileCall();
        return realFsync()(handle);
    }

    int rename(const char* from, const char* to)
    {
        countFileCall();
        return realRename()(from, to);
    }

    int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*start)(void*),
                       void* argument)
    {
        if (counts.watching)
            ++counts.threads;
        return realCreate()(thread, attributes, start, argument);
    }
}

// The global operator new and delete, on top of the counted malloc and free.
void* operator new(std::size_t size)
{
    if (void* memory = std::malloc(size == 0 ? 1 : size))
        return memory;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size)
{
    return operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size == 0 ? 1 : size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
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
