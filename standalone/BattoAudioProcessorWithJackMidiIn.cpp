#include "BattoAudioProcessorWithJackMidiIn.h"

#include "JackCycleMidi.h"

BattoAudioProcessorWithJackMidiIn::BattoAudioProcessorWithJackMidiIn(const Settings& settings)
    : BattoAudioProcessor(settings)
{
    blockMidi.reserve(midiOutputBytesFor(preparedBlockSize));
    setJackTransport(&jackTransportPlayHead);
}

void BattoAudioProcessorWithJackMidiIn::prepareToPlay(double sampleRate, int maximumExpectedSamplesPerBlock)
{
    BattoAudioProcessor::prepareToPlay(sampleRate, maximumExpectedSamplesPerBlock);
    preparedBlockSize = juce::jmax(0, maximumExpectedSamplesPerBlock);
    blockMidi.reserve(midiOutputBytesFor(preparedBlockSize));
}

void BattoAudioProcessorWithJackMidiIn::processBlock(juce::AudioBuffer<float>& buffer,
                                                     juce::MidiBuffer& midiMessages)
{
    auto* cycle = JackCycleMidi::current();
    if (cycle == nullptr)
    {
        BattoAudioProcessor::processBlock(buffer, midiMessages);
        return;
    }
    // The player's buffer may have little room; this one was reserved outside the audio
    // thread, and an event that would not fit is dropped rather than allocated for.
    blockMidi.clear();
    for (const auto event : midiMessages)
        blockMidi.add(event.data, event.numBytes, event.samplePosition);
    cycle->takeInput(blockMidi);

    const auto* storageLent = blockMidi.events.data.begin();
    BattoAudioProcessor::processBlock(buffer, blockMidi.events);
    blockMidi.followExchangedStorage(storageLent, midiOutputBytesFor(preparedBlockSize));

    // Only the notes the blocks decide: otherwise the buffer holds the block's input as it came.
    if (getDrumKit() == kitMidiOut && playsMidiOutputInBlocks())
        cycle->addOutput(blockMidi.events);
    // The MIDI clock leaves at its frames whatever sounds the drums, unless a MIDI output
    // device takes it.
    if (!sendsMidiClockToDevice())
        cycle->addOutput(getMidiClockOut());
    midiMessages.clear();
}

int BattoAudioProcessorWithJackMidiIn::getDroppedBlockEventCount() const
{
    return blockMidi.getDroppedCount();
}
