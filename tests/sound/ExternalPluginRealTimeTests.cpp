// processBlock with the hosted VST3 test instrument never allocates, locks or starts a thread,
// also in stopped blocks, in blocks longer than prepared (rendered in parts) and empty ones.
// What the plug-in does inside its own processing is counted apart: JUCE's VST3 hosting and the
// plug-in's wrapper take uncontended locks of their own there.
#include "AudioThreadWatch.h"
#include "ProcessorTestSupport.h"
#include "SoundTestSupport.h"
#include "WatchedProcessor.h"

namespace
{
// The hosted plug-in's own processing is counted apart from the processor's.
class WatchedProcessor : public Watched<TestProcessor>
{
public:
    WatchedProcessor() : Watched<TestProcessor>(kitExternalPlugin) {}

    void runPluginBlock(juce::AudioPluginInstance& plugin, juce::AudioBuffer<float>& buffer,
                        juce::MidiBuffer& midi) override
    {
        const auto [allocations, locks] = uncounted([&] { TestProcessor::runPluginBlock(plugin, buffer, midi); });
        pluginAllocations += allocations;
        pluginLocks += locks;
    }

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
