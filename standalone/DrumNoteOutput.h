#pragma once

#include <juce_audio_devices/juce_audio_devices.h>

#include <memory>

// Where the standalone MIDI thread sends its drum notes, at once. Calls come from the
// thread that decides a hit, one at a time (the MIDI thread serialises its engine calls).
class DrumNoteOutput
{
public:
    virtual ~DrumNoteOutput() = default;
    virtual void sendNow(const juce::MidiMessage& message) = 0;
};

// A MIDI output device of the system, opened for the MIDI thread alone: the device manager's
// own default output may be closed by the device window at any moment, this one only when
// the application has taken it away from the MIDI thread.
class MidiDeviceNoteOutput : public DrumNoteOutput
{
public:
    explicit MidiDeviceNoteOutput(std::unique_ptr<juce::MidiOutput> device);

    void sendNow(const juce::MidiMessage& message) override;
    juce::String getIdentifier() const;

    // Opens the device with that identifier, or gives null.
    static std::unique_ptr<MidiDeviceNoteOutput> open(const juce::String& identifier);

private:
    std::unique_ptr<juce::MidiOutput> device;
};
