#include "BattoAudioProcessor.h"

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
        running.load() && !hostSynced.load() && (drumKitInBlock != kitMidiOut || midiOutputInBlocks.load());
    const bool sending =
        engineRanTheBlock && isMidiClockOutputOn() && getSyncSource() == SyncSource::internal;
    midiClockSender.runBlock(sending, clockGridPointOf(previousInstant, numSamples),
                             clockGridPointOf(nextInstant, numSamples), numSamples);
}

// An instant of the engine's grid as a place in clocks (each half subdivision is a whole
// number of clocks) and a sample of this block. The engine's clock has already moved on to
// the next block, so its times count from there.
MidiClockSender::GridPoint BattoAudioProcessor::clockGridPointOf(const instantRythmique& instant, int numSamples)
{
    const int divisions = divisionDuTempsInUse;
    const std::int64_t clocksPerHalf = MidiClockSender::clocksPerQuarter / (2 * divisions);
    const std::int64_t beats = 4 * static_cast<std::int64_t>(instant.bar) + instant.beat;
    const std::int64_t halves = 2 * static_cast<std::int64_t>(instant.division) + instant.half;
    return {beats * MidiClockSender::clocksPerQuarter + halves * clocksPerHalf,
            static_cast<std::int64_t>(instant.time) + numSamples};
}

const juce::MidiBuffer& BattoAudioProcessor::getMidiClockOut() const
{
    return midiClockSender.getBlockOutput();
}
#endif
