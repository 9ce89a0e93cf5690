// The processor playing the drummer through a real VST3 instrument that the tests build:
// loading, the block's note-ons rendered on their samples, volume and channel rules, stopped
// blocks, failures that keep the present plug-in, and its state across a restart.
#include "ExternalPluginLoader.h"
#include "ProcessorTestSupport.h"
#include "SoundTestSupport.h"

#include <vector>

namespace
{
constexpr double rate = 48000.0;
constexpr int blockSize = 256;

// Runs the started drummer for `blocks` blocks; keeps the audio and the drum note-ons.
Performance play(BattoAudioProcessor& processor, int blocks, int channels = 2, double clickVolume = 0.0)
{
    processor.setClickVolume(clickVolume);
    BlockDriver driver(processor, rate, blockSize, channels);
    return playStarted(processor, driver, rate, blockSize, blocks, channels);
}

// What the test instrument plays for these note-ons, at `gain`.
float expectedSample(const std::vector<Performance::NoteOn>& notes, int channel, long long sample, float gain)
{
    float value = 0.0f;
    for (const auto& note : notes)
        value += TestInstrument::sampleOf(note.note, note.velocity, static_cast<int>(sample - note.sample), gain);
    return channel == 0 ? value : 0.5f * value;
}

void expectInstrumentPlayed(const Performance& played, float gain, int channels = 2)
{
    ASSERT_GE(played.notes.size(), 5u);
    int compared = 0;
    for (int c = 0; c < channels; ++c)
        for (int s = 0; s < played.audio.getNumSamples(); ++s)
        {
            ASSERT_NEAR(played.audio.getSample(c, s), expectedSample(played.notes, c, s, gain), 2.0e-5f)
                << "channel " << c << " sample " << s;
            ++compared;
        }
    EXPECT_GT(compared, 0);
}

std::unique_ptr<TestProcessor> processorWithInstrument()
{
    auto processor = std::make_unique<TestProcessor>(BattoAudioProcessor::kitExternalPlugin);
    const juce::Result loaded = processor->loadExternalPlugin(testInstrumentBundle().getFullPathName());
    EXPECT_TRUE(loaded.wasOk()) << loaded.getErrorMessage();
    return processor;
}
} // namespace

TEST(ExternalPlugin, PlaysEveryDrumNoteOnItsSampleAtTheVolumesGain)
{
    for (const double volume : {1.0, 0.25, 0.0})
    {
        SCOPED_TRACE(volume);
        auto processor = processorWithInstrument();
        ASSERT_TRUE(processor->hasExternalPlugin());
        EXPECT_EQ(processor->getExternalPluginPath(), testInstrumentBundle().getFullPathName());
        processor->setVolume(volume);
        const Performance played = play(*processor, 400);
        expectInstrumentPlayed(played, static_cast<float>(volume));
    }
}

TEST(ExternalPlugin, ReplacesOnlyTheChannelsItHas)
{
    // The instrument is stereo. Clicks are mixed on channels 2 mod c and 3 mod c first.
    struct Case
    {
        int channels;
        bool clicksSurvive; // on channels 2 and 3
    };
    for (const Case& test : {Case{1, false}, Case{2, false}, Case{4, true}})
    {
        SCOPED_TRACE(test.channels);
        auto processor = processorWithInstrument();
        const Performance played = play(*processor, 200, test.channels, 1.0);
        expectInstrumentPlayed(played, 1.0f, juce::jmin(2, test.channels));
        if (test.channels == 4)
            EXPECT_GT(played.audio.getMagnitude(2, 0, played.audio.getNumSamples()), 0.01f);
    }
}

TEST(ExternalPlugin, StoppedBlocksSoundPreviewsAndTails)
{
    auto processor = processorWithInstrument();
    BlockDriver driver(*processor, rate, blockSize);
    driver.run(blockSize);
    processor->previewVoice(Batto::Kick, 127);
    driver.run(blockSize); // the preview sounds at sample 0 of the next block
    EXPECT_FLOAT_EQ(driver.audio.getSample(0, 0), TestInstrument::sampleOf(36, 127, 0));
    driver.run(blockSize); // and rings on while stopped
    EXPECT_FLOAT_EQ(driver.audio.getSample(0, 10), TestInstrument::sampleOf(36, 127, blockSize + 10));
    EXPECT_FLOAT_EQ(driver.audio.getSample(1, 10), 0.5f * TestInstrument::sampleOf(36, 127, blockSize + 10));

    // With another sound chosen the plug-in stays loaded but does not render.
    processor->setDrumKit(BattoAudioProcessor::kitMidiOut);
    processor->previewVoice(Batto::Kick, 127);
    driver.run(blockSize);
    EXPECT_TRUE(processor->hasExternalPlugin());
    EXPECT_EQ(driver.audio.getMagnitude(0, 0, blockSize), 0.0f);
}

