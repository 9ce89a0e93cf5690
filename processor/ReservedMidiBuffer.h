#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <cstddef>
#include <cstring>
#include <utility>

// A MIDI buffer for the audio thread: its storage is reserved beforehand (reserve: the message
// thread or prepareToPlay, never while a block runs) and never grows while a block runs. An
// event that would not fit is dropped instead, and counted.
//
// Threads: whoever reserves it before blocks run; then the audio thread alone. The count of
// dropped events is the audio thread's, to be read between blocks.
class ReservedMidiBuffer
{
public:
    // What an event takes in a juce::MidiBuffer besides its own bytes: a 32-bit time and a
    // 16-bit size.
    static constexpr size_t eventOverhead = sizeof(juce::int32) + sizeof(juce::uint16);

    void reserve(size_t bytes)
    {
        if (bytes <= capacityBytes)
            return;
        events.ensureSize(bytes);
        capacityBytes = bytes;
        // Written over once here, so that the audio thread never meets a fresh page of it (the
        // first write to one is a page fault).
        const auto used = static_cast<size_t>(events.data.size());
        std::memset(events.data.getRawDataPointer() + used, 0, capacityBytes - used);
    }

    size_t capacity() const
    {
        return capacityBytes;
    }

    // Adds the event when it fits in the reserved room; otherwise drops and counts it.
    bool add(const juce::uint8* data, int numBytes, int samplePosition)
    {
        const size_t needed =
            static_cast<size_t>(events.data.size()) + static_cast<size_t>(juce::jmax(0, numBytes)) + eventOverhead;
        if (numBytes <= 0 || needed > capacityBytes)
        {
            ++droppedEvents;
            return false;
        }
        return events.addEvent(data, numBytes, samplePosition);
    }

    void clear()
    {
        events.clear(); // keeps the storage
    }

    // When the events were handed to code that may exchange their storage for storage of its
    // own (a block's MIDI buffer comes back from the processor holding its hand-over storage):
    // the room is then that storage's, which the caller knows. Nothing changes when the
    // storage is still the one that was there before (`storageBefore`).
    void followExchangedStorage(const juce::uint8* storageBefore, size_t roomOfOtherStorage)
    {
        if (events.data.begin() != storageBefore)
            capacityBytes = roomOfOtherStorage;
    }

    void swapWith(ReservedMidiBuffer& other) noexcept
    {
        events.swapWith(other.events);
        std::swap(capacityBytes, other.capacityBytes);
    }

    // Events dropped for want of room since the buffer was made.
    int getDroppedCount() const
    {
        return droppedEvents;
    }

    // The events; read them freely, add to them only through add.
    juce::MidiBuffer events;

private:
    size_t capacityBytes = 0;
    int droppedEvents = 0;
};
