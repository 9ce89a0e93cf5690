#pragma once

#include "ReservedMidiBuffer.h"

#include <juce_audio_basics/juce_audio_basics.h>

// The MIDI of one JACK cycle, between the JACK client's process callback and the block that
// the callback runs in the same cycle: the events that arrived on the MIDI input in this
// cycle, at their frames, and the events that the block sends, written to the MIDI output at
// their frames of the same cycle.
//
// Threads: the JACK thread alone, once the client runs (reserve before). current() tells
// the block whether it runs inside a cycle, and which: only the JACK thread is ever inside
// one, so a block on any other device's thread finds none.
class JackCycleMidi
{
public:
    // Room of each direction's buffer in a cycle of that many frames: the same rule as the
    // processor's room for a block's output, so that a cycle never holds more than a block
    // takes.
    static size_t bytesFor(int framesPerCycle);

    // Outside the JACK thread, before the client runs (or while it is deactivated).
    void reserve(int framesPerCycle);

    // The start of a cycle of that many frames: what the last cycle held is forgotten, whether
    // a block took it or not (an event is played in its own cycle or never).
    void beginCycle(int numFrames);
    int getNumFrames() const;

    // An event of the MIDI input at its frame of this cycle. Dropped (false): system exclusive
    // and longer messages, which mean nothing to the drummer, a frame outside the cycle, and
    // events beyond the reserved room (counted).
    bool addInput(const juce::uint8* data, size_t numBytes, juce::uint32 frame);
    // Adds this cycle's input events to the block's MIDI at their frames, once: a second block
    // in the same cycle gets none.
    void takeInput(ReservedMidiBuffer& block);

    // What a block sends in this cycle (positions are frames of the cycle).
    void addOutput(const juce::MidiBuffer& events);
    // Calls write(frame, data, numBytes) for each output event in order; a frame outside the
    // cycle is moved to its nearest frame inside it, so that no event is lost or reordered.
    template <typename Write> void writeOutput(Write&& write) const
    {
        for (const auto event : output.events)
            write(static_cast<juce::uint32>(juce::jlimit(0, juce::jmax(0, numFrames - 1), event.samplePosition)),
                  event.data, static_cast<size_t>(event.numBytes));
    }

    // Events dropped for want of room since the object was made.
    int getDroppedInputCount() const;
    int getDroppedOutputCount() const;

    // The cycle that the calling thread is in, or null.
    static JackCycleMidi* current();

    // The calling thread is in this cycle while the scope lives.
    class Scope
    {
    public:
        explicit Scope(JackCycleMidi& cycle);
        ~Scope();
        JUCE_DECLARE_NON_COPYABLE(Scope)
    };

private:
    ReservedMidiBuffer input;
    ReservedMidiBuffer output;
    int numFrames = 0;
    bool inputTaken = false;
};
