#include "BattoAudioProcessor.h"
#include "BattoAudioProcessorInternal.h"

//==============================================================================
// Following the host's transport

namespace
{
// A host position that stands exactly on a sample can come out a hair short of it (beats are
// binary fractions); a time counted from it is that sample, not the one before it.
constexpr double wholeSampleTolerance = 1e-4;
} // namespace

void BattoAudioProcessor::followHostTransport(int numSamples)
{
    readHostPosition();
    if (syncPlayHead() != nullptr && hostIsPlaying(numSamples))
        keepFollowingHost(lastPosInfo.bpm, lastPosInfo.ppqPosition, numSamples);
    else if (hostSynced.load())
        stopFollowingHost();
}

void BattoAudioProcessor::readHostPosition()
{
    auto* transport = syncPlayHead();
    if (transport == nullptr)
    {
        songPosition.forget();
        return;
    }
#if !BATTO_PLUGIN_BUILD
    if (transport == midiClockPlayHead)
    {
        readMidiClockPosition();
        return;
    }
#endif
    const auto position = transport->getPosition();
    if (!position.hasValue())
    {
        // A host that reports only changes: its transport goes on as it was, so the
        // position moves on by the samples played since.
        const auto report = songPosition.continuation();
        lastPosInfo.ppqPosition = songPosition.atBlockStart(report, engineSampleRate);
        // A transport forgotten (a new preparation) no longer plays until the host says so.
        lastPosInfo.isPlaying = report.isPlaying;
        if (report.timeInSamples.hasValue())
            lastPosInfo.timeInSamples = *report.timeInSamples;
        return;
    }

    juce::AudioPlayHead::CurrentPositionInfo info; // unset fields keep the framework's defaults
    if (const auto signature = position->getTimeSignature())
    {
        info.timeSigNumerator = signature->numerator;
        info.timeSigDenominator = signature->denominator;
    }
    if (const auto loop = position->getLoopPoints())
    {
        info.ppqLoopStart = loop->ppqStart;
        info.ppqLoopEnd = loop->ppqEnd;
    }
    if (const auto frameRate = position->getFrameRate())
        info.frameRate = *frameRate;
    if (const auto seconds = position->getTimeInSeconds())
        info.timeInSeconds = *seconds;
    if (const auto barStart = position->getPpqPositionOfLastBarStart())
        info.ppqPositionOfLastBarStart = *barStart;
    if (const auto origin = position->getEditOriginTime())
        info.editOriginTime = *origin;
    if (const auto bpm = position->getBpm())
        info.bpm = *bpm;
    if (const auto samples = position->getTimeInSamples())
        info.timeInSamples = *samples;
    info.isPlaying = position->getIsPlaying();
    info.isRecording = position->getIsRecording();
    info.isLooping = position->getIsLooping();
    // A host may give no position in beats (or a rounded one); the time in samples and the
    // tempo then place the drummer to the sample.
    info.ppqPosition = songPosition.atBlockStart({info.isPlaying, info.bpm, position->getPpqPosition(),
                                                  position->getTimeInSamples(), position->getBarCount()},
                                                 engineSampleRate);
    lastPosInfo = info;
}

bool BattoAudioProcessor::hostIsPlaying(int numSamples) const
{
    // Beyond "tempo above 0", a tempo the engine cannot run with and a position that is
    // not a finite number are not followed either. A position before the song's start (a
    // host's count-in, or a clock whose first beat lies ahead in this block) is followed from
    // the block in which the song starts, and the drummer starts with it.
    return lastPosInfo.isPlaying && lastPosInfo.timeSigNumerator == 4 && isUsableTempo(lastPosInfo.bpm)
           && std::isfinite(lastPosInfo.ppqPosition)
           && (lastPosInfo.ppqPosition >= 0.0
               || -lastPosInfo.ppqPosition * samplesPerHostBeat(lastPosInfo.bpm) < numSamples);
}

double BattoAudioProcessor::samplesPerHostBeat(double bpm) const
{
    return engineSampleRate * 60.0 / bpm;
}

bool BattoAudioProcessor::hostPositionJumped() const
{
#if BATTO_PLUGIN_BUILD
    return songPosition.jumped();
#else
    return songPosition.jumped() || midiClockRelocated();
#endif
}

