#include "BattoAudioProcessor.h"
#include "BattoAudioProcessorInternal.h"

#include <cstring>

#if !BATTO_PLUGIN_BUILD
#include "TakeRecorder.h"
#endif

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

#if BATTO_PLUGIN_BUILD
// The framework's default stereo input and output, but enabled from the start. Disabled
// buses become optional ports of the LV2 plug-in, which a host may leave unconnected, and
// the framework's LV2 wrapper then copies its input from a null buffer and crashes.
BattoAudioProcessor::BattoAudioProcessor(const Settings& settings)
    : BattoMidiInFilterBase(BusesProperties()
                                .withInput("Input", juce::AudioChannelSet::stereo(), true)
                                .withOutput("Output", juce::AudioChannelSet::stereo(), true))
#else
BattoAudioProcessor::BattoAudioProcessor(const Settings& settings)
    : ExternalPluginOwner(static_cast<juce::AudioProcessor&>(*this))
#endif
{
    for (int voice = 0; voice < numVoices; ++voice)
    {
        drumNotes[voice].store(drumNoteByDefault[voice]);
        velocityScales[voice].store(1.0f);
    }
    applySettings(settings);
    divisionDuTempsInUse = divisionChoiceTaken = divisionDuTemps.load();
    hostTempo = tempo.load();
    divisionDuration = 22050.0;
    refreshEngineSettings();
    reserveBuffers(blockSizeReservedAtConstruction);
#if !BATTO_PLUGIN_BUILD
    playingClicks.reserve(maximumPlayingClicks);
#endif
}

BattoAudioProcessor::~BattoAudioProcessor()
{
#if !BATTO_PLUGIN_BUILD
    deleteExternalPlugin(); // while the processor can still find the plug-in's window
#endif
}

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
    syncSource.store(static_cast<int>(settings.syncSource));
    midiClockOutput.store(settings.midiClockOutput);
#endif
}

void BattoAudioProcessor::reserveBuffers(int samplesPerBlock)
{
    const size_t bytes = midiBytesFor(samplesPerBlock);
    for (auto* buffer : {&midiOut, &previews, &heldMidiIn, &agedMidiIn})
        buffer->reserve(bytes);
    // The follower's line and followerMidi exchange their storage every block: both get the
    // same room.
    followerMidi.reserve(juce::jmax(bytes, size_t(GravaAudioProcessor::reservedBassMidiBytes)));
    gravaProcessor.reserveBassLine(followerMidi.capacity());
    midiHandOver.reserve(midiOutputBytesFor(samplesPerBlock));
#if !BATTO_PLUGIN_BUILD
    reserveMidiInFilterScratch(juce::jmax(bytes, defaultFilterScratchBytes));
#endif
}

size_t BattoAudioProcessor::midiOutputBytesFor(int samplesPerBlock)
{
    return 2 * midiBytesFor(samplesPerBlock); // the drum notes and the previews of a block
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
#if !BATTO_PLUGIN_BUILD
    if (takeRecorder != nullptr)
        takeRecorder->endTake(); // a new device or rate begins a new take
#endif
    const double rate = sampleRate != 0.0 ? sampleRate : getSampleRate();
    if (isUsableSampleRate(rate))
        engineSampleRate = rate; // an unusable rate would stall or overflow the engine's clock
#if !BATTO_PLUGIN_BUILD
    engineSampleRateForOtherThreads.store(engineSampleRate);
#endif
    refreshEngineSettings();
    tempoChanged.store(false);
    updateDivisionDuration();
    songPosition.forget(); // the host may have moved, or counts samples at another rate
    reserveBuffers(maximumExpectedSamplesPerBlock);
    // The follower reads the block's rate for its legato time, like any prepared processor.
    gravaProcessor.setRateAndBufferSizeDetails(engineSampleRate, maximumExpectedSamplesPerBlock);
    gravaProcessor.prepareToPlay(engineSampleRate, maximumExpectedSamplesPerBlock);
#if !BATTO_PLUGIN_BUILD
    prepareMidiClockIn(engineSampleRate, maximumExpectedSamplesPerBlock);
    // The sounds take a while (a kit folder's 160 files, an instrument's preparation). A
    // preparation that only repeats the last one keeps them: the standalone application
    // prepares the processor before it hands it to its player, which prepares it again
    // while its audio callback waits for it.
    const bool repeated = soundsPrepared && soundsSampleRate == engineSampleRate
                          && soundsBlockSize == maximumExpectedSamplesPerBlock;
    if (!repeated)
    {
        prepareExternalPlugin(engineSampleRate, maximumExpectedSamplesPerBlock);
        loadClickSounds(engineSampleRate);
        fillBuffersToPlayInternalKit(engineSampleRate);
        soundsPrepared = true;
        soundsSampleRate = engineSampleRate;
        soundsBlockSize = maximumExpectedSamplesPerBlock;
    }
#endif
}

