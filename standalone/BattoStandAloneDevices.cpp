#include "BattoStandAloneApplication.h"

#include "BattoAudioProcessorWithJackMidiIn.h"
#include "BattoMidiProcessor.h"
#include "DrumNoteOutput.h"
#include "JackMidiPorts.h"

// The devices as the drummer follows them (message thread): the audio device decides
// whether JACK MIDI ports are open; the device window's default MIDI output, or else the
// JACK MIDI output, receives the MIDI thread's drum notes.

void BattoStandAloneApplication::changeListenerCallback(juce::ChangeBroadcaster*)
{
    followAudioDevice();
    followDefaultMidiOutput();
}

void BattoStandAloneApplication::followAudioDevice()
{
    auto* device = deviceManager != nullptr ? deviceManager->getCurrentAudioDevice() : nullptr;
    const bool onJack = device != nullptr && device->getTypeName() == "JACK";
    if (onJack == jackMidiPorts->isOpen())
        return;
    closeJackMidiPorts();
    if (onJack)
        jackMidiPorts->open(getApplicationName() + " MIDI");
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
    if (midiDeviceOutput != nullptr)
        midiProcessor->setDrumNoteOutput(midiDeviceOutput.get());
    else if (jackMidiPorts->isOpen())
        midiProcessor->setDrumNoteOutput(jackMidiPorts.get());
    else
        midiProcessor->setDrumNoteOutput(nullptr);
}

void BattoStandAloneApplication::closeJackMidiPorts()
{
    if (jackMidiPorts == nullptr)
        return;
    if (midiProcessor != nullptr)
        midiProcessor->setDrumNoteOutput(midiDeviceOutput.get());
    jackMidiPorts->stopFeedingBlocks();
    if (processor != nullptr)
    {
        // Blocks run under the callback lock: once it is free, none is inside the ports. It
        // is not held while JACK closes the client, which waits for the server's cycle.
        const juce::ScopedLock waitForTheBlockInside(processor->getCallbackLock());
    }
    jackMidiPorts->close();
}

void BattoStandAloneApplication::stopFollowingDevices()
{
    if (deviceManager != nullptr)
        deviceManager->removeChangeListener(this);
}
