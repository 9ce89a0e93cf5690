#include "JackCycleMidi.h"

#include "BattoAudioProcessor.h"

namespace
{
// Set and cleared by the JACK thread around the block it runs; other threads read their own.
thread_local JackCycleMidi* cycleOfThisThread = nullptr;
} // namespace

size_t JackCycleMidi::bytesFor(int framesPerCycle)
{
    return BattoAudioProcessor::midiOutputBytesFor(framesPerCycle);
}

void JackCycleMidi::reserve(int framesPerCycle)
{
    input.reserve(bytesFor(framesPerCycle));
    output.reserve(bytesFor(framesPerCycle));
}

void JackCycleMidi::beginCycle(int frames)
{
    numFrames = juce::jmax(0, frames);
    input.clear();
    output.clear();
    inputTaken = false;
}

int JackCycleMidi::getNumFrames() const
{
    return numFrames;
}

bool JackCycleMidi::addInput(const juce::uint8* data, size_t numBytes, juce::uint32 frame)
{
    if (numBytes == 0 || numBytes > 3 || frame >= static_cast<juce::uint32>(numFrames))
        return false;
    return input.add(data, static_cast<int>(numBytes), static_cast<int>(frame));
}

void JackCycleMidi::takeInput(ReservedMidiBuffer& block)
{
    if (inputTaken)
        return;
    inputTaken = true;
    for (const auto event : input.events)
        block.add(event.data, event.numBytes, event.samplePosition);
}

void JackCycleMidi::addOutput(const juce::MidiBuffer& events)
{
    for (const auto event : events)
        output.add(event.data, event.numBytes, event.samplePosition);
}

int JackCycleMidi::getDroppedInputCount() const
{
    return input.getDroppedCount();
}

int JackCycleMidi::getDroppedOutputCount() const
{
    return output.getDroppedCount();
}

JackCycleMidi* JackCycleMidi::current()
{
    return cycleOfThisThread;
}

JackCycleMidi::Scope::Scope(JackCycleMidi& cycle)
{
    cycleOfThisThread = &cycle;
}

JackCycleMidi::Scope::~Scope()
{
    cycleOfThisThread = nullptr;
}
