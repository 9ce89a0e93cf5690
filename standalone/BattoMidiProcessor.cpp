#include "BattoMidiProcessor.h"

#include "EngineNumbers.h"

#include <chrono>
#include <cmath>
#include <pthread.h>
#include <sched.h>

namespace
{

// The drummer's clock should not wait behind whatever else the machine runs: where the system
// allows it, the thread that keeps time runs under the real-time round-robin policy at a low
// priority, below the audio threads of JACK clients (5 by default) and of ALSA devices, so
// that audio still comes first. Elsewhere it stays as it was started, with normal priority.
void keepTimeAheadOfOtherWork()
{
    sched_param parameters{};
    parameters.sched_priority = 3;
    pthread_setschedparam(pthread_self(), SCHED_RR, &parameters);
}

bool isNoteOnWithVelocity(const juce::MidiMessage& message)
{
    const auto* data = message.getRawData();
    return message.getRawDataSize() >= 3 && (data[0] & 0xF0) == 0x90 && data[2] > 0;
}
} // namespace

//==============================================================================
// The bass follower in front of this engine: the note-ons of its bass line reach the
// drummer, nothing reaches a device.

BattoStandAloneApplication::BattoMidiProcessor::GravaMidiProcessorForBatto::GravaMidiProcessorForBatto(
    BattoMidiProcessor& ownerToFeed)
    : GravaMidiProcessor(&noDevice, &noDevice, &channelOne, &channelOne, &zero, &zero, nullptr,
                         ownerToFeed.processor),
      owner(ownerToFeed)
{
}

void BattoStandAloneApplication::BattoMidiProcessor::GravaMidiProcessorForBatto::GravaSendMessageNow(
    const juce::MidiMessage& message)
{
    if (isNoteOnWithVelocity(message))
        owner.noteOnMidiIn(message.getRawData()[2], owner.engineNow(), 0);
}

bool BattoStandAloneApplication::BattoMidiProcessor::GravaMidiProcessorForBatto::HaveToSendGravaMessage()
{
    return true;
}

bool BattoStandAloneApplication::BattoMidiProcessor::GravaMidiProcessorForBatto::HasToHandleIncomingMessage()
{
    return true;
}

void BattoStandAloneApplication::BattoMidiProcessor::GravaMidiProcessorForBatto::ThruSendMessageNow(
    const juce::MidiMessage&)
{
    // The other keys of a chord go nowhere: the drummer follows the bass line alone.
}

juce::uint32
BattoStandAloneApplication::BattoMidiProcessor::GravaMidiProcessorForBatto::getMillisecondCounter()
{
    return static_cast<juce::uint32>(static_cast<juce::int64>(std::floor(owner.millisecondsNow())));
}

//==============================================================================
BattoStandAloneApplication::BattoMidiProcessor::BattoMidiProcessor(BattoAudioProcessor* processorToFollow)
    : juce::Thread("MidiBatto"), processor(processorToFollow), gravaMidiProcessor(*this)
{
    addListener(this);
}

BattoStandAloneApplication::BattoMidiProcessor::~BattoMidiProcessor()
{
    stopThread(-1);
    removeListener(this);
}

void BattoStandAloneApplication::BattoMidiProcessor::setDrumNoteOutput(DrumNoteOutput* newOutput)
{
    {
        const juce::ScopedLock lock(engineLock);
        output = newOutput;
    }
    // The clock follows the notes: to the device while there is one, else (on JACK) with the
    // blocks to the JACK client's MIDI output.
    if (processor != nullptr)
        processor->sendMidiClockToDevice(newOutput != nullptr);
    if (newOutput == nullptr)
        clockRelay.stopThread(-1);
    else if (!clockRelay.isThreadRunning())
    {
        clockRelay.forgetWaiting();
        clockRelay.startThread();
    }
}

bool BattoStandAloneApplication::BattoMidiProcessor::isPlaying() const
{
    const juce::ScopedLock lock(engineLock);
    return playing;
}

