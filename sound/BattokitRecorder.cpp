#include "BattokitRecorder.h"

#include "BattokitFolder.h"
#include "ExternalPluginOwner.h"

#include <vector>

namespace
{
const char* const voiceNames[BattokitRecorder::voiceCount] = {
    "snare", "kick", "closed hi-hat", "open hi-hat", "ride", "crash", "second crash", "high tom", "middle tom", "low tom",
};

juce::Result writeWav(const juce::File& file, const juce::AudioBuffer<float>& recording, double sampleRate)
{
    file.deleteFile();
    auto stream = std::make_unique<juce::FileOutputStream>(file);
    if (stream->failedToOpen())
        return juce::Result::fail("cannot write " + file.getFullPathName() + ": "
                                  + stream->getStatus().getErrorMessage());
    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatWriter> writer(wav.createWriterFor(stream.get(), sampleRate, 2, 24, {}, 0));
    if (writer == nullptr)
        return juce::Result::fail("cannot write " + file.getFullPathName() + " as WAV");
    stream.release(); // the writer owns the stream now and closes it when it goes
    const bool written = writer->writeFromAudioSampleBuffer(recording, 0, recording.getNumSamples());
    writer.reset();
    if (!written)
        return juce::Result::fail("cannot write " + file.getFullPathName());
    return juce::Result::ok();
}

// Puts the finished kit in place of the target (kept until the new one is in place).
juce::Result putInPlace(const juce::File& recorded, const juce::File& target)
{
    juce::File previous;
    if (target.exists())
    {
        previous = target.getSiblingFile("." + target.getFileName() + ".replaced").getNonexistentSibling();
        if (!target.moveFileTo(previous))
            return juce::Result::fail("cannot replace " + target.getFullPathName());
    }
    if (!recorded.moveFileTo(target))
    {
        if (previous != juce::File())
            previous.moveFileTo(target);
        return juce::Result::fail("cannot create " + target.getFullPathName());
    }
    if (previous != juce::File())
        previous.deleteRecursively();
    return juce::Result::ok();
}

// Restores the plug-in's real-time mode however the recording ends.
struct ScopedNonRealtime
{
    explicit ScopedNonRealtime(juce::AudioPluginInstance& p) : plugin(p), was(p.isNonRealtime())
    {
        plugin.setNonRealtime(true); // rendered offline, as fast as it goes
    }
    ~ScopedNonRealtime()
    {
        plugin.setNonRealtime(was);
    }
    juce::AudioPluginInstance& plugin;
    const bool was;
};
} // namespace

juce::Result BattokitRecorder::checkTarget(const juce::File& target)
{
    if (target == juce::File() || target.getFileName().isEmpty())
        return juce::Result::fail("no folder was named");
    if (target.existsAsFile())
        return juce::Result::fail(target.getFullPathName() + " is a file: choose a new name for the battokit");
    if (target.isDirectory() && !BattokitFolder::holdsOnlyKitFiles(target))
        return juce::Result::fail(target.getFullPathName()
                                  + " holds other files than a battokit's: choose a new name, nothing was replaced");
    if (!target.getParentDirectory().isDirectory())
        return juce::Result::fail("the folder " + target.getParentDirectory().getFullPathName() + " does not exist");
    return juce::Result::ok();
}

void BattokitRecorder::recordLayer(juce::AudioPluginInstance& plugin, int note, int velocity, double sampleRate,
                                   int blockSize, juce::AudioBuffer<float>& recording)
{
    const int outputs = juce::jmax(1, plugin.getTotalNumOutputChannels());
    const int rightChannel = 1 % outputs;
    juce::AudioBuffer<float> block(juce::jmax(plugin.getTotalNumInputChannels(), outputs), blockSize);
    juce::MidiBuffer noteOn;
    const juce::uint8 bytes[3] = {0x99, static_cast<juce::uint8>(note & 0x7F), static_cast<juce::uint8>(velocity)};
    noteOn.addEvent(bytes, 3, 0);
    juce::MidiBuffer empty;

    block.clear();
    plugin.processBlock(block, noteOn);
    const double longest = longestLayerSeconds * sampleRate;
    std::vector<float> left, right;
    left.reserve(static_cast<size_t>(longest) + 2 * static_cast<size_t>(blockSize));
    right.reserve(left.capacity());
    for (;;)
    {
        const bool silent = block.hasBeenCleared();
        for (int s = 0; s < blockSize; ++s)
        {
            left.push_back(silent ? 0.0f : block.getSample(0, s));
            right.push_back(silent ? 0.0f : block.getSample(rightChannel, s));
        }
        empty.clear();
        block.clear();
        plugin.processBlock(block, empty);
        if (static_cast<double>(left.size()) > longest)
            break;
        if (block.getSample(0, 0) == 0.0f && block.getSample(rightChannel, 0) == 0.0f)
            break;
    }

    recording.setSize(2, static_cast<int>(left.size()));
    std::copy(left.begin(), left.end(), recording.getWritePointer(0));
    std::copy(right.begin(), right.end(), recording.getWritePointer(1));
}

