#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <cmath>
#include <vector>

// The transport of a real host as a plug-in sees it: a time in samples that runs on with
// the blocks, a tempo map, 4/4, and a position in beats that the host gives exactly, rounded
// to 1/1920 of a beat (one host's VST3 transport), or not at all (the same host's LV2
// transport through the framework's wrapper, which gives the bar count instead), on every
// block or only when something changed.
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
        : rate(sampleRate), style(beats), everyBlock(reportsEveryBlock)
    {
        tempoMap.push_back({0, 0.0, bpm});
    }

    // Plays from this timeline sample on (a start, a locate, a loop's wrap); the position in
    // beats follows from the tempo map.
    void playFrom(juce::int64 sample)
    {
        timeInSamples = sample;
        playing = true;
        changed = true;
    }

    // The tempo map's tempo from this sample on; the beats before it stay where they are.
    void changeTempoAt(juce::int64 sample, double bpm)
    {
        const double beats = beatsAt(static_cast<double>(sample));
        while (tempoMap.size() > 1 && tempoMap.back().sample >= sample)
            tempoMap.pop_back();
        tempoMap.push_back({sample, beats, bpm});
        changed = true;
    }

    // The tempo from now on; the position in beats runs on from where it stands.
    void setBpm(double bpm)
    {
        changeTempoAt(timeInSamples, bpm);
    }

    void stop()
    {
        playing = false;
        changed = true;
    }

    // The block that just ran.
    void advance(int samples)
    {
        if (playing)
            timeInSamples += samples;
    }

    juce::Optional<PositionInfo> getPosition() const override
    {
        if (!everyBlock && !changed)
            return {};
        changed = false;
        const double beats = beatsAt(static_cast<double>(timeInSamples));
        PositionInfo position;
        position.setIsPlaying(playing);
        position.setBpm(segmentAt(static_cast<double>(timeInSamples)).bpm);
        position.setTimeSignature(TimeSignature{4, 4});
        position.setTimeInSamples(timeInSamples);
        if (style == Beats::exact)
            position.setPpqPosition(beats);
        if (style == Beats::rounded)
            position.setPpqPosition(std::round(beats * 1920.0) / 1920.0);
        if (style == Beats::none)
            position.setBarCount(static_cast<juce::int64>(std::floor(beats / 4)));
        return position;
    }

    juce::int64 now() const
    {
        return timeInSamples;
    }

    // Where a position in beats lies on the timeline, between two samples as a rule.
    double sampleOfBeat(double beats) const
    {
        auto segment = tempoMap.front();
        for (const auto& later : tempoMap)
            if (later.beats <= beats)
                segment = later;
        return static_cast<double>(segment.sample) + (beats - segment.beats) * 60.0 * rate / segment.bpm;
    }

private:
    struct Segment
    {
        juce::int64 sample; // the segment starts here
        double beats;       // at this position
        double bpm;
    };

    const Segment& segmentAt(double sample) const
    {
        const Segment* segment = &tempoMap.front();
        for (const auto& later : tempoMap)
            if (static_cast<double>(later.sample) <= sample)
                segment = &later;
        return *segment;
    }

    double beatsAt(double sample) const
    {
        const auto& segment = segmentAt(sample);
        return segment.beats + (sample - static_cast<double>(segment.sample)) * segment.bpm / (60.0 * rate);
    }

    double rate;
    Beats style;
    bool everyBlock;
    std::vector<Segment> tempoMap;
    juce::int64 timeInSamples = 0;
    bool playing = false;
    mutable bool changed = true;
};