double BattoStandAloneApplication::BattoMidiProcessor::millisecondsNow()
{
    return juce::Time::getMillisecondCounterHiRes();
}

int BattoStandAloneApplication::BattoMidiProcessor::engineTimeAt(double milliseconds) const
{
    return truncated(std::floor((milliseconds - originMilliseconds) * ticksPerMillisecond));
}

double BattoStandAloneApplication::BattoMidiProcessor::millisecondsAt(std::int64_t engineTime) const
{
    return originMilliseconds + static_cast<double>(engineTime) / ticksPerMillisecond;
}

double BattoStandAloneApplication::BattoMidiProcessor::ticksPerDivision() const
{
    return 60000.0 * ticksPerMillisecond / (divisionDuTemps * tempo);
}

int BattoStandAloneApplication::BattoMidiProcessor::engineNow()
{
    return engineTimeAt(millisecondsNow());
}

void BattoStandAloneApplication::BattoMidiProcessor::refreshSettings()
{
    if (processor == nullptr)
        return;
    // The subdivision count is the engine's own: it changes on a beat, by the subdivision rule.
    tempo = processor->getTempoSetting();
    autoKick = processor->isAutoKickOn();
    autoSnare = processor->isAutoSnareOn();
}

bool BattoStandAloneApplication::BattoMidiProcessor::hasOutput() const
{
    return processor != nullptr && output != nullptr;
}

//==============================================================================
// The player's notes (MIDI input threads)

void BattoStandAloneApplication::BattoMidiProcessor::handleIncomingMidiMessage(
    juce::MidiInput* source, const juce::MidiMessage& message)
{
    // The filter sees the channel the message came on.
    if (processor != nullptr && !processor->IsOkWithMidiInChannelSelectedAndNoteLimits(message))
        return;
    const juce::ScopedLock lock(engineLock);
    if (!playing)
        return;
    refreshSettings();
    if (processor != nullptr && processor->isGravaEnabled())
        gravaMidiProcessor.handleIncomingMidiMessage(source, message);
    else if (isNoteOnWithVelocity(message))
        noteOnMidiIn(message.getRawData()[2], engineNow(), 0);
}

//==============================================================================
// The thread

void BattoStandAloneApplication::BattoMidiProcessor::run()
{
    keepTimeAheadOfOtherWork();
    {
        const juce::ScopedLock lock(engineLock);
        gravaMidiProcessor.removeAllNotesMidiProc();
    }
    takeOverFromProcessor();
    {
        const juce::ScopedLock lock(engineLock);
        clockSender.restartTimeLine(engineNow()); // this engine's clock starts on its own time line
    }

    while (!threadShouldExit())
    {
        double due = 0.0;
        {
            const juce::ScopedLock lock(engineLock);
            due = millisecondsAt(turnOfTheLoop());
        }
        waitUntil(due);
        // A stop request that ended the wait still lets this step run: at most one early.
        const juce::ScopedLock lock(engineLock);
        refreshSettings();
        doSomething();
        decideClockOfThisEngine(sendsClock());
    }

    {
        const juce::ScopedLock lock(engineLock);
        decideClockOfThisEngine(false); // Stop, if the clock ran
    }
    handBackToProcessor();
    const juce::ScopedLock lock(engineLock);
    gravaMidiProcessor.removeAllNotesMidiProc();
}

int BattoStandAloneApplication::BattoMidiProcessor::turnOfTheLoop()
{
    refreshSettings();
    // Ticks per subdivision, every turn: tempo and subdivision changes apply at once.
    divisionDuration = ticksPerDivision();
    rebaseIfNeeded();
    return getTimeOfNextSomethingToDo(0);
}

void BattoStandAloneApplication::BattoMidiProcessor::waitUntil(double milliseconds)
{
    std::unique_lock<std::mutex> lock(wakeMutex);
    const double remaining = milliseconds - millisecondsNow();
    if (remaining > 0.0 && !wakeRequested)
        wake.wait_for(lock, std::chrono::duration<double, std::milli>(remaining),
                      [this]
                      {
                          return wakeRequested;
                      });
    wakeRequested = false;
}