void BattoAudioProcessor::keepFollowingHost(double hostBpm, double ppq, int numSamples)
{
    if (hostSynced.load())
    {
        // The host jumped back (a loop) or moved its transport elsewhere (a locate while
        // playing, a clock's new song position): follow it from its new place, on its bar.
        if (ppq < lastPpqPosition || hostPositionJumped())
            hostSynced.store(false);
        else
            lastPpqPosition = ppq;
    }
    const bool tempoChangedWhileFollowing = hostBpm != hostTempo && hostSynced.load();
    if (hostBpm != hostTempo)
    {
        nextInstant.time = truncated(hostTempo * nextInstant.time / hostBpm);
        hostTempo = hostBpm;
        tempoChanged.store(true);
    }
    running.store(false); // while the host plays, its transport replaces the Start button
    if (tempoChanged.exchange(false))
        updateDivisionDuration();
    if (!hostSynced.load())
        startFollowingHost(ppq, numSamples);
    else if (tempoChangedWhileFollowing)
        retimeNextInstantFromHost();
}

void BattoAudioProcessor::retimeNextInstantFromHost()
{
    // The count of samples scaled above carries its truncation at the old tempo into the new
    // one (a sample off); the host's position gives the distance exactly. The next instant
    // is at most a beat ahead, and never behind: a position a hair past it is float noise.
    double beatsAhead = positionInBar(nextInstant) * 0.125 - positionInHostBar();
    if (beatsAhead < -2.0)
        beatsAhead += 4; // the next instant is in the next bar
    nextInstant.time =
        truncated(divisionDuTempsInUse * divisionDuration * juce::jmax(0.0, beatsAhead) + wholeSampleTolerance);
}

void BattoAudioProcessor::startFollowingHost(double ppq, int numSamples)
{
    report(DisplayCode::hostTookOver);
    hostSynced.store(true);
    lastPpqPosition = ppq;
    tempoChanged.store(false);
    updateDivisionDuration();
    resetPerformance();
    // A bar line ahead inside this block (a clock that starts the song mid-block, a host's
    // count-in ending) starts the drummer there, as Start does: the bar it opens is the first
    // of the drummer's phrase, and nothing sounds before it.
    const double toBarLine = (4.0 * std::ceil(ppq / 4.0) - ppq) * divisionDuTempsInUse * divisionDuration;
    if (toBarLine >= 1.0 && toBarLine < numSamples)
        nextInstant.time = truncated(toBarLine + wholeSampleTolerance);
    else
        placeOnHostBar(ppq);
}

void BattoAudioProcessor::placeOnHostBar(double ppq)
{
    // A bar line rarely falls on a sample, and hosts start, loop and locate onto the sample
    // before it, the nearest one or the one after it. A grid point less than a sample from
    // the host's position is the one the host means: one just ahead falls in this block's
    // first sample, and one just passed lies in the sample before it, which the host never
    // played. Either sounds now, on the block's first sample, and the bar it starts is the
    // bar the drummer stands in.
    const int halvesPerBeat = 2 * divisionDuTempsInUse;
    const int halvesPerBar = 4 * halvesPerBeat;
    const double inBar = ppq - 4 * std::trunc(ppq / 4);
    const double halvesIntoBar = inBar * halvesPerBeat;
    const double nearestHalf = std::round(halvesIntoBar);
    const double oneSampleInBeats = 1.0 / (divisionDuTempsInUse * divisionDuration);
    const bool onGridPoint = std::abs(halvesIntoBar - nearestHalf) < oneSampleInBeats * halvesPerBeat;
    const int halves = onGridPoint ? static_cast<int>(nearestHalf) % halvesPerBar
                                   : juce::jlimit(0, halvesPerBar - 1, static_cast<int>(std::floor(halvesIntoBar)));
    const instantRythmique placed{0, halves / halvesPerBeat, (halves % halvesPerBeat) / 2, halves % 2, 0};

    previousInstant = placed;
    nextInstant = placed;
    if (!onGridPoint)
        incrementeInstantRythmique(&nextInstant); // the next half subdivision, timed from the host
    currentInstant = nextInstant;
}

void BattoAudioProcessor::stopFollowingHost()
{
    hostSynced.store(false);
    tempoChanged.store(false);
    updateDivisionDuration();
    report(DisplayCode::hostLetGo);
    // A subdivision chosen while following waits for no beat now that the drummer stops.
    if (const int waiting = pendingDivisionDuTemps.load())
        applySubdivisionRule(waiting);
}

double BattoAudioProcessor::positionInHostBar() const
{
    const double ppq = lastPosInfo.ppqPosition;
    return ppq - 4 * std::trunc(ppq / 4);
}

void BattoAudioProcessor::incrementeInstantRythmique(instantRythmique* instant)
{
    Batto::incrementeInstantRythmique(instant);
    if (!hostSynced.load())
        return;
    // While following, the instant's time is its distance from the host's position at the
    // start of this block, on the host's bar.
    const double hostPosition = positionInHostBar();
    double instantPosition = positionInBar(*instant) * 0.125;
    if (instantPosition < hostPosition)
        instantPosition += 4;
    instant->time = truncated(divisionDuTempsInUse * divisionDuration * (instantPosition - hostPosition)
                              + wholeSampleTolerance);
}
