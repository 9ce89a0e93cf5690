#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <vector>

// A busy player: a note on every sixteenth with shifting velocities, chords on the beats,
// accents, and runs of thirty-second notes every fourth bar; note-offs and pedal messages as a
// keyboard sends them.

// Four minutes of it at 120 bpm, cut into blocks.
std::vector<juce::MidiBuffer> densePerformance(double sampleRate, int blockSize);

// A message of the player at its sample from time zero.
struct TimedMessage
{
    juce::int64 sample;
    juce::MidiMessage message;
};

// `bars` bars of it at `bpm`, in time order: the dense performance that the audio path's worst
// block is measured on (120 bars at 160 bpm).
std::vector<TimedMessage> denseSixteenths(double sampleRate, double bpm, int bars);
