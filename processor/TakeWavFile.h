#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <cstdint>
#include <vector>

// The drums' sound of a take: a 24-bit stereo WAV file that is readable at every moment.
// Frames are appended in memory and written by flush, which puts them on the disk first and
// only then states the new length in the header: the header never claims a frame that is
// not on the disk, whatever happens to the program or the disk (a write that fails leaves
// the file as the last flush left it).
//
// One thread only (the take writer's).
class TakeWavFile
{
public:
    TakeWavFile() = default;
    ~TakeWavFile();
    TakeWavFile(const TakeWavFile&) = delete;
    TakeWavFile& operator=(const TakeWavFile&) = delete;

    // Each returns false on failure, with the reason in errorMessage().
    bool create(const juce::File& file, double sampleRate); // the file must not exist
    bool append(const juce::AudioBuffer<float>& audio, int frames);
    bool appendSilence(int64_t frames);
    bool flush();
    void close();

    const juce::String& errorMessage() const
    {
        return error;
    }

private:
    static constexpr int bytesPerFrame = 6; // two channels of 24 bits
    static constexpr uint64_t largestDataBytes = 0xFFFFFFFFull - 64;

    bool fail(const juce::String& what);
    bool writeAt(int64_t position, const void* data, size_t size);
    bool writeSizes();
    void putSample(float value);

    int handle = -1;
    std::vector<juce::uint8> pending;
    uint64_t dataBytesOnDisk = 0;
    juce::String error;
};
