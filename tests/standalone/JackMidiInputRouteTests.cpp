#include "JackAudioDevice.h"
#include "MidiInputRoute.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <gtest/gtest.h>

// The MIDI input route on a real JACK server (the dummy driver that with-jack-server.sh
// starts): the application's JACK device opened beside a MIDI source of the test's own, a
// physical one as a bridge registers for each ALSA keyboard, an ordinary client's, or none.

namespace
{
// A client with one MIDI output port "keyboard:capture", active so that others can connect
// to it; with no flags, no client at all. It runs its cycles as a bridge does, its port
// silent: the clients it feeds wait for it in every cycle.
class MidiSource
{
public:
    explicit MidiSource(unsigned long portFlags)
    {
        if (portFlags == 0)
            return;
        client = jack_client_open("keyboard", JackNoStartServer, nullptr);
        if (client == nullptr)
            return;
        port = jack_port_register(client, "capture", JACK_DEFAULT_MIDI_TYPE, portFlags, 0);
        if (port != nullptr)
            jack_set_process_callback(client, silence, this);
        if (port == nullptr || jack_activate(client) != 0)
            port = nullptr;
    }

    ~MidiSource()
    {
        if (client != nullptr)
            jack_client_close(client);
    }

    bool isConnectedTo(const juce::String& portName) const
    {
        return port != nullptr && jack_port_connected_to(port, portName.toRawUTF8()) != 0;
    }

    jack_client_t* client = nullptr;
    jack_port_t* port = nullptr;

private:
    static int silence(jack_nframes_t frames, void* self)
    {
        jack_midi_clear_buffer(jack_port_get_buffer(static_cast<MidiSource*>(self)->port, frames));
        return 0;
    }

    JUCE_DECLARE_NON_COPYABLE(MidiSource)
};

struct RouteCase
{
    const char* source;
    unsigned long portFlags; // 0: no source
    bool midiInConnected;
    const char* route;
};

const RouteCase routeCases[] = {
    {"no MIDI source", 0, false, "ALSA inputs open"},
    {"an ordinary client's MIDI output", JackPortIsOutput, false, "ALSA inputs open"},
    {"a physical MIDI source", JackPortIsOutput | JackPortIsPhysical | JackPortIsTerminal, true,
     "inputs from JACK only"},
};
} // namespace

// midi_in hears every physical MIDI source from the moment the device opens, and only then
// do the ALSA inputs close; a closed device leaves them open.
TEST(JackMidiInputRoute, InputsFromJackOnlyWhileAPhysicalMidiSourceIsConnected)
{
    for (const auto& c : routeCases)
    {
        SCOPED_TRACE(c.source);
        MidiSource source(c.portFlags);
        if (c.portFlags != 0)
        {
            ASSERT_NE(source.port, nullptr) << "no JACK server for the test's own MIDI source";
        }

        JackAudioDevice device("Batto", JackAudioDeviceType::deviceName);
        ASSERT_EQ(device.open({}, 15, 48000.0, 256), juce::String());
        EXPECT_EQ(device.getPhysicalMidiSourceCount(), c.midiInConnected ? 1 : 0);
        EXPECT_EQ(source.isConnectedTo(device.getClientName() + ":midi_in"), c.midiInConnected);
        EXPECT_STREQ(describeMidiInputRoute(midiInputRouteFor(&device)), c.route);

        device.close();
        EXPECT_STREQ(describeMidiInputRoute(midiInputRouteFor(&device)), "ALSA inputs open");
    }
}