void BattoAudioProcessor::releaseResources()
{
#if !BATTO_PLUGIN_BUILD
    if (takeRecorder != nullptr)
        takeRecorder->endTake(); // the device stops: so does the take
    soundsPrepared = false;
    releaseExternalPlugin();
#endif
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
    if (takeRecorder != nullptr)
        takeRecorder->keepBlockMidi(midiMessages); // as it came, before the filter and the follower
    takeMidiClockIn(midiMessages, numSamples);
#endif
    refreshEngineSettings();
    applyUserRequests(); // what the message thread asked for since the last block

#if !BATTO_PLUGIN_BUILD
    takeMidiThreadClickRequest(numSamples);
#endif
    FilterByMidiChannelAndNoteLimits(midiMessages); // only removes, so the host's buffer never grows
    const juce::MidiBuffer& input =
        gravaEnabled.load() ? runBassFollower(buffer, midiMessages) : midiMessages;
    followHostTransport(numSamples);
    if (tempoChanged.exchange(false))
        updateDivisionDuration();
    collectPreviews();
    ageHeldMidiIn();

    if (!running.load() && !hostSynced.load())
    {
        stoppedBlock(buffer, input, midiMessages, numSamples);
    }
    else
    {
#if BATTO_PLUGIN_BUILD
        runEngineBlock(buffer, input, midiMessages, numSamples);
#else
        // With MIDI output chosen, the standalone MIDI thread drives its own engine unless the
        // blocks play it (on JACK, or while an external clock drives the drummer): the block's
        // MIDI (as the follower left it) and audio stay as they came, apart from the clicks.
        if (drumKitInBlock != kitMidiOut || blocksPlayTheMidiOutput())
            runEngineBlock(buffer, input, midiMessages, numSamples);
        else if (&input != &midiMessages)
            midiHandOver.handOver(midiMessages, {&input});
        mixClicks(buffer, numSamples);
        advanceKitVoices(numSamples);
#endif
    }
#if !BATTO_PLUGIN_BUILD
    sendMidiClockOut(midiMessages, numSamples);
    renderExternalPlugin(buffer, midiMessages); // stopped blocks too: previews and release tails sound
    if (takeRecorder != nullptr)
        takeRecorder->endBlock(running.load() || hostSynced.load(), *getTempo(), engineSampleRate, buffer,
                               numSamples);
#endif
    midiOut.clear();
    previousBlockLength = numSamples;
    songPosition.blockEnded(numSamples);
}

void BattoAudioProcessor::refreshEngineSettings()
{
    tempoInUse = tempo.load();
    autoKickInUse = autoKick.load();
    autoSnareInUse = autoSnare.load();
}

// The follower reduces the block's notes to its bass line; the engine reads what it leaves.
// It rewrites a copy in reserved storage: the host's buffer may have no room for the line.
const juce::MidiBuffer& BattoAudioProcessor::runBassFollower(juce::AudioBuffer<float>& buffer,
                                                             const juce::MidiBuffer& midiMessages)
{
    followerMidi.clear();
    for (const auto event : midiMessages)
        followerMidi.add(event.data, event.numBytes, event.samplePosition);
    gravaProcessor.processBlock(buffer, followerMidi.events);
    return followerMidi.events;
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

void BattoAudioProcessor::stoppedBlock(juce::AudioBuffer<float>& buffer, const juce::MidiBuffer& input,
                                       juce::MidiBuffer& midiMessages, int numSamples)
{
    for (const auto event : input)
        if (event.samplePosition >= 0 && event.samplePosition < numSamples)
            heldMidiIn.add(event.data, event.numBytes, event.samplePosition);

    midiHandOver.handOver(midiMessages, {&previews.events});

#if BATTO_PLUGIN_BUILD
    juce::ignoreUnused(buffer); // audio passes through the MIDI effect
#else
    buffer.clear(0, numSamples);
    silenceKitVoices();
#endif
}

void BattoAudioProcessor::runEngineBlock(juce::AudioBuffer<float>& buffer, const juce::MidiBuffer& input,
                                         juce::MidiBuffer& midiMessages, int numSamples)
{
    runEngineLoop(input, numSamples); // early notes first, at sample 0
#if !BATTO_PLUGIN_BUILD
    if (takeRecorder != nullptr && !heldMidiIn.events.isEmpty())
        takeRecorder->keepEarlyMidi(heldMidiIn.events); // the take begins with them, as the engine did
#endif
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

void BattoAudioProcessor::runEngineLoop(const juce::MidiBuffer& blockInput, int numSamples)
{
    EngineInput input(blockInput, heldMidiIn.events);
    BlockEvent heldBack;
    bool isHeldBack = false;
    // The engine moves at least a sample per half subdivision, so a block needs far fewer
    // steps than this; the bound only keeps a block finite whatever the host reports.
    const long long stepLimit = 8LL * juce::jmax(0, numSamples) + 64;

    currentSampleOffset = 0;
#if !BATTO_PLUGIN_BUILD
    engineLoopRuns = true;
#endif
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
#if !BATTO_PLUGIN_BUILD
    engineLoopRuns = false;
#endif
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
    if (passesMidiOutToOutput())
        midiHandOver.handOver(midiMessages, {&midiOut.events, &previews.events});
    else
        midiMessages.clear(); // keeps the host's storage
}

#if !BATTO_PLUGIN_BUILD
void BattoAudioProcessor::setTakeRecorder(TakeRecorder* recorder)
{
    takeRecorder = recorder;
}
#endif

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

#if !BATTO_PLUGIN_BUILD
bool BattoAudioProcessor::blocksPlayTheMidiOutput() const
{
    // The MIDI thread plays on its own clock and follows none: while a clock or a transport
    // drives the drummer, the blocks play the MIDI output, and their notes reach a MIDI output
    // device through the device's thread, with the clock's timing.
    return midiOutputInBlocks.load() || (hostSynced.load() && waitsForExternalClock());
}
#endif

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
