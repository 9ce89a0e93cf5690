#include "BattoAudioProcessor.h"

//==============================================================================
// What the drummer follows: a plug-in host's transport, or in the standalone application
// the sync source the user chose. Each source is a play head, followed by the same rules.

juce::AudioPlayHead* BattoAudioProcessor::syncPlayHead() const
{
#if !BATTO_PLUGIN_BUILD
    switch (getSyncSource())
    {
    case SyncSource::jackTransport:
        if (auto* transport = jackTransport.load())
            return transport;
        break;
    case SyncSource::midiClock:
        return midiClockPlayHead;
    case SyncSource::internal:
        break;
    }
#endif
    return getPlayHead(); // the standalone's player gives one that never plays
}

bool BattoAudioProcessor::waitsForExternalClock() const
{
#if BATTO_PLUGIN_BUILD
    return false;
#else
    return getSyncSource() != SyncSource::internal;
#endif
}

#if !BATTO_PLUGIN_BUILD
void BattoAudioProcessor::setSyncSource(SyncSource source)
{
    if (source == getSyncSource())
        return;
    // An external clock takes over from the Start button: a drummer running on its own
    // tempo stops and waits for the clock.
    if (source != SyncSource::internal)
        stop();
    syncSource.store(static_cast<int>(source));
}

SyncSource BattoAudioProcessor::getSyncSource() const
{
    return static_cast<SyncSource>(syncSource.load());
}

void BattoAudioProcessor::setJackTransport(juce::AudioPlayHead* transport)
{
    jackTransport.store(transport);
}

void BattoAudioProcessor::setMidiClockOutput(bool on)
{
    midiClockOutput.store(on);
}

bool BattoAudioProcessor::isMidiClockOutputOn() const
{
    return midiClockOutput.load();
}
#endif
