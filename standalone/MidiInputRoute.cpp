#include "MidiInputRoute.h"

#include "JackAudioDevice.h"

MidiInputRoute midiInputRouteFor(juce::AudioIODevice* device)
{
    auto* jack = dynamic_cast<JackAudioDevice*>(device);
    const bool bridged = jack != nullptr && jack->isOpen() && jack->getPhysicalMidiSourceCount() > 0;
    return bridged ? MidiInputRoute::inputsFromJackOnly : MidiInputRoute::alsaInputsOpen;
}

const char* describeMidiInputRoute(MidiInputRoute route)
{
    return route == MidiInputRoute::inputsFromJackOnly ? "inputs from JACK only" : "ALSA inputs open";
}
