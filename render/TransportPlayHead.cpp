#include "TransportPlayHead.h"

#include <cmath>
#include <utility>

TransportPlayHead::TransportPlayHead(double rate, TempoMap map) : sampleRate(rate), tempoMap(std::move(map))
{
}

void TransportPlayHead::moveTo(juce::int64 sample)
{
    currentSample = sample;
}

juce::Optional<juce::AudioPlayHead::PositionInfo> TransportPlayHead::getPosition() const
{
    const double seconds = static_cast<double>(currentSample) / sampleRate;
    const double ppq = tempoMap.beatsAt(seconds);
    PositionInfo position;
    position.setBpm(tempoMap.tempoAtSeconds(seconds));
    position.setTimeSignature(TimeSignature{4, 4});
    position.setTimeInSamples(currentSample);
    position.setTimeInSeconds(seconds);
    position.setPpqPosition(ppq);
    position.setPpqPositionOfLastBarStart(4.0 * std::floor(ppq / 4.0));
    position.setIsPlaying(true);
    return position;
}
