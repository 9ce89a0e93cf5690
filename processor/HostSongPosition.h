#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <array>

// The host's song position, in quarter notes, at the first sample of each block: what the
// drummer stands on while it follows a host's transport.
//
// Hosts differ in what they report. Some give an exact position on every block; some give
// it only when something changes; some round it (to 1/1920 of a beat); some give a tempo
// and a time in samples but no position in beats at all. A time in samples and a tempo are
// exact where they are given, so on a steady tempo the position is taken from them: the
// position where the transport started or jumped, plus the samples played since at the
// tempo. A position the host gives wins whenever it disagrees by more than rounding (a
// tempo map, a ramp, a host that moved on its own).
//
// Audio thread only, one call per block in block order.
class HostSongPosition
{
public:
    // What the host said about the block that starts now.
    struct Report
    {
        bool isPlaying = false;
        double bpm = 120.0;
        juce::Optional<double> ppq;
        juce::Optional<juce::int64> timeInSamples;
        juce::Optional<juce::int64> bar; // the bar count (0 is the first bar), from hosts that give no beats
    };

    // Two positions closer than this are one: a host's rounding to 1/1920 of a beat stays
    // well inside it, while a tempo change between reports leaves it at once.
    static constexpr double samePositionInBeats = 1.0 / 1920;
    // A time in samples further than this from where the transport should stand means the
    // host moved it (a locate, a loop); a sample or two is a host's rounding.
    static constexpr double jumpInSeconds = 0.001;

    // The position at the start of a block the host reported on (the host's own ppq while
    // the transport is stopped, 0 if it gives none).
    double atBlockStart(const Report& report, double sampleRate);
    // The report for a block the host said nothing about: the transport goes on as it was.
    Report continuation() const;
    // True when the last position came from a transport that jumped (its time in samples
    // did not follow on from the previous block).
    bool jumped() const;
    // Counts the block that just ran (its number of samples).
    void blockEnded(int numSamples);
    // Forgets the transport (a new preparation, a host that stopped answering): until the
    // host reports again, it does not play. What was seen of its tempo map stays while the
    // sample rate does.
    void forget();

private:
    // A point of the host's tempo map: from this time in samples on, the tempo is bpm, and
    // the position there is ppq.
    struct TempoPoint
    {
        juce::int64 time = 0;
        double ppq = 0.0;
        double bpm = 120.0;
    };
    static constexpr int maxTempoPoints = 64;

    double predicted(double sampleRate) const;
    void anchorAt(double ppq, const Report& report, double sampleRate);
    double placedWithoutBeats(const Report& report, double fromSamples, double sampleRate) const;
    juce::Optional<double> fromTempoMapSeen(juce::int64 time, double bpm, double sampleRate) const;
    void learnTempoPoint(const TempoPoint& point, double sampleRate);

    bool anchored = false; // the previous block played and the anchor describes it
    double anchorPpq = 0.0;
    double anchorBpm = 120.0;
    juce::int64 samplesSinceAnchor = 0;
    juce::Optional<juce::int64> anchorTime; // the host's time in samples at the anchor
    bool lastWasJump = false;
    Report lastReport;
    // What a host that gives no beats has shown of its tempo map while it played (starts,
    // jumps and tempo changes), in time order: after a tempo change, samples times the tempo
    // no longer give the position, but the point where the tempo began does.
    std::array<TempoPoint, maxTempoPoints> tempoMapSeen{};
    int tempoPointsSeen = 0;
    double tempoMapRate = 0.0; // the sample rate of its times
};
