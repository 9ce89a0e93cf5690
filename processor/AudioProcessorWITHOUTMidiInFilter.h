#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

// A processor whose MIDI-in filter lets everything through. The processors that have no
// filter settings (the plug-in build's drummer, the bass follower) derive from it, so that
// the same two calls work on every processor.
class AudioProcessorWITHOUTMidiInFilter : public juce::AudioProcessor
{
public:
    using juce::AudioProcessor::AudioProcessor;

    // True when the message passes the filter.
    virtual bool IsOkWithMidiInChannelSelectedAndNoteLimits(const juce::MidiMessage& message);
    // Removes every event that does not pass; the others keep their positions and order.
    virtual void FilterByMidiChannelAndNoteLimits(juce::MidiBuffer& buffer);
};
