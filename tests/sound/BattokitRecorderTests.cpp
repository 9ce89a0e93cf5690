// Recording a kit folder from the hosted instrument (the test VST3 instrument): the recording
// loop, the five-second cap, a whole kit that loads again, cancelling, and folders that must
// never be replaced.
#include "BattokitFolder.h"
#include "BattokitRecorder.h"
#include "KitSamplePlayer.h"
#include "ProcessorTestSupport.h"
#include "SoundTestSupport.h"

#include <atomic>
#include <thread>

namespace
{
// Small rates and blocks keep the 160 recordings quick.
constexpr double rate = 8000.0;
constexpr int blockSize = 64;

std::unique_ptr<TestProcessor> preparedProcessorWithInstrument()
{
    auto processor = std::make_unique<TestProcessor>(BattoAudioProcessor::kitExternalPlugin);
    EXPECT_TRUE(processor->loadExternalPlugin(testInstrumentBundle().getFullPathName()).wasOk());
    processor->setRateAndBufferSizeDetails(rate, blockSize);
    processor->prepareToPlay(rate, blockSize);
    return processor;
}

void setDrone(ExternalPluginOwner& owner, bool drone)
{
    TestInstrument::setParameter(*owner.getExternalPlugin(), "drone", drone ? 1.0f : 0.0f);
}

int defaultNotes[BattokitRecorder::voiceCount];
const int (&drumNotes())[BattokitRecorder::voiceCount]
{
    for (int voice = 0; voice < BattokitRecorder::voiceCount; ++voice)
        defaultNotes[voice] = Batto::drumNoteByDefault[voice];
    return defaultNotes;
}

juce::AudioBuffer<float> recordLayer(ExternalPluginOwner& owner, int note, int velocity)
{
    juce::AudioBuffer<float> recording;
    owner.runWithExternalPluginAlone(
        [&](juce::AudioPluginInstance& plugin, double sampleRate, int size)
        {
            BattokitRecorder::recordLayer(plugin, note, velocity, sampleRate, size, recording);
        });
    return recording;
}

std::vector<juce::String> hiddenLeftovers(const juce::File& folder)
{
    std::vector<juce::String> names;
    for (const auto& entry : juce::RangedDirectoryIterator(folder, false, ".*", juce::File::findFilesAndDirectories))
        names.push_back(entry.getFile().getFileName());
    return names;
}
} // namespace

TEST(BattokitRecorder, ALayerIsTheNoteOnsAnswerUntilABlockStartsSilent)
{
    auto processor = preparedProcessorWithInstrument();
    // Drum note 38 at layers 0 and 15: 0x99 0x26 0x07 and 0x99 0x26 0x7F. The instrument's ramp
    // tells the note (its length) and the velocity (its height).
    for (const int velocity : {7, 127})
    {
        SCOPED_TRACE(velocity);
        const auto recording = recordLayer(*processor, 38, velocity);
        const int length = TestInstrument::lengthOf(38); // 1 380: the block at 1 408 starts silent
        ASSERT_EQ(recording.getNumChannels(), 2);
        EXPECT_EQ(recording.getNumSamples(), (length / blockSize + 1) * blockSize);
        for (int s = 0; s < recording.getNumSamples(); ++s)
        {
            ASSERT_FLOAT_EQ(recording.getSample(0, s), TestInstrument::sampleOf(38, velocity, s)) << s;
            ASSERT_FLOAT_EQ(recording.getSample(1, s), 0.5f * TestInstrument::sampleOf(38, velocity, s)) << s;
        }
    }

    // An instrument that never falls silent is cut at the first whole block beyond five seconds.
    setDrone(*processor, true);
    const auto droning = recordLayer(*processor, 38, 100);
    EXPECT_GT(droning.getNumSamples(), 5 * rate);
    EXPECT_LE(droning.getNumSamples(), 5 * rate + blockSize);
    EXPECT_EQ(droning.getNumSamples() % blockSize, 0);
}

