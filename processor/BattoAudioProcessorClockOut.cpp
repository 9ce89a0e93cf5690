#include "BattoAudioProcessor.h"

#include <algorithm>
#include <cmath>

//==============================================================================
// MIDI clock out: the drummer's own beat grid as clock for other gear

#if !BATTO_PLUGIN_BUILD
// The clocks go to a buffer of their own, not into the block's MIDI: that buffer is what the
// instrument plug-in renders and what the take keeps of the drum part. Never while the drummer
// follows a clock or a transport (only the grid it keeps itself is sent), nor while the MIDI
// thread plays in its stead (the blocks' engine rests then).
void BattoAudioProcessor::sendMidiClockOut(juce::MidiBuffer&, int numSamples)
{
    const bool engineRanTheBlock =
        running.load() && !hostSynced.load() && (drumKitInBlock != kitMidiOut || blocksPlayTheMidiOutput());
    const bool sending =
        engineRanTheBlock && isMidiClockOutputOn() && getSyncSource() == SyncSource::internal;
    midiClockSender.runBlock(sending, clockGridPointOf(previousInstant, numSamples),
                             clockGridPointOf(nextInstant, numSamples), numSamples);
    handMidiClockToDevice(numSamples);
}

// The device's thread sends each clock at its time on the millisecond counter. The block's
// time line is the counter's reading when the block runs, smoothed: blocks are called at
// uneven moments, while the samples they hold follow each other evenly. A reading far from
// the expected one (a device that stopped, a first block) starts the line anew.
void BattoAudioProcessor::handMidiClockToDevice(int numSamples)
{
    if (!midiClockToDevice.load())
    {
        clockBlockMs = -1.0; // the line starts anew with the device
        return;
    }
    const double now = millisecondCounterNow();
    const double blockMs = numSamples * 1000.0 / engineSampleRate;
    const double expected = clockBlockStartMs + clockBlockMs;
    const bool onTheLine =
        clockBlockMs >= 0.0 && std::abs(now - expected) < 2.0 * (clockBlockMs + blockMs) + 5.0;
    clockBlockStartMs = onTheLine ? expected + 0.005 * (now - expected) : now;
    clockBlockMs = blockMs;
    queueForDevice(midiClockSender.getBlockOutput(), numSamples);
    // The drum notes of the MIDI output that the blocks play in the MIDI thread's stead (an
    // external clock drives the drummer) go the same way, each at the time it sounds.
    if (drumKitInBlock == kitMidiOut && !midiOutputInBlocks.load() && blocksPlayTheMidiOutput())
        queueForDevice(midiOut.events, numSamples);
}

void BattoAudioProcessor::queueForDevice(const juce::MidiBuffer& messages, int numSamples)
{
    for (const auto event : messages)
    {
        TimedMidiClock message;
        message.milliseconds =
            clockBlockStartMs + (event.samplePosition + numSamples) * 1000.0 / engineSampleRate;
        message.size = juce::jmin(event.numBytes, 3);
        std::copy(event.data, event.data + message.size, message.bytes);
        midiClockForDevice.push(message);
    }
}

void BattoAudioProcessor::sendMidiClockToDevice(bool toDevice)
{
    midiClockToDevice.store(toDevice);
}

bool BattoAudioProcessor::sendsMidiClockToDevice() const
{
    return midiClockToDevice.load();
}

// An instant of the engine's grid as a place in clocks (each half subdivision is a whole
// number of clocks) and a sample of this block. The engine's clock has already moved on to
// the next block, so its times count from there.
MidiClockSender::GridPoint BattoAudioProcessor::clockGridPointOf(const instantRythmique& instant,
                                                                 int numSamples)
{
    return {MidiClockSender::clockOfInstant(instant.bar, instant.beat, instant.division, instant.half,
                                            divisionDuTempsInUse),
            static_cast<std::int64_t>(instant.time) + numSamples};
}

const juce::MidiBuffer& BattoAudioProcessor::getMidiClockOut() const
{
    return midiClockSender.getBlockOutput();
}
#endif
