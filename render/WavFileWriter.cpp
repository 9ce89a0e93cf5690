#include "WavFileWriter.h"

#include <cmath>

bool WavFileWriter::open(const juce::File& file, double sampleRate)
{
    auto stream = std::make_unique<juce::FileOutputStream>(file);
    if (!stream->openedOk() || !stream->setPosition(0) || stream->truncate().failed())
        return false;
    juce::WavAudioFormat format;
    writer.reset(format.createWriterFor(stream.get(), sampleRate, channels, bitsPerSample, {}, 0));
    if (writer == nullptr)
        return false;
    output = stream.release(); // the writer owns it now
    return true;
}

std::string WavFileWriter::errorMessage() const
{
    if (output == nullptr || output->getStatus().wasOk())
        return "the file could not be written";
    return output->getStatus().getErrorMessage().toStdString();
}

bool WavFileWriter::write(const juce::AudioBuffer<float>& block, int numSamples)
{
    for (int channel = 0; channel < channels; ++channel)
    {
        const float* samples = block.getReadPointer(channel);
        for (int i = 0; i < numSamples; ++i)
        {
            const float level = std::abs(samples[i]);
            peakLevel = std::max(peakLevel, level);
            clipped += level > 1.0f ? 1 : 0;
        }
    }
    return writer != nullptr && writer->writeFromAudioSampleBuffer(block, 0, numSamples);
}

bool WavFileWriter::close()
{
    if (writer == nullptr)
        return false;
    // flush() writes the header with the final length; a stream that cannot seek back
    // to it fails here.
    const bool headerWritten = writer->flush() && output->getStatus().wasOk();
    writer.reset();
    output = nullptr;
    return headerWritten;
}
