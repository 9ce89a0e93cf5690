#pragma once

#include "AudioProcessorWITHOUTMidiInFilter.h"

#include <atomic>

// A processor that listens to one MIDI channel and a note range only, when the user
// asks for it. The filter panel writes the settings on the message thread; the audio
// thread and the standalone MIDI thread read them, so each is an atomic read once per test.
class AudioProcessorWITHMidiInFilter : public AudioProcessorWITHOUTMidiInFilter
{
public:
    // Bytes reserved for the copy that FilterByMidiChannelAndNoteLimits makes of a block's
    // MIDI; a bigger block makes it grow once, outside any usual performance.
    static constexpr size_t defaultFilterScratchBytes = 32 * 1024;

    AudioProcessorWITHMidiInFilter();
    explicit AudioProcessorWITHMidiInFilter(const BusesProperties& buses);

    // System messages (status 0xF0 and above) count as channel 0, so the channel filter
    // stops them. A note-on with velocity 0 is a note message for the range test.
    bool IsOkWithMidiInChannelSelectedAndNoteLimits(const juce::MidiMessage& message) override;
    // Rebuilds the buffer in place from a reserved copy: no allocation on the audio thread.
    void FilterByMidiChannelAndNoteLimits(juce::MidiBuffer& buffer) override;

    // Grows the reserved copy (call it outside the audio thread, e.g. in prepareToPlay).
    void reserveMidiInFilterScratch(size_t bytes);

    // Written by the filter panel (message thread); read by the audio and MIDI threads.
    std::atomic<bool> channelFilterOn{false};
    std::atomic<int> midiInChannel{1}; // 1..16; anything else accepts nothing while on
    std::atomic<bool> noteRangeFilterOn{false};
    std::atomic<int> highestNote{127}; // inclusive
    std::atomic<int> lowestNote{0};    // inclusive

private:
    bool passes(const juce::MidiMessageMetadata& event);

    juce::MidiBuffer filterScratch; // used by the thread that filters a buffer
};
