#include "AudioProcessorWITHMidiInFilter.h"

namespace
{
// juce::MidiMessage keeps up to 8 bytes inline; longer (system exclusive) messages would
// go to the heap. Only their status byte matters to the filter, so they are judged by it.
constexpr int inlineMessageBytes = 8;

bool isNoteOnOrOff(const juce::MidiMessage& message)
{
    const int status = message.getRawData()[0] & 0xF0;
    return message.getRawDataSize() >= 2 && (status == 0x80 || status == 0x90);
}

int channelOf(const juce::MidiMessage& message)
{
    const int status = message.getRawData()[0];
    return status >= 0xF0 ? 0 : (status & 0x0F) + 1;
}
} // namespace

AudioProcessorWITHMidiInFilter::AudioProcessorWITHMidiInFilter()
{
    reserveMidiInFilterScratch(defaultFilterScratchBytes);
}

AudioProcessorWITHMidiInFilter::AudioProcessorWITHMidiInFilter(const BusesProperties& buses)
    : AudioProcessorWITHOUTMidiInFilter(buses)
{
    reserveMidiInFilterScratch(defaultFilterScratchBytes);
}

void AudioProcessorWITHMidiInFilter::reserveMidiInFilterScratch(size_t bytes)
{
    filterScratch.ensureSize(bytes);
}

bool AudioProcessorWITHMidiInFilter::IsOkWithMidiInChannelSelectedAndNoteLimits(
    const juce::MidiMessage& message)
{
    if (message.getRawDataSize() < 1)
        return true;
    if (channelFilterOn.load() && channelOf(message) != midiInChannel.load())
        return false;
    if (noteRangeFilterOn.load() && isNoteOnOrOff(message))
    {
        const int note = message.getRawData()[1];
        if (note > highestNote.load() || note < lowestNote.load())
            return false;
    }
    return true;
}

bool AudioProcessorWITHMidiInFilter::passes(const juce::MidiMessageMetadata& event)
{
    const int bytesToJudge = event.numBytes <= inlineMessageBytes ? event.numBytes : 1;
    // Judged through the virtual slot, so a subclass that overrides the predicate alone
    // changes the whole filter.
    return IsOkWithMidiInChannelSelectedAndNoteLimits(juce::MidiMessage(event.data, bytesToJudge));
}

void AudioProcessorWITHMidiInFilter::FilterByMidiChannelAndNoteLimits(juce::MidiBuffer& buffer)
{
    filterScratch.clear();
    bool removedAny = false;
    for (const auto event : buffer)
    {
        if (passes(event))
            filterScratch.addEvent(event.data, event.numBytes, event.samplePosition);
        else
            removedAny = true;
    }
    if (!removedAny)
        return; // the buffer already holds exactly what passes

    // The survivors are fewer bytes than the buffer held, so its storage takes them back
    // without growing.
    buffer.clear();
    for (const auto event : filterScratch)
        buffer.addEvent(event.data, event.numBytes, event.samplePosition);
    filterScratch.clear();
}
