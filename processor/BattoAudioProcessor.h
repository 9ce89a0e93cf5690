#pragma once

#include "Batto.h"
#include "DisplayCodeFifo.h"
#include "GravaAudioProcessor.h"
#include "HostSongPosition.h"
#include "LockFreeQueue.h"
#include "MidiClockSender.h"
#include "MidiOutputHandOver.h"
#include "ReservedMidiBuffer.h"
#include "SyncSource.h"

#if BATTO_PLUGIN_BUILD
#include "AudioProcessorWITHOUTMidiInFilter.h"
using BattoMidiInFilterBase = AudioProcessorWITHOUTMidiInFilter;
#else
#include "AudioProcessorWITHMidiInFilter.h"
#include "ExternalPluginOwner.h"
#include "ExternalPluginWindowOwner.h"
#include "KitSamplePlayer.h"
#include "MidiClockFollower.h"
using BattoMidiInFilterBase = AudioProcessorWITHMidiInFilter;
#endif

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class TakeRecorder;

// The drummer's audio processor: the engine's host in every audio path. It runs the
// engine's clock inside each audio block, hands it the player's note-ons in time order and
// turns every hit into a channel-10 note-on on the exact sample (and, in the standalone
// build, into kit sound and metronome clicks). The plug-in build (BATTO_PLUGIN_BUILD=1)
// has no sound of its own, no metronome and no MIDI-in filter.
//
// Threads. The audio thread runs processBlock and every engine call. The message thread
// changes the settings through the setters below: plain values travel as atomics and are
// picked up at the next block. A setting is the user's choice at once, audio or not; what
// touches the engine (Start, Stop, a subdivision choice, a drum-map preview) is taken up by
// the audio thread at the start of its next block. Engine events reach the editor through
// displayCodes.
class BattoAudioProcessor : public Batto,
                            public BattoMidiInFilterBase
#if !BATTO_PLUGIN_BUILD
    ,
                            public ExternalPluginOwner // the hosted instrument plug-in
#endif
{
public:
    // Sound-output choices; also the item ids of the editor's sound box.
    enum DrumKit
    {
        kitBattokitFolder = -4,
        kitInternal = -3,
        kitExternalPlugin = -2,
        kitMidiOut = -1
    };

    // The settings a processor starts with (the standalone application reads them from its
    // settings file). Values that the engine cannot run with are replaced by the defaults.
    struct Settings
    {
        Settings();

        int divisionDuTemps = 2;
        double tempo = 120.0;
        bool autoKick = !BATTO_PLUGIN_BUILD;
        bool autoSnare = !BATTO_PLUGIN_BUILD;
        int drumKit = kitInternal; // the plug-in build ignores it
        SyncSource syncSource = SyncSource::internal; // the plug-in build ignores it
        bool midiClockOutput = false;                 // the plug-in build ignores it
        double breakParam1 = 0.5;
        double breakParam2 = 0.5;
        bool gravaEnabled = false;
        int drumNotes[numVoices];
        float velocityScales[numVoices];
    };

    // Tempos are accepted within this range. Far enough beyond it the engine's clock stalls
    // (a half subdivision shorter than a sample never advances) or its 32-bit times
    // overflow; the range keeps every usable sample rate well clear of both.
    static constexpr double lowestTempo = 1.0;
    static constexpr double highestTempo = 1000.0;
    // Sample rates the engine's arithmetic stays sound with (at least one sample per ms).
    static constexpr double lowestSampleRate = 1000.0;
    static constexpr double highestSampleRate = 10000000.0;

    static bool isUsableTempo(double bpm);
    static bool isUsableDivisionDuTemps(int divisions);

    explicit BattoAudioProcessor(const Settings& settings = Settings());
    ~BattoAudioProcessor() override;

    //==============================================================================
    // juce::AudioProcessor
    const juce::String getName() const override;
    void prepareToPlay(double sampleRate, int maximumExpectedSamplesPerBlock) override;
    void releaseResources() override;
    void processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midiMessages) override;
    using juce::AudioProcessor::processBlock;

    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override;
    bool acceptsMidi() const override;
    bool producesMidi() const override;
    bool silenceInProducesSilenceOut() const override;
    double getTailLengthSeconds() const override;
    int getNumPrograms() override;
    int getCurrentProgram() override;
    void setCurrentProgram(int index) override;
    const juce::String getProgramName(int index) override;
    void changeProgramName(int index, const juce::String& newName) override;

    // The settings as a block of tagged records, and back (any thread the host likes).
    void getStateInformation(juce::MemoryBlock& destData) override;
    void setStateInformation(const void* data, int sizeInBytes) override;

    //==============================================================================
    // The engine's host interface (audio thread).
    int GetStartLatencyCompensation() override;
    void outputJouer(Percu voice, int velocity) override;
    void incrementeInstantRythmique(instantRythmique* instant) override;
    int getWaitForTheTimeToUpdateProgressionBarDisplay() override;
    int* getDivisionDuTemps() override;
    double* getTempo() override;
    bool* getAutoKick() override;
    bool* getAutoSnare() override;
    double GetBreakParam1() override; // also safe on any other thread
    double GetBreakParam2() override; // also safe on any other thread
    int getOneOrSampleRatePerMs() override;
    void updateProgressionBarDisplay() override;
    void displayProgressionBar(int position, int divisions) override;
    void displayBreakCreshendo(int subdivisionsToBarLine) override;
    void displayMidiIn(int code) override;
    void displayCrashRoulement() override;
    void displaySpecialevent(int kind) override;
    void setDivisionDuTempsAfterwaitingForATemps(int divisions) override;