juce::Result BattokitRecorder::record(juce::AudioPluginInstance& plugin, double sampleRate, int blockSize,
                                      const int (&drumNotes)[voiceCount], const juce::File& target,
                                      const Progress& progress)
{
    if (const auto checked = checkTarget(target); checked.failed())
        return checked;
    if (blockSize <= 0 || !(sampleRate > 0.0))
        return juce::Result::fail("the plug-in is not prepared to play");

    const juce::File recorded =
        target.getSiblingFile("." + target.getFileName() + ".recording").getNonexistentSibling();
    if (const auto created = recorded.createDirectory(); created.failed())
        return juce::Result::fail("cannot create " + recorded.getFullPathName() + ": " + created.getErrorMessage());

    const ScopedNonRealtime offline(plugin);
    juce::AudioBuffer<float> recording;
    for (int voice = 0; voice < voiceCount; ++voice)
        for (int layer = 0; layer < layerCount; ++layer)
        {
            if (progress && !progress(voice, layer))
            {
                recorded.deleteRecursively();
                return juce::Result::fail("the recording was cancelled; nothing was changed");
            }
            recordLayer(plugin, drumNotes[voice], BattokitFolder::recordedVelocity(layer), sampleRate, blockSize,
                        recording);
            const auto written = writeWav(BattokitFolder::fileFor(recorded, voice, layer), recording, sampleRate);
            if (written.failed())
            {
                recorded.deleteRecursively();
                return written;
            }
        }
    const auto placed = putInPlace(recorded, target);
    if (placed.failed())
        recorded.deleteRecursively();
    return placed;
}

juce::Result BattokitRecorder::recordWithProgressWindow(ExternalPluginOwner& owner,
                                                        const int (&drumNotes)[voiceCount], const juce::File& target)
{
    struct RecordingWindow : juce::ThreadWithProgressWindow
    {
        RecordingWindow(ExternalPluginOwner& o, const int (&notes)[voiceCount], const juce::File& t)
            : juce::ThreadWithProgressWindow("Recording battokit...", true, true), owner(o), drumNotes(notes),
              target(t)
        {
        }

        void run() override
        {
            // The plug-in is taken here, on the recording thread, so that the message thread
            // stays free to draw the progress and take the cancel button.
            const bool ran = owner.runWithExternalPluginAlone(
                [this](juce::AudioPluginInstance& plugin, double rate, int blockSize)
                {
                    result = record(plugin, rate, blockSize, drumNotes, target,
                                    [this](int voice, int layer)
                                    {
                                        setProgress((voice * layerCount + layer) / double(voiceCount * layerCount));
                                        setStatusMessage("Voice " + juce::String(voice + 1) + " of "
                                                         + juce::String(voiceCount) + " (" + voiceNames[voice]
                                                         + "), layer " + juce::String(layer + 1) + " of "
                                                         + juce::String(layerCount));
                                        return !threadShouldExit();
                                    });
                });
            if (!ran)
                result = juce::Result::fail("no instrument plug-in is loaded");
        }

        ExternalPluginOwner& owner;
        const int (&drumNotes)[voiceCount];
        const juce::File target;
        juce::Result result = juce::Result::fail("the recording did not run");
    };

    RecordingWindow window(owner, drumNotes, target);
    window.runThread();
    return window.result;
}
