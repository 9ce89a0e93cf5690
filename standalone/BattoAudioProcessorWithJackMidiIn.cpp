#include "BattoAudioProcessorWithJackMidiIn.h"

#include "JackMidiPorts.h"

BattoAudioProcessorWithJackMidiIn::BattoAudioProcessorWithJackMidiIn(const Settings& settings)
    : BattoAudioProcessor(settings)
{
    blockMidi.reserve(blockMidiCapacity);
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
        blockMidi.add(event.data, event.numBytes, event.samplePosition);
    jackMidiPorts->addEventsForBlock(blockMidi, buffer.getNumSamples());
    BattoAudioProcessor::processBlock(buffer, blockMidi.events);
    midiMessages.clear();
}
