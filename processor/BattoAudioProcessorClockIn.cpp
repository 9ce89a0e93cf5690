#include "BattoAudioProcessor.h"
#include "BattoAudioProcessorInternal.h"

//==============================================================================
// MIDI clock in: the block's clock bytes, before anything reads its notes

#if !BATTO_PLUGIN_BUILD
void BattoAudioProcessor::prepareMidiClockIn(double sampleRate, int samplesPerBlock)
{
    midiClockFollower.prepare(sampleRate);
    clockInKept.reserve(juce::jmax(midiBytesFor(samplesPerBlock), defaultFilterScratchBytes));
}

void BattoAudioProcessor::takeMidiClockIn(juce::MidiBuffer& midiMessages, int numSamples)
{
    midiClockFollower.takeBlock(midiMessages, numSamples);

    bool hasClockMessages = false;
    for (const auto event : midiMessages)
        hasClockMessages = hasClockMessages || MidiClockFollower::isClockMessage(event.data, event.numBytes);
    if (!hasClockMessages)
        return;

    // The clock messages leave the block: the note analysis and the bass follower never see
    // them. The others are kept aside and put back into the block's own storage, which only
    // shrinks; should they not fit the room kept for them, the block stays as it came (the
    // clock bytes are no notes to anything that reads it).
    clockInKept.clear();
    for (const auto event : midiMessages)
        if (!MidiClockFollower::isClockMessage(event.data, event.numBytes)
            && !clockInKept.add(event.data, event.numBytes, event.samplePosition))
            return;
    midiMessages.clear();
    for (const auto event : clockInKept.events)
        midiMessages.addEvent(event.data, event.numBytes, event.samplePosition);
    clockInKept.clear();
}

void BattoAudioProcessor::readMidiClockPosition()
{
    // The follower measures the clock itself and answers exactly at every block: nothing to
    // predict from earlier blocks, nothing rounded to make up for.
    songPosition.forget();
    const auto position = midiClockFollower.getPosition();
    juce::AudioPlayHead::CurrentPositionInfo info;
    info.isPlaying = position->getIsPlaying();
    info.bpm = position->getBpm().orFallback(120.0);
    info.ppqPosition = position->getPpqPosition().orFallback(0.0);
    info.ppqPositionOfLastBarStart = position->getPpqPositionOfLastBarStart().orFallback(0.0);
    info.timeInSamples = position->getTimeInSamples().orFallback(0);
    info.timeInSeconds = position->getTimeInSeconds().orFallback(0.0);
    info.timeSigNumerator = 4;
    info.timeSigDenominator = 4;
    lastPosInfo = info;
}

bool BattoAudioProcessor::midiClockRelocated() const
{
    return syncPlayHead() == midiClockPlayHead && midiClockFollower.relocatedInLastBlock();
}
#endif
