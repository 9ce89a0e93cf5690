#include "ExternalPluginOwner.h"

#include "ExternalPluginLoader.h"
#include "ExternalPluginStateFile.h"
#include "ExternalPluginWindowOwner.h"

namespace
{
// Room for the MIDI of one part of an over-long block.
constexpr size_t chunkMidiBytes = 64 * 1024;
// A first block with this many MIDI events lets the host side of the plug-in size its own
// event lists before the audio thread needs them.
constexpr int eventsInFirstBlock = 64;
// A block quieter than this counts as silence while a plug-in rings out (-100 dBFS).
constexpr float ringOutLevel = 1.0e-5f;
constexpr double longestRingOutSeconds = 10.0;
// The kick's usual note, and how long an LV2 instrument may take to load its samples.
constexpr int probeNoteForLoading = 36;
constexpr int longestLoadingMs = 10000;

// Suspends the host's processing for a scope and then puts it back as it was.
class ScopedSuspension
{
public:
    explicit ScopedSuspension(juce::AudioProcessor& processorToSuspend)
        : processor(processorToSuspend), wasSuspended(processorToSuspend.isSuspended())
    {
        processor.suspendProcessing(true);
    }
    ~ScopedSuspension()
    {
        processor.suspendProcessing(wasSuspended);
    }

private:
    juce::AudioProcessor& processor;
    const bool wasSuspended;
};

int renderChannelsOf(const juce::AudioPluginInstance& plugin)
{
    return juce::jmax(plugin.getTotalNumInputChannels(), plugin.getTotalNumOutputChannels());
}

float outputPeak(const juce::AudioBuffer<float>& audio, int outputs)
{
    float peak = 0.0f;
    for (int channel = 0; channel < juce::jmin(outputs, audio.getNumChannels()); ++channel)
        peak = juce::jmax(peak, audio.getMagnitude(channel, 0, audio.getNumSamples()));
    return peak;
}

} // namespace

// Drives a plug-in (prepared, and to the caller alone) with a probe note-on, repeated while it
// still loads its own samples in the background, until it sounds; then with silence until it
// has rung out. The work goes in steps of about a quarter second of audio each, so that it
// can run a step at a time on the message thread between other events.
class ExternalPluginOwner::WarmUp
{
public:
    WarmUp(juce::AudioPluginInstance& pluginToDrive, double rate, int blockSize, int note, int timeoutMs)
        : plugin(pluginToDrive), probeNote(note & 0x7F), outputs(plugin.getTotalNumOutputChannels()),
          audio(renderChannelsOf(plugin), blockSize),
          blocksPerStep(juce::jmax(1, static_cast<int>(0.25 * rate / blockSize))),
          ringOutBlocksLeft(static_cast<int>(longestRingOutSeconds * rate / blockSize)),
          deadline(juce::Time::getMillisecondCounter() + static_cast<juce::uint32>(timeoutMs))
    {
    }

    // One step; true once the plug-in has sounded and rung out, or stayed silent too long.
    bool step()
    {
        if (!sounded)
        {
            if (juce::Time::getMillisecondCounter() >= deadline)
                return true;
            midi.clear();
            midi.addEvent(juce::MidiMessage::noteOn(10, probeNote, static_cast<juce::uint8>(100)), 0);
            for (int block = 0; block < blocksPerStep && !sounded; ++block)
            {
                render();
                sounded = outputPeak(audio, outputs) > 0.0f;
            }
            return false;
        }
        for (int block = 0; block < blocksPerStep; ++block)
        {
            render();
            if (--ringOutBlocksLeft <= 0 || outputPeak(audio, outputs) < ringOutLevel)
                return true;
        }
        return false;
    }

    // All the steps at once, with short pauses while the plug-in is silent (its samples may
    // still be loading in the background).
    void finish()
    {
        while (!step())
            if (!sounded)
                juce::Thread::sleep(10);
    }

    bool hasSounded() const
    {
        return sounded;
    }

private:
    void render()
    {
        audio.clear();
        plugin.processBlock(audio, midi);
        midi.clear();
    }

    juce::AudioPluginInstance& plugin;
    const int probeNote;
    const int outputs;
    juce::AudioBuffer<float> audio;
    juce::MidiBuffer midi;
    const int blocksPerStep;
    int ringOutBlocksLeft;
    const juce::uint32 deadline;
    bool sounded = false;
};

