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

// Drives a plug-in (prepared, and to the caller alone) with a probe note-on, repeated with
// short pauses while it still loads its own samples in the background, until it sounds; then
// with silence until it has rung out. False when it stays silent for `timeoutMs`.
bool driveUntilSounding(juce::AudioPluginInstance& plugin, double rate, int blockSize, int probeNote, int timeoutMs)
{
    const int outputs = plugin.getTotalNumOutputChannels();
    juce::AudioBuffer<float> audio(renderChannelsOf(plugin), blockSize);
    juce::MidiBuffer midi;
    const int blocksPerTry = juce::jmax(1, static_cast<int>(0.25 * rate / blockSize));
    const auto deadline = juce::Time::getMillisecondCounter() + static_cast<juce::uint32>(timeoutMs);
    bool sounded = false;
    while (!sounded && juce::Time::getMillisecondCounter() < deadline)
    {
        midi.clear();
        midi.addEvent(juce::MidiMessage::noteOn(10, probeNote & 0x7F, static_cast<juce::uint8>(100)), 0);
        for (int block = 0; block < blocksPerTry && !sounded; ++block)
        {
            audio.clear();
            plugin.processBlock(audio, midi);
            midi.clear();
            sounded = outputPeak(audio, outputs) > 0.0f;
        }
        if (!sounded)
            juce::Thread::sleep(10); // its samples may still be loading in the background
    }
    const int longestRingOut = static_cast<int>(longestRingOutSeconds * rate / blockSize);
    for (int block = 0; sounded && block < longestRingOut; ++block)
    {
        audio.clear();
        midi.clear();
        plugin.processBlock(audio, midi);
        if (outputPeak(audio, outputs) < ringOutLevel)
            break;
    }
    return sounded;
}

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

ExternalPluginOwner::ExternalPluginOwner(juce::AudioProcessor& hostProcessor) : host(hostProcessor)
{
    chunkMidi.ensureSize(chunkMidiBytes);
}

ExternalPluginOwner::~ExternalPluginOwner()
{
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
    runWithExternalPluginAlone([&](juce::AudioPluginInstance& plugin, double rate, int blockSize)
                               { sounded = driveUntilSounding(plugin, rate, blockSize, probeNote, timeoutMs); });
    return sounded;
}

bool ExternalPluginOwner::driveUntilSounding(juce::AudioPluginInstance& plugin, double sampleRate, int blockSize,
                                             int probeNote, int timeoutMs)
{
    return ::driveUntilSounding(plugin, sampleRate, blockSize, probeNote, timeoutMs);
}

void ExternalPluginOwner::deleteExternalPlugin()
{
    closeExternalPluginWindow();
    std::unique_ptr<juce::AudioPluginInstance> previous;
    {
        const juce::ScopedLock lock(lifecycleLock);
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
        prepareInstance(*externalPlugin, externalBuffer);
}

void ExternalPluginOwner::releaseExternalPlugin()
{
    const juce::ScopedLock lock(lifecycleLock);
    if (externalPlugin != nullptr && prepared)
        externalPlugin->releaseResources();
    prepared = false;
}

void ExternalPluginOwner::prepareInstance(juce::AudioPluginInstance& plugin,
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
    // first block. It is let finish (a probe note until it sounds, then silence until it has
    // rung out), so that it sounds from the drummer's first note on, and so that no work of
    // its own still runs when it is deleted or re-made for a new rate: the LV2 host would
    // then run that work on a freed instance and crash.
    if (loadsInTheBackground(plugin))
        driveUntilSounding(plugin, preparedRate, preparedBlockSize, probeNoteForLoading, longestLoadingMs);
}

void ExternalPluginOwner::install(std::unique_ptr<juce::AudioPluginInstance> plugin, const juce::String& identifier)
{
    closeExternalPluginWindow(); // the present plug-in's editor goes before the plug-in
    juce::AudioBuffer<float> renderBuffer(renderChannelsOf(*plugin), preparedBlockSize);
    {
        const juce::ScopedLock lock(lifecycleLock);
        if (prepared)
            prepareInstance(*plugin, renderBuffer);
        const int channels = renderChannelsOf(*plugin);
        const int outputs = plugin->getTotalNumOutputChannels();
        {
            const ScopedSuspension suspension(host);
            std::swap(externalPlugin, plugin);
            std::swap(externalBuffer, renderBuffer);
            pluginChannels = channels;
            pluginOutputs = outputs;
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
    if (plugin == nullptr || numSamples <= 0)
        return;
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
            if (event.samplePosition >= start && event.samplePosition < start + length
                && chunkMidi.data.size() + event.numBytes + 8 <= static_cast<int>(chunkMidiBytes))
                chunkMidi.addEvent(event.data, event.numBytes, event.samplePosition - start);
        renderChunk(*plugin, buffer, chunkMidi, start, length, gain);
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
