#pragma once

#include <juce_audio_utils/juce_audio_utils.h>

// The player that the audio device calls block by block: it runs the drummer's processor
// and queues every message of the MIDI inputs for the next block, at the sample of its
// arrival. Messages keep their channel, so that the MIDI-in filter's channel means the same
// here as on the standalone MIDI thread's path.
class MyAudioProcessorPlayer : public juce::AudioProcessorPlayer
{
public:
    MyAudioProcessorPlayer();

    void handleIncomingMidiMessage(juce::MidiInput* source, const juce::MidiMessage& message) override;
};
