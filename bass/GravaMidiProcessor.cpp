#include "GravaMidiProcessor.h"

#include "AudioProcessorWITHOUTMidiInFilter.h"
#include "GravaBassNote.h"

namespace
{
constexpr int allNotesOffController = 123;
constexpr int sustainController = 64;
// A key struck at most this many milliseconds before another counts as part of the same chord.
constexpr juce::uint32 legatoWindowMs = 64;

int channelFromSetting(const int* setting)
{
    return juce::jlimit(1, 16, setting != nullptr ? *setting : 1);
}

juce::MidiMessage noteMessage(int statusNibble, int channel, int note, int velocity)
{
    return juce::MidiMessage(statusNibble | (channel - 1), note & 0x7F, juce::jlimit(0, 127, velocity));
}

juce::MidiMessage rechannelled(const juce::MidiMessage& message, int channel)
{
    juce::MidiMessage copy(message);
    copy.setChannel(channel); // leaves system messages (0xF0 and above) unchanged
    return copy;
}

bool holdsDevice(juce::MidiOutput* const* output)
{
    return output != nullptr && *output != nullptr;
}
} // namespace

GravaMidiProcessor::GravaMidiProcessor(juce::MidiOutput** bassOutputToUse, juce::MidiOutput** thruOutputToUse,
                                       int* bassChannelToUse, int* thruChannelToUse, int* octaToUse,
                                       int* lownToUse, int* handleSwitchToUse,
                                       AudioProcessorWITHOUTMidiInFilter* inputFilterToUse)
    : bassOutput(bassOutputToUse), thruOutput(thruOutputToUse), bassChannel(bassChannelToUse),
      thruChannel(thruChannelToUse), octa(octaToUse), lown(lownToUse), handleSwitch(handleSwitchToUse),
      inputFilter(inputFilterToUse)
{
    // The callback must not allocate: a record per MIDI note is the most there can be.
    heldKeys.reserve(128);
}

void GravaMidiProcessor::handleIncomingMidiMessage(juce::MidiInput*, const juce::MidiMessage& message)
{
    if (inputFilter != nullptr && !inputFilter->IsOkWithMidiInChannelSelectedAndNoteLimits(message))
        return;
    if (!HasToHandleIncomingMessage())
        return;

    if (message.isNoteOn())
        pressKey(message.getNoteNumber(), message.getVelocity(), getMillisecondCounter());
    else if (message.isNoteOff())
        remove(message.getNoteNumber());
    else if (message.isControllerOfType(allNotesOffController))
    {
        const auto now = getMillisecondCounter();
        for (int note = 0; note < 128; ++note)
            releaseKey(note, now);
    }
    else if (message.isControllerOfType(sustainController))
        handleSustain(message, getMillisecondCounter());
    else
        byPassAnyMidiMessage(message);
}

void GravaMidiProcessor::GravaSendMessageNow(const juce::MidiMessage& message)
{
    if (holdsDevice(bassOutput))
        (*bassOutput)->sendMessageNow(message);
}

bool GravaMidiProcessor::HaveToSendGravaMessage()
{
    return holdsDevice(bassOutput);
}

bool GravaMidiProcessor::HasToHandleIncomingMessage()
{
    const bool switchedOn = handleSwitch != nullptr && *handleSwitch == 1;
    return switchedOn && (holdsDevice(bassOutput) || holdsDevice(thruOutput));
}

void GravaMidiProcessor::ThruSendMessageNow(const juce::MidiMessage& message)
{
    if (holdsDevice(thruOutput))
        (*thruOutput)->sendMessageNow(message);
}

juce::uint32 GravaMidiProcessor::getMillisecondCounter()
{
    return juce::Time::getMillisecondCounter();
}

int GravaMidiProcessor::bassOutputNote(int note) const
{
    return gravaBassOutputNote(note, octa != nullptr ? *octa : 0, lown != nullptr ? *lown : 40);
}

void GravaMidiProcessor::pressKey(int note, juce::uint8 velocity, juce::uint32 now)
{
    const HeldKey key{note, velocity, (int)now};

    if (bassState != noBass && note > currentBass.note)
        sendToThru(thruNoteOn(note, velocity));
    else
    {
        if (bassState != noBass)
        {
            sendToBass(bassNoteOff(currentBass.note));
            // The old bass key was struck with this one: it sounds on as part of the chord. A key
            // that the pedal alone holds is already up and got its thru note-off, so it is not
            // re-sent, or it would hang on the thru stream.
            if (bassState == bassSounds && pressedWithinLegatoWindow(currentBass.time, now))
                sendToThru(thruNoteOn(currentBass.note, currentBass.velocity));
        }
        startBass(key);
    }
    recordHeldKey(key);
}

