#include "DrumNoteOutput.h"

MidiDeviceNoteOutput::MidiDeviceNoteOutput(std::unique_ptr<juce::MidiOutput> deviceToUse)
    : device(std::move(deviceToUse))
{
}

void MidiDeviceNoteOutput::sendNow(const juce::MidiMessage& message)
{
    device->sendMessageNow(message);
}

juce::String MidiDeviceNoteOutput::getIdentifier() const
{
    return device->getIdentifier();
}

std::unique_ptr<MidiDeviceNoteOutput> MidiDeviceNoteOutput::open(const juce::String& identifier)
{
    if (identifier.isEmpty())
        return nullptr;
    auto device = juce::MidiOutput::openDevice(identifier);
    if (device == nullptr)
        return nullptr;
    return std::make_unique<MidiDeviceNoteOutput>(std::move(device));
}
