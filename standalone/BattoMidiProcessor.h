#pragma once

#include "Batto.h"
#include "BattoStandAloneApplication.h"
#include "DrumNoteOutput.h"
#include "GravaMidiProcessor.h"

#include <condition_variable>
#include <mutex>

// The drummer on a millisecond clock of its own, for the MIDI-output sound choice: it takes
// the player's notes straight from the MIDI inputs, runs its own engine on the thread
// "MidiBatto" and sends every hit at once as a note-on on channel 10 to the drum-note
// output. While it plays, the processor's engine rests: the thread takes the performance
// over from it when it starts and hands it back when it stops, so the bar and the beat go on.
//
// Threads. handleIncomingMidiMessage runs on the MIDI input threads, run on "MidiBatto",
// previews (outputJouer) and the output's changes on the message thread. Every call on the
// engine and on the bass follower is made under one lock, held only for the call: a
// note-on is handled as soon as it arrives, never at the next step. The settings are read
// from the processor's atomics before each engine call.
//
// Engine times are ticks since the thread took the performance over, 48 to the millisecond
// (the audio engine's samples at 48 kHz), so that they stay small whatever the system's
// millisecond counter reads; they are moved back towards zero whenever they grow past
// rebaseAfterTicks. The engine cuts each half subdivision to whole units of its time: in
// whole milliseconds that played sixteenths at 140 bpm 1 % fast (53 ms for 53.57); in ticks
// it loses at most a tick a step, as the audio engine at 48 kHz loses a sample (0.02 %).
class BattoStandAloneApplication::BattoMidiProcessor : public juce::MidiInputCallback,
                                                       public juce::Thread,
                                                       public Batto,
                                                       private juce::Thread::Listener
{
public:
    class GravaMidiProcessorForBatto : public GravaMidiProcessor
    {
    public:
        explicit GravaMidiProcessorForBatto(BattoMidiProcessor& owner);

        void GravaSendMessageNow(const juce::MidiMessage& message) override;
        bool HaveToSendGravaMessage() override;
        bool HasToHandleIncomingMessage() override;

    protected:
        void ThruSendMessageNow(const juce::MidiMessage& message) override;
        juce::uint32 getMillisecondCounter() override;

    private:
        BattoMidiProcessor& owner;
        juce::MidiOutput* noDevice = nullptr; // neither stream reaches a device
        int channelOne = 1;
        int zero = 0;
    };

    // The MIDI clock for the drum-note output device, on a thread of its own ("MidiClockOut")
    // that runs while there is an output: the clocks that the audio thread's blocks decide
    // (BattoAudioProcessor::midiClockForDevice) and those of this thread's engine while it
    // plays, each sent at its time on the high-resolution millisecond counter, to that
    // counter's and this thread's accuracy (a fraction of a millisecond on an idle machine).
    class MidiClockRelay : public juce::Thread
    {
    public:
        explicit MidiClockRelay(BattoMidiProcessor& owner);
        ~MidiClockRelay() override;

        // Sends every clock due at `now` or before, in time order; gives the time the next
        // one is due at, or a negative value when none waits.
        double sendDue(double now);
        // Drops whatever waits (before the thread starts).
        void forgetWaiting();
        void run() override;

    private:
        using TimedMidiClock = BattoAudioProcessor::TimedMidiClock;
        BattoMidiProcessor& owner;
        // The next clock of each source, taken from its queue (this thread's).
        TimedMidiClock fromBlocks, fromEngine;
        bool holdsFromBlocks = false, holdsFromEngine = false;
    };

    explicit BattoMidiProcessor(BattoAudioProcessor* processor);
    ~BattoMidiProcessor() override;

    // Where the drum notes go; null sends none (message thread; the old output is no longer
    // used once this returns). The MIDI clock, when it is on, goes there too.
    void setDrumNoteOutput(DrumNoteOutput* output);

    void handleIncomingMidiMessage(juce::MidiInput* source, const juce::MidiMessage& message) override;
    void run() override;

    // The engine's host interface.
    void displayBreakCreshendo(int subdivisionsToBarLine) override;
    void displayProgressionBar(int position, int divisions) override;
    void displayMidiIn(int code) override;
    int* getDivisionDuTemps() override;
    double* getTempo() override;
    bool* getAutoKick() override;
    bool* getAutoSnare() override;
    double GetBreakParam1() override;
    double GetBreakParam2() override;
    void updateProgressionBarDisplay() override;
    void displayCrashRoulement() override;
    void displaySpecialevent(int kind) override;
    void setDivisionDuTempsAfterwaitingForATemps(int divisions) override;
    int getWaitForTheTimeToUpdateProgressionBarDisplay() override;
    int GetStartLatencyCompensation() override;
    void outputJouer(Percu voice, int velocity) override; // also the message thread's previews
    void JouerMetronome(bool accent) override;
    int getOneOrSampleRatePerMs() override;

    // True from the take-over to the hand-back: the thread's engine has the performance.
    bool isPlaying() const;
    static constexpr int ticksPerMillisecond = 48;
    // The engine time (ticks) that `milliseconds` of the clock is, and back.
    int engineTimeAt(double milliseconds) const;
    double millisecondsAt(std::int64_t engineTime) const;

    BattoAudioProcessor* const processor;

protected:
    // The clock: a monotonic millisecond counter (fractions of a millisecond included).
    virtual double millisecondsNow();
    // Waits until the clock reads `milliseconds` or a stop request wakes the thread.
    virtual void waitUntil(double milliseconds);
    // Moved back towards zero when engine times grow past this (about six hours).
    int rebaseAfterTicks = 1 << 30;

private:
    friend class GravaMidiProcessorForBatto;

    void exitSignalSent() override;
    void refreshSettings();
    bool hasOutput() const;
    int engineNow();
    void takeOverFromProcessor();
    void handBackToProcessor();
    void rebaseIfNeeded();
    double ticksPerDivision() const; // at the current tempo and subdivision count
    int turnOfTheLoop(); // under the lock: the time of the next engine step
    // Under the lock, after each step: this engine's clocks up to its next step, for the relay.
    void decideClockOfThisEngine(bool sending);
    bool sendsClock() const;

    // Serialises every engine and bass-follower call. Lock order: the processor's callback
    // lock first, then this one (the take-over and the hand-back hold both, to keep the
    // audio thread out of the processor's engine); never the callback lock while holding
    // this one.
    juce::CriticalSection engineLock;
    GravaMidiProcessorForBatto gravaMidiProcessor;
    DrumNoteOutput* output = nullptr; // under engineLock
    bool playing = false;             // under engineLock
    double originMilliseconds = 0.0;  // the clock's reading at engine time 0 (under engineLock)

    // The subdivision count this engine plays with: taken over from the processor's engine,
    // changed on a beat when a choice waits, handed back (under engineLock).
    int divisionDuTemps = 2;
    // The settings for the engine's current call, copied from the processor (under engineLock).
    double tempo = 120.0;
    bool autoKick = true;
    bool autoSnare = true;

    std::mutex wakeMutex;
    std::condition_variable wake;
    bool wakeRequested = false; // under wakeMutex

    // The MIDI clock of this engine (under engineLock; its unit is the engine's tick),
    // handed to the relay with the times on the millisecond counter: written by this thread,
    // read by the relay's.
    MidiClockSender clockSender;
    LockFreeQueue<BattoAudioProcessor::TimedMidiClock, 256> clockOfThisEngine;
    // Declared last: it stops before anything it uses goes.
    MidiClockRelay clockRelay{*this};
};
