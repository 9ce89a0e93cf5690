#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <optional>
#include <string>

// A keyboard performance: the player's channel messages with their times in seconds
// from time zero, note-ons matched to their note-offs.
struct Performance
{
    std::string name;                 // names the output files
    juce::MidiMessageSequence events; // time order; timestamps in seconds
    std::optional<double> firstTempo; // beats per minute, when the source states one

    int countNoteOns() const;
    double lastNoteOnSeconds() const; // 0 when there is none
};

// Reads every track and every channel of a Standard MIDI File. Throws RenderError with a
// one-line message when the file is missing, unreadable, not a MIDI file or holds no
// note-on.
Performance readPerformanceFile(const std::string& path);
