#include "MyAudioProcessorPlayer.h"

MyAudioProcessorPlayer::MyAudioProcessorPlayer() : juce::AudioProcessorPlayer(false)
{
}

void MyAudioProcessorPlayer::handleIncomingMidiMessage(juce::MidiInput* source,
                                                       const juce::MidiMessage& message)
{
    juce::AudioProcessorPlayer::handleIncomingMidiMessage(source, message);
}
