#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

// Plays a borrowed buffer from its first frame, as the input of a resampler. Every pull
// starts again at the buffer's first frame: it is meant to be pulled once.
class MyAudioSource : public juce::AudioSource
{
public:
    explicit MyAudioSource(const juce::AudioBuffer<float>* sourceBuffer);
    ~MyAudioSource() override;

    void prepareToPlay(int samplesPerBlockExpected, double sampleRate) override;
    void releaseResources() override;
    // Copies the source's frames to the request's start frame; frames beyond the source's
    // end are silence and mark the source finished.
    void getNextAudioBlock(const juce::AudioSourceChannelInfo& request) override;

    const juce::AudioBuffer<float>* source; // not owned
    bool finished = false;
};
