// batto-render --kit: the demo through a VST3 instrument, a kit folder and Debian's avldrums,
// and what it refuses.
#include "RenderTestSupport.h"

#include <algorithm>

namespace
{
const char* const blackPearl = "http://gareus.org/oss/lv2/avldrums#BlackPearl";
constexpr float defaultGain = 0.25f; // --volume 0.5, squared

juce::File testInstrumentBundle()
{
    return juce::File(BATTO_TEST_INSTRUMENT_LIBRARY).getParentDirectory().getParentDirectory().getParentDirectory();
}

// The test instrument: a ramp from velocity / 127 down to 0 over 1000 + 10 × note samples.
float rampAt(int note, int velocity, long long frame)
{
    const int length = 1000 + 10 * note;
    if (frame < 0 || frame >= length)
        return 0.0f;
    return velocity / 127.0f * (1.0f - static_cast<float>(frame) / static_cast<float>(length));
}

int voiceOfNote(int note)
{
    const int notes[] = {38, 36, 42, 46, 51, 49, 50, 45, 43, 41};
    return static_cast<int>(std::find(std::begin(notes), std::end(notes), note) - std::begin(notes));
}
} // namespace

TEST(RenderKit, TheDemoThroughAVst3InstrumentHasEveryHitOnItsSample)
{
    TemporaryFolder temp;
    const std::string bundle = testInstrumentBundle().getFullPathName().toStdString();
    const RunResult run = runRender({"--kit", bundle, "--out", "out"}, temp.folder);
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_NE(run.out.find("sounded by the plug-in " + bundle), std::string::npos) << run.out;

    const WavContents wav = readWav(temp.file("out/demo.wav"));
    const auto hits = readCsvRows(temp.file("out/demo.csv"));
    ASSERT_GT(hits.size(), 50u);
    for (int s = 0; s < wav.audio.getNumSamples(); ++s)
    {
        float expected = 0.0f;
        for (const CsvRow& hit : hits)
            expected += rampAt(hit.note, hit.velocity, s - hit.sample);
        ASSERT_NEAR(wav.audio.getSample(0, s), defaultGain * expected, 1.0e-5f) << "sample " << s;
        ASSERT_NEAR(wav.audio.getSample(1, s), 0.5f * defaultGain * expected, 1.0e-5f) << "sample " << s;
    }
}

TEST(RenderKit, AKitFolderSoundsEachHitFromItsVelocityLayer)
{
    TemporaryFolder temp;
    const juce::File kit = temp.file("drums.battokit");
    kit.createDirectory();
    // A constant level per voice and layer, 600 frames long.
    const auto levelOf = [](int voice, int layer) { return (voice * 16 + layer + 1) / 512.0f; };
    for (int voice = 0; voice < 10; ++voice)
        for (int layer = 0; layer < 16; ++layer)
        {
            juce::AudioBuffer<float> sound(2, 600);
            for (int c = 0; c < 2; ++c)
                juce::FloatVectorOperations::fill(sound.getWritePointer(c), levelOf(voice, layer), 600);
            juce::WavAudioFormat format;
            std::unique_ptr<juce::AudioFormatWriter> writer(format.createWriterFor(
                new juce::FileOutputStream(kit.getChildFile("sample" + juce::String(voice) + "_"
                                                            + juce::String(layer) + ".wav")),
                48000.0, 2, 24, {}, 0));
            ASSERT_NE(writer, nullptr);
            writer->writeFromAudioSampleBuffer(sound, 0, 600);
        }

    const RunResult run = runRender({"--kit", "drums.battokit", "--out", "out"}, temp.folder);
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_NE(run.out.find("sounded by the kit folder drums.battokit (160 of 160 files)"), std::string::npos)
        << run.out;

    const WavContents wav = readWav(temp.file("out/demo.wav"));
    const auto hits = readCsvRows(temp.file("out/demo.csv"));
    int alone = 0;
    for (size_t i = 0; i < hits.size(); ++i)
    {
        // A hit with no other within 700 samples before or after sounds alone at its sample.
        const bool isolated = (i == 0 || hits[i].sample - hits[i - 1].sample > 700)
                              && (i + 1 == hits.size() || hits[i + 1].sample - hits[i].sample > 700);
        if (!isolated)
            continue;
        const int velocity = hits[i].velocity;
        const int layer = velocity / 8;
        const float gain = static_cast<float>(velocity) * (1.0f / static_cast<float>(8 * layer + 7));
        EXPECT_NEAR(wav.audio.getSample(0, static_cast<int>(hits[i].sample)),
                    defaultGain * gain * levelOf(voiceOfNote(hits[i].note), layer), 1.0e-5f)
            << hits[i];
        ++alone;
    }
    EXPECT_GT(alone, 10);
}

TEST(RenderKit, AvldrumsRendersTheDemo)
{
    if (!juce::File("/usr/lib/lv2/avldrums.lv2").isDirectory())
        GTEST_SKIP() << "avldrums.lv2 is not installed (scripts/install-deps.sh installs it)";
    TemporaryFolder temp;
    const RunResult run = runRender({"--kit", blackPearl, "--out", "out"}, temp.folder);
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_NE(run.out.find(std::string("sounded by the plug-in ") + blackPearl + "\n"), std::string::npos)
        << run.out;

    const WavContents wav = readWav(temp.file("out/demo.wav"));
    const auto hits = readCsvRows(temp.file("out/demo.csv"));
    ASSERT_FALSE(hits.empty());
    // Its samples were loaded before the first note: that note sounds at once, from its sample.
    const int first = static_cast<int>(hits.front().sample);
    EXPECT_LT(wav.audio.getMagnitude(0, 0, first), 1.0e-5f);
    EXPECT_GT(wav.audio.getMagnitude(0, first, 480), 1.0e-3f);
    EXPECT_GT(wav.audio.getMagnitude(0, 0, wav.audio.getNumSamples()), 0.05f);
}

TEST(RenderKit, WhatIsNotAKitIsRefusedWithOneLine)
{
    struct Case
    {
        std::string kit;
        std::string says;
    };
    const Case cases[] = {
        {"no-such-folder", "no such folder"},
        {"Missing.vst3", "there is no such file"},
        {"http://example.org/no-such-instrument", "no LV2 plug-in has this URI"},
        {"", "needs internal, a kit folder"},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.kit);
        TemporaryFolder temp;
        const RunResult run = runRender({"--kit", test.kit, "--bars", "1", "--out", "out"}, temp.folder);
        EXPECT_EQ(run.exitStatus, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(test.says), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_FALSE(temp.file("out/demo.wav").exists());
    }
}
