#include "BattoAudioProcessor.h"

#include "readAndWriteDataChunk.h"

#if !BATTO_PLUGIN_BUILD
#include "BinaryData.h"
#include "FillBufferToPlayAux.h"
#endif

#include <cmath>
#include <limits>

namespace
{
// Every conversion of a double to an engine int truncates toward zero.
int truncated(double value)
{
    return static_cast<int>(value);
}

bool isUsableSampleRate(double rate)
{
    return std::isfinite(rate) && rate >= BattoAudioProcessor::lowestSampleRate
           && rate <= BattoAudioProcessor::highestSampleRate;
}

bool isVoice(int voice)
{
    return voice >= 0 && voice < Batto::numVoices;
}

// Bytes an event takes in a juce::MidiBuffer besides its own: a 32-bit time and a 16-bit size.
constexpr size_t midiEventOverhead = sizeof(juce::int32) + sizeof(juce::uint16);

// Room for the MIDI of one block: the drum hits of a dense performance stay far below it,
// and a host feeding a block with more incoming messages than this is not a keyboard.
size_t midiBytesFor(int samplesPerBlock)
{
    const size_t events = 1024 + 4 * static_cast<size_t>(juce::jmax(0, samplesPerBlock));
    return events * (midiEventOverhead + 3);
}

constexpr int blockSizeReservedAtConstruction = 4096;

// State record tags of the per-voice settings: "DMN0".."DMN9", "VLS0".."VLS9".
struct VoiceTag
{
    VoiceTag(const char* prefix, int voice)
    {
        for (int i = 0; i < 3; ++i)
            text[i] = prefix[i];
        text[3] = static_cast<char>('0' + voice);
        text[4] = 0;
    }
    char text[5];
};
} // namespace

// The events of a block in the order the engine takes them: the block's own events at
// positions up to 0, then the held early notes (all at position 0), then the rest.
class BattoAudioProcessor::EngineInput
{
public:
    EngineInput(const juce::MidiBuffer& block, const juce::MidiBuffer& held)
        : blockNext(block.cbegin()), blockEnd(block.cend()), heldNext(held.cbegin()), heldEnd(held.cend())
    {
    }

    bool next(BlockEvent& event)
    {
        if (blockNext != blockEnd && (*blockNext).samplePosition <= 0)
            return take(blockNext, event, (*blockNext).samplePosition);
        if (heldNext != heldEnd)
            return take(heldNext, event, 0);
        if (blockNext != blockEnd)
            return take(blockNext, event, (*blockNext).samplePosition);
        return false;
    }

private:
    static bool take(juce::MidiBufferIterator& from, BlockEvent& event, int position)
    {
        const auto metadata = *from;
        event = {metadata.data, metadata.numBytes, position};
        ++from;
        return true;
    }

    juce::MidiBufferIterator blockNext, blockEnd, heldNext, heldEnd;
};

//==============================================================================
BattoAudioProcessor::Settings::Settings()
{
    for (int voice = 0; voice < numVoices; ++voice)
    {
        drumNotes[voice] = drumNoteByDefault[voice];
        velocityScales[voice] = 1.0f;
    }
}

bool BattoAudioProcessor::isUsableTempo(double bpm)
{
    return std::isfinite(bpm) && bpm >= lowestTempo && bpm <= highestTempo;
}

bool BattoAudioProcessor::isUsableDivisionDuTemps(int divisions)
{
    return divisions == 1 || divisions == 2 || divisions == 4;
}

BattoAudioProcessor::BattoAudioProcessor(const Settings& settings)
{
    for (int voice = 0; voice < numVoices; ++voice)
    {
        drumNotes[voice].store(drumNoteByDefault[voice]);
        velocityScales[voice].store(1.0f);
    }
    applySettings(settings);
    hostTempo = tempo.load();
    divisionDuration = 22050.0;
    refreshEngineSettings();
    reserveBuffers(blockSizeReservedAtConstruction);
#if !BATTO_PLUGIN_BUILD
    playingClicks.reserve(maximumPlayingClicks);
#endif
}