#if !BATTO_PLUGIN_BUILD
    void JouerMetronome(bool accent) override;
#endif

    //==============================================================================
    // User actions (message thread). A value the engine cannot run with is ignored and
    // the setting keeps its previous value.
    void start();
    void stop();
    void chooseDivisionDuTemps(int divisions); // 1, 2 or 4: at once when stopped, else on the next beat
    void setTempo(double bpm);
    void setVolume(double gain); // the editor passes its slider value squared, 0..1
    void setAutoKick(bool on);
    void setAutoSnare(bool on);
    void setBreakParam1(double sensitivity); // the slider gives 0..1
    void setBreakParam2(double sensitivity); // the slider gives 0..1
    void setGravaEnabled(bool on);
    void setDrumNote(int voice, int note);
    void setVelocityScale(int voice, float scale);
    // Sounds a voice at the start of the next block (drum-map preview); mirrored to the
    // standalone MIDI thread's engine. Velocities are limited to 0..127.
    void previewVoice(Percu voice, int velocity);

    // Readable on any thread.
    bool isRunning() const;
    bool isHostSynced() const;
    // True while an external clock, not the Start button, starts the drummer (the standalone's
    // sync source is not "Internal"); a host's transport always may, so the plug-in says false.
    bool waitsForExternalClock() const;
    double getTempoSetting() const;
    int getDivisionDuTempsSetting() const;
    double getVolume() const;
    bool isAutoKickOn() const;
    bool isAutoSnareOn() const;
    bool isGravaEnabled() const;
    int getDrumNote(int voice) const;
    float getVelocityScale(int voice) const;

    // Engine events for the editor: it opens the queue while it exists and drains it on
    // the message thread.
    DisplayCodeFifo displayCodes;

    // The room reserved for a block's MIDI output, the rule for every buffer that may take
    // the place of a block's MIDI buffer.
    static size_t midiOutputBytesFor(int samplesPerBlock);

