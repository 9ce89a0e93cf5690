#pragma once

#include <cstddef>
#include <vector>

// A tempo from a beat on (beats are quarter notes from time zero).
struct TempoChange
{
    double beat;
    double bpm;
};

// Where beats fall in time when the tempo changes along the way, as a sequencer's transport
// plays them: each tempo holds from its beat to the next change. Every tempo is finite and
// above 0 (the reader of a file checks its tempos before a map is made of them).
class TempoMap
{
public:
    static constexpr double defaultTempo = 120.0;

    explicit TempoMap(double bpm = defaultTempo);
    // Changes in beat order. Before the first one the tempo is the default, as in a MIDI
    // file; a later change at the same beat replaces the earlier one.
    explicit TempoMap(const std::vector<TempoChange>& changes);

    double secondsAt(double beat) const;
    double beatsAt(double seconds) const;
    double tempoAtBeat(double beat) const;
    double tempoAtSeconds(double seconds) const;

    bool isConstant() const;
    double slowest() const;
    double fastest() const;
    const std::vector<TempoChange>& changes() const
    {
        return tempos;
    }

private:
    // The segment in force at a beat or a time: the last one that starts at or before it.
    size_t segmentAtBeat(double beat) const;
    size_t segmentAtSeconds(double seconds) const;

    std::vector<TempoChange> tempos;  // starts at beat 0
    std::vector<double> startSeconds; // when each tempo starts
};
