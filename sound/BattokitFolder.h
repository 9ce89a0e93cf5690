#pragma once

#include <juce_core/juce_core.h>

// A user kit folder, a "battokit": for every voice v (0..9, in Percu order) and velocity layer
// n (0..15) one WAV file "sample<v>_<n>.wav", layer n holding the voice struck at velocity
// 8n + 7. Other files in the folder are ignored.
namespace BattokitFolder
{
constexpr int voiceCount = 10;
constexpr int layerCount = 16;

// "sample<voice>_<layer>.wav"
juce::String fileName(int voice, int layer);
juce::File fileFor(const juce::File& folder, int voice, int layer);

// The velocity that layer n was recorded at: 8n + 7.
int recordedVelocity(int layer);

// True when `folder` exists and holds at least one kit file.
bool holdsKitFiles(const juce::File& folder);

// True when `folder` holds kit files only (or nothing): it may be replaced by a new recording
// without losing anything else of the user's.
bool holdsOnlyKitFiles(const juce::File& folder);
} // namespace BattokitFolder