void GravaMidiProcessor::recordHeldKey(const HeldKey& key)
{
    auto place = heldKeys.begin();
    while (place != heldKeys.end() && place->note < key.note)
        ++place;

    if (place != heldKeys.end() && place->note == key.note)
    {
        place->velocity = key.velocity;
        place->time = key.time;
    }
    else
        heldKeys.insert(place, key);
}

void GravaMidiProcessor::remove(int note)
{
    releaseKey(note, getMillisecondCounter());
}

void GravaMidiProcessor::releaseKey(int note, juce::uint32 now)
{
    sendToThru(thruNoteOff(note));

    for (size_t index = 0; index < heldKeys.size();)
    {
        if (heldKeys[index].note != note)
        {
            ++index;
            continue;
        }
        const bool wasLowest = index == 0;
        const bool isTheBass = bassState != noBass && currentBass.note == note;
        heldKeys.erase(heldKeys.begin() + (std::ptrdiff_t)index);

        if (sustainPedal)
        {
            // Only the bass key hands its note to the pedal; any other key would leave a stale
            // bass behind that keeps higher keys off the bass line, or a bass that never ends.
            if (isTheBass)
                bassState = bassHeldByPedalOnly;
        }
        else if (isTheBass)
        {
            sendToBass(bassNoteOff(note));
            bassState = noBass;
            if (wasLowest)
                takeOverBassIfRecent(now);
        }
    }
}

void GravaMidiProcessor::handleSustain(const juce::MidiMessage& message, juce::uint32 now)
{
    sendToThru(rechannelled(message, channelFromSetting(thruChannel)));

    const bool pedalDown = message.getControllerValue() > 63;
    if (pedalDown || !sustainPedal)
    {
        sustainPedal = pedalDown;
        return;
    }

    sustainPedal = false;
    if (bassState != bassHeldByPedalOnly)
        return;
    sendToBass(bassNoteOff(currentBass.note));
    bassState = noBass;
    takeOverBassIfRecent(now);
}

// After the bass has ended, the lowest held key takes it over if it was struck together with
// the old bass (legato): it leaves the thru stream and becomes the bass note.
void GravaMidiProcessor::takeOverBassIfRecent(juce::uint32 now)
{
    if (heldKeys.empty())
        return;
    const auto lowest = heldKeys.front();
    if (lowest.note == currentBass.note || !pressedWithinLegatoWindow(lowest.time, now))
        return;

    sendToThru(thruNoteOff(lowest.note));
    startBass(lowest);
}

void GravaMidiProcessor::startBass(const HeldKey& key)
{
    sendToBass(bassNoteOn(key.note, key.velocity));
    currentBass = key;
    bassState = bassSounds;
}

void GravaMidiProcessor::byPassAnyMidiMessage(const juce::MidiMessage& message)
{
    sendToThru(rechannelled(message, channelFromSetting(thruChannel)));
    sendToBass(rechannelled(message, channelFromSetting(bassChannel)));
}

void GravaMidiProcessor::removeAllNotesMidiProc()
{
    for (const auto& key : heldKeys)
    {
        sendToBass(bassNoteOff(key.note));
        sendToThru(thruNoteOff(key.note));
    }
    heldKeys.clear();

    // A bass note that only the pedal holds has no key record: end it as well, and forget the
    // bass, so that the first key after a restart starts a new bass line.
    if (bassState == bassHeldByPedalOnly)
        sendToBass(bassNoteOff(currentBass.note));
    bassState = noBass;
}

void GravaMidiProcessor::sendToBass(const juce::MidiMessage& message)
{
    if (HaveToSendGravaMessage())
        GravaSendMessageNow(message);
}

void GravaMidiProcessor::sendToThru(const juce::MidiMessage& message)
{
    ThruSendMessageNow(message);
}

juce::MidiMessage GravaMidiProcessor::bassNoteOn(int note, int velocity) const
{
    return noteMessage(0x90, channelFromSetting(bassChannel), bassOutputNote(note), velocity);
}

juce::MidiMessage GravaMidiProcessor::bassNoteOff(int note) const
{
    return noteMessage(0x80, channelFromSetting(bassChannel), bassOutputNote(note), 0);
}

juce::MidiMessage GravaMidiProcessor::thruNoteOn(int note, int velocity) const
{
    return noteMessage(0x90, channelFromSetting(thruChannel), note, velocity);
}

juce::MidiMessage GravaMidiProcessor::thruNoteOff(int note) const
{
    return noteMessage(0x80, channelFromSetting(thruChannel), note, 0);
}

bool GravaMidiProcessor::pressedWithinLegatoWindow(int pressTime, juce::uint32 now)
{
    return now - (juce::uint32)pressTime <= legatoWindowMs;
}