TEST(BattokitRecorder, RecordsAWholeKitThatLoadsAndPlaysAgain)
{
    TemporaryFolder folder;
    auto processor = preparedProcessorWithInstrument();
    const juce::File target = folder.file("mine.battokit");
    std::vector<std::pair<int, int>> steps;
    bool suspendedMeanwhile = true;
    juce::Result recorded = juce::Result::fail("not run");
    processor->runWithExternalPluginAlone(
        [&](juce::AudioPluginInstance& plugin, double sampleRate, int size)
        {
            recorded = BattokitRecorder::record(plugin, sampleRate, size, drumNotes(), target,
                                                [&](int voice, int layer)
                                                {
                                                    steps.emplace_back(voice, layer);
                                                    suspendedMeanwhile = suspendedMeanwhile && processor->isSuspended();
                                                    return true;
                                                });
        });
    ASSERT_TRUE(recorded.wasOk()) << recorded.getErrorMessage();
    EXPECT_EQ(steps.size(), 160u);
    EXPECT_EQ(steps.back(), std::make_pair(9, 15));
    EXPECT_TRUE(suspendedMeanwhile);
    EXPECT_FALSE(processor->isSuspended());
    EXPECT_TRUE(hiddenLeftovers(folder.folder).empty());

    // 24-bit stereo files at the recording rate, holding the instrument's answer.
    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatReader> reader(
        wav.createReaderFor(new juce::FileInputStream(BattokitFolder::fileFor(target, Batto::Kick, 15)), true));
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->bitsPerSample, 24u);
    EXPECT_EQ(reader->numChannels, 2u);
    EXPECT_EQ(reader->sampleRate, rate);

    // Loaded (resampled to 16 000 Hz) and struck at velocity 127: the kick's ramp, twice as long.
    KitSamplePlayer kit;
    const auto load = kit.fillBattokit(16000.0, target);
    EXPECT_EQ(load.filesLoaded, 160);
    juce::AudioBuffer<float> block(2, 256);
    block.clear();
    int velocities[KitSamplePlayer::voiceCount] = {};
    int positions[KitSamplePlayer::voiceCount] = {};
    velocities[Batto::Kick] = 127;
    kit.mixVoices(block, 256, velocities, positions, 1.0);
    EXPECT_NEAR(block.getSample(0, 200), TestInstrument::sampleOf(36, 127, 100), 0.01f);
    EXPECT_NEAR(block.getSample(1, 200), 0.5f * block.getSample(0, 200), 1.0e-3f);
}

TEST(BattokitRecorder, CancellingOrFailingLeavesTheFolderAsItWas)
{
    TemporaryFolder folder;
    auto processor = preparedProcessorWithInstrument();
    const juce::File target = folder.file("kept.battokit");
    target.createDirectory();
    const juce::File oldFile = BattokitFolder::fileFor(target, 0, 0);
    oldFile.replaceWithText("the previous kit");

    juce::Result cancelled = juce::Result::ok();
    processor->runWithExternalPluginAlone(
        [&](juce::AudioPluginInstance& plugin, double sampleRate, int size)
        {
            cancelled = BattokitRecorder::record(plugin, sampleRate, size, drumNotes(), target,
                                                 [](int voice, int layer) { return !(voice == 4 && layer == 3); });
        });
    EXPECT_TRUE(cancelled.failed());
    EXPECT_EQ(oldFile.loadFileAsString(), "the previous kit");
    EXPECT_EQ(target.getNumberOfChildFiles(juce::File::findFilesAndDirectories), 1);
    EXPECT_TRUE(hiddenLeftovers(folder.folder).empty());

    // A file, or a folder holding anything but kit files, is never replaced.
    const juce::File music = folder.file("Music");
    music.createDirectory();
    music.getChildFile("song.wav").replaceWithText("precious");
    const juce::File aFile = folder.file("notes.txt");
    aFile.replaceWithText("text");
    for (const auto& refused : {music, aFile, folder.file("no/such/parent.battokit")})
    {
        SCOPED_TRACE(refused.getFullPathName());
        juce::Result result = juce::Result::ok();
        processor->runWithExternalPluginAlone(
            [&](juce::AudioPluginInstance& plugin, double sampleRate, int size)
            { result = BattokitRecorder::record(plugin, sampleRate, size, drumNotes(), refused); });
        EXPECT_TRUE(result.failed());
    }
    EXPECT_EQ(music.getChildFile("song.wav").loadFileAsString(), "precious");
    EXPECT_EQ(aFile.loadFileAsString(), "text");
}

TEST(BattokitRecorder, NoAudioBlockDrivesThePluginWhileItIsRecorded)
{
    auto processor = preparedProcessorWithInstrument();
    std::atomic<bool> recording{false}, done{false};
    std::atomic<int> blocksWhileRecording{0};
    // A host's audio thread: it runs blocks only while the processor is not suspended.
    std::thread audio(
        [&]
        {
            juce::AudioBuffer<float> buffer(2, blockSize);
            juce::MidiBuffer midi;
            while (!done)
            {
                const juce::ScopedLock lock(processor->getCallbackLock());
                if (!processor->isSuspended())
                {
                    processor->processBlock(buffer, midi);
                    if (recording)
                        ++blocksWhileRecording;
                }
            }
        });
    processor->runWithExternalPluginAlone(
        [&](juce::AudioPluginInstance& plugin, double sampleRate, int size)
        {
            recording = true;
            juce::AudioBuffer<float> layer;
            for (int i = 0; i < 20; ++i)
                BattokitRecorder::recordLayer(plugin, 36, 100, sampleRate, size, layer);
            recording = false;
        });
    done = true;
    audio.join();
    EXPECT_EQ(blocksWhileRecording.load(), 0);
}
