#include "JackAudioDevice.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <cerrno>
#include <cstring>
#include <ctime>

const char* const JackAudioDevice::noServerMessage = "No JACK server is running";
const char* const JackAudioDeviceType::deviceName = "system";

// Hands the input events to the live callback, off the JACK thread, as soon as the JACK
// thread posts them.
class JackAudioDevice::LiveInputThread : public juce::Thread
{
public:
    explicit LiveInputThread(JackAudioDevice& deviceToServe) : juce::Thread("Batto JACK MIDI in"), device(deviceToServe)
    {
    }

    void run() override
    {
        while (!threadShouldExit())
        {
            timespec deadline{};
            clock_gettime(CLOCK_REALTIME, &deadline);
            deadline.tv_nsec += 100 * 1000 * 1000; // looks at threadShouldExit ten times a second
            if (deadline.tv_nsec >= 1000 * 1000 * 1000)
            {
                deadline.tv_sec += 1;
                deadline.tv_nsec -= 1000 * 1000 * 1000;
            }
            if (sem_timedwait(&device.liveInputWaiting, &deadline) != 0)
                continue;
            LiveEvent event;
            while (device.toLiveInput.pop(event))
                if (auto* callback = device.liveInput.load())
                    callback->handleIncomingMidiMessage(
                        nullptr,
                        juce::MidiMessage(event.bytes, event.size, juce::Time::getMillisecondCounterHiRes() * 0.001));
        }
    }

private:
    JackAudioDevice& device;
};

