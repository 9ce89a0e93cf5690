#pragma once

// Counts, on the calling thread only, the heap allocations and frees, mutex locks and
// thread starts made while a watch is alive. Linking AudioThreadWatch.cpp into a test binary
// replaces malloc and friends, the global operator new and delete, and interposes
// pthread_mutex_lock and pthread_create, so nothing on the watched path escapes it.
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
};