BattoAudioProcessor::~BattoAudioProcessor() = default;

void BattoAudioProcessor::applySettings(const Settings& settings)
{
    if (isUsableDivisionDuTemps(settings.divisionDuTemps))
        divisionDuTemps.store(settings.divisionDuTemps);
    if (isUsableTempo(settings.tempo))
        tempo.store(settings.tempo);
    autoKick.store(settings.autoKick);
    autoSnare.store(settings.autoSnare);
    setBreakParam1(settings.breakParam1);
    setBreakParam2(settings.breakParam2);
    gravaEnabled.store(settings.gravaEnabled);
    for (int voice = 0; voice < numVoices; ++voice)
    {
        setDrumNote(voice, settings.drumNotes[voice]);
        setVelocityScale(voice, settings.velocityScales[voice]);
    }
#if !BATTO_PLUGIN_BUILD
    drumKit.store(settings.drumKit);
#endif
}

void BattoAudioProcessor::reserveBuffers(int samplesPerBlock)
{
    const size_t bytes = midiBytesFor(samplesPerBlock);
    for (auto* buffer : {&midiOut, &previews, &heldMidiIn, &agedMidiIn})
        buffer->reserve(bytes);
#if !BATTO_PLUGIN_BUILD
    reserveMidiInFilterScratch(juce::jmax(bytes, defaultFilterScratchBytes));
#endif
}

//==============================================================================
void BattoAudioProcessor::ReservedMidiBuffer::reserve(size_t bytes)
{
    if (bytes > capacityBytes)
    {
        events.ensureSize(bytes);
        capacityBytes = bytes;
    }
}

bool BattoAudioProcessor::ReservedMidiBuffer::add(const juce::uint8* data, int numBytes, int samplePosition)
{
    const size_t needed =
        static_cast<size_t>(events.data.size()) + static_cast<size_t>(numBytes) + midiEventOverhead;
    if (numBytes <= 0 || needed > capacityBytes)
        return false;
    return events.addEvent(data, numBytes, samplePosition);
}

void BattoAudioProcessor::ReservedMidiBuffer::clear()
{
    events.clear(); // keeps the storage
}

void BattoAudioProcessor::ReservedMidiBuffer::swapWith(ReservedMidiBuffer& other)
{
    events.swapWith(other.events);
    std::swap(capacityBytes, other.capacityBytes);
}

//==============================================================================
// juce::AudioProcessor

const juce::String BattoAudioProcessor::getName() const
{
    return BATTO_PLUGIN_BUILD ? "Batto MIDI FX" : "Batto";
}

void BattoAudioProcessor::prepareToPlay(double sampleRate, int maximumExpectedSamplesPerBlock)
{
    preparedSampleRate = sampleRate;
    const double rate = sampleRate != 0.0 ? sampleRate : getSampleRate();
    if (isUsableSampleRate(rate))
        engineSampleRate = rate; // an unusable rate would stall or overflow the engine's clock
    refreshEngineSettings();
    tempoChanged.store(false);
    updateDivisionDuration();
    reserveBuffers(maximumExpectedSamplesPerBlock);
    // The follower reads the block's rate for its legato time, like any prepared processor.
    gravaProcessor.setRateAndBufferSizeDetails(engineSampleRate, maximumExpectedSamplesPerBlock);
    gravaProcessor.prepareToPlay(engineSampleRate, maximumExpectedSamplesPerBlock);
#if !BATTO_PLUGIN_BUILD
    // The external instrument plug-in, when one is loaded, is prepared here too.
    loadClickSounds(engineSampleRate);
    fillBuffersToPlayInternalKit(engineSampleRate);
#endif
}

void BattoAudioProcessor::releaseResources()
{
    // Standalone: the external instrument plug-in, when one is loaded, releases its own here.
}

juce::AudioProcessorEditor* BattoAudioProcessor::createEditor()
{
    // Stands in until the drummer's own editor exists.
    return new juce::GenericAudioProcessorEditor(*this);
}