#if !BATTO_PLUGIN_BUILD
    // Standalone only.
    // Decodes the new kit's sounds first, then suspends processing only to swap them in.
    void setDrumKit(int kit);
    int getDrumKit() const;
    bool IsExternalPluginSelected() const override;
    // The plug-in's chooser and window, made on first use.
    ExternalPluginWindowOwner* GetExternalPluginWindowOwner() override;

    // The user kit folder (message thread; prepareToPlay reads it too).
    void setBattokitPath(const juce::File& folder);
    juce::File getBattokitPath() const;
    // Lets the user choose a kit folder ("Load battokit folder..."); true when one was chosen.
    // A modal dialog: on any other thread than the message thread it answers false.
    virtual bool ChooseBattokit();
    // What the last load of the user kit folder found (message thread).
    KitSamplePlayer::BattokitLoad getLastBattokitLoad() const;
    void setClickVolume(double level); // the slider gives 0..1
    double getClickVolume() const;
    // The standalone MIDI thread asks for a click now (its JouerMetronome).
    void requestClickFromMidiThread(bool accent);
    // Decodes the embedded sound of a voice into layer 0 of the kit (prepareToPlay, or the
    // message thread while processing is suspended).
    void fillBufferToPlayInternalDrumKit(double sampleRate, Percu voice);

    // The external instrument plug-in as the editor's sound box sees it (message thread);
    // hasExternalPlugin() comes from ExternalPluginOwner.
    // Lets the user choose an instrument plug-in and loads it; `loaded` runs on the message
    // thread once one has loaded, and not at all when the user cancels or loading fails.
    virtual void chooseExternalPlugin(std::function<void()> loaded);
    // Opens (show) or closes the loaded plug-in's own window; `editToggle` is the editor's
    // "EDIT" toggle, to be switched off (with notification) when the user closes the window.
    virtual void showExternalPluginWindow(juce::Button& editToggle, bool show);

    // What the drummer takes its tempo and bar from (message thread; read by any thread).
    // While it is not SyncSource::internal, Start is ignored: the external clock starts and
    // stops the drummer, with the rules it follows a plug-in host by.
    void setSyncSource(SyncSource source);
    SyncSource getSyncSource() const;
    // The play head that reads JACK's transport inside the JACK cycle (null: none). Set by
    // the application before audio starts; it lives as long as the processor.
    void setJackTransport(juce::AudioPlayHead* transport);
    // Sends MIDI clock (Start, 24 clocks a quarter note, Stop) while the drummer runs on its
    // own tempo (message thread; read by any thread).
    void setMidiClockOutput(bool on);
    bool isMidiClockOutputOn() const;

    // Set by the application before audio starts; used on the message thread only. While
    // the MIDI output is chosen, Start, Stop and subdivision choices reach the engine at
    // once (the audio callback held out), and Start starts the thread, which takes the
    // performance over from this engine; Stop and leaving the MIDI output stop it, and it
    // hands the performance back before it ends.
    juce::Thread* midiThread = nullptr;
    Batto* midiThreadEngine = nullptr;

    // Where the MIDI output's drum notes are decided (message thread): true when the audio
    // device itself carries the MIDI output (JACK), so that this engine plays it in the blocks
    // and each note leaves at its own frame; false when the MIDI thread plays it. A switch
    // hands the performance over between them, so the bar and the beat go on.
    void playMidiOutputInBlocks(bool inBlocks);
    bool playsMidiOutputInBlocks() const; // any thread

    // For the MIDI thread. On its own thread: the subdivision that was waiting for a beat
    // applies on the MIDI thread's engine (the waiting choice is cleared, the display
    // follows). When it hands the performance back (callback lock held): its engine's
    // subdivision count becomes this engine's.
    void applyWaitingSubdivisionFromMidiThread(int divisions);
    void takeSubdivisionBackFromMidiThread(int divisions);
    // The rate the engine's sample times count in (any thread).
    double getEngineSampleRate() const;

    // Every performance is kept as a take: the recorder gets each block's MIDI as it came,
    // the engine's hits and the block's sound (null: no takes). Set before audio starts or
    // with the callback lock held.
    void setTakeRecorder(TakeRecorder* recorder);

    struct PlayingClick
    {
        int position;   // frames already played at the block's start; <= 0: starts at -position
        int clickIndex; // 0 normal, 1 accent
    };
#endif

    // Audio-thread state, to be inspected between blocks.
    const juce::MidiBuffer& getMidiOut() const;
    const GravaAudioProcessor& getGravaProcessor() const;
    const juce::AudioPlayHead::CurrentPositionInfo& getLastPosInfo() const;
    double getHostTempo() const;
#if !BATTO_PLUGIN_BUILD
    int getVoiceVelocity(int voice) const;
    int getVoicePosition(int voice) const;
    const std::vector<PlayingClick>& getPlayingClicks() const;
    const juce::AudioBuffer<float>& getClickBuffer(int clickIndex) const;
    const KitSamplePlayer& getKit() const;

    // The MIDI clock of the last block at its samples, kept apart from the block's MIDI so that
    // neither the instrument plug-in, the takes nor the kit take it for the drum part; the
    // application sends it to JACK's MIDI output (audio thread, between blocks).
    const juce::MidiBuffer& getMidiClockOut() const;
    // A MIDI clock byte for a MIDI output device, with the time it is due at on the
    // high-resolution millisecond counter: the block's sample plus one block, the time the
    // block sounds.
    struct TimedMidiClock
    {
        double milliseconds = 0.0;
        juce::uint8 bytes[3] = {};
        int size = 0;
    };
    // True: the clock goes to a MIDI output device through midiClockForDevice, which the
    // standalone's millisecond thread empties and sends at its times; false: to JACK's MIDI
    // output with the block (message thread; read by the audio thread).
    void sendMidiClockToDevice(bool toDevice);
    bool sendsMidiClockToDevice() const;
    // Written by the audio thread, read by the thread that sends to the device. A clock that
    // finds it full is dropped (nobody reads it: no device).
    LockFreeQueue<TimedMidiClock, 1024> midiClockForDevice;