// Runs the loading instrument's warm-up a step at a time on the message thread.
class ExternalPluginOwner::WarmUpSteps : public juce::Timer
{
public:
    explicit WarmUpSteps(ExternalPluginOwner& ownerToStep) : owner(ownerToStep) {}

    void timerCallback() override
    {
        owner.continueWarmUp();
    }

private:
    ExternalPluginOwner& owner;
};

namespace
{
// True for plug-ins that may load their samples on the LV2 host's background worker.
bool loadsInTheBackground(const juce::AudioPluginInstance& plugin)
{
    return plugin.getPluginDescription().pluginFormatName == "LV2";
}

juce::String absoluteIdentifier(const juce::String& identifier)
{
    if (ExternalPluginLoader::looksLikeUri(identifier) || identifier.isEmpty())
        return identifier;
    return juce::File::getCurrentWorkingDirectory().getChildFile(identifier).getFullPathName();
}
} // namespace

ExternalPluginOwner::ExternalPluginOwner(juce::AudioProcessor& hostProcessor)
    : host(hostProcessor), warmUpSteps(std::make_unique<WarmUpSteps>(*this))
{
    chunkMidi.reserve(chunkMidiBytes);
}

ExternalPluginOwner::~ExternalPluginOwner()
{
    warmUpSteps->stopTimer();
    finishWarmUp();
    // The processor has normally deleted the plug-in already (deleteExternalPlugin).
    if (externalPlugin != nullptr)
    {
        delete externalPlugin->getActiveEditor();
        externalPlugin.reset();
    }
}

//==============================================================================
juce::Result ExternalPluginOwner::loadExternalPlugin(const juce::String& identifierToLoad)
{
    const juce::String identifier = absoluteIdentifier(identifierToLoad.trim());
    juce::String error;
    auto plugin = ExternalPluginLoader::create(identifier, creationSampleRate, creationBlockSize, error);
    if (plugin == nullptr)
        return juce::Result::fail(error);

    juce::MemoryBlock state;
    if (identifier == savedIdentifier && ExternalPluginStateFile::read(stateFile, state))
        plugin->setStateInformation(state.getData(), static_cast<int>(state.getSize()));
    install(std::move(plugin), identifier);
    return juce::Result::ok();
}

juce::Result ExternalPluginOwner::restoreExternalPlugin(const juce::String& identifier, const juce::File& file,
                                                        bool load)
{
    savedIdentifier = absoluteIdentifier(identifier.trim());
    stateFile = file;
    if (!load || savedIdentifier.isEmpty())
        return juce::Result::ok();
    return loadExternalPlugin(savedIdentifier);
}

juce::String ExternalPluginOwner::saveExternalPluginState(const juce::File& file, juce::Result* writeResult)
{
    if (writeResult != nullptr)
        *writeResult = juce::Result::ok();
    if (externalPlugin == nullptr)
        return savedIdentifier;

    juce::MemoryBlock state;
    externalPlugin->getStateInformation(state);
    const juce::Result written = ExternalPluginStateFile::write(file, state);
    if (written.failed() && externalPluginPath != savedIdentifier && file.existsAsFile())
        file.deleteFile(); // it holds another plug-in's state: never hand that to this one
    if (writeResult != nullptr)
        *writeResult = written;
    savedIdentifier = externalPluginPath;
    stateFile = file;
    return externalPluginPath;
}

bool ExternalPluginOwner::hasExternalPlugin() const
{
    return externalPlugin != nullptr;
}

juce::AudioPluginInstance* ExternalPluginOwner::getExternalPlugin() const
{
    return externalPlugin.get();
}

const juce::String& ExternalPluginOwner::getExternalPluginPath() const
{
    return externalPluginPath;
}

bool ExternalPluginOwner::runWithExternalPluginAlone(
    const std::function<void(juce::AudioPluginInstance&, double, int)>& work)
{
    const juce::ScopedLock lock(lifecycleLock);
    if (externalPlugin == nullptr)
        return false;
    const ScopedSuspension suspension(host);
    finishWarmUp();
    if (!prepared)
        externalPlugin->prepareToPlay(preparedRate, preparedBlockSize);
    work(*externalPlugin, preparedRate, preparedBlockSize);
    if (!prepared)
        externalPlugin->releaseResources();
    return true;
}

