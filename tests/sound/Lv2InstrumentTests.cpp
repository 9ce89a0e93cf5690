// Debian's avldrums.lv2, a real LV2 drum instrument: the drummer's hits played through it,
// its bundle's plug-ins, its state across a restart, and a kit folder recorded from it.
#include "BattokitFolder.h"
#include "BattokitRecorder.h"
#include "ExternalPluginLoader.h"
#include "KitSamplePlayer.h"
#include "ProcessorTestSupport.h"
#include "SoundTestSupport.h"

namespace
{
const juce::String blackPearl = "http://gareus.org/oss/lv2/avldrums#BlackPearl";
const juce::File bundle("/usr/lib/lv2/avldrums.lv2");
constexpr double rate = 48000.0;
constexpr int blockSize = 256;

#define SKIP_WITHOUT_AVLDRUMS()                                                                              \
    if (!bundle.isDirectory())                                                                               \
    GTEST_SKIP() << "avldrums.lv2 is not installed (scripts/install-deps.sh installs it)"


// The drummer's hits, sample by sample, and the left channel of the processor that plays
// through avldrums.
struct Played
{
    std::vector<long long> hits;
    std::vector<float> left;
};

Played playBars(TestProcessor& processor, BlockDriver& driver, int blocks)
{
    const Performance performance = playStarted(processor, driver, rate, blockSize, blocks);
    Played played;
    for (const auto& note : performance.notes)
        played.hits.push_back(note.sample);
    const float* left = performance.audio.getReadPointer(0);
    played.left.assign(left, left + performance.audio.getNumSamples());
    return played;
}
} // namespace

TEST(Lv2Instrument, ABundleListsItsPluginsAndOneMustBeChosenByUri)
{
    SKIP_WITHOUT_AVLDRUMS();
    juce::String error;
    const auto choices = ExternalPluginLoader::pluginsIn(bundle, error);
    ASSERT_EQ(choices.size(), 4u) << error;
    EXPECT_TRUE(std::any_of(choices.begin(), choices.end(),
                            [](const auto& choice) { return choice.identifier == blackPearl; }));

    const auto none = ExternalPluginLoader::create(bundle.getFullPathName(), rate, blockSize, error);
    EXPECT_EQ(none, nullptr);
    EXPECT_TRUE(error.contains("holds 4 plug-ins")) << error;
    EXPECT_TRUE(error.contains(blackPearl)) << error;
}

TEST(Lv2Instrument, PlaysTheDrummersHitsOnTheirSamples)
{
    SKIP_WITHOUT_AVLDRUMS();
    TestProcessor processor(BattoAudioProcessor::kitExternalPlugin);
    const juce::Result loaded = processor.loadExternalPlugin(blackPearl);
    ASSERT_TRUE(loaded.wasOk()) << loaded.getErrorMessage();
    BlockDriver driver(processor, rate, blockSize);
    ASSERT_TRUE(processor.waitUntilExternalPluginSounds(36, 20000)); // its samples load in the background
    const Played played = playBars(processor, driver, 1000); // 5.3 s: about five bars

    ASSERT_GT(played.hits.size(), 20u);
    // Silence (below -100 dBFS: the warm-up's probe has rung out) until the first hit, which
    // sounds from its own sample on.
    const auto first = static_cast<size_t>(played.hits.front());
    for (size_t s = 0; s < first; ++s)
        ASSERT_LT(std::abs(played.left[s]), 1.0e-5f) << s;
    float onset = 0.0f;
    for (size_t s = first; s < first + 16; ++s)
        onset = std::max(onset, std::abs(played.left[s]));
    EXPECT_GT(onset, 1.0e-3f);
    // Every hit brings new sound: more in the 10 ms after it than in the 10 ms before.
    int louderAfter = 0;
    for (const long long hit : played.hits)
    {
        if (hit < 480 || hit + 480 >= static_cast<long long>(played.left.size()))
            continue;
        double before = 0.0, after = 0.0;
        for (long long s = hit - 480; s < hit; ++s)
            before += played.left[static_cast<size_t>(s)] * played.left[static_cast<size_t>(s)];
        for (long long s = hit; s < hit + 480; ++s)
            after += played.left[static_cast<size_t>(s)] * played.left[static_cast<size_t>(s)];
        louderAfter += after > before ? 1 : 0;
    }
    EXPECT_GT(louderAfter, static_cast<int>(played.hits.size()) * 8 / 10);
}

