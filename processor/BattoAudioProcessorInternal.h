#pragma once

// Small helpers shared by the processor's source files (one class spread over several files).

#include "Batto.h"
#include "BattoAudioProcessor.h"
#include "EngineNumbers.h"

#include <cmath>
#include <cstddef>

namespace batto_processor
{
inline bool isUsableSampleRate(double rate)
{
    return std::isfinite(rate) && rate >= BattoAudioProcessor::lowestSampleRate
           && rate <= BattoAudioProcessor::highestSampleRate;
}

// The volume, the click volume and the sensitivities come from sliders, 0..1. A stored
// value outside that range is used as read, up to a bound far beyond any slider within which
// every threshold and every sample still fits its type; past it, or not a number, the value
// is refused.
inline bool isUsableLevel(double value)
{
    constexpr double largestLevel = 1000.0;
    return std::abs(value) <= largestLevel; // false for NaN as well
}

inline bool isVoice(int voice)
{
    return voice >= 0 && voice < Batto::numVoices;
}

// Room for the MIDI of one block: the drum hits of a dense performance stay far below it,
// and a host feeding a block with more incoming messages than this is not a keyboard.
inline size_t midiBytesFor(int samplesPerBlock)
{
    const size_t events = 1024 + 4 * static_cast<size_t>(juce::jmax(0, samplesPerBlock));
    return events * (ReservedMidiBuffer::eventOverhead + 3);
}

constexpr int blockSizeReservedAtConstruction = 4096;

// State record tags of the per-voice settings: "DMN0".."DMN9", "VLS0".."VLS9".
struct VoiceTag
{
    VoiceTag(const char* prefix, int voice)
    {
        for (int i = 0; i < 3; ++i)
            text[i] = prefix[i];
        text[3] = static_cast<char>('0' + voice);
        text[4] = 0;
    }
    char text[5];
};
} // namespace batto_processor

// Only the processor's own source files include this header.
using namespace batto_processor;