#endif

protected:
#if !BATTO_PLUGIN_BUILD
    // Makes the plug-in's chooser and window (its dialogs can be replaced where no one can
    // answer them).
    virtual std::unique_ptr<ExternalPluginWindowOwner> createExternalPluginWindowOwner();
    // The high-resolution millisecond counter that MIDI-thread click requests are stamped with.
    virtual double millisecondCounterNow() const;
#endif

private:
    //==============================================================================
    // One event of the block's MIDI as the engine loop takes it.
    struct BlockEvent
    {
        const juce::uint8* data = nullptr;
        int numBytes = 0;
        int position = 0;
    };
    class EngineInput;

    // A drum-map preview waiting for the next block.
    struct PreviewRequest
    {
        int voice = 0;
        int velocity = 0;
    };
    static constexpr int previewCapacity = 256;

    // Start and Stop as the next block takes them. They are a state, not a queue, so they
    // can never be dropped: only the last word counts, except that a Stop followed by a
    // Start still restarts the performance.
    enum TransportRequest
    {
        noTransportRequest,
        startRequest,
        stopRequest,
        stopThenStartRequest
    };

    void applySettings(const Settings& settings);
#if !BATTO_PLUGIN_BUILD
    bool applyUserRequestsWhileMidiThreadPlays();
#endif
    void reserveBuffers(int samplesPerBlock);

    // Steps of processBlock, in order.
    void applyUserRequests();
    void applyDivisionChoice();
    void playPreviews();
    void refreshEngineSettings();
    const juce::MidiBuffer& runBassFollower(juce::AudioBuffer<float>& buffer,
                                            const juce::MidiBuffer& midiMessages);
#if !BATTO_PLUGIN_BUILD
    // The block's MIDI clock bytes go to the clock follower and leave the block (first step).
    void takeMidiClockIn(juce::MidiBuffer& midiMessages, int numSamples);
    // The block's MIDI clock out, written after the engine ran the block.
    void sendMidiClockOut(juce::MidiBuffer& midiMessages, int numSamples);
#endif
    // The play head the drummer follows: the host's, or in the standalone the chosen sync source's.
    juce::AudioPlayHead* syncPlayHead() const;
    void followHostTransport(int numSamples);
    void readHostPosition();
    bool hostIsPlaying(int numSamples) const;
    double samplesPerHostBeat(double bpm) const;
    bool hostPositionJumped() const;
    void keepFollowingHost(double hostBpm, double ppq, int numSamples);
    void startFollowingHost(double ppq, int numSamples);
    void placeOnHostBar(double ppq);
    void retimeNextInstantFromHost();
    void stopFollowingHost();
    void collectPreviews();
    void ageHeldMidiIn();
    // `input` is the block's MIDI as the engine reads it (the host's, or the bass follower's
    // line); the block's output goes to the host's `midiMessages`.
    void runEngineBlock(juce::AudioBuffer<float>& buffer, const juce::MidiBuffer& input,
                        juce::MidiBuffer& midiMessages, int numSamples);
    void runEngineLoop(const juce::MidiBuffer& input, int numSamples);
    void handleEvent(const BlockEvent& event);
    void writeMidiOutput(juce::MidiBuffer& midiMessages);
    void moveEngineClock(int numSamples);
    void stoppedBlock(juce::AudioBuffer<float>& buffer, const juce::MidiBuffer& input,
                      juce::MidiBuffer& midiMessages, int numSamples);

    void startPerformance();
    void stopPerformance();
    void applySubdivisionRule(int divisions);
    void applySubdivisionAtOnce(int divisions);
    void updateDivisionDuration();
    void report(int code, bool highlighted = true);
    double positionInHostBar() const;
    bool producesKitSound() const;
    bool passesMidiOutToOutput() const;
    bool passesPreviewsToOutput() const;

#if !BATTO_PLUGIN_BUILD
    void takeMidiThreadClickRequest(int numSamples);
    void mixClicks(juce::AudioBuffer<float>& buffer, int numSamples);
    void advanceKitVoices(int numSamples);
    void silenceKitVoices();
    void loadClickSounds(double sampleRate);
    // Hooks for the sound outputs: the kit player builds its sounds and mixes its voices
    // into channels 0 and 1 (after the block was silenced); the external instrument plug-in renders the
    // block.
    void fillBuffersToPlayInternalKit(double sampleRate);
    std::unique_ptr<KitSamplePlayer> decodeKit(int kit, double sampleRate);
    void mixKitVoices(juce::AudioBuffer<float>& buffer, int numSamples);
    void renderExternalPlugin(juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midiMessages);
