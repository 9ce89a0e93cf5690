#include "DeviceSelectorPanel.h"

DeviceSelectorPanel::DeviceSelectorPanel(juce::AudioDeviceManager& manager, const juce::String& error)
    : deviceManager(manager), openingError(error), selector(manager, 0, 0, 2, 4, true, true, true, false)
{
    addAndMakeVisible(selector);
    status.setJustificationType(juce::Justification::centredLeft);
    status.setColour(juce::Label::textColourId, juce::Colours::black);
    status.setColour(juce::Label::backgroundColourId, juce::Colour(0xffffe0a0));
    addChildComponent(status);
    setSize(500, 450);
    deviceManager.addChangeListener(this);
    updateStatus();
}

DeviceSelectorPanel::~DeviceSelectorPanel()
{
    deviceManager.removeChangeListener(this);
}

void DeviceSelectorPanel::resized()
{
    auto area = getLocalBounds();
    if (status.isVisible())
        status.setBounds(area.removeFromBottom(statusHeight).reduced(4));
    selector.setBounds(area);
}

juce::String DeviceSelectorPanel::getStatusText() const
{
    return status.isVisible() ? status.getText() : juce::String();
}

juce::AudioDeviceSelectorComponent& DeviceSelectorPanel::getSelector()
{
    return selector;
}

void DeviceSelectorPanel::changeListenerCallback(juce::ChangeBroadcaster*)
{
    openingError.clear(); // a choice made here replaces what start-up found
    updateStatus();
}

void DeviceSelectorPanel::updateStatus()
{
    juce::String text;
    if (deviceManager.getCurrentAudioDevice() == nullptr)
    {
        text = "No audio device is open: the drums and the metronome are silent.";
        if (openingError.isNotEmpty())
            text << " (" << openingError << ")";
        else if (deviceManager.getAvailableDeviceTypes().isEmpty()
                 || deviceManager.getCurrentDeviceTypeObject() == nullptr
                 || deviceManager.getCurrentDeviceTypeObject()->getDeviceNames().isEmpty())
            text << " No device was found.";
    }
    status.setText(text, juce::dontSendNotification);
    status.setVisible(text.isNotEmpty());
    resized();
}
