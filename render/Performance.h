#pragma once

#include "TakeMidiFile.h"
#include "TempoMap.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <string>
#include <vector>

// A keyboard performance: the player's channel messages at their beats (quarter notes from
// time zero), note-ons matched to their note-offs, and the tempos that its source states.
struct Performance
{
    std::string name;                      // names the output files
    juce::MidiMessageSequence events;      // time order; timestamps in beats
    std::vector<TempoChange> tempoChanges; // in beat order, as stated (any value); empty: none
    // A take that the standalone application kept: the settings it was played with, and
    // its end (beats). Its drum track is not read: the drummer answers the player anew. A
    // take on the drummer's own clock is read at the drummer's exact tempo, each event on
    // the sample it was kept at.
    std::optional<TakeSettings> take;
    std::optional<double> endBeat;

    int countNoteOns() const;
    double lastNoteOnBeat() const; // 0 when there is none
    // The tempo at time zero: the source's (a MIDI file plays at 120 until its first tempo).
    double tempoAtStart() const;
};

// Reads every track and every channel of a Standard MIDI File (but the drum track of a
// take, the track named TakeSettings::drumTrackName). Throws RenderError with a
// one-line message when the file is missing, unreadable, not a MIDI file or holds no
// note-on.
Performance readPerformanceFile(const std::string& path);
// The same from a stream; `name` names it in messages (the performance is left unnamed).
Performance readPerformance(juce::InputStream& stream, const std::string& name);
