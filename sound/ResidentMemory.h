#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <cstddef>
#include <vector>

// Keeps the pages of sound buffers in memory for the audio thread, so that a block never waits
// for the kernel to bring a page of a kit or click sound back: each buffer is locked (mlock)
// where the system allows it, and otherwise read once, page by page, when it is kept. Locking
// fails quietly (a user without the right to lock memory, or beyond the user's limit); the
// buffer is then only touched.
//
// Threads. Message thread or prepareToPlay, while no block reads the buffers; never the audio
// thread. The kept buffers must not be reallocated or freed before release().
class ResidentMemory
{
public:
    ResidentMemory() = default;
    // A copy keeps nothing: the buffers of a copied owner are other memory, which its owner
    // keeps itself if it needs to.
    ResidentMemory(const ResidentMemory&) {}
    ResidentMemory& operator=(const ResidentMemory& other)
    {
        if (this != &other)
            release();
        return *this;
    }
    ~ResidentMemory();

    // Locks or touches every channel of the buffer.
    void keep(const juce::AudioBuffer<float>& buffer);
    // Unlocks everything kept; call it before the kept buffers change or go.
    void release();
    // Exchanges what the two keep (when their buffers are exchanged). Allocates nothing.
    void swapWith(ResidentMemory& other) noexcept;

    size_t lockedBytes() const;
    size_t touchedBytes() const;

private:
    struct Range
    {
        const void* start;
        size_t bytes;
        bool locked;
    };

    void keep(const void* start, size_t bytes);

    std::vector<Range> ranges;
};