TEST(ExternalPlugin, WhatCannotBeLoadedIsNamedWithItsReasonAndThePresentPluginStays)
{
    TemporaryFolder folder;
    const juce::File textAsVst3 = folder.file("Broken.vst3");
    textAsVst3.replaceWithText("not a plug-in");
    const juce::File plainFolder = folder.file("just a folder");
    plainFolder.createDirectory();
    const juce::File vst2 = folder.file("old.so");
    vst2.replaceWithText("x");

    struct Case
    {
        juce::String identifier;
        juce::String reason;
    };
    const Case cases[] = {
        {folder.file("Missing.vst3").getFullPathName(), "there is no such file"},
        {textAsVst3.getFullPathName(), "not a VST3 plug-in"},
        {plainFolder.getFullPathName(), "neither a VST3 bundle"},
        {vst2.getFullPathName(), "VST2 plug-ins cannot be hosted"},
        {"http://example.org/no-such-plugin", "no LV2 plug-in has this URI"},
        {"", "no plug-in was named"},
    };

    auto processor = processorWithInstrument();
    const juce::String loadedPath = processor->getExternalPluginPath();
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.identifier);
        const juce::Result result = processor->loadExternalPlugin(test.identifier);
        ASSERT_TRUE(result.failed());
        EXPECT_TRUE(result.getErrorMessage().contains(test.reason)) << result.getErrorMessage();
        if (test.identifier.isNotEmpty())
            EXPECT_TRUE(result.getErrorMessage().contains(test.identifier)) << result.getErrorMessage();
        EXPECT_EQ(processor->getExternalPluginPath(), loadedPath);
    }
    expectInstrumentPlayed(play(*processor, 200), 1.0f);
}

TEST(ExternalPlugin, ItsStateSurvivesARestartOfTheApplicationObjects)
{
    TemporaryFolder folder;
    const juce::File stateFile = folder.file("Batto_external_plugin_state_information");
    juce::MemoryBlock tuned;
    juce::String savedPath;
    {
        auto processor = processorWithInstrument();
        TestInstrument::setParameter(*processor->getExternalPlugin(), "gain", 0.5f);
        processor->getExternalPlugin()->getStateInformation(tuned);
        juce::Result written = juce::Result::fail("not written");
        savedPath = processor->saveExternalPluginState(stateFile, &written);
        EXPECT_TRUE(written.wasOk()) << written.getErrorMessage();
    }
    juce::MemoryBlock onDisk;
    ASSERT_TRUE(stateFile.loadFileAsData(onDisk));
    EXPECT_EQ(onDisk, tuned); // exactly the plug-in's bytes

    // Next start with the external plug-in chosen: it comes back with that state.
    TestProcessor restarted(BattoAudioProcessor::kitExternalPlugin);
    const juce::Result restored = restarted.restoreExternalPlugin(savedPath, stateFile, true);
    ASSERT_TRUE(restored.wasOk()) << restored.getErrorMessage();
    EXPECT_FLOAT_EQ(TestInstrument::parameter(*restarted.getExternalPlugin(), "gain"), 0.5f);
    juce::MemoryBlock state;
    restarted.getExternalPlugin()->getStateInformation(state);
    EXPECT_EQ(state, tuned);
    expectInstrumentPlayed(play(restarted, 200), 0.5f);
}

TEST(ExternalPlugin, APluginNotLoadedThisTimeKeepsItsPathAndState)
{
    TemporaryFolder folder;
    const juce::File stateFile = folder.file("Batto_external_plugin_state_information");
    const juce::String path = testInstrumentBundle().getFullPathName();
    {
        auto processor = processorWithInstrument();
        TestInstrument::setParameter(*processor->getExternalPlugin(), "gain", 0.25f);
        processor->saveExternalPluginState(stateFile);
    }
    juce::MemoryBlock tuned;
    ASSERT_TRUE(stateFile.loadFileAsData(tuned));

    // Another sound chosen at start: not loaded, and at exit its path and state stay.
    {
        TestProcessor processor(BattoAudioProcessor::kitInternal);
        EXPECT_TRUE(processor.restoreExternalPlugin(path, stateFile, false).wasOk());
        EXPECT_FALSE(processor.hasExternalPlugin());
        EXPECT_EQ(processor.saveExternalPluginState(stateFile), path);
        juce::MemoryBlock kept;
        ASSERT_TRUE(stateFile.loadFileAsData(kept));
        EXPECT_EQ(kept, tuned);

        // Choosing that plug-in again later brings its state back.
        ASSERT_TRUE(processor.loadExternalPlugin(path).wasOk());
        EXPECT_FLOAT_EQ(TestInstrument::parameter(*processor.getExternalPlugin(), "gain"), 0.25f);
    }

    // A plug-in that cannot be loaded at start: the drummer runs silent and says why; the
    // path is saved again and the state file is left alone.
    const juce::String vanished = folder.file("Gone.vst3").getFullPathName();
    TestProcessor processor(BattoAudioProcessor::kitExternalPlugin);
    const juce::Result restored = processor.restoreExternalPlugin(vanished, stateFile, true);
    EXPECT_TRUE(restored.failed());
    EXPECT_TRUE(restored.getErrorMessage().contains(vanished));
    EXPECT_FALSE(processor.hasExternalPlugin());
    const Performance played = play(processor, 100);
    EXPECT_EQ(played.audio.getMagnitude(0, played.audio.getNumSamples()), 0.0f);
    EXPECT_EQ(processor.saveExternalPluginState(stateFile), vanished);
    juce::MemoryBlock kept;
    ASSERT_TRUE(stateFile.loadFileAsData(kept));
    EXPECT_EQ(kept, tuned);
}
