#pragma once

#include "DrumNoteOutput.h"
#include "LockFreeQueue.h"
#include "ReservedMidiBuffer.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <atomic>
#include <memory>
#include <semaphore.h>

typedef struct _jack_client jack_client_t;
typedef struct _jack_port jack_port_t;

// JACK MIDI ports of the application, for when its audio device is JACK (whose audio device
// in the framework carries no MIDI): a client with an input "midi_in" and an output
// "midi_out".
//
// Input: every event of midi_in reaches the processor's audio block one JACK period after
// its frame, at the same place in its cycle, so that the player's timing is kept to the
// sample (addEventsForBlock, on the audio device's thread). Each event also reaches the
// live callback (the standalone MIDI thread's), on a thread of this object, at once.
// Output: the MIDI thread's drum notes leave on midi_out one period after they are sent,
// at the same place in the cycle (sendNow, from one thread at a time).
//
// open, close and the destructor run on the message thread. Before close, the application
// calls stopFeedingBlocks and waits until no audio block is inside addEventsForBlock.
class JackMidiPorts : public DrumNoteOutput
{
public:
    static constexpr int queueCapacity = 4096;

    explicit JackMidiPorts(juce::MidiInputCallback* liveInput);
    ~JackMidiPorts() override;

    // Opens the client under that name (the server may rename it) and connects midi_in to
    // every physical MIDI source. False when no JACK server answers.
    bool open(const juce::String& clientName);
    void stopFeedingBlocks();
    void close();
    bool isOpen() const;
    juce::String getClientName() const;
    juce::String getInputPortName() const;  // "client:midi_in"
    juce::String getOutputPortName() const; // "client:midi_out"

    // Audio thread: adds the events due in this block (numSamples frames, one JACK period)
    // to `block` at their frames. Never allocates: an event that does not fit is dropped (and
    // counted by the buffer).
    void addEventsForBlock(ReservedMidiBuffer& block, int numSamples);

    // DrumNoteOutput: queued for midi_out (messages of up to three bytes).
    void sendNow(const juce::MidiMessage& message) override;

private:
    struct Event
    {
        juce::uint32 frame = 0; // JACK frame time
        juce::uint8 size = 0;
        juce::uint8 bytes[3] = {};
    };
    class LiveInputThread;

    static int processCallback(juce::uint32 nframes, void* self);
    static void shutdownCallback(void* self);
    int process(juce::uint32 nframes);
    void readInput(juce::uint32 nframes);
    void writeOutput(juce::uint32 nframes);
    void connectPhysicalSources();

    juce::MidiInputCallback* liveInput;
    jack_client_t* client = nullptr;
    jack_port_t* inputPort = nullptr;
    jack_port_t* outputPort = nullptr;
    std::atomic<bool> serverGone{false};    // set by JACK when its server goes away
    std::atomic<bool> openForBlocks{false}; // set once open, cleared first by close

    LockFreeQueue<Event, queueCapacity> toAudioBlocks; // JACK thread -> audio device thread
    LockFreeQueue<Event, queueCapacity> toLiveInput;   // JACK thread -> live input thread
    LockFreeQueue<Event, queueCapacity> toOutput;      // sending thread -> JACK thread
    sem_t liveInputWaiting;
    std::unique_ptr<LiveInputThread> liveInputThread;

    // Audio device thread only: the first event not yet due.
    Event heldForNextBlock;
    bool isHeldForNextBlock = false;
    // JACK thread only: the first output event not yet due.
    Event heldForNextCycle;
    bool isHeldForNextCycle = false;
};