bool ExternalPluginOwner::waitUntilExternalPluginSounds(int probeNote, int timeoutMs)
{
    bool sounded = false;
    runWithExternalPluginAlone(
        [&](juce::AudioPluginInstance& plugin, double rate, int blockSize)
        { sounded = driveUntilSounding(plugin, rate, blockSize, probeNote, timeoutMs); });
    return sounded;
}

bool ExternalPluginOwner::driveUntilSounding(juce::AudioPluginInstance& plugin, double sampleRate, int blockSize,
                                             int probeNote, int timeoutMs)
{
    WarmUp warmUp(plugin, sampleRate, blockSize, probeNote, timeoutMs);
    warmUp.finish();
    return warmUp.hasSounded();
}

void ExternalPluginOwner::deleteExternalPlugin()
{
    closeExternalPluginWindow();
    std::unique_ptr<juce::AudioPluginInstance> previous;
    {
        const juce::ScopedLock lock(lifecycleLock);
        finishWarmUp(); // no work of its own may still run when it is deleted
        const ScopedSuspension suspension(host);
        std::swap(previous, externalPlugin);
        pluginChannels = pluginOutputs = 0;
        externalPluginPath.clear();
    }
    if (previous != nullptr)
    {
        delete previous->getActiveEditor(); // one that no window of ours holds
        if (prepared)
            previous->releaseResources();
    }
}

//==============================================================================
void ExternalPluginOwner::prepareExternalPlugin(double sampleRate, int maximumBlockSize)
{
    const juce::ScopedLock lock(lifecycleLock);
    prepared = true;
    if (sampleRate > 0.0)
        preparedRate = sampleRate;
    preparedBlockSize = juce::jmax(1, maximumBlockSize);
    if (externalPlugin != nullptr)
    {
        finishWarmUp(); // the LV2 host makes a new instance for a new rate
        startWarmUpIfNeeded(prepareInstance(*externalPlugin, externalBuffer));
    }
}

void ExternalPluginOwner::releaseExternalPlugin()
{
    const juce::ScopedLock lock(lifecycleLock);
    finishWarmUp();
    if (externalPlugin != nullptr && prepared)
        externalPlugin->releaseResources();
    prepared = false;
}

bool ExternalPluginOwner::prepareInstance(juce::AudioPluginInstance& plugin,
                                          juce::AudioBuffer<float>& renderBuffer) const
{
    plugin.prepareToPlay(preparedRate, preparedBlockSize);
    renderBuffer.setSize(renderChannelsOf(plugin), preparedBlockSize);
    // One block before the audio thread's first, with plenty of harmless events (key pressure
    // 0), so that the framework's hosting code allocates its buffers here and not in a block.
    juce::MidiBuffer events;
    for (int note = 0; note < eventsInFirstBlock; ++note)
        events.addEvent(juce::MidiMessage::aftertouchChange(10, note, 0), 0);
    renderBuffer.clear();
    plugin.processBlock(renderBuffer, events);
    renderBuffer.clear();
    // An LV2 instrument may start loading its samples on the host's background worker in that
    // first block: it needs a warm-up (startWarmUpIfNeeded).
    return loadsInTheBackground(plugin);
}

void ExternalPluginOwner::startWarmUpIfNeeded(bool needed)
{
    // Called while no block can reach the plug-in (preparation, or processing suspended).
    warmUp.reset();
    pluginReady.store(!needed);
    if (!needed)
        return;
    warmUp = std::make_unique<WarmUp>(*externalPlugin, preparedRate, preparedBlockSize, probeNoteForLoading,
                                      longestLoadingMs);
    warmUpSteps->startTimer(warmUpStepMs);
}

void ExternalPluginOwner::continueWarmUp()
{
    // The plug-in is let finish loading (a probe note until it sounds, then silence until it
    // has rung out) before the audio thread plays it, so that it sounds from the drummer's
    // first note on. Until then blocks leave it alone: the message thread drives it here.
    const juce::ScopedLock lock(lifecycleLock);
    if (warmUp == nullptr || warmUp->step())
        endWarmUp();
}

