#include "AudioProcessorWITHOUTMidiInFilter.h"

bool AudioProcessorWITHOUTMidiInFilter::IsOkWithMidiInChannelSelectedAndNoteLimits(const juce::MidiMessage&)
{
    return true;
}

void AudioProcessorWITHOUTMidiInFilter::FilterByMidiChannelAndNoteLimits(juce::MidiBuffer&)
{
}