#endif

    //==============================================================================
    // User settings. Written by the message thread (setters, setStateInformation) unless
    // said otherwise; read by the audio thread at its next block and by any thread through
    // the getters.
    std::atomic<double> volume{1.0};
    std::atomic<double> tempo{120.0};
    std::atomic<bool> tempoChanged{false}; // set by tempo changes; cleared by the audio thread
    // The user's subdivision choice. The engine's own count (divisionDuTempsInUse) follows it
    // at the next block when stopped, or at the next beat while the drummer plays.
    std::atomic<int> divisionDuTemps{2};
    std::atomic<bool> autoKick{false};
    std::atomic<bool> autoSnare{false};
    std::atomic<double> breakParam1{0.5};
    std::atomic<double> breakParam2{0.5};
    std::atomic<bool> gravaEnabled{false};
    std::atomic<int> drumNotes[numVoices];
    std::atomic<float> velocityScales[numVoices];
    // Written by the audio thread (and by the message thread with the audio callback held
    // out, while the standalone MIDI thread plays); read by the message thread.
    std::atomic<bool> running{false};
    std::atomic<bool> hostSynced{false};
    // A subdivision waiting for the next beat; 0 none. The standalone MIDI thread clears it
    // too when it applies it.
    std::atomic<int> pendingDivisionDuTemps{0};

    // The atomics above are shared with the audio thread, which must never wait on a lock
    // inside one of them.
    static_assert(std::atomic<double>::is_always_lock_free && std::atomic<float>::is_always_lock_free
                      && std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
                  "the settings shared with the audio thread need lock-free atomics");

    // The engine's own state (the fields of Batto) and the fields from here to songPosition
    // belong to the thread that runs the engine: the audio thread, in processBlock. With the
    // MIDI output chosen (standalone) two others touch them too, each holding the
    // framework's callback lock so that no block runs meanwhile: the message thread, which
    // takes up Start, Stop and subdivision choices at once (applyUserRequestsWhileMidiThreadPlays),
    // and the MIDI thread, which takes the performance over and hands it back. prepareToPlay
    // runs while no block does.
    //
    // The values the engine reads through the host interface's pointers during one block:
    // the audio thread copies them from the settings at the start of every block, except the
    // subdivision count, which changes only by the subdivision rule (at once when stopped, on
    // a beat while playing) so that the engine's bar position never leaves 0..31.
    double tempoInUse = 120.0;
    int divisionDuTempsInUse = 2;
    bool autoKickInUse = false;
    bool autoSnareInUse = false;

    // The engine's thread (see above): the audio thread, or another under the callback lock.
    double preparedSampleRate = 44100.0;
    double engineSampleRate = 44100.0; // the last usable rate; every engine duration uses it
    double hostTempo = 120.0;
    int currentSampleOffset = 0;
    juce::AudioPlayHead::CurrentPositionInfo lastPosInfo;
    double lastPpqPosition = 0.0;
    int previousBlockLength = 0;
    ReservedMidiBuffer midiOut;      // the drum note-ons of this block (and previews queued for it)
    ReservedMidiBuffer previews;     // P: the previews copied out of midiOut for this block
    ReservedMidiBuffer heldMidiIn;   // MIDI received while stopped, kept for the early-note window
    ReservedMidiBuffer agedMidiIn;   // scratch for ageing heldMidiIn
    ReservedMidiBuffer followerMidi; // the block's MIDI as the bass follower rewrites it
    // The block's output reaches the host's buffer through storage reserved here, so a host
    // that reserved no room in its buffer makes no block allocate.
    MidiOutputHandOver midiHandOver;
    HostSongPosition songPosition; // the host's position at each block's start

    LockFreeQueue<PreviewRequest, previewCapacity> previewRequests; // message thread -> audio thread
    std::atomic<int> transportRequest{
        noTransportRequest};     // set by the message thread, taken by the audio thread
    int divisionChoiceTaken = 2; // audio thread: the last choice that the subdivision rule was given

