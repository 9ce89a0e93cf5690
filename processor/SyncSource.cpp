#include "SyncSource.h"

juce::String syncSourceName(SyncSource source)
{
    switch (source)
    {
    case SyncSource::jackTransport:
        return "JACK transport";
    case SyncSource::midiClock:
        return "MIDI clock";
    case SyncSource::internal:
        break;
    }
    return "Internal";
}

SyncSource syncSourceNamed(const juce::String& name)
{
    for (const auto source : {SyncSource::jackTransport, SyncSource::midiClock})
        if (name == syncSourceName(source))
            return source;
    return SyncSource::internal;
}
