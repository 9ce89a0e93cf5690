// User kit folders: the 16-layer velocity tables, loading (through the processor and straight
// into the kit player, played by its real mixing), resampling, and damaged folders.
#include "BattokitFolder.h"
#include "KitSamplePlayer.h"
#include "ProcessorTestSupport.h"
#include "SoundTestSupport.h"

namespace
{
constexpr int frames = 600;

// Each file holds a constant level that names its voice and layer (negated on the right).
float levelOf(int voice, int layer)
{
    return static_cast<float>(voice * 16 + layer + 1) / 1024.0f;
}

void writeKitFile(const juce::File& folder, int voice, int layer, double sampleRate, int channels = 2)
{
    writeWav(BattokitFolder::fileFor(folder, voice, layer), sampleRate, channels, frames,
             [=](int channel, int) { return channel == 0 ? levelOf(voice, layer) : -levelOf(voice, layer); });
}

void writeKit(const juce::File& folder, double sampleRate)
{
    folder.createDirectory();
    for (int voice = 0; voice < BattokitFolder::voiceCount; ++voice)
        for (int layer = 0; layer < BattokitFolder::layerCount; ++layer)
            writeKitFile(folder, voice, layer, sampleRate);
}

// The first sample that a hit of `voice` at `velocity` puts on each channel, at volume 1.
std::pair<float, float> struck(KitSamplePlayer& kit, int voice, int velocity)
{
    juce::AudioBuffer<float> block(2, 64);
    block.clear();
    int velocities[KitSamplePlayer::voiceCount] = {};
    int positions[KitSamplePlayer::voiceCount] = {};
    velocities[voice] = velocity;
    kit.mixVoices(block, 64, velocities, positions, 1.0);
    return {block.getSample(0, 0), block.getSample(1, 0)};
}
} // namespace

TEST(Battokit, VelocityTablesPlayLayerVOver8AtGainVOverItsRecordedVelocity)
{
    KitSamplePlayer kit;
    kit.setBattokitVelocityTables();
    EXPECT_EQ(kit.kitLayerCount, 16);
    struct Case
    {
        int velocity, layer;
        float gain;
    };
    for (const Case& test : {Case{0, 0, 0.0f}, Case{7, 0, 1.0f}, Case{8, 1, 8.0f * (1.0f / 15.0f)},
                             Case{100, 12, 100.0f * (1.0f / 103.0f)}, Case{119, 14, 1.0f},
                             Case{120, 15, 120.0f * (1.0f / 127.0f)}, Case{127, 15, 1.0f}})
    {
        SCOPED_TRACE(test.velocity);
        EXPECT_EQ(kit.velocityToLayer[test.velocity], test.layer);
        EXPECT_FLOAT_EQ(kit.velocityToGain[test.velocity], test.gain);
    }
}

TEST(Battokit, TheProcessorLoadsTheChosenFolderAndPlaysItsLayers)
{
    TemporaryFolder folder;
    const juce::File kitFolder = folder.file("drums.battokit");
    writeKit(kitFolder, 48000.0);

    TestProcessor processor;
    BlockDriver driver(processor, 48000.0, 256);
    processor.folderToChoose = kitFolder; // no folder yet: choosing the kit asks for one
    processor.setDrumKit(BattoAudioProcessor::kitBattokitFolder);
    EXPECT_EQ(processor.choices, 1);
    EXPECT_EQ(processor.getBattokitPath(), kitFolder);
    EXPECT_EQ(processor.getLastBattokitLoad().filesLoaded, 160);

    KitSamplePlayer kit = processor.getKit(); // a copy of its sounds, to strike them one at a time
    const auto [left, right] = struck(kit, Batto::Kick, 100);
    EXPECT_FLOAT_EQ(left, levelOf(Batto::Kick, 12) * (100.0f * (1.0f / 103.0f)));
    EXPECT_FLOAT_EQ(right, -left);
    EXPECT_FLOAT_EQ(struck(kit, Batto::Snare, 7).first, levelOf(Batto::Snare, 0));
    EXPECT_FLOAT_EQ(struck(kit, Batto::Snare, 8).first, levelOf(Batto::Snare, 1) * (8.0f * (1.0f / 15.0f)));

    // The drummer plays it: sound, and no MIDI out.
    processor.start();
    float peak = 0.0f;
    for (int block = 0; block < 200; ++block)
    {
        EXPECT_TRUE(driver.run(256).isEmpty());
        peak = juce::jmax(peak, driver.audio.getMagnitude(0, 256));
    }
    EXPECT_GT(peak, 0.0f);

    // The device starts again: the kit is loaded again from the folder, without a dialog.
    processor.prepareToPlay(44100.0, 256);
    EXPECT_EQ(processor.choices, 1);
    EXPECT_EQ(processor.getKit().kitBuffers[Batto::Kick][12].getNumSamples(),
              static_cast<int>(frames * 44100.0 / 48000.0 + 1));
}

