#include "BattoAudioProcessor.h"
#include "BattoAudioProcessorInternal.h"

#if !BATTO_PLUGIN_BUILD
#include "TakeRecorder.h"
#endif

//==============================================================================
// What the message thread asked for, taken up at the start of a block

void BattoAudioProcessor::applyUserRequests()
{
    const int transport = transportRequest.exchange(noTransportRequest);
    if (transport == stopRequest || transport == stopThenStartRequest)
        stopPerformance();
    applyDivisionChoice(); // before a Start, so that a new performance starts with it
    if (transport == startRequest || transport == stopThenStartRequest)
        startPerformance();
    playPreviews();
}

void BattoAudioProcessor::applyDivisionChoice()
{
    const int chosen = divisionDuTemps.load();
    if (chosen == divisionChoiceTaken)
        return;
    divisionChoiceTaken = chosen;
    applySubdivisionRule(chosen);
}

void BattoAudioProcessor::playPreviews()
{
    PreviewRequest preview;
    while (previewRequests.pop(preview))
    {
        currentSampleOffset = 0; // a preview sounds at the start of this block
        outputJouer(static_cast<Percu>(preview.voice), preview.velocity);
    }
}

void BattoAudioProcessor::startPerformance()
{
    // While the host's transport drives the drummer it replaces Start and Stop: a reset
    // here would take the engine off the host's bar.
    if (hostSynced.load() || running.load())
        return;
    resetPerformance();
    running.store(true);
#if !BATTO_PLUGIN_BUILD
    if (takeRecorder != nullptr)
        takeRecorder->performanceRestarted(); // a Stop and a Start in one block: a new take all the same
#endif
    report(DisplayCode::performanceReset);
}

void BattoAudioProcessor::stopPerformance()
{
    if (hostSynced.load())
        return;
    running.store(false);
    resetPerformance();
    // After every position the performance reported: the panel darkens its bar and lights
    // in queue order, so no position still queued lights a segment again.
    report(DisplayCode::performanceReset);
    if (const int waiting = pendingDivisionDuTemps.load())
        applySubdivisionRule(waiting);
}

void BattoAudioProcessor::applySubdivisionRule(int divisions)
{
    if (!isUsableDivisionDuTemps(divisions))
        return;
    if (!running.load() && !hostSynced.load())
        applySubdivisionAtOnce(divisions);
    else
        pendingDivisionDuTemps.store(divisions); // the engine applies it on its next beat
}

void BattoAudioProcessor::applySubdivisionAtOnce(int divisions)
{
    divisionDuTempsInUse = divisions;
    tempoChanged.store(true);
    updateProgressionBarDisplay();
    pendingDivisionDuTemps.store(0);
}

//==============================================================================
// User actions (message thread)

void BattoAudioProcessor::start()
{
#if !BATTO_PLUGIN_BUILD
    if (getSyncSource() != SyncSource::internal)
        return; // the external clock starts the drummer
#endif
    // After a Stop that no block has taken yet, the next block stops and starts again.
    int request = transportRequest.load();
    int wanted;
    do
        wanted =
            request == stopRequest || request == stopThenStartRequest ? stopThenStartRequest : startRequest;
    while (!transportRequest.compare_exchange_weak(request, wanted));
#if !BATTO_PLUGIN_BUILD
    if (applyUserRequestsWhileMidiThreadPlays())
        midiThread->startThread(); // it takes the performance over from the engine just reset
#endif
}

void BattoAudioProcessor::stop()
{
#if !BATTO_PLUGIN_BUILD
    if (midiThread != nullptr)
        midiThread->stopThread(-1); // hands the performance back before the engine resets
#endif
    transportRequest.store(stopRequest); // a Start that no block has taken yet is void
#if !BATTO_PLUGIN_BUILD
    applyUserRequestsWhileMidiThreadPlays();
#endif
}

void BattoAudioProcessor::chooseDivisionDuTemps(int divisions)
{
    if (!isUsableDivisionDuTemps(divisions))
        return;
    divisionDuTemps.store(divisions); // the engine takes it up at its next block
#if !BATTO_PLUGIN_BUILD
    applyUserRequestsWhileMidiThreadPlays();
#endif
}

#if !BATTO_PLUGIN_BUILD
// With the MIDI output chosen the standalone MIDI thread plays, the audio thread leaves the
// engine alone, and there may be no audio device at all to take up Start, Stop and
// subdivision choices. They are taken up here instead, with the audio callback held out of
// processBlock by the callback lock (the framework's player takes it around every block).
bool BattoAudioProcessor::applyUserRequestsWhileMidiThreadPlays()
{
    if (drumKit.load() != kitMidiOut || midiThread == nullptr || midiOutputInBlocks.load())
        return false;
    const juce::ScopedLock heldOut(getCallbackLock());
    applyUserRequests();
    return true;
}

