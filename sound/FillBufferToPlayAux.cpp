#include "FillBufferToPlayAux.h"

#include "MyAudioSource.h"

#include <cmath>
#include <memory>

namespace
{
// Lengths beyond this (hours of audio) are refused rather than allocated.
constexpr juce::int64 longestSoundFrames = std::numeric_limits<int>::max() / 4;

void readWholeFile(juce::AudioFormatReader& reader, juce::AudioBuffer<float>& into)
{
    const int length = static_cast<int>(reader.lengthInSamples);
    into.setSize(static_cast<int>(reader.numChannels), length);
    reader.read(&into, 0, length, 0, true, true);
}

void resample(const juce::AudioBuffer<float>& original, double fileRate, double sampleRate,
              juce::AudioBuffer<float>& dest)
{
    const int channels = original.getNumChannels();
    const int frames = static_cast<int>(original.getNumSamples() * sampleRate / fileRate + 1);

    MyAudioSource input(&original);
    juce::ResamplingAudioSource resampler(&input, false, channels);
    resampler.setResamplingRatio(fileRate / sampleRate);

    dest.setSize(channels, frames);
    resampler.prepareToPlay(frames, sampleRate);
    resampler.getNextAudioBlock(juce::AudioSourceChannelInfo(&dest, 0, frames));
    resampler.releaseResources();
}
} // namespace

bool FillBufferToPlayAux(double sampleRate, juce::AudioBuffer<float>& dest, juce::AudioFormat* format,
                         juce::InputStream* stream)
{
    if (format == nullptr || stream == nullptr)
    {
        delete stream;
        return false;
    }
    std::unique_ptr<juce::AudioFormatReader> reader(format->createReaderFor(stream, true));
    if (reader == nullptr)
        return false; // the format deleted the stream

    const double fileRate = reader->sampleRate;
    const bool usableRates =
        std::isfinite(sampleRate) && sampleRate > 0 && std::isfinite(fileRate) && fileRate > 0;
    const juce::int64 resampledFrames =
        usableRates ? static_cast<juce::int64>(reader->lengthInSamples * (sampleRate / fileRate) + 1) : 0;
    if (!usableRates || reader->numChannels == 0 || reader->lengthInSamples > longestSoundFrames
        || resampledFrames > longestSoundFrames)
        return false;

    if (sampleRate == fileRate)
    {
        readWholeFile(*reader, dest);
        return true;
    }
    juce::AudioBuffer<float> original;
    readWholeFile(*reader, original);
    resample(original, fileRate, sampleRate, dest);
    return true;
}
