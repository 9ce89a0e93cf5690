#pragma once

#include "TempoMap.h"

#include <juce_audio_basics/juce_audio_basics.h>

// The transport of a sequencer that plays 4/4 from time zero along a tempo map. The render
// loop moves it to the first sample of every block before the block runs; like a DAW, it
// reports the tempo and the position in beats (ppq) at that sample.
class TransportPlayHead : public juce::AudioPlayHead
{
public:
    TransportPlayHead(double sampleRate, TempoMap tempoMap);

    void moveTo(juce::int64 sample);
    juce::Optional<PositionInfo> getPosition() const override;

private:
    double sampleRate;
    TempoMap tempoMap;
    juce::int64 currentSample = 0;
};
