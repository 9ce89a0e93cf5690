#pragma once

// Counts heap allocations and mutex locks made by the calling thread while a guard is
// alive. Linking this library into a test binary replaces the global operator new and
// interposes pthread_mutex_lock, so any allocation or lock on the real-time path is seen.
class RealTimeGuard
{
public:
    RealTimeGuard();
    ~RealTimeGuard();

    RealTimeGuard(const RealTimeGuard&) = delete;
    RealTimeGuard& operator=(const RealTimeGuard&) = delete;

    int allocations() const;
    int locks() const;
};
