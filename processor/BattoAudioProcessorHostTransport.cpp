#include "BattoAudioProcessor.h"
#include "BattoAudioProcessorInternal.h"

//==============================================================================
// Following the host's transport

void BattoAudioProcessor::followHostTransport()
{
    readHostPosition();
    if (getPlayHead() != nullptr && hostIsPlaying())
        keepFollowingHost(lastPosInfo.bpm, lastPosInfo.ppqPosition);
    else if (hostSynced.load())
        stopFollowingHost();
}

void BattoAudioProcessor::readHostPosition()
{
    auto* host = getPlayHead();
    if (host == nullptr)
    {
        songPosition.forget();
        return;
    }
    const auto position = host->getPosition();
    if (!position.hasValue())
    {
        // A host that reports only changes: its transport goes on as it was, so the
        // position moves on by the samples played since.
        const auto report = songPosition.continuation();
        lastPosInfo.ppqPosition = songPosition.atBlockStart(report, engineSampleRate);
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
    info.ppqPosition = songPosition.atBlockStart(
        {info.isPlaying, info.bpm, position->getPpqPosition(), position->getTimeInSamples()},
        engineSampleRate);
    lastPosInfo = info;
}

bool BattoAudioProcessor::hostIsPlaying() const
{
    // Beyond "tempo above 0", a tempo the engine cannot run with and a position that is
    // not a finite number are not followed either.
    return lastPosInfo.isPlaying && lastPosInfo.timeSigNumerator == 4 && isUsableTempo(lastPosInfo.bpm)
           && std::isfinite(lastPosInfo.ppqPosition) && lastPosInfo.ppqPosition >= 0.0;
}

void BattoAudioProcessor::keepFollowingHost(double hostBpm, double ppq)
{
    if (hostSynced.load())
    {
        // The host jumped back (a loop) or moved its transport elsewhere (a locate while
        // playing): follow it from its new place, on its bar.
        if (ppq < lastPpqPosition || songPosition.jumped())
            hostSynced.store(false);
        else
            lastPpqPosition = ppq;
    }
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
        startFollowingHost(ppq);
}

void BattoAudioProcessor::startFollowingHost(double ppq)
{
    report(DisplayCode::hostTookOver);
    hostSynced.store(true);
    lastPpqPosition = ppq;
    tempoChanged.store(false);
    updateDivisionDuration();
    resetPerformance();
    placeOnHostBar(ppq);
}

void BattoAudioProcessor::placeOnHostBar(double ppq)
{
    const double inBar = ppq - 4 * std::trunc(ppq / 4);
    const double fraction = inBar - std::trunc(inBar);
    const double divisions = divisionDuTempsInUse * fraction;
    const double halves = 2 * (divisions - std::trunc(divisions));
    const instantRythmique placed{0, truncated(inBar), truncated(divisions), truncated(halves), 0};

    previousInstant = placed;
    nextInstant = placed;
    if (halves != std::trunc(halves))
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
    // A host position that stands exactly on a sample can come out a hair short of it (beats
    // are binary fractions); such a time is that sample, not the one before it.
    constexpr double wholeSampleTolerance = 1e-4;
    instant->time = truncated(divisionDuTempsInUse * divisionDuration * (instantPosition - hostPosition)
                              + wholeSampleTolerance);
}
