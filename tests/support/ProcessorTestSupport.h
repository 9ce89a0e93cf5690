#pragma once

#include "BattoAudioProcessor.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

// The host's transport as a test sets it: a play head that answers with a fixed position.
class FakePlayHead : public juce::AudioPlayHead
{
public:
    juce::Optional<PositionInfo> getPosition() const override
    {
        if (!answers)
            return {};
        return position;
    }

    void play(double bpm, double ppq, int numerator = 4)
    {
        position = {};
        position.setBpm(bpm);
        position.setPpqPosition(ppq);
        position.setTimeSignature(TimeSignature{numerator, 4});
        position.setIsPlaying(true);
    }

    // Moves the position on by a block of samples at the current tempo.
    void advance(int samples, double sampleRate)
    {
        const double beats = samples / sampleRate * *position.getBpm() / 60.0;
        position.setPpqPosition(*position.getPpqPosition() + beats);
    }

    void stop()
    {
        position.setIsPlaying(false);
    }

    PositionInfo position;
    bool answers = true;
};

struct Event
{
    int position;
    std::vector<int> bytes;

    bool operator==(const Event& other) const
    {
        return position == other.position && bytes == other.bytes;
    }
};

inline std::ostream& operator<<(std::ostream& out, const Event& event)
{
    out << "@" << event.position << ":";
    for (int byte : event.bytes)
        out << " " << byte;
    return out;
}

inline std::vector<Event> eventsOf(const juce::MidiBuffer& buffer)
{
    std::vector<Event> events;
    for (const auto metadata : buffer)
        events.push_back(
            {metadata.samplePosition, std::vector<int>(metadata.data, metadata.data + metadata.numBytes)});
    return events;
}

inline juce::MidiMessage noteOn(int note, int velocity, int channel = 1)
{
    return juce::MidiMessage::noteOn(channel, note, static_cast<juce::uint8>(velocity));
}

// Drives a processor block by block the way a host does: prepared buffers, MIDI in, MIDI out.
class BlockDriver
{
public:
    BlockDriver(BattoAudioProcessor& processorToDrive, double rate, int blockSize, int channels = 2)
        : processor(processorToDrive), sampleRate(rate), outputChannels(channels)
    {
        processor.setRateAndBufferSizeDetails(rate, blockSize);
        processor.prepareToPlay(rate, blockSize);
        processor.setPlayHead(&playHead);
        playHead.answers = false;
        audio.setSize(channels, 16 * blockSize + 1024);
        midi.ensureSize(64 * 1024); // hosts reserve their MIDI buffer once
    }

    ~BlockDriver()
    {
        processor.setPlayHead(nullptr);
    }

    // Runs one block with these incoming events; returns the block's MIDI output. The audio
    // comes in filled with `input` on every channel.
    const juce::MidiBuffer& run(int samples, const std::vector<std::pair<int, juce::MidiMessage>>& in = {},
                                float input = 0.0f)
    {
        audio.setSize(outputChannels, samples, false, false, true);
        for (int channel = 0; channel < outputChannels; ++channel)
            juce::FloatVectorOperations::fill(audio.getWritePointer(channel), input, samples);
        midi.clear();
        for (const auto& [position, message] : in)
            midi.addEvent(message, position);
        processor.processBlock(audio, midi);
        if (playHead.answers && playHead.position.getIsPlaying())
            playHead.advance(samples, sampleRate);
        return midi;
    }

    // Runs blocks until the output MIDI of one is not empty; returns how many ran.
    int runUntilOutput(int samples, int maximumBlocks)
    {
        for (int block = 1; block <= maximumBlocks; ++block)
            if (!run(samples).isEmpty())
                return block;
        return -1;
    }

    BattoAudioProcessor& processor;
    double sampleRate;
    int outputChannels;
    FakePlayHead playHead;
    juce::AudioBuffer<float> audio;
    juce::MidiBuffer midi;
};

// Records what reaches the editor side of the display-code queue.
struct RecordingDisplay : DisplayCodeListener
{
    void displayCodeArrived(const juce::AudioProcessorEditor::ParameterControlHighlightInfo& info) override
    {
        codes.push_back({info.parameterIndex, info.isHighlighted});
    }

    bool contains(int code, bool highlighted = true) const
    {
        for (const auto& received : codes)
            if (received.first == code && received.second == highlighted)
                return true;
        return false;
    }

    std::vector<std::pair<int, bool>> codes;
};

inline bool operator==(const Batto::instantRythmique& a, const Batto::instantRythmique& b)
{
    return a.bar == b.bar && a.beat == b.beat && a.division == b.division && a.half == b.half
           && a.time == b.time;
}

inline std::ostream& operator<<(std::ostream& out, const Batto::instantRythmique& i)
{
    return out << "{" << i.bar << ", " << i.beat << ", " << i.division << ", " << i.half << ", " << i.time
               << "}";
}