#if !BATTO_PLUGIN_BUILD
    std::atomic<int> drumKit{kitInternal};        // written under suspended processing
    std::atomic<bool> midiOutputInBlocks{false};  // written by the message thread, read by the audio thread
    std::atomic<int> syncSource{static_cast<int>(SyncSource::internal)}; // message thread -> audio thread
    std::atomic<juce::AudioPlayHead*> jackTransport{nullptr};            // set before audio starts
    std::atomic<bool> midiClockOutput{false};                              // message thread -> audio thread

    // MIDI clock in (the audio thread's, prepared by prepareToPlay). Every block's clock
    // messages reach the follower, whatever the sync source, so that the tempo is known when the
    // user chooses it; the "MIDI clock" source follows it.
    MidiClockFollower midiClockFollower;
    juce::AudioPlayHead* const midiClockPlayHead = &midiClockFollower;
    ReservedMidiBuffer clockInKept; // the block's other messages, while its clock messages leave it
    void prepareMidiClockIn(double sampleRate, int samplesPerBlock);
    void readMidiClockPosition();
    bool midiClockRelocated() const;

    std::atomic<double> clickVolume{0.0};         // 0 = metronome off
    std::atomic<double> engineSampleRateForOtherThreads{44100.0}; // engineSampleRate, written by prepareToPlay
    std::atomic<double> pendingClickTimeMs{-1.0}; // written by the MIDI thread; <= 0 none
    std::atomic<bool> pendingClickAccent{false};  // written by the MIDI thread

    // The rate and block size the sounds were last prepared for (prepareToPlay and
    // releaseResources, which hosts never run beside a block).
    bool soundsPrepared = false;
    double soundsSampleRate = 0.0;
    int soundsBlockSize = 0;

    // Audio thread only (the click sounds are decoded in prepareToPlay).
    int drumKitInBlock = kitInternal;
    int voiceVelocity[numVoices] = {};
    int voicePosition[numVoices] = {};
    juce::AudioBuffer<float> clickBuffers[2];
    ResidentMemory residentClicks; // keeps the click sounds in memory; declared after them
    std::vector<PlayingClick> playingClicks; // reserved; clicks beyond it are dropped
    static constexpr size_t maximumPlayingClicks = 64;

    // The kit's sounds and velocity tables are rebuilt by prepareToPlay and, with
    // processing suspended, by setDrumKit (message thread); the audio thread reads them
    // in processBlock and alone records the hits that cut a voice within its block.
    KitSamplePlayer kitPlayer;

    // The user kit folder. Written on the message thread, read there and by prepareToPlay.
    juce::File battokitPath;
    KitSamplePlayer::BattokitLoad lastBattokitLoad;
    juce::CriticalSection battokitLock; // guards both

    // When prepareToPlay finds the kit folder gone, the folder chooser opens afterwards on the
    // message thread (never a dialog inside a device's preparation).
    struct BattokitChooserLater : juce::AsyncUpdater
    {
        explicit BattokitChooserLater(BattoAudioProcessor& owner) : processor(owner) {}
        void handleAsyncUpdate() override;
        BattoAudioProcessor& processor;
    };
    BattokitChooserLater battokitChooserLater{*this};

    std::unique_ptr<ExternalPluginWindowOwner> externalPluginWindowOwner; // message thread

    TakeRecorder* takeRecorder = nullptr; // see setTakeRecorder; used by the audio thread
    bool engineLoopRuns = false;          // audio thread: hits come from the engine, not previews

    // MIDI clock out (the audio thread's, prepared by prepareToPlay).
    MidiClockSender midiClockSender; // the clocks of the drummer's grid, apart from the drum notes
    MidiClockSender::GridPoint clockGridPointOf(const instantRythmique& instant, int numSamples);
    void handMidiClockToDevice(int numSamples);
    void queueForDevice(const juce::MidiBuffer& messages, int numSamples);
    bool blocksPlayTheMidiOutput() const;
    std::atomic<bool> midiClockToDevice{false}; // message thread -> audio thread
    // The audio thread's time line for the device's clocks: the millisecond counter's reading
    // at the last block's first sample, smoothed, and that block's length in milliseconds.
    double clockBlockStartMs = 0.0;
    double clockBlockMs = -1.0; // < 0: no time line yet
#endif

    // The bass follower: runs on the audio thread in front of the engine while gravaEnabled.
    // prepareToPlay gives it this processor's rate; setGravaEnabled asks it (an atomic flag)
    // to release every key at its next block.
    GravaAudioProcessor gravaProcessor;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(BattoAudioProcessor)
};