void BattoStandAloneApplication::BattoMidiProcessor::exitSignalSent()
{
    {
        const std::lock_guard<std::mutex> lock(wakeMutex);
        wakeRequested = true;
    }
    wake.notify_all();
}

//==============================================================================
// The engine's host interface

int BattoStandAloneApplication::BattoMidiProcessor::GetStartLatencyCompensation()
{
    return 0;
}

void BattoStandAloneApplication::BattoMidiProcessor::outputJouer(Percu voice, int velocity)
{
    if (voice < 0 || voice >= numVoices)
        return;
    const juce::ScopedLock lock(engineLock); // previews come from the message thread
    if (!hasOutput())
        return;
    const int noteVelocity = drumNoteVelocity(velocity, processor->getVelocityScale(voice)); // as the processor's
    const auto note = static_cast<juce::uint8>(processor->getDrumNote(voice) & 0x7F);
    output->sendNow(juce::MidiMessage(0x99, note, noteVelocity));
}

int BattoStandAloneApplication::BattoMidiProcessor::getWaitForTheTimeToUpdateProgressionBarDisplay()
{
    return hasOutput() ? processor->getWaitForTheTimeToUpdateProgressionBarDisplay() : 0;
}

int* BattoStandAloneApplication::BattoMidiProcessor::getDivisionDuTemps()
{
    return &divisionDuTemps;
}

double* BattoStandAloneApplication::BattoMidiProcessor::getTempo()
{
    return &tempo;
}

bool* BattoStandAloneApplication::BattoMidiProcessor::getAutoKick()
{
    return &autoKick;
}

bool* BattoStandAloneApplication::BattoMidiProcessor::getAutoSnare()
{
    return &autoSnare;
}

double BattoStandAloneApplication::BattoMidiProcessor::GetBreakParam1()
{
    return processor != nullptr ? processor->GetBreakParam1() : 0.5;
}

double BattoStandAloneApplication::BattoMidiProcessor::GetBreakParam2()
{
    return processor != nullptr ? processor->GetBreakParam2() : 0.5;
}

int BattoStandAloneApplication::BattoMidiProcessor::getOneOrSampleRatePerMs()
{
    return ticksPerMillisecond;
}

void BattoStandAloneApplication::BattoMidiProcessor::updateProgressionBarDisplay()
{
    if (hasOutput())
        processor->updateProgressionBarDisplay();
}

void BattoStandAloneApplication::BattoMidiProcessor::displayCrashRoulement()
{
    if (hasOutput())
        processor->displayCrashRoulement();
}

void BattoStandAloneApplication::BattoMidiProcessor::displaySpecialevent(int kind)
{
    if (hasOutput())
        processor->displaySpecialevent(kind);
}

void BattoStandAloneApplication::BattoMidiProcessor::displayProgressionBar(int position, int divisions)
{
    if (processor != nullptr)
        processor->displayProgressionBar(position, divisions);
}

void BattoStandAloneApplication::BattoMidiProcessor::displayBreakCreshendo(int subdivisionsToBarLine)
{
    if (processor != nullptr)
        processor->displayBreakCreshendo(subdivisionsToBarLine);
}

void BattoStandAloneApplication::BattoMidiProcessor::displayMidiIn(int code)
{
    if (processor != nullptr)
        processor->displayMidiIn(code);
}

void BattoStandAloneApplication::BattoMidiProcessor::setDivisionDuTempsAfterwaitingForATemps(int divisions)
{
    if (!hasOutput() || !BattoAudioProcessor::isUsableDivisionDuTemps(divisions))
        return;
    processor->applyWaitingSubdivisionFromMidiThread(divisions);
    divisionDuTemps = divisions;
    divisionDuration = ticksPerDivision();
}

void BattoStandAloneApplication::BattoMidiProcessor::JouerMetronome(bool accent)
{
    if (processor != nullptr)
        processor->requestClickFromMidiThread(accent);
}
