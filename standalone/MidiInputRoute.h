#pragma once

#include <juce_audio_devices/juce_audio_devices.h>

// Where the application takes its MIDI input from, on the audio device it runs on.
//
// A JACK server that shows the ALSA MIDI devices as physical JACK ports (a bridge) already
// brings every keyboard in on midi_in, which the JACK device connects to every physical MIDI
// source: with ALSA inputs open as well, each key would arrive twice. So on an open JACK
// device with at least one physical MIDI source the ALSA inputs stay closed; on a JACK server
// without one (no bridge), and on every other device, every ALSA input is open, so that a
// keyboard only ALSA sees keeps playing.
enum class MidiInputRoute
{
    alsaInputsOpen,
    inputsFromJackOnly,
};

// The route for this device (null: no device).
MidiInputRoute midiInputRouteFor(juce::AudioIODevice* device);

// "ALSA inputs open" or "inputs from JACK only".
const char* describeMidiInputRoute(MidiInputRoute route);
