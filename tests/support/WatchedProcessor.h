#pragma once

// A processor whose every processBlock call is watched: what the block allocated, freed,
// locked and which threads it started, summed over the blocks. The base is the processor
// class a test drives (the real processor, or a test's subclass of it).

#include "AudioThreadWatch.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <utility>

template <typename Processor>
class Watched : public Processor
{
public:
    using Processor::Processor;
    using Processor::processBlock;

    void processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midiMessages) override
    {
        AudioThreadWatch watch;
        active = &watch;
        Processor::processBlock(buffer, midiMessages);
        active = nullptr;
        allocations += watch.allocations() - uncountedAllocations;
        frees += watch.frees();
        locks += watch.locks() - uncountedLocks;
        threads += watch.threadsStarted();
        uncountedAllocations = uncountedLocks = 0;
        ++blocks;
    }

    int allocations = 0, frees = 0, locks = 0, threads = 0, blocks = 0;

protected:
    // Runs work inside a watched block without counting its allocations and locks (code that
    // is not ours, such as a hosted plug-in's own processing); returns what it did.
    template <typename Work>
    std::pair<int, int> uncounted(Work&& work)
    {
        if (active == nullptr)
        {
            work();
            return {0, 0};
        }
        const int allocationsBefore = active->allocations(), locksBefore = active->locks();
        work();
        const std::pair<int, int> done{active->allocations() - allocationsBefore, active->locks() - locksBefore};
        uncountedAllocations += done.first;
        uncountedLocks += done.second;
        return done;
    }

private:
    AudioThreadWatch* active = nullptr;
    int uncountedAllocations = 0, uncountedLocks = 0;
};
