#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

// The transport of a sequencer that plays 4/4 at a fixed tempo from time zero. The
// render loop moves it to the first sample of every block before the block runs.
class TransportPlayHead : public juce::AudioPlayHead
{
public:
    TransportPlayHead(double sampleRate, double tempo);

    void moveTo(juce::int64 sample);
    juce::Optional<PositionInfo> getPosition() const override;

private:
    double sampleRate;
    double tempo;
    juce::int64 currentSample = 0;
};
