#include "BattoAudioProcessor.h"
#include "BattoAudioProcessorInternal.h"

#if !BATTO_PLUGIN_BUILD
#include "TakeRecorder.h"
#endif

//==============================================================================
// The engine's host interface

int BattoAudioProcessor::GetStartLatencyCompensation()
{
    return getBlockSize();
}

void BattoAudioProcessor::outputJouer(Percu voice, int velocity)
{
    if (!isVoice(voice))
        return;
    velocity = juce::jlimit(0, 127, velocity);
    const int noteVelocity = drumNoteVelocity(velocity, velocityScales[voice].load());
    const juce::uint8 noteOn[3] = {0x99, static_cast<juce::uint8>(drumNotes[voice].load() & 0x7F),
                                   static_cast<juce::uint8>(noteVelocity)};
#if !BATTO_PLUGIN_BUILD
    // The take keeps the engine's hits as the MIDI output would send them, whatever sounds them.
    if (takeRecorder != nullptr && engineLoopRuns)
        takeRecorder->drumHit(currentSampleOffset, noteOn[0], noteOn[1], noteOn[2]);
    // The sound this hit cuts still plays up to the hit's sample.
    if (producesKitSound())
        kitPlayer.rememberCut(voice, voiceVelocity[voice], voicePosition[voice], currentSampleOffset);
    voiceVelocity[voice] = velocity;
    voicePosition[voice] = -currentSampleOffset;
    if (producesKitSound())
        return;
#endif
    midiOut.add(noteOn, 3, currentSampleOffset);
}

int BattoAudioProcessor::getWaitForTheTimeToUpdateProgressionBarDisplay()
{
    return pendingDivisionDuTemps.load();
}

int* BattoAudioProcessor::getDivisionDuTemps()
{
    return &divisionDuTempsInUse;
}

double* BattoAudioProcessor::getTempo()
{
    return hostSynced.load() ? &hostTempo : &tempoInUse;
}

bool* BattoAudioProcessor::getAutoKick()
{
    return &autoKickInUse;
}

bool* BattoAudioProcessor::getAutoSnare()
{
    return &autoSnareInUse;
}

double BattoAudioProcessor::GetBreakParam1()
{
    return breakParam1.load();
}

double BattoAudioProcessor::GetBreakParam2()
{
    return breakParam2.load();
}

int BattoAudioProcessor::getOneOrSampleRatePerMs()
{
    return truncated(engineSampleRate * 0.001);
}

void BattoAudioProcessor::updateProgressionBarDisplay()
{
    report(DisplayCode::progressionRowChanged);
}

void BattoAudioProcessor::displayProgressionBar(int position, int)
{
    report(position, false);
}

void BattoAudioProcessor::displayBreakCreshendo(int subdivisionsToBarLine)
{
    if (subdivisionsToBarLine <= 3)
        report(DisplayCode::breakEnded + subdivisionsToBarLine);
}

void BattoAudioProcessor::displayMidiIn(int code)
{
    report(code);
}

void BattoAudioProcessor::displayCrashRoulement()
{
    report(DisplayCode::crashRoll);
}

void BattoAudioProcessor::displaySpecialevent(int kind)
{
    report(DisplayCode::velocityThreshold + kind);
}

void BattoAudioProcessor::setDivisionDuTempsAfterwaitingForATemps(int divisions)
{
    if (isUsableDivisionDuTemps(divisions))
    {
        divisionDuTempsInUse = divisions;
        // The subdivision length follows at once. A tempo change that the message thread
        // flagged meanwhile stays flagged for the next block.
        updateDivisionDuration();
        updateProgressionBarDisplay();
    }
    pendingDivisionDuTemps.store(0);
}

void BattoAudioProcessor::report(int code, bool highlighted)
{
    displayCodes.push(code, highlighted);
}
