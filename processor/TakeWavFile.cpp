#include "TakeWavFile.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace
{
constexpr int64_t headerBytes = 44;

void putLittleEndian(juce::uint8* at, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        at[i] = static_cast<juce::uint8>(value >> (8 * i));
}
} // namespace

TakeWavFile::~TakeWavFile()
{
    close();
}

bool TakeWavFile::fail(const juce::String& what)
{
    error = what;
    return false;
}

bool TakeWavFile::writeAt(int64_t position, const void* data, size_t size)
{
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0)
    {
        const ssize_t written = ::pwrite(handle, bytes, size, position);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return fail(written < 0 ? juce::String(std::strerror(errno)) : "the disk is full");
        bytes += written;
        position += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

bool TakeWavFile::create(const juce::File& file, double sampleRate)
{
    handle = ::open(file.getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (handle < 0)
        return fail(std::strerror(errno));
    juce::uint8 header[headerBytes] = {};
    std::memcpy(header, "RIFF", 4);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    putLittleEndian(header + 16, 16, 4);                  // the format chunk's size
    putLittleEndian(header + 20, 1, 2);                   // integer samples
    putLittleEndian(header + 22, 2, 2);                   // channels
    const auto rate = static_cast<uint32_t>(std::lround(sampleRate));
    putLittleEndian(header + 24, rate, 4);
    putLittleEndian(header + 28, rate * bytesPerFrame, 4); // bytes a second
    putLittleEndian(header + 32, bytesPerFrame, 2);
    putLittleEndian(header + 34, 24, 2);
    std::memcpy(header + 36, "data", 4);
    putLittleEndian(header + 4, 36, 4);
    return writeAt(0, header, sizeof header) && ::fsync(handle) == 0;
}

void TakeWavFile::putSample(float value)
{
    const float limited = std::isfinite(value) ? juce::jlimit(-1.0f, 1.0f, value) : 0.0f;
    const auto sample = static_cast<int32_t>(std::lround(limited * 8388607.0f));
    const auto bits = static_cast<uint32_t>(sample);
    pending.push_back(static_cast<juce::uint8>(bits));
    pending.push_back(static_cast<juce::uint8>(bits >> 8));
    pending.push_back(static_cast<juce::uint8>(bits >> 16));
}

bool TakeWavFile::append(const juce::AudioBuffer<float>& audio, int frames)
{
    if (dataBytesOnDisk + pending.size() + static_cast<uint64_t>(frames) * bytesPerFrame > largestDataBytes)
        return fail("the sound has reached the 4 GB that a WAV file can hold");
    const int channels = audio.getNumChannels();
    for (int i = 0; i < frames; ++i)
        for (int channel = 0; channel < 2; ++channel)
            putSample(channels > 0 ? audio.getSample(juce::jmin(channel, channels - 1), i) : 0.0f);
    return true;
}

bool TakeWavFile::appendSilence(int64_t frames)
{
    if (dataBytesOnDisk + pending.size() + static_cast<uint64_t>(frames) * bytesPerFrame > largestDataBytes)
        return fail("the sound has reached the 4 GB that a WAV file can hold");
    pending.insert(pending.end(), static_cast<size_t>(frames) * bytesPerFrame, 0);
    return true;
}

bool TakeWavFile::writeSizes()
{
    juce::uint8 riff[4], data[4];
    putLittleEndian(riff, static_cast<uint32_t>(36 + dataBytesOnDisk), 4);
    putLittleEndian(data, static_cast<uint32_t>(dataBytesOnDisk), 4);
    return writeAt(4, riff, 4) && writeAt(40, data, 4);
}

bool TakeWavFile::flush()
{
    if (handle < 0)
        return fail("the file is closed");
    if (pending.empty())
        return true;
    // The frames first, then the length that counts them.
    if (!writeAt(headerBytes + static_cast<int64_t>(dataBytesOnDisk), pending.data(), pending.size()))
        return false;
    if (::fsync(handle) != 0)
        return fail(std::strerror(errno));
    dataBytesOnDisk += pending.size();
    pending.clear();
    if (!writeSizes() || ::fsync(handle) != 0)
        return fail(error.isNotEmpty() ? error : juce::String(std::strerror(errno)));
    return true;
}

void TakeWavFile::close()
{
    if (handle >= 0)
        ::close(handle);
    handle = -1;
}
