#pragma once

// Counts, on the calling thread only, the heap allocations and frees, mutex locks, thread
// starts and file calls (open, write, fsync, rename) made while a watch is alive. Linking
// AudioThreadWatch.cpp into a test binary replaces malloc and friends, the global operator
// new and delete, and interposes pthread_mutex_lock, pthread_create and those file calls,
// so nothing on the watched path escapes it.
class AudioThreadWatch
{
public:
    AudioThreadWatch();
    ~AudioThreadWatch();

    AudioThreadWatch(const AudioThreadWatch&) = delete;
    AudioThreadWatch& operator=(const AudioThreadWatch&) = delete;

    int allocations() const;
    int frees() const;
    int locks() const;
    int threadsStarted() const;
    int fileCalls() const;
};
