#include "BattoAudioProcessorWithJackMidiIn.h"

#include "JackMidiPorts.h"

namespace
{
constexpr size_t midiBufferEventOverhead = sizeof(juce::int32) + sizeof(juce::uint16);
}

BattoAudioProcessorWithJackMidiIn::BattoAudioProcessorWithJackMidiIn(const Settings& settings)
    : BattoAudioProcessor(settings)
{
    blockMidi.ensureSize(blockMidiCapacity);
}

void BattoAudioProcessorWithJackMidiIn::setJackMidiPorts(JackMidiPorts* ports)
{
    jackMidiPorts = ports;
}

void BattoAudioProcessorWithJackMidiIn::processBlock(juce::AudioBuffer<float>& buffer,
                                                     juce::MidiBuffer& midiMessages)
{
    if (jackMidiPorts == nullptr || !jackMidiPorts->isOpen())
    {
        BattoAudioProcessor::processBlock(buffer, midiMessages);
        return;
    }
    // The player's buffer may have little room; this one was reserved once, outside the
    // audio thread, and an event that would not fit is dropped rather than allocated for.
    blockMidi.clear();
    for (const auto event : midiMessages)
        if (static_cast<size_t>(blockMidi.data.size()) + static_cast<size_t>(event.numBytes)
                + midiBufferEventOverhead
            <= blockMidiCapacity)
            blockMidi.addEvent(event.data, event.numBytes, event.samplePosition);
    jackMidiPorts->addEventsForBlock(blockMidi, blockMidiCapacity, buffer.getNumSamples());
    BattoAudioProcessor::processBlock(buffer, blockMidi);
    midiMessages.clear();
}