// The standalone application prepares the processor before its player does, and the player
// prepares it again while its audio callback waits: that repeat must not decode the folder's
// 160 files again. A new rate or block size does.
TEST(Battokit, APreparationThatOnlyRepeatsTheLastKeepsTheDecodedKit)
{
    TemporaryFolder folder;
    const juce::File kitFolder = folder.file("drums.battokit");
    writeKit(kitFolder, 48000.0);
    TestProcessor processor;
    processor.setBattokitPath(kitFolder);
    processor.setDrumKit(BattoAudioProcessor::kitBattokitFolder);
    processor.setRateAndBufferSizeDetails(48000.0, 256);
    processor.prepareToPlay(48000.0, 256);
    const auto kickLength = [&processor] { return processor.getKit().kitBuffers[Batto::Kick][12].getNumSamples(); };
    ASSERT_EQ(kickLength(), frames);

    writeWav(BattokitFolder::fileFor(kitFolder, Batto::Kick, 12), 48000.0, 2, 2 * frames,
             [](int, int) { return 0.5f; }); // the folder changes on disk meanwhile
    processor.prepareToPlay(48000.0, 256);
    EXPECT_EQ(kickLength(), frames);

    processor.prepareToPlay(48000.0, 512);
    EXPECT_EQ(kickLength(), 2 * frames);
    processor.releaseResources(); // a device that stops and starts again decodes it too
    writeKitFile(kitFolder, Batto::Kick, 12, 48000.0);
    processor.prepareToPlay(48000.0, 512);
    EXPECT_EQ(kickLength(), frames);
}

TEST(Battokit, AKitRecordedAt44100PlaysResampledAt48000)
{
    TemporaryFolder folder;
    writeKit(folder.folder, 44100.0);
    KitSamplePlayer kit;
    kit.fillBattokit(48000.0, folder.folder);
    for (const int layer : {0, 12, 15})
        EXPECT_EQ(kit.kitBuffers[Batto::Ride][layer].getNumSamples(), static_cast<int>(frames * 48000.0 / 44100.0 + 1));
    // The middle of a constant sound stays at its level after resampling.
    EXPECT_NEAR(kit.kitBuffers[Batto::Ride][12].getSample(0, frames / 2), levelOf(Batto::Ride, 12), 1.0e-4f);
}