bool BattoAudioProcessor::hasEditor() const
{
    return true;
}

bool BattoAudioProcessor::acceptsMidi() const
{
    return BATTO_PLUGIN_BUILD;
}

bool BattoAudioProcessor::producesMidi() const
{
    return BATTO_PLUGIN_BUILD;
}

bool BattoAudioProcessor::silenceInProducesSilenceOut() const
{
    return false;
}

double BattoAudioProcessor::getTailLengthSeconds() const
{
    return 0.0;
}

int BattoAudioProcessor::getNumPrograms()
{
    return 1;
}

int BattoAudioProcessor::getCurrentProgram()
{
    return 0;
}

void BattoAudioProcessor::setCurrentProgram(int)
{
}

const juce::String BattoAudioProcessor::getProgramName(int)
{
    return {};
}

void BattoAudioProcessor::changeProgramName(int, const juce::String&)
{
}

//==============================================================================
// The block loop

void BattoAudioProcessor::processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midiMessages)
{
    const int numSamples = buffer.getNumSamples();
#if !BATTO_PLUGIN_BUILD
    drumKitInBlock = drumKit.load();
#endif
    refreshEngineSettings();
    applyCommands(); // what the message thread asked for since the last block

#if !BATTO_PLUGIN_BUILD
    takeMidiThreadClickRequest(numSamples);
#endif
    FilterByMidiChannelAndNoteLimits(midiMessages);
    if (gravaEnabled.load())
        runBassFollower(buffer, midiMessages);
    followHostTransport();
    if (tempoChanged.exchange(false))
        updateDivisionDuration();
    collectPreviews();
    ageHeldMidiIn();

    if (!running.load() && !hostSynced.load())
    {
        stoppedBlock(buffer, midiMessages, numSamples);
    }
    else
    {
#if BATTO_PLUGIN_BUILD
        runEngineBlock(buffer, midiMessages, numSamples);
#else
        // With MIDI output chosen, the standalone MIDI thread drives its own engine: the
        // block's MIDI and audio stay as they came, apart from the clicks.
        if (drumKitInBlock != kitMidiOut)
            runEngineBlock(buffer, midiMessages, numSamples);
        mixClicks(buffer, numSamples);
        advanceKitVoices(numSamples);
#endif
    }
#if !BATTO_PLUGIN_BUILD
    renderExternalPlugin(buffer, midiMessages); // stopped blocks too: previews and release tails sound
#endif
    midiOut.clear();
    previousBlockLength = numSamples;
}

void BattoAudioProcessor::refreshEngineSettings()
{
    tempoInUse = tempo.load();
    divisionDuTempsInUse = divisionDuTemps.load();
    autoKickInUse = autoKick.load();
    autoSnareInUse = autoSnare.load();
}

// The follower reduces the block's notes to its bass line; the engine reads what it leaves.
void BattoAudioProcessor::runBassFollower(juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midiMessages)
{
    gravaProcessor.processBlock(buffer, midiMessages);
}

void BattoAudioProcessor::collectPreviews()
{
    previews.clear();
    if (passesPreviewsToOutput())
        for (const auto event : midiOut.events)
            previews.add(event.data, event.numBytes, event.samplePosition);
    midiOut.clear();
}

void BattoAudioProcessor::ageHeldMidiIn()
{
    if (heldMidiIn.events.isEmpty())
        return;

    // Positions count from the start of the block they were received in; that block is
    // the previous one.
    const int age = previousBlockLength;
    const int one = getOneOrSampleRatePerMs();
    const double lead = juce::jmin(divisionDuration / 6 - 2 * one, 105.0 * one);
    const int firstPosition = (*heldMidiIn.events.cbegin()).samplePosition - age;
    // Only notes received at most about one note-window lead before now survive.
    const int oldestKept = firstPosition + truncated(-firstPosition - lead);

    agedMidiIn.clear();
    for (const auto event : heldMidiIn.events)
    {
        const int position = event.samplePosition - age;
        if (position >= oldestKept)
            agedMidiIn.add(event.data, event.numBytes, position);
    }
    heldMidiIn.swapWith(agedMidiIn);
}

