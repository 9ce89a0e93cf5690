#pragma once

#include "BattoAudioProcessor.h"

#include <atomic>

class JackMidiPorts;

// The drummer's processor as the standalone application plays it: besides the MIDI that
// the player collected from the MIDI input devices, each block receives the events of the
// application's JACK MIDI input at their frames, while those ports are open.
class BattoAudioProcessorWithJackMidiIn : public BattoAudioProcessor
{
public:
    explicit BattoAudioProcessorWithJackMidiIn(const Settings& settings);

    // Message thread, with the callback lock held or before the player plays this processor.
    void setJackMidiPorts(JackMidiPorts* ports);

    void processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midiMessages) override;
    using BattoAudioProcessor::processBlock;

private:
    static constexpr size_t blockMidiCapacity = 64 * 1024;

    JackMidiPorts* jackMidiPorts = nullptr;
    ReservedMidiBuffer blockMidi; // audio thread: the block's MIDI from both sources
};