TEST(Battokit, ADamagedFolderLoadsWithNeighbouringLayersAndSilentVoices)
{
    TemporaryFolder folder;
    writeKit(folder.folder, 48000.0);
    BattokitFolder::fileFor(folder.folder, Batto::Kick, 12).deleteFile();        // missing
    BattokitFolder::fileFor(folder.folder, Batto::CHH, 5).replaceWithText("RIFF"); // corrupt
    BattokitFolder::fileFor(folder.folder, Batto::CHH, 6).deleteFile();
    writeKitFile(folder.folder, Batto::Ride, 3, 48000.0, 1);                          // mono
    for (int layer = 0; layer < 16; ++layer)
        BattokitFolder::fileFor(folder.folder, Batto::LTom, layer).deleteFile(); // a voice with none
    for (int layer = 0; layer < 15; ++layer)
        BattokitFolder::fileFor(folder.folder, Batto::MTom, layer).deleteFile(); // only layer 15

    KitSamplePlayer kit;
    const auto load = kit.fillBattokit(48000.0, folder.folder);
    EXPECT_EQ(load.filesLoaded, 160 - 1 - 2 - 16 - 15);
    EXPECT_EQ(load.layersBorrowed, 1 + 2 + 15);
    EXPECT_EQ(load.silentVoices, 1);

    struct Case
    {
        Batto::Percu voice;
        int velocity;      // plays this layer: velocity / 8
        int soundingLayer; // the file that sounds
        float right;       // the right channel as a share of the left
    };
    for (const Case& test : {Case{Batto::Kick, 100, 13, -1.0f},   // 11 and 13 equally near: the louder
                             Case{Batto::CHH, 40, 4, -1.0f},     // 5 corrupt: 4 is nearer than 7
                             Case{Batto::CHH, 48, 7, -1.0f},     // 6 missing: 7 is nearer than 4
                             Case{Batto::Ride, 24, 3, 1.0f},      // mono: the same on both sides
                             Case{Batto::MTom, 7, 15, -1.0f}})
    {
        SCOPED_TRACE(test.voice);
        const auto [left, right] = struck(kit, test.voice, test.velocity);
        const int layer = test.velocity / 8;
        EXPECT_FLOAT_EQ(left, levelOf(test.voice, test.soundingLayer) * kit.velocityToGain[test.velocity]) << layer;
        EXPECT_FLOAT_EQ(right, test.right * left);
    }
    EXPECT_EQ(struck(kit, Batto::LTom, 127).first, 0.0f);
}

TEST(Battokit, WithNoScreenTheRealChooserAsksNobodyAndTheSoundsStay)
{
    // The processor's own chooser, on the message thread of a machine with no screen (a
    // headless host, CI): the framework's dialog would crash there, so nobody is asked.
    if (juce::Desktop::getInstance().getDisplays().getPrimaryDisplay() != nullptr)
        GTEST_SKIP() << "a screen is attached: the real chooser would wait for a person";
    BattoAudioProcessor processor;
    BlockDriver driver(processor, 48000.0, 256);
    const int internalKickLength = processor.getKit().kitBuffers[Batto::Kick][0].getNumSamples();
    ASSERT_GT(internalKickLength, 0);

    processor.setDrumKit(BattoAudioProcessor::kitBattokitFolder);
    EXPECT_EQ(processor.getKit().kitLayerCount, 1);
    EXPECT_EQ(processor.getKit().kitBuffers[Batto::Kick][0].getNumSamples(), internalKickLength);
}

TEST(Battokit, NoFolderKeepsThePresentSoundsAndAVanishedFolderAsksOnlyLater)
{
    TestProcessor processor;
    BlockDriver driver(processor, 48000.0, 256);
    const juce::AudioBuffer<float> internalKick = processor.getKit().kitBuffers[Batto::Kick][0];
    ASSERT_GT(internalKick.getNumSamples(), 0);

    processor.setDrumKit(BattoAudioProcessor::kitBattokitFolder); // the chooser is cancelled
    EXPECT_EQ(processor.choices, 1);
    EXPECT_EQ(processor.getDrumKit(), BattoAudioProcessor::kitBattokitFolder);
    EXPECT_EQ(processor.getKit().kitLayerCount, 1);
    EXPECT_EQ(processor.getKit().kitBuffers[Batto::Kick][0].getNumSamples(), internalKick.getNumSamples());

    // A device start with the folder gone opens no dialog inside the preparation.
    processor.setBattokitPath(juce::File("/nonexistent/drums.battokit"));
    processor.prepareToPlay(48000.0, 256);
    EXPECT_EQ(processor.choices, 1);
    EXPECT_EQ(processor.getKit().kitBuffers[Batto::Kick][0].getNumSamples(), internalKick.getNumSamples());
}