void BattoAudioProcessor::stoppedBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midiMessages,
                                       int numSamples)
{
    for (const auto event : midiMessages)
        if (event.samplePosition >= 0 && event.samplePosition < numSamples)
            heldMidiIn.add(event.data, event.numBytes, event.samplePosition);

    midiMessages.clear();
    for (const auto event : previews.events)
        midiMessages.addEvent(event.data, event.numBytes, event.samplePosition);

#if BATTO_PLUGIN_BUILD
    juce::ignoreUnused(buffer); // audio passes through the MIDI effect
#else
    buffer.clear(0, numSamples);
    silenceKitVoices();
#endif
}

void BattoAudioProcessor::runEngineBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midiMessages,
                                         int numSamples)
{
    runEngineLoop(midiMessages, numSamples); // early notes first, at sample 0
    heldMidiIn.clear();
    writeMidiOutput(midiMessages);
    moveEngineClock(numSamples);
#if BATTO_PLUGIN_BUILD
    juce::ignoreUnused(buffer);
#else
    buffer.clear(0, numSamples);
    if (producesKitSound())
        mixKitVoices(buffer, numSamples);
#endif
}

void BattoAudioProcessor::runEngineLoop(const juce::MidiBuffer& midiMessages, int numSamples)
{
    EngineInput input(midiMessages, heldMidiIn.events);
    BlockEvent heldBack;
    bool isHeldBack = false;
    // The engine moves at least a sample per half subdivision, so a block needs far fewer
    // steps than this; the bound only keeps a block finite whatever the host reports.
    const long long stepLimit = 8LL * juce::jmax(0, numSamples) + 64;

    currentSampleOffset = 0;
    for (long long steps = 0;; ++steps)
    {
        const int due = getTimeOfNextSomethingToDo(0);
        if (isHeldBack && heldBack.position < due)
        {
            handleEvent(heldBack);
            isHeldBack = false;
        }
        BlockEvent event;
        while (!isHeldBack && input.next(event))
        {
            if (event.position < due)
                handleEvent(event); // a note-on before the due step comes first
            else
            {
                heldBack = event; // one at or after it waits until the step has run
                isHeldBack = true;
            }
        }
        currentSampleOffset = due;
        if (due >= numSamples || steps >= stepLimit)
            break;
        doSomething();
    }
}

void BattoAudioProcessor::handleEvent(const BlockEvent& event)
{
    currentSampleOffset = event.position;
    const bool isNoteOn = event.numBytes >= 3 && (event.data[0] & 0xF0) == 0x90;
    if (isNoteOn && event.data[2] > 0)
        noteOnMidiIn(event.data[2], event.position, 0);
}

void BattoAudioProcessor::writeMidiOutput(juce::MidiBuffer& midiMessages)
{
    midiMessages.clear();
    if (!passesMidiOutToOutput())
        return;
    for (const auto* source : {&midiOut, &previews})
        for (const auto event : source->events)
            if (event.samplePosition >= 0)
                midiMessages.addEvent(event.data, event.numBytes, event.samplePosition);
}

void BattoAudioProcessor::moveEngineClock(int numSamples)
{
    currentInstant.time -= numSamples;
    nextInstant.time -= numSamples;
    previousInstant.time -= numSamples;
    rollLastNoteTime -= numSamples;
}

bool BattoAudioProcessor::producesKitSound() const
{
#if BATTO_PLUGIN_BUILD
    return false;
#else
    return drumKitInBlock == kitInternal || drumKitInBlock == kitBattokitFolder;
#endif
}

bool BattoAudioProcessor::passesMidiOutToOutput() const
{
    return !producesKitSound();
}

bool BattoAudioProcessor::passesPreviewsToOutput() const
{
#if BATTO_PLUGIN_BUILD
    return true;
#else
    return drumKitInBlock == kitExternalPlugin || drumKitInBlock == kitMidiOut;
#endif
}