// Loading returns while the instrument still loads its samples on the host's worker: blocks
// run meanwhile (silent) and the message loop lets it finish; then it sounds from the
// drummer's first hit, and it can be replaced or deleted at once (work of its own still
// running on a deleted instance would crash the program).
TEST(Lv2Instrument, LoadsWithoutHoldingTheMessageThreadThenPlaysAndGoesAtOnce)
{
    SKIP_WITHOUT_AVLDRUMS();
    TestProcessor processor(BattoAudioProcessor::kitExternalPlugin);
    BlockDriver driver(processor, rate, blockSize);
    ASSERT_TRUE(processor.loadExternalPlugin(blackPearl).wasOk());
    EXPECT_TRUE(processor.isExternalPluginLoading());
    processor.start();
    driver.run(blockSize);
    EXPECT_EQ(driver.audio.getMagnitude(0, 0, blockSize), 0.0f);
    const auto giveUp = juce::Time::getMillisecondCounter() + 20000;
    while (processor.isExternalPluginLoading() && juce::Time::getMillisecondCounter() < giveUp)
        juce::MessageManager::getInstance()->runDispatchLoopUntil(10);
    ASSERT_FALSE(processor.isExternalPluginLoading());

    processor.stop();
    driver.run(blockSize);
    processor.start();
    float peak = 0.0f;
    for (int block = 0; block < 4; ++block)
    {
        driver.run(blockSize);
        peak = std::max(peak, driver.audio.getMagnitude(0, 0, blockSize));
    }
    EXPECT_GT(peak, 1.0e-3f);

    for (int replaced = 0; replaced < 3; ++replaced)
        ASSERT_TRUE(processor.loadExternalPlugin(blackPearl).wasOk());
    processor.prepareToPlay(rate / 2, blockSize); // the LV2 host makes a new instance for a new rate
    processor.deleteExternalPlugin();
}

TEST(Lv2Instrument, ItsStateComesBackAfterARestartAndItPlays)
{
    SKIP_WITHOUT_AVLDRUMS();
    TemporaryFolder folder;
    const juce::File stateFile = folder.file("Batto_external_plugin_state_information");
    juce::MemoryBlock saved;
    juce::String savedPath;
    {
        TestProcessor processor(BattoAudioProcessor::kitExternalPlugin);
        ASSERT_TRUE(processor.loadExternalPlugin(blackPearl).wasOk());
        processor.getExternalPlugin()->getStateInformation(saved);
        savedPath = processor.saveExternalPluginState(stateFile);
    }
    EXPECT_EQ(savedPath, blackPearl);
    juce::MemoryBlock onDisk;
    ASSERT_TRUE(stateFile.loadFileAsData(onDisk));
    EXPECT_FALSE(onDisk.isEmpty());
    EXPECT_EQ(onDisk, saved);

    auto restarted = std::make_unique<TestProcessor>(BattoAudioProcessor::kitExternalPlugin);
    ASSERT_TRUE(restarted->restoreExternalPlugin(savedPath, stateFile, true).wasOk());
    juce::MemoryBlock state;
    restarted->getExternalPlugin()->getStateInformation(state);
    EXPECT_EQ(state, saved);
    BlockDriver driver(*restarted, rate, blockSize);
    ASSERT_TRUE(restarted->waitUntilExternalPluginSounds(38, 20000));
    const Played played = playBars(*restarted, driver, 400);
    EXPECT_GT(*std::max_element(played.left.begin(), played.left.end()), 0.01f);
}

TEST(Lv2Instrument, RecordsAKitFolderThatLoadsAndPlays)
{
    SKIP_WITHOUT_AVLDRUMS();
    TemporaryFolder folder;
    const juce::File kit = folder.file("avl.battokit");
    TestProcessor processor(BattoAudioProcessor::kitExternalPlugin);
    ASSERT_TRUE(processor.loadExternalPlugin(blackPearl).wasOk());
    BlockDriver driver(processor, 44100.0, 512); // recorded at 44 100 Hz
    ASSERT_TRUE(processor.waitUntilExternalPluginSounds(36, 20000));

    int drumNotes[BattokitRecorder::voiceCount];
    for (int voice = 0; voice < BattokitRecorder::voiceCount; ++voice)
        drumNotes[voice] = processor.getDrumNote(voice);
    juce::Result recorded = juce::Result::fail("not run");
    ASSERT_TRUE(processor.runWithExternalPluginAlone(
        [&](juce::AudioPluginInstance& plugin, double sampleRate, int size)
        { recorded = BattokitRecorder::record(plugin, sampleRate, size, drumNotes, kit); }));
    ASSERT_TRUE(recorded.wasOk()) << recorded.getErrorMessage();

    // Played from the folder at 48 000 Hz by the kit player: whole, and louder layers louder.
    processor.setBattokitPath(kit);
    BlockDriver playing(processor, 48000.0, blockSize);
    processor.setDrumKit(BattoAudioProcessor::kitBattokitFolder);
    EXPECT_EQ(processor.getLastBattokitLoad().filesLoaded, 160);
    const auto& kick = processor.getKit().kitBuffers[Batto::Kick];
    EXPECT_GT(kick[15].getMagnitude(0, kick[15].getNumSamples()), kick[0].getMagnitude(0, kick[0].getNumSamples()));
    processor.start();
    float peak = 0.0f;
    for (int block = 0; block < 400; ++block)
    {
        playing.run(blockSize);
        peak = juce::jmax(peak, playing.audio.getMagnitude(0, blockSize));
    }
    EXPECT_GT(peak, 0.01f);
}
