#pragma once

#include "JackCycleMidi.h"
#include "JackTransportPlayHead.h"
#include "LockFreeQueue.h"

#include <juce_audio_devices/juce_audio_devices.h>

#include <atomic>
#include <memory>
#include <semaphore.h>

typedef struct _jack_client jack_client_t;
typedef struct _jack_port jack_port_t;

// The application on a JACK server as one JACK client: four audio outputs "out_1" to "out_4",
// a MIDI input "midi_in" and a MIDI output "midi_out", all served by one process callback,
// which runs the audio callback (the player, the processor) inside the cycle. A block finds
// the cycle's MIDI through JackCycleMidi::current(): a note that arrives in a cycle reaches
// the block of that cycle at its own frame, and what the block sends leaves on midi_out in
// the same cycle at its frames.
//
// The client is opened when the device is made and closed when it goes. Opening never
// starts a server: with none running the device stays closed and open() says so.
// midi_in is connected to every physical MIDI source of the server when the device opens,
// each active output to the physical playback port of its number.
//
// Each input event also reaches the live callback (the MIDI thread's, for when that thread
// plays) on a thread of this device, at once.
//
// A new period size from the server (jack_bufsize, a desktop's sound server changing its
// quantum) is followed: the cycle's buffers take their new room at once, and for longer
// cycles the message thread prepares the callback again, as a device restart would; until
// it has, those cycles are silent rather than handed to a callback prepared for less.
//
// Threads: the message thread makes, opens, starts, stops, closes and deletes it; the
// process callback runs on the JACK thread, the period-size callback on JACK's notification
// thread.
class JackAudioDevice : public juce::AudioIODevice, private juce::AsyncUpdater
{
public:
    static constexpr int numOutputs = 4;
    static constexpr int liveQueueCapacity = 4096;

    JackAudioDevice(const juce::String& clientName, const juce::String& deviceName);
    ~JackAudioDevice() override;

    juce::StringArray getOutputChannelNames() override;
    juce::StringArray getInputChannelNames() override;
    juce::Array<double> getAvailableSampleRates() override;
    juce::Array<int> getAvailableBufferSizes() override;
    int getDefaultBufferSize() override;

    juce::String open(const juce::BigInteger& inputChannels, const juce::BigInteger& outputChannels,
                      double sampleRate, int bufferSizeSamples) override;
    void close() override;
    bool isOpen() override;
    void start(juce::AudioIODeviceCallback* callback) override;
    void stop() override;
    bool isPlaying() override;
    juce::String getLastError() override;

    int getCurrentBufferSizeSamples() override;
    double getCurrentSampleRate() override;
    int getCurrentBitDepth() override;
    juce::BigInteger getActiveOutputChannels() const override;
    juce::BigInteger getActiveInputChannels() const override;
    int getOutputLatencyInSamples() override;
    int getInputLatencyInSamples() override;
    int getXRunCount() const noexcept override;

    // The client's name as the server gave it (it may add a number), empty without a server.
    juce::String getClientName() const;
    // The physical MIDI sources that midi_in was connected to when the device opened.
    int getPhysicalMidiSourceCount() const;
    // Where each input event goes besides the cycle's block (message thread; null: nowhere).
    void setLiveMidiInput(juce::MidiInputCallback* callback);

    // The message that a device without a server gives.
    static const char* const noServerMessage;

private:
    struct LiveEvent
    {
        juce::uint8 size = 0;
        juce::uint8 bytes[3] = {};
    };
    class LiveInputThread;

    static int processCallback(juce::uint32 nframes, void* self);
    static int bufferSizeCallback(juce::uint32 nframes, void* self);
    static int xrunCallback(void* self);
    static void shutdownCallback(void* self);
    int process(juce::uint32 nframes);
    void writeSilence(juce::uint32 nframes);
    void followBufferSize(int framesPerCycle);
    void handleAsyncUpdate() override;
    void readTransport();
    void readMidiInput(juce::uint32 nframes);
    void writeMidiOutput(juce::uint32 nframes);
    void runAudioCallback(juce::uint32 nframes);
    void connectPorts();

    jack_client_t* client = nullptr;
    jack_port_t* outputPorts[numOutputs] = {};
    jack_port_t* midiInputPort = nullptr;
    jack_port_t* midiOutputPort = nullptr;
    juce::String lastError;
    juce::BigInteger activeOutputs;
    bool deviceIsOpen = false;
    int physicalMidiSources = 0;

    // Held by the message thread while it swaps the callback, and by JACK's notification
    // thread while it resizes the cycle's buffers; the JACK thread only tries it, and a cycle
    // that finds it held is silent.
    juce::CriticalSection callbackLock;
    juce::AudioIODeviceCallback* callback = nullptr; // written under callbackLock (message thread)
    int callbackFrames = 0; // the period the callback was prepared for: written with it
    std::atomic<bool> serverGone{false};             // set by JACK when its server goes away
    std::atomic<int> xruns{0};

    JackCycleMidi cycleMidi; // JACK thread, once the client runs
    JackTransportReading cycleTransport; // JACK thread: read at the start of each cycle
    std::atomic<juce::MidiInputCallback*> liveInput{nullptr};
    LockFreeQueue<LiveEvent, liveQueueCapacity> toLiveInput; // JACK thread -> live input thread
    sem_t liveInputWaiting;
    std::unique_ptr<LiveInputThread> liveInputThread;

    JUCE_DECLARE_NON_COPYABLE(JackAudioDevice)
};

// The device type "JACK" of the application: one device, "system" (the server's physical
// ports). Listing it opens nothing: no client is made until the device is.
class JackAudioDeviceType : public juce::AudioIODeviceType
{
public:
    explicit JackAudioDeviceType(const juce::String& clientName);

    void scanForDevices() override;
    juce::StringArray getDeviceNames(bool wantInputNames) const override;
    int getDefaultDeviceIndex(bool forInput) const override;
    int getIndexOfDevice(juce::AudioIODevice* device, bool asInput) const override;
    bool hasSeparateInputsAndOutputs() const override;
    juce::AudioIODevice* createDevice(const juce::String& outputDeviceName,
                                      const juce::String& inputDeviceName) override;

    static const char* const deviceName; // "system"

private:
    juce::String clientName;
};

// The application's device manager: the framework's ALSA devices and this JACK type.
class StandaloneDeviceManager : public juce::AudioDeviceManager
{
public:
    explicit StandaloneDeviceManager(const juce::String& jackClientName);

    void createAudioDeviceTypes(juce::OwnedArray<juce::AudioIODeviceType>& types) override;

private:
    juce::String jackClientName;
};
