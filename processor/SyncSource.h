#pragma once

#include <juce_core/juce_core.h>

// What the standalone drummer takes its tempo and bar from: its own tempo and the Start
// button ("Internal"), JACK's transport, or a MIDI clock with Song Position on a MIDI input.
enum class SyncSource
{
    internal,
    jackTransport,
    midiClock
};

// The name shown in the menu and kept in the settings file.
juce::String syncSourceName(SyncSource source);
// The source of that name; any other text is "Internal".
SyncSource syncSourceNamed(const juce::String& name);
