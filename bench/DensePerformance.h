#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <vector>

// Four minutes of a busy player at 120 bpm, cut into blocks: a note on every sixteenth with
// shifting velocities, chords on the beats, accents, and runs of thirty-second notes every
// fourth bar; note-offs and pedal messages as a keyboard sends them.
std::vector<juce::MidiBuffer> densePerformance(double sampleRate, int blockSize);