void BattoAudioProcessor::applyWaitingSubdivisionFromMidiThread(int divisions)
{
    // Cleared only if no newer choice replaced it meanwhile.
    int waiting = divisions;
    pendingDivisionDuTemps.compare_exchange_strong(waiting, 0);
    updateProgressionBarDisplay();
}

void BattoAudioProcessor::takeSubdivisionBackFromMidiThread(int divisions)
{
    if (!isUsableDivisionDuTemps(divisions))
        return;
    divisionDuTempsInUse = divisions;
    tempoChanged.store(true); // the subdivision length follows at the next block
}

double BattoAudioProcessor::getEngineSampleRate() const
{
    return engineSampleRateForOtherThreads.load();
}
#endif

void BattoAudioProcessor::setTempo(double bpm)
{
    if (!isUsableTempo(bpm))
        return;
    if (tempo.exchange(bpm) != bpm)
        tempoChanged.store(true);
}

void BattoAudioProcessor::setVolume(double gain)
{
    if (isUsableLevel(gain))
        volume.store(gain);
}

void BattoAudioProcessor::setAutoKick(bool on)
{
    autoKick.store(on);
}

void BattoAudioProcessor::setAutoSnare(bool on)
{
    autoSnare.store(on);
}

void BattoAudioProcessor::setBreakParam1(double sensitivity)
{
    if (isUsableLevel(sensitivity))
        breakParam1.store(sensitivity);
}

void BattoAudioProcessor::setBreakParam2(double sensitivity)
{
    if (isUsableLevel(sensitivity))
        breakParam2.store(sensitivity);
}

void BattoAudioProcessor::setGravaEnabled(bool on)
{
    if (gravaEnabled.load() == on)
        return;
    // Keys held across the switch are released when the follower next runs, so that no
    // bass note hangs and no stale key keeps the next one off the bass line.
    gravaProcessor.allNotesOffRequested = true;
    gravaEnabled.store(on);
}

void BattoAudioProcessor::setDrumNote(int voice, int note)
{
    if (isVoice(voice))
        drumNotes[voice].store(note); // any int: only its low 7 bits are sent
}

void BattoAudioProcessor::setVelocityScale(int voice, float scale)
{
    if (isVoice(voice) && std::isfinite(scale))
        velocityScales[voice].store(scale);
}

void BattoAudioProcessor::previewVoice(Percu voice, int velocity)
{
    if (!isVoice(voice))
        return;
    velocity = juce::jlimit(0, 127, velocity);
    previewRequests.push({static_cast<int>(voice), velocity}); // dropped when a full queue waits for audio
#if !BATTO_PLUGIN_BUILD
    if (midiThreadEngine != nullptr)
        midiThreadEngine->outputJouer(voice, velocity);
#endif
}

bool BattoAudioProcessor::isRunning() const
{
    return running.load();
}

bool BattoAudioProcessor::isHostSynced() const
{
    return hostSynced.load();
}

double BattoAudioProcessor::getTempoSetting() const
{
    return tempo.load();
}

int BattoAudioProcessor::getDivisionDuTempsSetting() const
{
    return divisionDuTemps.load();
}

double BattoAudioProcessor::getVolume() const
{
    return volume.load();
}

bool BattoAudioProcessor::isAutoKickOn() const
{
    return autoKick.load();
}

bool BattoAudioProcessor::isAutoSnareOn() const
{
    return autoSnare.load();
}

bool BattoAudioProcessor::isGravaEnabled() const
{
    return gravaEnabled.load();
}

int BattoAudioProcessor::getDrumNote(int voice) const
{
    return isVoice(voice) ? drumNotes[voice].load() : 0;
}

float BattoAudioProcessor::getVelocityScale(int voice) const
{
    return isVoice(voice) ? velocityScales[voice].load() : 0.0f;
}

const juce::MidiBuffer& BattoAudioProcessor::getMidiOut() const
{
    return midiOut.events;
}

const GravaAudioProcessor& BattoAudioProcessor::getGravaProcessor() const
{
    return gravaProcessor;
}

const juce::AudioPlayHead::CurrentPositionInfo& BattoAudioProcessor::getLastPosInfo() const
{
    return lastPosInfo;
}

double BattoAudioProcessor::getHostTempo() const
{
    return hostTempo;
}
