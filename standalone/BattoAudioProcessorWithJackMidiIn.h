#pragma once

#include "BattoAudioProcessor.h"
#include "JackTransportPlayHead.h"

// The drummer's processor as the standalone application plays it. In a block that runs inside
// a JACK cycle (the application's JACK device), the block also receives the MIDI that arrived
// on the JACK MIDI input in that cycle, at its frames, besides what the player collected from
// the MIDI input devices; and while the blocks play the MIDI output choice, the drum notes
// the block sends leave on the JACK MIDI output in the same cycle, at their frames. With the
// sync source "JACK transport" the drummer follows the transport of the cycle it runs in.
class BattoAudioProcessorWithJackMidiIn : public BattoAudioProcessor
{
public:
    explicit BattoAudioProcessorWithJackMidiIn(const Settings& settings);

    void prepareToPlay(double sampleRate, int maximumExpectedSamplesPerBlock) override;
    void processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midiMessages) override;
    using BattoAudioProcessor::processBlock;

    // Audio thread, between blocks: events of a JACK cycle that did not fit in the block's room.
    int getDroppedBlockEventCount() const;

private:
    // Audio thread: the block's MIDI from both sources. It is lent to the processor's block
    // as the block's MIDI buffer, and so comes back holding the hand-over's storage, whose
    // room follows the same rule (midiOutputBytesFor the prepared block size).
    ReservedMidiBuffer blockMidi;
    int preparedBlockSize = 0; // prepareToPlay, which no block runs beside
    // The JACK transport, asked by the audio thread in each block; the own tempo is the
    // drummer's tempo setting (an atomic) for a transport without bars.
    JackTransportPlayHead jackTransportPlayHead{[this] { return getTempoSetting(); }};
};
