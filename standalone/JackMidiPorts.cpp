#include "JackMidiPorts.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <cerrno>
#include <ctime>

namespace
{
// An input event later than this many periods (the audio device stalled or restarted) is
// no longer played.
constexpr int periodsBeforeAnEventIsStale = 8;

// Frames from `from` to `to` on JACK's wrapping 32-bit frame clock.
int framesFrom(juce::uint32 from, juce::uint32 to)
{
    return static_cast<int>(static_cast<juce::int32>(to - from));
}
} // namespace

// Hands the input events to the live callback (the MIDI thread's), off the JACK thread, as
// soon as the JACK thread posts them.
class JackMidiPorts::LiveInputThread : public juce::Thread
{
public:
    explicit LiveInputThread(JackMidiPorts& portsToServe)
        : juce::Thread("Batto JACK MIDI in"), ports(portsToServe)
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
            if (sem_timedwait(&ports.liveInputWaiting, &deadline) != 0)
                continue;
            Event event;
            while (ports.toLiveInput.pop(event))
                if (ports.liveInput != nullptr)
                    ports.liveInput->handleIncomingMidiMessage(
                        nullptr, juce::MidiMessage(event.bytes, event.size,
                                                   juce::Time::getMillisecondCounterHiRes() * 0.001));
        }
    }

private:
    JackMidiPorts& ports;
};

JackMidiPorts::JackMidiPorts(juce::MidiInputCallback* live) : liveInput(live)
{
    sem_init(&liveInputWaiting, 0, 0);
}

JackMidiPorts::~JackMidiPorts()
{
    close();
    sem_destroy(&liveInputWaiting);
}

