#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include <sys/resource.h>

// What one processBlock call cost and what happened in it.
struct BlockCost
{
    float seconds = 0.0f;           // the call's time on the CPU (see BlockMeter)
    float instrumentSeconds = 0.0f; // of it, the hosted instrument plug-in's own processBlock
    uint32_t minorFaults = 0;       // page faults the kernel served from memory meanwhile
    uint32_t majorFaults = 0;       // page faults that read from a disk meanwhile
    uint32_t preemptions = 0;       // involuntary context switches meanwhile (CPU time pauses)
    uint16_t eventsIn = 0;          // MIDI events the block received
    uint16_t voicesStarted = 0;     // bit v: a hit started voice v (sample kits)
};

// Measures one call on the calling thread: the time it took, and the page faults and
// preemptions that the kernel counts for the thread meanwhile.
//
// The time is read from the monotonic clock, which costs tens of nanoseconds; the thread's own
// CPU clock and its usage counters are system calls, which cost microseconds on some virtual
// machines and would swamp a block that itself takes one. So they are read just outside the
// timed span, and only a block during which the thread was preempted (its time then includes
// other threads' turns) counts the thread's CPU time instead, system calls included. A run of
// empty calls measured the same way shows what the machine and the measurement add on their
// own (see bench/WorstBlock.cpp).
class BlockMeter
{
public:
    void start()
    {
        getrusage(RUSAGE_THREAD, &usageBefore);
        cpuBefore = clockSeconds(CLOCK_THREAD_CPUTIME_ID);
        startedAt = monotonicSeconds();
    }

    // The cost since start(); instrumentSeconds, eventsIn and voicesStarted are the caller's.
    BlockCost stop() const
    {
        const double elapsed = monotonicSeconds() - startedAt;
        const double cpu = clockSeconds(CLOCK_THREAD_CPUTIME_ID) - cpuBefore;
        rusage usage{};
        getrusage(RUSAGE_THREAD, &usage);
        BlockCost cost;
        cost.minorFaults = static_cast<uint32_t>(usage.ru_minflt - usageBefore.ru_minflt);
        cost.majorFaults = static_cast<uint32_t>(usage.ru_majflt - usageBefore.ru_majflt);
        cost.preemptions = static_cast<uint32_t>(usage.ru_nivcsw - usageBefore.ru_nivcsw);
        cost.seconds = static_cast<float>(cost.preemptions == 0 ? elapsed : std::min(elapsed, cpu));
        return cost;
    }

    static double monotonicSeconds()
    {
        return clockSeconds(CLOCK_MONOTONIC);
    }

private:
    static double clockSeconds(clockid_t clock)
    {
        timespec now{};
        clock_gettime(clock, &now);
        return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
    }

    rusage usageBefore{};
    double cpuBefore = 0.0;
    double startedAt = 0.0;
};

// The audio path's cost over a whole run: every block's cost, in block order.
struct AudioPathTiming
{
    std::vector<BlockCost> blocks;
};

// The figures a run is judged by.
struct AudioPathFigures
{
    size_t blockCount = 0;
    double cpuSeconds = 0.0;        // all blocks
    double worstBlockSeconds = 0.0; // the costliest block
    size_t worstBlock = 0;          // its index from 0
    double p999Seconds = 0.0;       // 99.9 % of the blocks cost at most this
    double averageSeconds = 0.0;
    double instrumentSeconds = 0.0;          // all blocks: the hosted instrument's share
    double worstBlockInstrumentSeconds = 0.0; // the costliest block's instrument share
    double worstOwnBlockSeconds = 0.0;        // the costliest block without the instrument's share
    size_t worstOwnBlock = 0;
    long long minorFaults = 0; // all blocks
    size_t blocksWithFaults = 0;
};

AudioPathFigures figuresOf(const std::vector<BlockCost>& blocks);

// The indices of the n costliest blocks, costliest first.
std::vector<size_t> costliestBlocks(const std::vector<BlockCost>& blocks, size_t n);

// "1:02.345" for a time in seconds.
std::string minutesAndSeconds(double seconds);

// The names of the voices a block started ("kick crash"), or "none".
std::string voicesStartedText(uint16_t voicesStarted);

// One line about one block: its index, time, cost, faults, preemptions, events and voices.
std::string describeBlock(const std::vector<BlockCost>& blocks, size_t index, double blockSeconds);
