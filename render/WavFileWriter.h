#pragma once

#include <juce_audio_formats/juce_audio_formats.h>

#include <memory>
#include <string>

// Streams the rendered drum part into a stereo 24-bit WAV file (written from its start),
// block by block, and keeps the peak level (samples beyond full scale are clipped by the
// file format, and counted).
class WavFileWriter
{
public:
    bool open(const juce::File& file, double sampleRate);
    bool write(const juce::AudioBuffer<float>& block, int numSamples);
    bool close();
    // Why the last write or close failed (the operating system's reason).
    std::string errorMessage() const;

    float peak() const
    {
        return peakLevel;
    }
    juce::int64 clippedSamples() const
    {
        return clipped;
    }

    static constexpr int channels = 2;
    static constexpr int bitsPerSample = 24;

private:
    std::unique_ptr<juce::AudioFormatWriter> writer;
    juce::FileOutputStream* output = nullptr; // owned by the writer
    float peakLevel = 0.0f;
    juce::int64 clipped = 0;
};