void BattoAudioProcessor::updateDivisionDuration()
{
    divisionDuration = engineSampleRate * 60.0 / (divisionDuTempsInUse * *getTempo());
}

//==============================================================================
// Commands from the message thread, applied at the start of a block

bool BattoAudioProcessor::pushCommand(const Command& command)
{
    return commands.push(command);
}

void BattoAudioProcessor::applyCommands()
{
    Command command;
    while (commands.pop(command))
        applyCommand(command);
}

void BattoAudioProcessor::applyCommand(const Command& command)
{
    switch (command.kind)
    {
    case Command::startCommand:
        startPerformance();
        break;
    case Command::stopCommand:
        stopPerformance();
        break;
    case Command::divisionCommand:
        applySubdivisionRule(command.value);
        break;
    case Command::previewCommand:
        currentSampleOffset = 0; // a preview sounds at the start of this block
        outputJouer(static_cast<Percu>(command.value), command.velocity);
        break;
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
}

void BattoAudioProcessor::stopPerformance()
{
    if (hostSynced.load())
        return;
    running.store(false);
    resetPerformance();
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
    divisionDuTemps.store(divisions);
    divisionDuTempsInUse = divisions;
    tempoChanged.store(true);
    updateProgressionBarDisplay();
    pendingDivisionDuTemps.store(0);
}

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
        return;
    const auto position = host->getPosition();
    if (!position.hasValue())
        return; // keep the previous block's position

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
    if (const auto ppq = position->getPpqPosition())
        info.ppqPosition = *ppq;
    if (const auto origin = position->getEditOriginTime())
        info.editOriginTime = *origin;
    if (const auto bpm = position->getBpm())
        info.bpm = *bpm;
    if (const auto samples = position->getTimeInSamples())
        info.timeInSamples = *samples;
    info.isPlaying = position->getIsPlaying();
    info.isRecording = position->getIsRecording();
    info.isLooping = position->getIsLooping();
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
        if (ppq < lastPpqPosition)
            hostSynced.store(false); // the host jumped back: follow it from its new place
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
    report(10);
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
    report(11);
    // A subdivision chosen while following waits for no beat now that the drummer stops.
    if (const int waiting = pendingDivisionDuTemps.load())
        applySubdivisionRule(waiting);
}

double BattoAudioProcessor::positionInHostBar() const
{
    const double ppq = lastPosInfo.ppqPosition;
    return ppq - 4 * std::trunc(ppq / 4);
}

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
#if !BATTO_PLUGIN_BUILD
    // The sound this hit cuts still plays up to the hit's sample.
    if (producesKitSound())
        kitPlayer.rememberCut(voice, voiceVelocity[voice], voicePosition[voice], currentSampleOffset);
    voiceVelocity[voice] = velocity;
    voicePosition[voice] = -currentSampleOffset;
    if (producesKitSound())
        return;
#endif
    // Single precision on purpose: 100 x 0.7f is 70, not 69. A negative scale sends 0
    // rather than a byte that is no MIDI data.
    const float scaled = static_cast<float>(velocity) * velocityScales[voice].load();
    const int noteVelocity = juce::jlimit(0, 127, static_cast<int>(juce::jmin(127.0f, scaled)));
    const juce::uint8 noteOn[3] = {0x99, static_cast<juce::uint8>(drumNotes[voice].load() & 0x7F),
                                   static_cast<juce::uint8>(noteVelocity)};
    midiOut.add(noteOn, 3, currentSampleOffset);
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
    instant->time = truncated(divisionDuTempsInUse * divisionDuration * (instantPosition - hostPosition));
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
    report(12);
}

void BattoAudioProcessor::displayProgressionBar(int position, int)
{
    report(position, false);
}

void BattoAudioProcessor::displayBreakCreshendo(int subdivisionsToBarLine)
{
    if (subdivisionsToBarLine <= 3)
        report(subdivisionsToBarLine + 6);
}

void BattoAudioProcessor::displayMidiIn(int code)
{
    report(code);
}

