#pragma once

#include "Performance.h"
#include "Timeline.h"

#include <vector>

constexpr int midiTicksPerBeat = 960;
// Drum hits have no length; DAWs hide notes without a note-off, so each gets one this
// many ticks later (a sixteenth of a beat), or just before the next hit of its note.
constexpr int drumNoteTicks = midiTicksPerBeat / 16;

// The type-1 file: a conductor track (tempo, 4/4), the player's part as it was played,
// and the drum part on channel 10. Returns false when the file cannot be written.
bool writeRenderMidiFile(const juce::File& file, const Performance& performance,
                         const std::vector<DrumHit>& hits, const Timeline& timeline);

// The drum part as a track: every note-on with velocity above 0 and its note-off.
juce::MidiMessageSequence drumTrack(const std::vector<DrumHit>& hits, const Timeline& timeline);
