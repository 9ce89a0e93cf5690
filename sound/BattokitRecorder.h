#pragma once

#include <juce_audio_formats/juce_audio_formats.h>
#include <juce_audio_processors/juce_audio_processors.h>

#include <functional>

class ExternalPluginOwner;

// Records a user kit folder from an instrument plug-in: every voice struck at the sixteen
// layer velocities (7, 15, ... 127), each answer recorded until the plug-in falls silent (at
// most about five seconds) and written as "sample<v>_<n>.wav" (24-bit stereo).
//
// The kit is recorded into a hidden folder beside the target and put in place only when all
// 160 files are written; a cancelled or failed recording leaves the target as it was. Only a
// new name or a folder that holds nothing but kit files is replaced, so choosing an existing
// folder of other files in the save dialog can never delete it.
class BattokitRecorder
{
public:
    static constexpr int voiceCount = 10;
    static constexpr int layerCount = 16;
    static constexpr double longestLayerSeconds = 5.0;

    // Called before each layer with the voice and layer about to be recorded; answering false
    // cancels the recording.
    using Progress = std::function<bool(int voice, int layer)>;

    // Checks that `target` may receive a new kit: it does not exist yet, or it is a folder of
    // kit files only. Otherwise the result names the reason.
    static juce::Result checkTarget(const juce::File& target);

    // Records the kit. The caller must have the plug-in to itself, prepared at sampleRate and
    // blockSize (see ExternalPluginOwner::runWithExternalPluginAlone).
    static juce::Result record(juce::AudioPluginInstance& plugin, double sampleRate, int blockSize,
                               const int (&drumNotes)[voiceCount], const juce::File& target,
                               const Progress& progress = {});

    // One layer: a note-on 0x99 note velocity at the first sample of a first block, then empty
    // blocks; each block is appended until the recording is longer than five seconds or the
    // newest block starts with exact zeros on both recorded channels (that block is left out).
    // The recording is stereo: plug-in channels 0 and (1 mod count).
    static void recordLayer(juce::AudioPluginInstance& plugin, int note, int velocity, double sampleRate,
                            int blockSize, juce::AudioBuffer<float>& recording);

    // The menu's recording: the plug-in of `owner` to itself for the duration (no audio block
    // drives it meanwhile), in a window that shows the voice and layer and can cancel.
    // Message thread; modal.
    static juce::Result recordWithProgressWindow(ExternalPluginOwner& owner, const int (&drumNotes)[voiceCount],
                                                 const juce::File& target);
};