void BattoAudioProcessor::displayCrashRoulement()
{
    report(13);
}

void BattoAudioProcessor::displaySpecialevent(int kind)
{
    report(kind + 14);
}

void BattoAudioProcessor::setDivisionDuTempsAfterwaitingForATemps(int divisions)
{
    if (isUsableDivisionDuTemps(divisions))
    {
        divisionDuTemps.store(divisions);
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

//==============================================================================
// User actions (message thread)

void BattoAudioProcessor::start()
{
    pushCommand({Command::startCommand});
#if !BATTO_PLUGIN_BUILD
    if (drumKit.load() == kitMidiOut && midiThread != nullptr)
        midiThread->startThread();
#endif
}

void BattoAudioProcessor::stop()
{
#if !BATTO_PLUGIN_BUILD
    if (midiThread != nullptr)
        midiThread->stopThread(-1);
#endif
    pushCommand({Command::stopCommand});
}

void BattoAudioProcessor::chooseDivisionDuTemps(int divisions)
{
    if (isUsableDivisionDuTemps(divisions))
        pushCommand({Command::divisionCommand, divisions});
}

void BattoAudioProcessor::setTempo(double bpm)
{
    if (!isUsableTempo(bpm))
        return;
    if (tempo.exchange(bpm) != bpm)
        tempoChanged.store(true);
}

void BattoAudioProcessor::setVolume(double gain)
{
    if (std::isfinite(gain))
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
    if (std::isfinite(sensitivity))
        breakParam1.store(sensitivity);
}

void BattoAudioProcessor::setBreakParam2(double sensitivity)
{
    if (std::isfinite(sensitivity))
        breakParam2.store(sensitivity);
}

void BattoAudioProcessor::setGravaEnabled(bool on)
{
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
    // Previews never take the last places of the queue: Start and Stop must always fit.
    if (commands.freeSpace() > commandRoomKeptFromPreviews)
        pushCommand({Command::previewCommand, static_cast<int>(voice), velocity});
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

//==============================================================================
// State chunk

void BattoAudioProcessor::getStateInformation(juce::MemoryBlock& destData)
{
    using Codec = readAndWriteDataChunk;
    Codec::appendFloat(destData, "VOLU", static_cast<float>(volume.load()));
    Codec::appendFloat(destData, "TEMP", static_cast<float>(tempo.load()));
    Codec::appendInt(destData, "HIHA", divisionDuTemps.load());
    Codec::appendInt(destData, "AKIC", autoKick.load() ? 1 : 0);
    Codec::appendInt(destData, "ASNA", autoSnare.load() ? 1 : 0);
#if !BATTO_PLUGIN_BUILD
    Codec::appendInt(destData, "DRMK", drumKit.load());
#endif
    for (int voice = 0; voice < numVoices; ++voice)
    {
        Codec::appendInt(destData, VoiceTag("DMN", voice).text, drumNotes[voice].load());
        Codec::appendFloat(destData, VoiceTag("VLS", voice).text, velocityScales[voice].load());
    }
    Codec::appendInt(destData, "GRVA", gravaEnabled.load() ? 1 : 0);
    Codec::appendFloat(destData, "BRE1", static_cast<float>(breakParam1.load()));
    Codec::appendFloat(destData, "BRE2", static_cast<float>(breakParam2.load()));
}

void BattoAudioProcessor::setStateInformation(const void* data, int sizeInBytes)
{
    readAndWriteDataChunk reader(data, sizeInBytes);
    if (const auto value = reader.readFloat("VOLU"))
        setVolume(*value);
    if (const auto value = reader.readFloat("TEMP"))
        setTempo(*value); // the engine's subdivision length follows at the next block
    if (const auto value = reader.readInt("HIHA"))
        if (isUsableDivisionDuTemps(*value) && divisionDuTemps.exchange(*value) != *value)
            tempoChanged.store(true);
    if (const auto value = reader.readInt("AKIC"))
        autoKick.store(*value != 0);
    if (const auto value = reader.readInt("ASNA"))
        autoSnare.store(*value != 0);
#if !BATTO_PLUGIN_BUILD
    if (const auto value = reader.readInt("DRMK"))
        drumKit.store(*value);
#endif
    for (int voice = 0; voice < numVoices; ++voice)
    {
        if (const auto value = reader.readInt(VoiceTag("DMN", voice).text))
            setDrumNote(voice, *value);
        if (const auto value = reader.readFloat(VoiceTag("VLS", voice).text))
            setVelocityScale(voice, *value);
    }
    if (const auto value = reader.readInt("GRVA"))
        gravaEnabled.store(*value != 0);
    if (const auto value = reader.readFloat("BRE1"))
        setBreakParam1(*value);
    if (const auto value = reader.readFloat("BRE2"))
        setBreakParam2(*value);
}

//==============================================================================
// Standalone build: metronome, sound outputs

#if !BATTO_PLUGIN_BUILD
void BattoAudioProcessor::JouerMetronome(bool accent)
{
    if (clickVolume.load() != 0.0 && playingClicks.size() < maximumPlayingClicks)
        playingClicks.push_back({-currentSampleOffset, accent ? 1 : 0});
}

double BattoAudioProcessor::millisecondCounterNow() const
{
    return juce::Time::getMillisecondCounterHiRes();
}

void BattoAudioProcessor::takeMidiThreadClickRequest(int numSamples)
{
    if (pendingClickTimeMs.load() <= 0.0)
        return;
    const double requestedAt = pendingClickTimeMs.exchange(-1.0);
    const bool accent = pendingClickAccent.load();
    if (requestedAt <= 0.0 || clickVolume.load() == 0.0 || playingClicks.size() >= maximumPlayingClicks)
        return;
    // A request made just now starts at the end of this block, an older one earlier.
    const double start = numSamples + (requestedAt - millisecondCounterNow()) * 0.001 * engineSampleRate;
    const int startSample = truncated(juce::jlimit(0.0, 1.0e9, start));
    playingClicks.push_back({-startSample, accent ? 1 : 0});
}

void BattoAudioProcessor::requestClickFromMidiThread(bool accent)
{
    pendingClickAccent.store(accent);
    pendingClickTimeMs.store(millisecondCounterNow());
}

void BattoAudioProcessor::mixClicks(juce::AudioBuffer<float>& buffer, int numSamples)
{
    const double level = clickVolume.load();
    if (level == 0.0)
    {
        playingClicks.clear();
        return;
    }
    const double gain = level * level;
    const int channels = buffer.getNumChannels();

    for (size_t i = 0; i < playingClicks.size();)
    {
        PlayingClick& click = playingClicks[i];
        const int played = click.position;
        if (numSamples <= -played)
        {
            click.position = played + numSamples; // starts after this block
            ++i;
            continue;
        }
        const juce::AudioBuffer<float>& sound = clickBuffers[click.clickIndex != 0 ? 1 : 0];
        const int length = sound.getNumSamples();
        const int from = juce::jmax(played, 0);
        const int to = juce::jmax(-played, 0);
        const int count = juce::jmin(numSamples - to, length - from);
        // With no output channel there is nowhere to mix: the click still runs its course.
        if (count > 0 && channels > 0 && sound.getNumChannels() > 0)
        {
            const int soundChannels[2] = {0, juce::jmin(1, sound.getNumChannels() - 1)};
            const int outputChannels[2] = {2 % channels, 3 % channels};
            for (int side = 0; side < 2; ++side)
            {
                const float* source = sound.getReadPointer(soundChannels[side], from);
                float* destination = buffer.getWritePointer(outputChannels[side], to);
                for (int k = 0; k < count; ++k)
                    destination[k] = static_cast<float>(destination[k] + gain * source[k]);
            }
        }
        if (numSamples + played >= length)
            playingClicks.erase(playingClicks.begin() + static_cast<std::ptrdiff_t>(i)); // finished
        else
        {
            click.position = played + numSamples;
            ++i;
        }
    }
}

void BattoAudioProcessor::advanceKitVoices(int numSamples)
{
    for (int voice = 0; voice < numVoices; ++voice)
        if (voiceVelocity[voice] != 0)
            voicePosition[voice] = static_cast<int>(juce::jmin<long long>(
                static_cast<long long>(voicePosition[voice]) + numSamples, std::numeric_limits<int>::max()));
}

void BattoAudioProcessor::silenceKitVoices()
{
    for (int voice = 0; voice < numVoices; ++voice)
    {
        voiceVelocity[voice] = 0;
        voicePosition[voice] = 0;
    }
    kitPlayer.forgetCuts();
}

void BattoAudioProcessor::loadClickSounds(double sampleRate)
{
    const struct
    {
        const char* data;
        int size;
    } sounds[2] = {{BinaryData::click_wav, BinaryData::click_wavSize},
                   {BinaryData::click_accent_wav, BinaryData::click_accent_wavSize}};
    juce::WavAudioFormat wav;
    for (int i = 0; i < 2; ++i)
        FillBufferToPlayAux(
            sampleRate, clickBuffers[i], &wav,
            new juce::MemoryInputStream(sounds[i].data, static_cast<size_t>(sounds[i].size), false));
}

void BattoAudioProcessor::fillBuffersToPlayInternalKit(double sampleRate)
{
    if (drumKit.load() == kitInternal)
        kitPlayer.fillInternalKit(sampleRate);
    // A user kit folder (kitBattokitFolder) is loaded here as well once kit folders exist.
}

void BattoAudioProcessor::fillBufferToPlayInternalDrumKit(double sampleRate, Percu voice)
{
    kitPlayer.fillBufferToPlayInternalDrumKit(sampleRate, voice);
}

void BattoAudioProcessor::mixKitVoices(juce::AudioBuffer<float>& buffer, int numSamples)
{
    kitPlayer.mixVoices(buffer, numSamples, voiceVelocity, voicePosition, volume.load());
}

void BattoAudioProcessor::renderExternalPlugin(juce::AudioBuffer<float>&, juce::MidiBuffer&)
{
    // With kitExternalPlugin, the external instrument renders this block from its
    // MIDI here, scaled by volume, replacing the first channels (stopped blocks too).
}

void BattoAudioProcessor::setDrumKit(int kit)
{
    suspendProcessing(true);
    const int previous = drumKit.load();
    if (kit == kitMidiOut)
    {
        if (midiThread != nullptr && running.load())
            midiThread->startThread();
        drumKit.store(kit);
    }
    else
    {
        if (previous == kitMidiOut && midiThread != nullptr)
            midiThread->stopThread(-1);
        drumKit.store(kit);
        if (kit == kitInternal || kit == kitBattokitFolder)
            fillBuffersToPlayInternalKit(engineSampleRate);
    }
    suspendProcessing(false);
}

int BattoAudioProcessor::getDrumKit() const
{
    return drumKit.load();
}

bool BattoAudioProcessor::IsExternalPluginSelected() const
{
    return drumKit.load() == kitExternalPlugin;
}

void BattoAudioProcessor::setClickVolume(double level)
{
    if (std::isfinite(level))
        clickVolume.store(level);
}

double BattoAudioProcessor::getClickVolume() const
{
    return clickVolume.load();
}

int BattoAudioProcessor::getVoiceVelocity(int voice) const
{
    return isVoice(voice) ? voiceVelocity[voice] : 0;
}

int BattoAudioProcessor::getVoicePosition(int voice) const
{
    return isVoice(voice) ? voicePosition[voice] : 0;
}

const std::vector<BattoAudioProcessor::PlayingClick>& BattoAudioProcessor::getPlayingClicks() const
{
    return playingClicks;
}

const juce::AudioBuffer<float>& BattoAudioProcessor::getClickBuffer(int clickIndex) const
{
    return clickBuffers[clickIndex != 0 ? 1 : 0];
}

const KitSamplePlayer& BattoAudioProcessor::getKit() const
{
    return kitPlayer;
}
#endif
