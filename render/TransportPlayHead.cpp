#include "TransportPlayHead.h"

#include <cmath>

TransportPlayHead::TransportPlayHead(double rate, double bpm) : sampleRate(rate), tempo(bpm)
{
}

void TransportPlayHead::moveTo(juce::int64 sample)
{
    currentSample = sample;
}

juce::Optional<juce::AudioPlayHead::PositionInfo> TransportPlayHead::getPosition() const
{
    const double seconds = static_cast<double>(currentSample) / sampleRate;
    const double ppq = seconds * tempo / 60.0;
    PositionInfo position;
    position.setBpm(tempo);
    position.setTimeSignature(TimeSignature{4, 4});
    position.setTimeInSamples(currentSample);
    position.setTimeInSeconds(seconds);
    position.setPpqPosition(ppq);
    position.setPpqPositionOfLastBarStart(4.0 * std::floor(ppq / 4.0));
    position.setIsPlaying(true);
    return position;
}
