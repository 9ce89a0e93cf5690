// processBlock with the hosted VST3 test instrument never allocates, locks or starts a thread,
// also in stopped blocks, in blocks longer than prepared (rendered in parts) and empty ones.
// What the plug-in does inside its own processing is counted apart: JUCE's VST3 hosting and the
// plug-in's wrapper take uncontended locks of their own there.
#include "AudioThreadWatch.h"
#include "ProcessorTestSupport.h"
#include "SoundTestSupport.h"

namespace
{
class WatchedProcessor : public TestProcessor
{
public:
    WatchedProcessor() : TestProcessor(kitExternalPlugin) {}
    using BattoAudioProcessor::processBlock;

    void processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midiMessages) override
    {
        AudioThreadWatch watch;
        active = &watch;
        BattoAudioProcessor::processBlock(buffer, midiMessages);
        active = nullptr;
        allocations += watch.allocations();
        locks += watch.locks();
        threads += watch.threadsStarted();
        ++blocks;
    }

    void runPluginBlock(juce::AudioPluginInstance& plugin, juce::AudioBuffer<float>& buffer,
                        juce::MidiBuffer& midi) override
    {
        const int allocationsBefore = active->allocations(), locksBefore = active->locks();
        TestProcessor::runPluginBlock(plugin, buffer, midi);
        pluginAllocations += active->allocations() - allocationsBefore;
        pluginLocks += active->locks() - locksBefore;
        allocations -= active->allocations() - allocationsBefore;
        locks -= active->locks() - locksBefore;
    }

    AudioThreadWatch* active = nullptr;
    int allocations = 0, locks = 0, threads = 0, blocks = 0;
    int pluginAllocations = 0, pluginLocks = 0;
};
} // namespace

TEST(ExternalPluginRealTime, ProcessBlockWithAHostedPluginNeverAllocatesLocksOrStartsThreads)
{
    constexpr int prepared = 256;
    WatchedProcessor processor;
    ASSERT_TRUE(processor.loadExternalPlugin(testInstrumentBundle().getFullPathName()).wasOk());
    BlockDriver driver(processor, 48000.0, prepared);
    processor.setVolume(0.5);

    float peak = 0.0f;
    for (int block = 0; block < 20; ++block)
    {
        if (block % 5 == 0)
            processor.previewVoice(Batto::Crash, 110);
        driver.run(prepared);
    }
    processor.start();
    const std::vector<int> sizes{prepared, 0, prepared, 4 * prepared, 17, prepared, 16 * prepared, 1};
    for (int block = 0; block < 400; ++block)
    {
        const int samples = sizes[static_cast<size_t>(block) % sizes.size()];
        driver.run(samples, {{samples / 2, noteOn(60, 20 + block % 100)}});
        peak = juce::jmax(peak, driver.audio.getMagnitude(0, samples));
    }
    processor.stop();
    driver.run(prepared);

    EXPECT_GT(peak, 0.1f); // the instrument did play
    EXPECT_GT(processor.blocks, 400);
    EXPECT_EQ(processor.allocations, 0);
    EXPECT_EQ(processor.locks, 0);
    EXPECT_EQ(processor.threads, 0);
    // Prepared with a first block of its own, the hosting code allocates nothing either.
    EXPECT_EQ(processor.pluginAllocations, 0);
    RecordProperty("LocksInsideThePlugin", processor.pluginLocks);
}