JackAudioDevice::JackAudioDevice(const juce::String& clientName, const juce::String& deviceName)
    : juce::AudioIODevice(deviceName, "JACK")
{
    sem_init(&liveInputWaiting, 0, 0);
    jack_status_t status{};
    client = jack_client_open(clientName.toRawUTF8(), JackNoStartServer, &status);
    if (client == nullptr)
        return;
    for (int i = 0; i < numOutputs; ++i)
        outputPorts[i] = jack_port_register(client, ("out_" + juce::String(i + 1)).toRawUTF8(),
                                            JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    midiInputPort = jack_port_register(client, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    midiOutputPort = jack_port_register(client, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(client, processCallback, this);
    jack_set_buffer_size_callback(client, bufferSizeCallback, this);
    jack_set_xrun_callback(client, xrunCallback, this);
    jack_on_shutdown(client, shutdownCallback, this);
}

JackAudioDevice::~JackAudioDevice()
{
    close();
    if (client != nullptr)
        jack_client_close(client);
    client = nullptr;
    sem_destroy(&liveInputWaiting);
}

juce::StringArray JackAudioDevice::getOutputChannelNames()
{
    juce::StringArray names;
    for (int i = 0; i < numOutputs; ++i)
        names.add("out_" + juce::String(i + 1));
    return names;
}

juce::StringArray JackAudioDevice::getInputChannelNames()
{
    return {};
}

juce::Array<double> JackAudioDevice::getAvailableSampleRates()
{
    if (client == nullptr)
        return {};
    return {static_cast<double>(jack_get_sample_rate(client))};
}

juce::Array<int> JackAudioDevice::getAvailableBufferSizes()
{
    if (client == nullptr)
        return {};
    return {static_cast<int>(jack_get_buffer_size(client))};
}

int JackAudioDevice::getDefaultBufferSize()
{
    return getCurrentBufferSizeSamples();
}

juce::String JackAudioDevice::open(const juce::BigInteger&, const juce::BigInteger& outputChannels, double, int)
{
    close();
    if (client == nullptr || serverGone.load())
    {
        lastError = noServerMessage;
        return lastError;
    }
    lastError.clear();
    activeOutputs = outputChannels;
    activeOutputs.setRange(numOutputs, juce::jmax(0, activeOutputs.getHighestBit() + 1 - numOutputs), false);
    cycleMidi.reserve(getCurrentBufferSizeSamples());
    xruns.store(0);
    liveInputThread = std::make_unique<LiveInputThread>(*this);
    liveInputThread->startThread();
    if (jack_activate(client) != 0)
    {
        lastError = "The JACK server did not start this client";
        liveInputThread->stopThread(-1);
        liveInputThread.reset();
        return lastError;
    }
    deviceIsOpen = true;
    connectPorts();
    return {};
}

void JackAudioDevice::connectPorts()
{
    physicalMidiSources = 0;
    if (const char** sources =
            jack_get_ports(client, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsPhysical | JackPortIsOutput))
    {
        for (int i = 0; sources[i] != nullptr; ++i, ++physicalMidiSources)
            jack_connect(client, sources[i], jack_port_name(midiInputPort));
        jack_free(sources);
    }
    if (const char** playback =
            jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | JackPortIsInput))
    {
        for (int i = 0; i < numOutputs && playback[i] != nullptr; ++i)
            if (activeOutputs[i])
                jack_connect(client, jack_port_name(outputPorts[i]), playback[i]);
        jack_free(playback);
    }
}

void JackAudioDevice::close()
{
    cancelPendingUpdate();
    stop();
    if (deviceIsOpen && !serverGone.load())
        jack_deactivate(client); // returns once no cycle runs in this client
    deviceIsOpen = false;
    if (liveInputThread != nullptr)
        liveInputThread->stopThread(-1);
    liveInputThread.reset();
    LiveEvent stale;
    while (toLiveInput.pop(stale))
    {
    }
}

bool JackAudioDevice::isOpen()
{
    return deviceIsOpen && !serverGone.load();
}

void JackAudioDevice::start(juce::AudioIODeviceCallback* newCallback)
{
    if (!deviceIsOpen || newCallback == callback)
        return;
    const int frames = getCurrentBufferSizeSamples(); // the callback prepares for the period it finds
    if (newCallback != nullptr)
        newCallback->audioDeviceAboutToStart(this);
    auto* oldCallback = callback;
    {
        const juce::ScopedLock lock(callbackLock);
        callback = newCallback;
        callbackFrames = frames;
    }
    if (oldCallback != nullptr)
        oldCallback->audioDeviceStopped();
}

void JackAudioDevice::stop()
{
    start(nullptr);
}

bool JackAudioDevice::isPlaying()
{
    return callback != nullptr;
}

juce::String JackAudioDevice::getLastError()
{
    return lastError;
}

int JackAudioDevice::getCurrentBufferSizeSamples()
{
    return client != nullptr ? static_cast<int>(jack_get_buffer_size(client)) : 0;
}

double JackAudioDevice::getCurrentSampleRate()
{
    return client != nullptr ? static_cast<double>(jack_get_sample_rate(client)) : 0.0;
}

int JackAudioDevice::getCurrentBitDepth()
{
    return 32;
}

juce::BigInteger JackAudioDevice::getActiveOutputChannels() const
{
    return activeOutputs;
}

juce::BigInteger JackAudioDevice::getActiveInputChannels() const
{
    return {};
}

int JackAudioDevice::getOutputLatencyInSamples()
{
    if (client == nullptr)
        return 0;
    jack_latency_range_t range{};
    jack_port_get_latency_range(outputPorts[0], JackPlaybackLatency, &range);
    return static_cast<int>(range.max);
}

int JackAudioDevice::getInputLatencyInSamples()
{
    return 0;
}

int JackAudioDevice::getXRunCount() const noexcept
{
    return xruns.load();
}

juce::String JackAudioDevice::getClientName() const
{
    return client != nullptr ? juce::String(jack_get_client_name(client)) : juce::String();
}

int JackAudioDevice::getPhysicalMidiSourceCount() const
{
    return physicalMidiSources;
}

void JackAudioDevice::setLiveMidiInput(juce::MidiInputCallback* newCallback)
{
    liveInput.store(newCallback);
}

//==============================================================================
// The JACK thread

int JackAudioDevice::processCallback(juce::uint32 nframes, void* self)
{
    return static_cast<JackAudioDevice*>(self)->process(nframes);
}

int JackAudioDevice::bufferSizeCallback(juce::uint32 nframes, void* self)
{
    static_cast<JackAudioDevice*>(self)->followBufferSize(static_cast<int>(nframes));
    return 0;
}

void JackAudioDevice::followBufferSize(int framesPerCycle)
{
    // The server runs no cycle of the new size before this returns; the lock keeps a cycle
    // of the old size, should one still run, away from the buffers while they grow.
    {
        const juce::ScopedLock lock(callbackLock);
        cycleMidi.reserve(framesPerCycle);
    }
    triggerAsyncUpdate();
}

void JackAudioDevice::handleAsyncUpdate()
{
    // Shorter cycles suit a callback prepared for longer ones; longer cycles need it
    // prepared again, as a restart of the device would.
    auto* current = callback;
    if (!isOpen() || current == nullptr || callbackFrames >= getCurrentBufferSizeSamples())
        return;
    stop();
    start(current);
}

int JackAudioDevice::xrunCallback(void* self)
{
    ++static_cast<JackAudioDevice*>(self)->xruns;
    return 0;
}

void JackAudioDevice::shutdownCallback(void* self)
{
    static_cast<JackAudioDevice*>(self)->serverGone = true;
}

int JackAudioDevice::process(juce::uint32 nframes)
{
    const juce::ScopedTryLock lock(callbackLock);
    if (!lock.isLocked())
    {
        writeSilence(nframes);
        return 0;
    }
    cycleMidi.beginCycle(static_cast<int>(nframes));
    readTransport();
    readMidiInput(nframes);
    runAudioCallback(nframes);
    writeMidiOutput(nframes);
    return 0;
}

void JackAudioDevice::readTransport()
{
    // On the process thread the answer is the transport at the cycle's first frame, and the
    // state holds for the whole cycle.
    cycleTransport.state = jack_transport_query(client, &cycleTransport.position);
    cycleTransport.sampleRate = static_cast<double>(jack_get_sample_rate(client));
}

void JackAudioDevice::readMidiInput(juce::uint32 nframes)
{
    void* buffer = jack_port_get_buffer(midiInputPort, nframes);
    const juce::uint32 count = jack_midi_get_event_count(buffer);
    bool posted = false;
    for (juce::uint32 i = 0; i < count; ++i)
    {
        jack_midi_event_t in;
        if (jack_midi_event_get(&in, buffer, i) != 0 || !cycleMidi.addInput(in.buffer, in.size, in.time))
            continue;
        LiveEvent event;
        event.size = static_cast<juce::uint8>(in.size);
        std::memcpy(event.bytes, in.buffer, in.size);
        posted = toLiveInput.push(event) || posted;
    }
    if (posted)
        sem_post(&liveInputWaiting);
}

void JackAudioDevice::runAudioCallback(juce::uint32 nframes)
{
    float* outputs[numOutputs] = {};
    int numActive = 0;
    for (int i = 0; i < numOutputs; ++i)
    {
        auto* samples = static_cast<float*>(jack_port_get_buffer(outputPorts[i], nframes));
        if (activeOutputs[i])
            outputs[numActive++] = samples;
        else
            std::memset(samples, 0, nframes * sizeof(float)); // a port not in use is silent
    }

    const JackCycleMidi::Scope inThisCycle(cycleMidi);
    const JackTransportPlayHead::Cycle transportOfThisCycle(cycleTransport);
    if (callback != nullptr && numActive > 0 && static_cast<int>(nframes) <= callbackFrames)
    {
        callback->audioDeviceIOCallbackWithContext(nullptr, 0, outputs, numActive, static_cast<int>(nframes), {});
        return;
    }
    for (int i = 0; i < numActive; ++i)
        std::memset(outputs[i], 0, nframes * sizeof(float));
}

void JackAudioDevice::writeSilence(juce::uint32 nframes)
{
    for (auto* port : outputPorts)
        std::memset(jack_port_get_buffer(port, nframes), 0, nframes * sizeof(float));
    jack_midi_clear_buffer(jack_port_get_buffer(midiOutputPort, nframes));
}

void JackAudioDevice::writeMidiOutput(juce::uint32 nframes)
{
    void* buffer = jack_port_get_buffer(midiOutputPort, nframes);
    jack_midi_clear_buffer(buffer);
    cycleMidi.writeOutput(
        [buffer](juce::uint32 frame, const juce::uint8* data, size_t numBytes)
        {
            jack_midi_event_write(buffer, frame, data, numBytes); // a full port drops the rest
        });
}

//==============================================================================

JackAudioDeviceType::JackAudioDeviceType(const juce::String& name) : juce::AudioIODeviceType("JACK"), clientName(name)
{
}

void JackAudioDeviceType::scanForDevices()
{
    // Nothing to look for: the device is the server's, and a client is made only with it.
}

juce::StringArray JackAudioDeviceType::getDeviceNames(bool) const
{
    return {deviceName};
}

int JackAudioDeviceType::getDefaultDeviceIndex(bool) const
{
    return 0;
}

int JackAudioDeviceType::getIndexOfDevice(juce::AudioIODevice* device, bool) const
{
    return dynamic_cast<JackAudioDevice*>(device) != nullptr ? 0 : -1;
}

bool JackAudioDeviceType::hasSeparateInputsAndOutputs() const
{
    return false;
}

juce::AudioIODevice* JackAudioDeviceType::createDevice(const juce::String& outputDeviceName,
                                                      const juce::String& inputDeviceName)
{
    const auto name = outputDeviceName.isNotEmpty() ? outputDeviceName : inputDeviceName;
    return new JackAudioDevice(clientName, name.isNotEmpty() ? name : juce::String(deviceName));
}

//==============================================================================

StandaloneDeviceManager::StandaloneDeviceManager(const juce::String& clientName) : jackClientName(clientName)
{
}

void StandaloneDeviceManager::createAudioDeviceTypes(juce::OwnedArray<juce::AudioIODeviceType>& types)
{
    if (auto* alsa = juce::AudioIODeviceType::createAudioIODeviceType_ALSA())
        types.add(alsa);
    types.add(new JackAudioDeviceType(jackClientName));
}
