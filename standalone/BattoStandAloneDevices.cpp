#include "BattoStandAloneApplication.h"

#include "BattoAudioProcessorWithJackMidiIn.h"
#include "BattoMidiProcessor.h"
#include "DrumNoteOutput.h"
#include "JackAudioDevice.h"
#include "MidiInputRoute.h"

// The devices as the drummer follows them (message thread).
//
// On JACK the application is one JACK client (JackAudioDevice): the player's notes come in on
// its midi_in in the cycle they are played in, and with the MIDI output chosen the blocks play
// the drums out on its midi_out at their frames, unless the device window names a MIDI output
// device, which the MIDI thread then serves on its millisecond clock, as on any other device.
//
// One key, one note (MidiInputRoute): a server that shows MIDI devices as physical JACK ports
// (jackd -X seq, a2jmidid, PipeWire) brings every keyboard in on midi_in already, so while the
// audio device is such a server the MIDI input devices are closed. On a server without
// physical MIDI ports, and on every other audio device, every MIDI input device is open.

void BattoStandAloneApplication::changeListenerCallback(juce::ChangeBroadcaster*)
{
    followAudioDevice();
    followDefaultMidiOutput();
}

JackAudioDevice* BattoStandAloneApplication::getJackDevice() const
{
    return deviceManager != nullptr ? dynamic_cast<JackAudioDevice*>(deviceManager->getCurrentAudioDevice())
                                    : nullptr;
}

void BattoStandAloneApplication::followAudioDevice()
{
    auto* jack = getJackDevice();
    if (jack != nullptr && jack->isOpen())
        jack->setLiveMidiInput(midiProcessor.get()); // for when the MIDI thread plays
    const bool inputsFromJack = midiInputRouteFor(jack) == MidiInputRoute::inputsFromJackOnly;
    if (inputsFromJack == midiInputsComeFromJack)
        return;
    midiInputsComeFromJack = inputsFromJack;
    if (inputsFromJack)
    {
        for (const auto& device : juce::MidiInput::getAvailableDevices())
            deviceManager->setMidiInputDeviceEnabled(device.identifier, false);
    }
    else
    {
        enableEveryMidiInput();
    }
}

void BattoStandAloneApplication::followDefaultMidiOutput()
{
    const auto identifier =
        deviceManager != nullptr ? deviceManager->getDefaultMidiOutputIdentifier() : juce::String();
    if (identifier != midiDeviceOutputIdentifier)
    {
        // The MIDI thread lets the old device go before it is closed.
        midiProcessor->setDrumNoteOutput(nullptr);
        midiDeviceOutput = MidiDeviceNoteOutput::open(identifier);
        midiDeviceOutputIdentifier = identifier;
    }
    midiProcessor->setDrumNoteOutput(midiDeviceOutput.get());
    auto* jack = getJackDevice();
    processor->playMidiOutputInBlocks(jack != nullptr && jack->isOpen() && midiDeviceOutput == nullptr);
}

void BattoStandAloneApplication::stopFollowingDevices()
{
    if (deviceManager != nullptr)
        deviceManager->removeChangeListener(this);
}