void ExternalPluginOwner::finishWarmUp()
{
    // No work of its own may still run when the plug-in is deleted or re-made for a new rate:
    // the LV2 host would then run that work on a freed instance and crash.
    const juce::ScopedLock lock(lifecycleLock);
    if (warmUp != nullptr)
        warmUp->finish();
    endWarmUp();
}

void ExternalPluginOwner::endWarmUp()
{
    warmUpSteps->stopTimer();
    const bool wasLoading = warmUp != nullptr;
    warmUp.reset();
    if (wasLoading)
        pluginReady.store(true);
}

bool ExternalPluginOwner::isExternalPluginLoading() const
{
    return warmUp != nullptr;
}

void ExternalPluginOwner::install(std::unique_ptr<juce::AudioPluginInstance> plugin, const juce::String& identifier)
{
    closeExternalPluginWindow(); // the present plug-in's editor goes before the plug-in
    juce::AudioBuffer<float> renderBuffer(renderChannelsOf(*plugin), preparedBlockSize);
    {
        const juce::ScopedLock lock(lifecycleLock);
        finishWarmUp(); // the present plug-in's, before it goes
        const bool needsWarmUp = prepared && prepareInstance(*plugin, renderBuffer);
        const int channels = renderChannelsOf(*plugin);
        const int outputs = plugin->getTotalNumOutputChannels();
        {
            const ScopedSuspension suspension(host);
            std::swap(externalPlugin, plugin);
            std::swap(externalBuffer, renderBuffer);
            pluginChannels = channels;
            pluginOutputs = outputs;
            startWarmUpIfNeeded(needsWarmUp);
        }
        externalPluginPath = identifier;
        if (plugin != nullptr && prepared)
            plugin->releaseResources();
    }
    plugin.reset(); // the previous one
}

void ExternalPluginOwner::closeExternalPluginWindow()
{
    if (auto* windowOwner = GetExternalPluginWindowOwner())
        windowOwner->pluginGoes();
}

//==============================================================================
void ExternalPluginOwner::renderExternalPlugin(juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi, float gain)
{
    juce::AudioPluginInstance* plugin = externalPlugin.get();
    const int numSamples = buffer.getNumSamples();
    if (plugin == nullptr || numSamples <= 0 || !pluginReady.load(std::memory_order_acquire))
        return; // still loading: the message thread drives it meanwhile

    if (numSamples <= preparedBlockSize)
    {
        renderChunk(*plugin, buffer, midi, 0, numSamples, gain);
        return;
    }
    // A block longer than the plug-in was prepared for goes in parts it can take.
    for (int start = 0; start < numSamples; start += preparedBlockSize)
    {
        const int length = juce::jmin(preparedBlockSize, numSamples - start);
        chunkMidi.clear();
        for (const auto event : midi)
            if (event.samplePosition >= start && event.samplePosition < start + length)
                chunkMidi.add(event.data, event.numBytes, event.samplePosition - start);
        renderChunk(*plugin, buffer, chunkMidi.events, start, length, gain);
    }
}

void ExternalPluginOwner::runPluginBlock(juce::AudioPluginInstance& plugin, juce::AudioBuffer<float>& buffer,
                                         juce::MidiBuffer& midi)
{
    plugin.processBlock(buffer, midi);
}

void ExternalPluginOwner::renderChunk(juce::AudioPluginInstance& plugin, juce::AudioBuffer<float>& buffer,
                                      juce::MidiBuffer& midi, int startSample, int numSamples, float gain)
{
    // Storage for this size was reserved when the plug-in was prepared. Cleared, so that a
    // plug-in with audio inputs never hears its own last block again (a feedback loop).
    externalBuffer.setSize(pluginChannels, numSamples, false, false, true);
    externalBuffer.clear();
    runPluginBlock(plugin, externalBuffer, midi);
    if (gain != 1.0f)
        for (int channel = 0; channel < pluginOutputs; ++channel)
            externalBuffer.applyGain(channel, 0, numSamples, gain); // leaves cleared channels alone
    const int shared = juce::jmin(pluginOutputs, buffer.getNumChannels());
    for (int channel = 0; channel < shared; ++channel)
        buffer.copyFrom(channel, startSample, externalBuffer, channel, 0, numSamples);
}
