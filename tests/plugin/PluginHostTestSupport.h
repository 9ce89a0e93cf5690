#pragma once

// Loads the built BattoMidiFx bundles through JUCE's own plug-in hosting, as a DAW would,
// and drives them block by block with a playing transport.

#include <juce_audio_processors/juce_audio_processors.h>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

enum class Format
{
    vst3,
    lv2
};

inline const char* nameOf(Format format)
{
    return format == Format::vst3 ? "VST3" : "LV2";
}

// A drum note-on (or any event) the plug-in sent, at its timeline sample.
struct Hit
{
    juce::int64 sample;
    int status;
    int note;
    int velocity;

    bool operator==(const Hit& other) const
    {
        return sample == other.sample && status == other.status && note == other.note
               && velocity == other.velocity;
    }
};

inline std::ostream& operator<<(std::ostream& out, const Hit& hit)
{
    return out << "{" << hit.sample << ", " << hit.status << ", " << hit.note << ", " << hit.velocity << "}";
}

// The transport of a DAW playing 4/4 at a steady tempo: position in beats, time in samples.
class SongPlayHead : public juce::AudioPlayHead
{
public:
    SongPlayHead(double sampleRate, double bpm) : rate(sampleRate), tempo(bpm)
    {
    }

    void playFrom(juce::int64 sample)
    {
        now = sample;
        playing = true;
    }

    void stop()
    {
        playing = false;
    }

    void advance(int samples)
    {
        if (playing)
            now += samples;
    }

    juce::int64 position() const
    {
        return now;
    }

    juce::Optional<PositionInfo> getPosition() const override
    {
        PositionInfo info;
        info.setIsPlaying(playing);
        info.setBpm(tempo);
        info.setTimeSignature(TimeSignature{4, 4});
        info.setTimeInSamples(now);
        info.setTimeInSeconds(static_cast<double>(now) / rate);
        info.setPpqPosition(static_cast<double>(now) * tempo / (60.0 * rate));
        info.setBarCount(static_cast<juce::int64>(static_cast<double>(now) * tempo / (60.0 * rate * 4)));
        return info;
    }

private:
    double rate;
    double tempo;
    juce::int64 now = 0;
    bool playing = false;
};

// A loaded instance of the plug-in and the buffers a host keeps for it.
class HostedPlugin
{
public:
    HostedPlugin(Format format, double sampleRate, int blockSize);
    ~HostedPlugin();

    bool isLoaded() const;

    juce::AudioPluginInstance& get()
    {
        return *instance;
    }

    // Runs the transport from where it stands up to `until` in blocks of `blockSize`, with
    // these MIDI events (timeline sample, message) as the track's input; returns what the
    // plug-in sent. Checks on the way that the audio passed through unchanged.
    std::vector<Hit> play(juce::int64 until,
                          const std::vector<std::pair<juce::int64, juce::MidiMessage>>& input = {});

    // Processes one block at the transport's place; returns the plug-in's MIDI.
    const juce::MidiBuffer& processBlock(int samples, const juce::MidiBuffer& input = {});

    SongPlayHead transport;
    int blockSize;

private:
    std::unique_ptr<juce::AudioPluginInstance> instance;
    juce::AudioBuffer<float> audio;
    juce::MidiBuffer midi;
};

// The drummer's state chunk, written record by record from the format's description: a
// four-character tag and a 32-bit little-endian value each.
class Chunk
{
public:
    Chunk& integer(const char* tag, int value);
    Chunk& real(const char* tag, float value);
    juce::MemoryBlock bytes() const;

private:
    juce::MemoryBlock block;
};

// The settings a chunk carries, at their defaults unless changed.
struct DrummerSettings
{
    float volume = 1.0f;
    float tempo = 120.0f;
    int divisions = 2;
    int autoKick = 0;
    int autoSnare = 0;
    int drumNotes[10] = {38, 36, 42, 46, 51, 49, 50, 45, 43, 41};
    float velocityScales[10] = {1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f};
    int bassFollower = 0;
    float velocitySensitivity = 0.5f;
    float dynamicSensitivity = 0.5f;

    // The 28 records of the plug-in build; the standalone build writes a "DRMK" record (its
    // sound choice) after "ASNA" as well.
    juce::MemoryBlock chunk(bool asTheStandaloneBuildWritesIt = false) const;
};

// Host state blobs (what a DAW saves in its project) around a drummer chunk, and back. The
// blob of each format wraps the chunk in its own way; `model` is a blob the plug-in wrote.
juce::MemoryBlock hostStateWithChunk(Format format, const juce::MemoryBlock& model,
                                     const juce::MemoryBlock& chunk);
juce::MemoryBlock chunkInHostState(Format format, const juce::MemoryBlock& hostState);
