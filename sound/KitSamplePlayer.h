#pragma once

#include "Batto.h"
#include "ResidentMemory.h"

#include <juce_audio_basics/juce_audio_basics.h>

// The kit sample player of the standalone build: one decoded sound per voice and velocity
// layer, the velocity tables, and the mixing of the sounding voices into an audio block.
// The internal kit fills layer 0 of each voice from the embedded sounds; a user kit
// folder fills up to sixteen layers.
//
// Threads. The sounds and tables are written by whoever loads a kit (prepareToPlay, or the
// message thread while processing is suspended) and read by the audio thread inside
// processBlock only. mixVoices neither allocates nor locks.
//
// A loaded kit is made ready for the audio thread before any block reads it: its sounds are
// kept in memory (locked where the system allows it, else touched page by page; see
// ResidentMemory), and every voice is mixed once, at every layer, into a scratch block that
// nobody hears, so that neither the first hit of a voice nor the first block pays for
// memory or code met for the first time.
class KitSamplePlayer
{
public:
    static constexpr int voiceCount = Batto::numVoices;
    static constexpr int maximumLayers = 16;
    static constexpr int velocities = 128;

    KitSamplePlayer();

    // Velocity tables of the internal kit: one layer, gain v / 127.
    void setInternalKitVelocityTables();
    // Decodes the embedded sound of a voice into its layer 0 at sampleRate (resampled when
    // the rate differs from the file's 44 100 Hz). Returns false if it could not be decoded.
    bool fillBufferToPlayInternalDrumKit(double sampleRate, Batto::Percu voice);
    // The whole internal kit: tables, then layer 0 of every voice. Other layers keep what
    // they held.
    void fillInternalKit(double sampleRate);

    // What loading a user kit folder found.
    struct BattokitLoad
    {
        int filesLoaded = 0;     // of the 160
        int layersBorrowed = 0;  // missing or unreadable layers that sound a neighbouring layer
        int silentVoices = 0;    // voices without a single readable file
    };
    // Velocity tables of a user kit: velocity v plays layer v / 8 at gain v / (8n + 7).
    void setBattokitVelocityTables();
    // Decodes "sample<voice>_<layer>.wav" of `folder` into that layer at sampleRate. Returns
    // false (the layer is left as it was) when the file is missing or not readable WAV.
    bool fillBufferToPlayBattoKit(double sampleRate, const juce::File& folder, Batto::Percu voice, int layer);
    // The whole user kit: 16 layers of every voice. A layer whose file is missing or not
    // readable sounds the nearest readable layer of the same voice (the louder one of two
    // equally near); a voice with none stays silent. Never fails: the kit is always whole.
    BattokitLoad fillBattokit(double sampleRate, const juce::File& folder);

    // Takes the other player's sounds and velocity tables (and gives it these): a kit is
    // decoded aside and swapped in at once. Allocates nothing.
    void takeSoundsFrom(KitSamplePlayer& other);

    // The bytes of sound kept locked in memory and those only touched (see ResidentMemory).
    size_t lockedSoundBytes() const;
    size_t touchedSoundBytes() const;

    // A new hit at cutSample of the current block cuts the voice's sound (velocity,
    // position as they stood before the hit): the cut sound still plays up to that sample.
    // Without this, the cut sound would fall silent at the start of the block, and a hit
    // followed by another on the same voice within one block would never sound at all.
    // Called by the processor's outputJouer (audio thread) before it stores the new hit.
    void rememberCut(int voice, int velocity, int position, int cutSample);
    // Drops the cuts of this block (a block that mixes nothing, such as a stopped block).
    void forgetCuts();

    // Adds every sounding voice to channels 0 and 1 of the block's first numSamples
    // samples, then forgets the block's cuts. voicePosition[v] is the frame of voice v's
    // sound that falls on sample 0 (negative while the hit lies ahead in the block);
    // voiceVelocity[v] is its hit's velocity, 0 when idle. A voice whose sound ends within
    // the block becomes idle (both set to 0). Each voice adds its velocity gain times
    // volume; on a one-channel output both sound channels go to channel 0, and a
    // one-channel sound feeds both outputs.
    void mixVoices(juce::AudioBuffer<float>& block, int numSamples, int (&voiceVelocity)[voiceCount],
                   int (&voicePosition)[voiceCount], double volume);

    // The embedded resource name of a voice's sound ("Snare_wav", "Kick_wav", ...).
    static const char* internalKitResourceName(Batto::Percu voice);

    juce::AudioBuffer<float> kitBuffers[voiceCount][maximumLayers]; // [voice][layer]; empty until loaded
    int kitLayerCount = 1;
    int velocityToLayer[velocities];
    float velocityToGain[velocities];

    // More hits than this on the kit within one block (far beyond what the engine plays)
    // cut their predecessors at the start of the block.
    static constexpr int maximumCutsPerBlock = 64;

private:
    struct Cut
    {
        int voice;
        int velocity;
        int position;
        int endSample;
    };

    const juce::AudioBuffer<float>& soundFor(int voice, int velocity) const;
    double gainFor(int velocity, double volume) const;
    bool decodeInternalSound(double sampleRate, Batto::Percu voice);
    bool decodeBattokitSound(double sampleRate, const juce::File& folder, Batto::Percu voice, int layer);
    // After a kit (or one of its sounds) was decoded: its sounds kept in memory, its voices warmed.
    void makeReadyForTheAudioThread();
    void keepSoundsResident();
    void warmVoices();

    // Declared after the sounds, so it lets go of them before they are freed.
    ResidentMemory residentSounds;

    // Audio thread only: written by rememberCut, read and cleared by mixVoices.
    Cut cuts[maximumCutsPerBlock];
    int cutCount = 0;
};
