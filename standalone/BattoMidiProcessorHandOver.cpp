#include "BattoMidiProcessor.h"

#include <cmath>
#include <limits>

// The performance passes between the processor's engine (times in samples, counted from
// the start of its next block) and this one (times in ticks of this thread's clock, 48 to the millisecond).
// Both copies run with the processor's callback lock held, so no audio block runs that
// engine meanwhile; while the MIDI output is chosen, the audio thread leaves it alone anyway.

namespace
{
int clampedToInt(double value)
{
    constexpr double lowest = std::numeric_limits<int>::min();
    constexpr double highest = std::numeric_limits<int>::max();
    return static_cast<int>(juce::jlimit(lowest, highest, std::trunc(value)));
}

// The state of one performance, apart from the clock's own unit (the times of the three
// instants and of the last note of a fill, converted by the caller), the hits decided for
// instants not yet reached, the crash alternation and the subdivision length.
void copyPerformance(const Batto& from, Batto& to)
{
    to.currentInstant = from.currentInstant;
    to.nextInstant = from.nextInstant;
    to.previousInstant = from.previousInstant;
    for (int voice = 0; voice < Batto::numVoices; ++voice)
        to.lastPlayedInstant[voice] = from.lastPlayedInstant[voice];
    to.lastNoteOnInstant = from.lastNoteOnInstant;
    to.dynamicLevel = from.dynamicLevel;
    to.phraseFirstBar = from.phraseFirstBar;
    for (int i = 0; i < 4; ++i)
        to.noteVelocityHistory[i] = from.noteVelocityHistory[i];
    to.breakState = from.breakState;
    to.breakFirstBar = from.breakFirstBar;
    to.breakStartPosition = from.breakStartPosition;
    to.breakVelocity = from.breakVelocity;
    to.rollIsRegular = from.rollIsRegular;
    to.rollLastNoteTime = from.rollLastNoteTime;
    to.rollNotesPerDivision = from.rollNotesPerDivision;
    to.noteWindowOpen = from.noteWindowOpen;
    to.instantReached = from.instantReached;
}

template <typename Convert> void convertTimes(Batto& engine, Convert&& convert)
{
    engine.previousInstant.time = convert(engine.previousInstant.time);
    engine.currentInstant.time = convert(engine.currentInstant.time);
    engine.nextInstant.time = convert(engine.nextInstant.time);
    // The last note of a fill is a time like the others: its distance to the next note
    // decides whether the fill keeps a regular pulse.
    engine.rollLastNoteTime = convert(engine.rollLastNoteTime);
}
} // namespace

void BattoStandAloneApplication::BattoMidiProcessor::takeOverFromProcessor()
{
    if (processor == nullptr)
    {
        const juce::ScopedLock lock(engineLock);
        originMilliseconds = millisecondsNow();
        resetPerformance();
        playing = true;
        return;
    }
    const juce::ScopedLock audioHeldOut(processor->getCallbackLock());
    const juce::ScopedLock lock(engineLock);
    originMilliseconds = millisecondsNow();
    copyPerformance(*processor, *this);
    divisionDuTemps = *processor->getDivisionDuTemps(); // the count the engine plays with
    const double rate = processor->getEngineSampleRate();
    const int now = engineNow();
    convertTimes(*this,
                 [&](int samples)
                 {
                     return clampedToInt(samples * 1000.0 * ticksPerMillisecond / rate + now);
                 });
    playing = true;
}

void BattoStandAloneApplication::BattoMidiProcessor::handBackToProcessor()
{
    if (processor == nullptr)
    {
        const juce::ScopedLock lock(engineLock);
        playing = false;
        return;
    }
    const juce::ScopedLock audioHeldOut(processor->getCallbackLock());
    const juce::ScopedLock lock(engineLock);
    playing = false;
    copyPerformance(*this, *processor);
    processor->takeSubdivisionBackFromMidiThread(divisionDuTemps);
    const double rate = processor->getEngineSampleRate();
    const int now = engineNow();
    // Instants already past become negative sample times.
    convertTimes(*processor,
                 [&](int ticks)
                 {
                     return clampedToInt((ticks - static_cast<double>(now)) * rate * 0.001 / ticksPerMillisecond);
                 });
}

void BattoStandAloneApplication::BattoMidiProcessor::rebaseIfNeeded()
{
    if (nextInstant.time < rebaseAfterTicks)
        return;
    // Engine times are added as 32-bit ints: move the origin forward and every time back by
    // the same amount, so that they stay far from overflowing.
    const int shift = nextInstant.time;
    originMilliseconds = millisecondsAt(shift);
    convertTimes(*this,
                 [shift](int ticks)
                 {
                     return clampedToInt(static_cast<double>(ticks) - shift);
                 });
    clockSender.moveTimeLine(-shift);
}
