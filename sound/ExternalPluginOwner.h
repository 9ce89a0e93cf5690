#pragma once

#include "ReservedMidiBuffer.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <atomic>
#include <functional>
#include <memory>

class ExternalPluginWindowOwner;

// The standalone drummer's side of the instrument plug-in it can play through: it owns the
// hosted plug-in, feeds it each block's drum note-ons, puts its audio out in place of the
// kit, and keeps its state between runs. A base of the standalone BattoAudioProcessor, which
// answers the two questions below.
//
// Threads. Loading, state, window and preparation run on the message thread; rendering runs
// on the audio thread. The plug-in is swapped in while the host processor is suspended (a
// host's player runs no block then), so a block never sees a plug-in half installed, and it
// is prepared before it becomes visible to the audio thread.
class ExternalPluginOwner
{
public:
    // The rate and block size a plug-in is created with before the device prepares it.
    static constexpr double creationSampleRate = 48000.0;
    static constexpr int creationBlockSize = 64;

    explicit ExternalPluginOwner(juce::AudioProcessor& hostProcessor);
    virtual ~ExternalPluginOwner();

    // The window side of the plug-in (its chooser and its window); null when there is none.
    virtual ExternalPluginWindowOwner* GetExternalPluginWindowOwner() = 0;
    // The user chose the external plug-in as the drums' sound.
    virtual bool IsExternalPluginSelected() const = 0;

    //==============================================================================
    // Message thread.

    // Creates the plug-in that `identifier` names (ExternalPluginLoader) and puts it in place
    // of the present one, which is deleted. When it is the plug-in whose state the state file
    // keeps (the one named at start), that state is handed to it first. On failure the
    // present plug-in stays and the result names the identifier and the reason.
    juce::Result loadExternalPlugin(const juce::String& identifier);

    // At start: remembers the saved identifier and the state file that belongs to it, and if
    // `load` (the external plug-in is the chosen sound) creates the plug-in with that state.
    // A plug-in that cannot be loaded leaves the drummer silent; the result says why.
    juce::Result restoreExternalPlugin(const juce::String& savedIdentifier, const juce::File& stateFile, bool load);

    // At exit: writes the loaded plug-in's state to the state file (through a temporary file,
    // see ExternalPluginStateFile) and returns the identifier to save. With no plug-in loaded
    // the file is left alone and the identifier read at start is returned, so a plug-in that
    // was not chosen this time, or could not be found, is not forgotten.
    juce::String saveExternalPluginState(const juce::File& stateFile, juce::Result* writeResult = nullptr);

    virtual bool hasExternalPlugin() const;
    // True while a loaded instrument still loads its samples (an LV2 instrument's warm-up):
    // it plays nothing yet. The warm-up runs in short steps on the message thread, which it
    // never holds for long.
    bool isExternalPluginLoading() const;
    juce::AudioPluginInstance* getExternalPlugin() const;
    // The identifier the loaded plug-in was created from; empty when none is loaded.
    const juce::String& getExternalPluginPath() const;

    // Runs `work` with the plug-in to itself: processing is suspended meanwhile, so no audio
    // block drives it at the same time, and no preparation either. The rate and block size are
    // those it was prepared with. Returns false (not running `work`) when no plug-in is loaded.
    bool runWithExternalPluginAlone(
        const std::function<void(juce::AudioPluginInstance& plugin, double sampleRate, int blockSize)>& work);

    // Drives the plug-in alone until it sounds: a probe note-on, repeated (with short pauses)
    // while the plug-in still loads its own samples in the background, then silence until it
    // has rung out. False when it stays silent for `timeoutMs`. For offline renders and tests.
    bool waitUntilExternalPluginSounds(int probeNote, int timeoutMs);
    // The same for a plug-in that is not owned here (prepared, and to the caller alone).
    static bool driveUntilSounding(juce::AudioPluginInstance& plugin, double sampleRate, int blockSize,
                                   int probeNote, int timeoutMs);

    // Closes the plug-in's window and deletes the plug-in (the processor's destructor calls it
    // while the processor can still answer GetExternalPluginWindowOwner).
    void deleteExternalPlugin();

protected:
    // The host processor's prepareToPlay and releaseResources.
    void prepareExternalPlugin(double sampleRate, int maximumBlockSize);
    void releaseExternalPlugin();

    // Audio thread, step 13 of the block: the plug-in renders the block from `midi` (the
    // block's drum note-ons); `gain` scales it; its channels replace the first channels of
    // `buffer`. Allocates nothing once prepared.
    void renderExternalPlugin(juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi, float gain);

    // The plug-in's own processing of one block (what it does inside is its own affair; a test
    // watching the block loop tells it apart from the drummer's work here).
    virtual void runPluginBlock(juce::AudioPluginInstance& plugin, juce::AudioBuffer<float>& buffer,
                                juce::MidiBuffer& midi);

private:
    class WarmUp;
    class WarmUpSteps;
    static constexpr int warmUpStepMs = 20;

    void install(std::unique_ptr<juce::AudioPluginInstance> plugin, const juce::String& identifier);
    void closeExternalPluginWindow();
    // Prepares a plug-in and runs its first block; true when it needs a warm-up.
    bool prepareInstance(juce::AudioPluginInstance& plugin, juce::AudioBuffer<float>& renderBuffer) const;
    // The warm-up of the installed plug-in: started while no block can reach it, stepped by
    // the message thread's timer, finished at once before the plug-in is deleted, replaced,
    // re-prepared or released.
    void startWarmUpIfNeeded(bool needed);
    void continueWarmUp();
    void finishWarmUp();
    void endWarmUp();
    void renderChunk(juce::AudioPluginInstance& plugin, juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi,
                     int startSample, int numSamples, float gain);

    juce::AudioProcessor& host;

    // Written on the message thread while processing is suspended; read by the audio thread.
    std::unique_ptr<juce::AudioPluginInstance> externalPlugin;
    juce::AudioBuffer<float> externalBuffer; // the plug-in renders into it, reused every block
    int pluginChannels = 0;                  // channels of externalBuffer: the plug-in's inputs and outputs
    int pluginOutputs = 0;
    ReservedMidiBuffer chunkMidi; // MIDI of one part of a block longer than the plug-in was prepared for

    // Message thread.
    juce::String externalPluginPath;
    juce::String savedIdentifier; // the identifier whose state the state file keeps
    juce::File stateFile;

    // Set by prepareToPlay, cleared by releaseResources (both under lifecycleLock).
    bool prepared = false;
    double preparedRate = creationSampleRate;
    int preparedBlockSize = creationBlockSize;
    // Serialises preparation, release, swapping and the warm-up's steps; never taken by the
    // audio thread.
    juce::CriticalSection lifecycleLock;
    std::unique_ptr<WarmUp> warmUp; // message thread, under lifecycleLock; null when none runs
    std::unique_ptr<WarmUpSteps> warmUpSteps;
    // Written by the message thread while no block can reach the plug-in (false) or when
    // its warm-up ends (true); read by the audio thread, which plays the plug-in only then.
    std::atomic<bool> pluginReady{true};

    JUCE_DECLARE_NON_COPYABLE(ExternalPluginOwner)
};
