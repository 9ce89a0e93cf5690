#pragma once

#include <juce_audio_utils/juce_audio_utils.h>

// The device window's content: the framework's audio and MIDI device selector (no audio
// inputs, one or two stereo output pairs, MIDI inputs and the MIDI output shown) above a
// line that says when no audio device is open and why, so that a machine without a sound
// card, or a device that failed, is told and not just silent.
class DeviceSelectorPanel : public juce::Component, private juce::ChangeListener
{
public:
    DeviceSelectorPanel(juce::AudioDeviceManager& deviceManager, const juce::String& openingError);
    ~DeviceSelectorPanel() override;

    void resized() override;

    juce::String getStatusText() const;
    juce::AudioDeviceSelectorComponent& getSelector();

    static constexpr int statusHeight = 40;

private:
    void changeListenerCallback(juce::ChangeBroadcaster* source) override;
    void updateStatus();

    juce::AudioDeviceManager& deviceManager;
    juce::String openingError; // what opening the saved or default device answered at start-up
    juce::AudioDeviceSelectorComponent selector;
    juce::Label status;
};
