#pragma once

#include "LockFreeQueue.h"
#include "ReservedMidiBuffer.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <atomic>
#include <cstdint>

// One thing that happened in a take, as the audio thread hands it to the take writer.
struct TakeEvent
{
    enum Kind : uint8_t
    {
        takeStarted,   // tempo, sampleRate, count = the first block's length, audio = with sound
        takeEnded,
        playerMessage, // bytes[0..size): a message, or a piece of one when `continues`
        drumHit,       // bytes: status, note, velocity
        tempoChanged,  // tempo
        audioFrames,   // count frames of the drums' sound wait in the audio queue; audio false: lost
        eventsLost     // count events the queue could not take before this one
    };

    Kind kind = takeEnded;
    uint8_t size = 0;
    bool continues = false;
    bool audio = false;
    int32_t count = 0;
    int64_t sample = 0; // from the take's first sample
    double tempo = 0.0;
    double sampleRate = 0.0;
    uint8_t bytes[16] = {};
};

// The audio thread's side of the takes: every performance (from the block in which the
// drummer starts to the one in which it stops) becomes a take. The processor hands it each
// block's MIDI as it arrived, the drum hits of the block and, after the block, its state
// and its sound; the recorder passes them on through fixed-size lock-free queues to the
// take writer's thread. Nothing here allocates, locks or waits: what does not fit in the
// queues is counted and the take says so.
//
// Threads: keepBlockMidi, drumHit and endBlock run on the audio thread; endTake on the audio
// thread or on any thread while no block runs (prepareToPlay, releaseResources, shut-down);
// the pop and read operations on the writer's thread; setTakesOn and setAudioOn on any
// thread (they apply from the next take).
class TakeRecorder
{
public:
    static constexpr int eventCapacity = 16384;
    static constexpr int audioCapacityFrames = 1 << 18; // about 5 s at 48 kHz

    TakeRecorder();

    void setTakesOn(bool on);
    void setAudioOn(bool on);
    bool isAudioOn() const;

    // Audio thread, at the start of a block, before anything filters the MIDI.
    void keepBlockMidi(const juce::MidiBuffer& midi);
    // Audio thread: the notes struck shortly before Start, which the engine takes as struck
    // on the block's first sample; the take holds them there.
    void keepEarlyMidi(const juce::MidiBuffer& held);
    // Audio thread, while the engine plays the block.
    void drumHit(int position, int status, int note, int velocity);
    // The user pressed Start while the drummer was playing: the next block starts a new take.
    void performanceRestarted();
    // Audio thread, after the block: `performing` while the drummer plays; `audio` holds the
    // block's output (its first two channels are the drums).
    void endBlock(bool performing, double tempo, double sampleRate, const juce::AudioBuffer<float>& audio,
                  int numSamples);
    // Ends the take in progress, if any (the device stops or changes, the program ends).
    void endTake();

    // Any thread: room in the queues for a block of this many frames, so far as anyone can
    // tell (a program driving the processor faster than a device would can wait for it).
    bool hasRoomFor(int frames) const;

    // Writer thread.
    bool popEvent(TakeEvent& event);
    // Moves `frames` frames of the drums' sound into `destination` (two channels, from 0).
    void readAudio(juce::AudioBuffer<float>& destination, int frames);

private:
    void finishTake();
    int keptMidiDropped() const; // MIDI messages dropped for want of room in this block
    bool push(const TakeEvent& event);
    bool pushControl(const TakeEvent& event);
    void pushPlayerMessage(int64_t sample, const juce::uint8* data, int size);
    void pushAudio(const juce::AudioBuffer<float>& audio, int numSamples);
    static void copyInto(ReservedMidiBuffer& destination, const juce::MidiBuffer& source);

    static constexpr int controlReserve = 4; // slots kept for the start and end of a take
    static constexpr size_t keptMidiBytes = 64 * 1024;
    static constexpr int maximumHitsPerBlock = 1024;

    struct Hit
    {
        int position;
        juce::uint8 bytes[3];
    };

    LockFreeQueue<TakeEvent, eventCapacity> events; // audio thread -> writer
    juce::AbstractFifo audioFifo{audioCapacityFrames};
    juce::AudioBuffer<float> audioRing{2, audioCapacityFrames};

    std::atomic<bool> takesOn{true};
    std::atomic<bool> audioOn{false};

    // Audio thread only (or whoever calls endTake while no block runs).
    ReservedMidiBuffer keptMidi;  // messages beyond its room are lost (and counted)
    ReservedMidiBuffer earlyMidi; // likewise
    int keptMidiDroppedBefore = 0; // their drop counts when the last block ended
    Hit hits[maximumHitsPerBlock];
    int hitCount = 0;
    int hitsLost = 0;
    bool restartRequested = false;
    bool inTake = false;
    bool audioInTake = false;
    int64_t blockStart = 0; // samples since the recorder began
    int64_t takeStart = 0;
    double lastTempo = 0.0;
    int64_t pendingLost = 0;
};
