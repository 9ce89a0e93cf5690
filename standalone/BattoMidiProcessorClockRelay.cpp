#include "BattoMidiProcessor.h"

#include <chrono>
#include <pthread.h>
#include <sched.h>
#include <thread>

//==============================================================================
// This engine's MIDI clock (the thread "MidiBatto", under engineLock)

bool BattoStandAloneApplication::BattoMidiProcessor::sendsClock() const
{
    return hasOutput() && processor->isMidiClockOutputOn()
           && processor->getSyncSource() == SyncSource::internal;
}

void BattoStandAloneApplication::BattoMidiProcessor::decideClockOfThisEngine(bool sending)
{
    // The clocks up to the engine's next step are known now: the step that reached an
    // instant knows the next one.
    const std::int64_t start = clockSender.getBlockStart();
    const std::int64_t upTo = juce::jmax<std::int64_t>(start, getTimeOfNextSomethingToDo(0));
    auto gridPoint = [this, start](const instantRythmique& instant)
    {
        return MidiClockSender::GridPoint{MidiClockSender::clockOfInstant(instant.bar, instant.beat,
                                                                          instant.division, instant.half,
                                                                          divisionDuTemps),
                                          instant.time - start};
    };
    clockSender.runBlock(sending, gridPoint(previousInstant), gridPoint(nextInstant),
                         static_cast<int>(upTo - start));
    for (const auto event : clockSender.getBlockOutput())
    {
        BattoAudioProcessor::TimedMidiClock clock;
        clock.milliseconds = millisecondsAt(start + event.samplePosition);
        clock.size = juce::jmin(event.numBytes, 3);
        std::copy(event.data, event.data + clock.size, clock.bytes);
        clockOfThisEngine.push(clock); // a full queue: the relay is gone, nobody sends
    }
}

//==============================================================================
// The relay (the thread "MidiClockOut")

BattoStandAloneApplication::BattoMidiProcessor::MidiClockRelay::MidiClockRelay(
    BattoMidiProcessor& ownerToServe)
    : juce::Thread("MidiClockOut"), owner(ownerToServe)
{
}

BattoStandAloneApplication::BattoMidiProcessor::MidiClockRelay::~MidiClockRelay()
{
    stopThread(-1);
}

void BattoStandAloneApplication::BattoMidiProcessor::MidiClockRelay::forgetWaiting()
{
    TimedMidiClock dropped;
    if (owner.processor != nullptr)
        while (owner.processor->midiClockForDevice.pop(dropped))
        {
        }
    while (owner.clockOfThisEngine.pop(dropped))
    {
    }
    holdsFromBlocks = holdsFromEngine = false;
}

double BattoStandAloneApplication::BattoMidiProcessor::MidiClockRelay::sendDue(double now)
{
    for (;;)
    {
        if (!holdsFromBlocks && owner.processor != nullptr)
            holdsFromBlocks = owner.processor->midiClockForDevice.pop(fromBlocks);
        if (!holdsFromEngine)
            holdsFromEngine = owner.clockOfThisEngine.pop(fromEngine);
        if (!holdsFromBlocks && !holdsFromEngine)
            return -1.0;
        // The earlier of the two sources first (only one plays at a time, but a hand-over
        // may leave the one's Stop beside the other's Start).
        const bool blocksFirst =
            holdsFromBlocks && (!holdsFromEngine || fromBlocks.milliseconds <= fromEngine.milliseconds);
        const TimedMidiClock& clock = blocksFirst ? fromBlocks : fromEngine;
        if (clock.milliseconds > now)
            return clock.milliseconds;
        {
            const juce::ScopedLock lock(owner.engineLock); // one sender at a time on the device
            if (owner.output != nullptr && clock.size > 0)
                owner.output->sendNow(juce::MidiMessage(clock.bytes, clock.size,
                                                        clock.milliseconds)); // stamped with its due time
        }
        (blocksFirst ? holdsFromBlocks : holdsFromEngine) = false;
    }
}

void BattoStandAloneApplication::BattoMidiProcessor::MidiClockRelay::run()
{
    // Like the drummer's own thread: real-time round robin at a low priority where allowed.
    sched_param parameters{};
    parameters.sched_priority = 3;
    pthread_setschedparam(pthread_self(), SCHED_RR, &parameters);

    while (!threadShouldExit())
    {
        const double now = juce::Time::getMillisecondCounterHiRes();
        const double due = sendDue(now);
        // Clocks arrive a block ahead of their time: a look every millisecond at most, and a
        // sleep to the very time of the next one.
        const double wait = due < 0.0 ? 1.0 : juce::jlimit(0.0, 1.0, due - now);
        if (wait > 0.0)
            std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(wait));
    }
}
