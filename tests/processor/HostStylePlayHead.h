#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <cmath>

// The transport of a real host as a plug-in sees it: a time in samples that runs on with
// the blocks, a tempo, 4/4, and a position in beats that the host gives exactly, rounded to
// 1/1920 of a beat (one host's VST3 transport), or not at all (the same host's LV2
// transport through the framework's wrapper), on every block or only when something
// changed.
class HostStylePlayHead : public juce::AudioPlayHead
{
public:
    enum class Beats
    {
        exact,
        rounded,
        none
    };

    HostStylePlayHead(double sampleRate, double bpm, Beats beats, bool reportsEveryBlock = true)
        : rate(sampleRate), tempo(bpm), style(beats), everyBlock(reportsEveryBlock)
    {
    }

    // Plays from this timeline sample on (a start, a locate, a loop's wrap); the position in
    // beats follows from a steady tempo since sample 0.
    void playFrom(juce::int64 sample)
    {
        timeInSamples = sample;
        beats = static_cast<double>(sample) * tempo / (60.0 * rate);
        playing = true;
        changed = true;
    }

    // The tempo from now on; the position in beats runs on from where it stands.
    void setBpm(double bpm)
    {
        tempo = bpm;
        changed = true;
    }

    void stop()
    {
        playing = false;
        changed = true;
    }

    // The block that just ran.
    void advance(int samples)
    {
        if (!playing)
            return;
        timeInSamples += samples;
        beats += samples * tempo / (60.0 * rate);
    }

    juce::Optional<PositionInfo> getPosition() const override
    {
        if (!everyBlock && !changed)
            return {};
        changed = false;
        PositionInfo position;
        position.setIsPlaying(playing);
        position.setBpm(tempo);
        position.setTimeSignature(TimeSignature{4, 4});
        position.setTimeInSamples(timeInSamples);
        if (style == Beats::exact)
            position.setPpqPosition(beats);
        if (style == Beats::rounded)
            position.setPpqPosition(std::round(beats * 1920.0) / 1920.0);
        return position;
    }

    juce::int64 now() const
    {
        return timeInSamples;
    }

private:
    double rate;
    double tempo;
    Beats style;
    bool everyBlock;
    juce::int64 timeInSamples = 0;
    double beats = 0.0;
    bool playing = false;
    mutable bool changed = true;
};