bool JackMidiPorts::open(const juce::String& clientName)
{
    close();
    jack_status_t status{};
    client = jack_client_open(clientName.toRawUTF8(), JackNoStartServer, &status);
    if (client == nullptr)
        return false;
    inputPort = jack_port_register(client, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    outputPort = jack_port_register(client, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    serverGone = false;
    if (inputPort == nullptr || outputPort == nullptr
        || jack_set_process_callback(client, processCallback, this) != 0)
    {
        close();
        return false;
    }
    jack_on_shutdown(client, shutdownCallback, this);
    liveInputThread = std::make_unique<LiveInputThread>(*this);
    liveInputThread->startThread();
    if (jack_activate(client) != 0)
    {
        close();
        return false;
    }
    openForBlocks.store(true);
    connectPhysicalSources();
    return true;
}

void JackMidiPorts::connectPhysicalSources()
{
    const char** sources =
        jack_get_ports(client, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsPhysical | JackPortIsOutput);
    if (sources == nullptr)
        return;
    for (int i = 0; sources[i] != nullptr; ++i)
        jack_connect(client, sources[i], jack_port_name(inputPort));
    jack_free(sources);
}

void JackMidiPorts::stopFeedingBlocks()
{
    openForBlocks.store(false);
}

void JackMidiPorts::close()
{
    stopFeedingBlocks();
    if (client != nullptr)
    {
        if (!serverGone)
            jack_deactivate(client);
        jack_client_close(client);
    }
    client = nullptr;
    inputPort = nullptr;
    outputPort = nullptr;
    if (liveInputThread != nullptr)
        liveInputThread->stopThread(-1);
    liveInputThread.reset();

    // No thread uses the queues now: what is left in them belongs to the closed client.
    Event stale;
    while (toAudioBlocks.pop(stale) || toLiveInput.pop(stale) || toOutput.pop(stale))
    {
    }
    isHeldForNextBlock = false;
    isHeldForNextCycle = false;
}

bool JackMidiPorts::isOpen() const
{
    return openForBlocks.load() && !serverGone.load();
}

juce::String JackMidiPorts::getClientName() const
{
    return client != nullptr ? juce::String(jack_get_client_name(client)) : juce::String();
}

juce::String JackMidiPorts::getInputPortName() const
{
    return inputPort != nullptr ? juce::String(jack_port_name(inputPort)) : juce::String();
}

juce::String JackMidiPorts::getOutputPortName() const
{
    return outputPort != nullptr ? juce::String(jack_port_name(outputPort)) : juce::String();
}

int JackMidiPorts::processCallback(juce::uint32 nframes, void* self)
{
    return static_cast<JackMidiPorts*>(self)->process(nframes);
}

void JackMidiPorts::shutdownCallback(void* self)
{
    static_cast<JackMidiPorts*>(self)->serverGone = true;
}

int JackMidiPorts::process(juce::uint32 nframes)
{
    readInput(nframes);
    writeOutput(nframes);
    return 0;
}

void JackMidiPorts::readInput(juce::uint32 nframes)
{
    void* buffer = jack_port_get_buffer(inputPort, nframes);
    const juce::uint32 cycleStart = jack_last_frame_time(client);
    const juce::uint32 count = jack_midi_get_event_count(buffer);
    bool posted = false;
    for (juce::uint32 i = 0; i < count; ++i)
    {
        jack_midi_event_t in;
        if (jack_midi_event_get(&in, buffer, i) != 0 || in.size == 0 || in.size > 3)
            continue; // system exclusive and longer messages mean nothing to the drummer
        Event event;
        event.frame = cycleStart + in.time;
        event.size = static_cast<juce::uint8>(in.size);
        for (size_t b = 0; b < in.size; ++b)
            event.bytes[b] = in.buffer[b];
        toAudioBlocks.push(event);
        posted = toLiveInput.push(event) || posted;
    }
    if (posted)
        sem_post(&liveInputWaiting);
}

void JackMidiPorts::writeOutput(juce::uint32 nframes)
{
    void* buffer = jack_port_get_buffer(outputPort, nframes);
    jack_midi_clear_buffer(buffer);
    const juce::uint32 cycleStart = jack_last_frame_time(client);
    const int period = static_cast<int>(nframes);
    int lastOffset = 0;
    for (;;)
    {
        if (!isHeldForNextCycle && !toOutput.pop(heldForNextCycle))
            break;
        isHeldForNextCycle = true;
        // Sent at frame f, it leaves at f + one period: same place in the next cycle.
        const int offset = framesFrom(cycleStart, heldForNextCycle.frame) + period;
        if (offset >= period)
            break; // due in a later cycle
        lastOffset = juce::jlimit(lastOffset, period - 1, offset);
        jack_midi_event_write(buffer, static_cast<jack_nframes_t>(lastOffset), heldForNextCycle.bytes,
                              heldForNextCycle.size);
        isHeldForNextCycle = false;
    }
}

void JackMidiPorts::addEventsForBlock(ReservedMidiBuffer& block, int numSamples)
{
    if (!isOpen() || numSamples <= 0)
        return;
    const juce::uint32 cycleStart = jack_last_frame_time(client);
    for (;;)
    {
        if (!isHeldForNextBlock && !toAudioBlocks.pop(heldForNextBlock))
            return;
        isHeldForNextBlock = true;
        // Received at frame f, it plays at f + one period: same place in the next cycle.
        const int position = framesFrom(cycleStart, heldForNextBlock.frame) + numSamples;
        if (position >= numSamples)
            return; // due in a later block
        isHeldForNextBlock = false;
        if (position < -periodsBeforeAnEventIsStale * numSamples)
            continue;
        block.add(heldForNextBlock.bytes, heldForNextBlock.size, juce::jmax(0, position));
    }
}

void JackMidiPorts::sendNow(const juce::MidiMessage& message)
{
    if (!isOpen() || message.getRawDataSize() < 1 || message.getRawDataSize() > 3)
        return;
    Event event;
    event.frame = jack_frame_time(client);
    event.size = static_cast<juce::uint8>(message.getRawDataSize());
    for (int b = 0; b < event.size; ++b)
        event.bytes[b] = message.getRawData()[b];
    toOutput.push(event);
}
