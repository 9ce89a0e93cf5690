// Standalone build only: the metronome and the sound decoding exist there alone.
#include "ProcessorTestSupport.h"

#include "BinaryData.h"
#include "FillBufferToPlayAux.h"
#include "MyAudioSource.h"

#include <cmath>

namespace
{
juce::MemoryInputStream* embedded(const char* data, int size)
{
    return new juce::MemoryInputStream(data, static_cast<size_t>(size), false);
}

// A WAV file in memory: a ramp, so that every frame is different.
juce::MemoryBlock rampWav(double sampleRate, int frames, int channels)
{
    juce::MemoryBlock file;
    {
        juce::WavAudioFormat wav;
        std::unique_ptr<juce::AudioFormatWriter> writer(
            wav.createWriterFor(new juce::MemoryOutputStream(file, false), sampleRate,
                                static_cast<unsigned int>(channels), 16, {}, 0));
        juce::AudioBuffer<float> ramp(channels, frames);
        for (int channel = 0; channel < channels; ++channel)
            for (int frame = 0; frame < frames; ++frame)
                ramp.setSample(channel, frame, 0.5f * static_cast<float>(frame) / static_cast<float>(frames));
        writer->writeFromAudioSampleBuffer(ramp, 0, frames);
    }
    return file;
}
} // namespace

TEST(FillBufferToPlayAux, DecodesAtTheFileRateAndResamplesToAnyOther)
{
    juce::WavAudioFormat wav;
    struct Case
    {
        double sampleRate;
        int expectedFrames;
    };
    for (const Case c : {Case{48000.0, 6000}, Case{44100.0, 5513}, Case{96000.0, 12001}})
    {
        juce::AudioBuffer<float> click;
        ASSERT_TRUE(
            FillBufferToPlayAux(c.sampleRate, click, &wav,
                                embedded(BinaryData::click_accent_wav, BinaryData::click_accent_wavSize)));
        EXPECT_EQ(click.getNumChannels(), 2);
        EXPECT_EQ(click.getNumSamples(), c.expectedFrames) << c.sampleRate;
        EXPECT_GT(click.getMagnitude(0, click.getNumSamples()), 0.1f) << c.sampleRate;
    }

    // 44 100 Hz, 10 000 frames, played at 48 000 Hz: 10 885 frames that follow the ramp.
    const auto file = rampWav(44100.0, 10000, 2);
    juce::AudioBuffer<float> resampled;
    ASSERT_TRUE(FillBufferToPlayAux(48000.0, resampled, &wav, new juce::MemoryInputStream(file, false)));
    EXPECT_EQ(resampled.getNumSamples(), 10885);
    EXPECT_NEAR(resampled.getSample(1, 5442), 0.25f, 0.002f); // half way through the sound
}

TEST(FillBufferToPlayAux, AnUnreadableStreamLeavesTheBufferAsItWas)
{
    juce::WavAudioFormat wav;
    juce::AudioBuffer<float> buffer(1, 3);
    buffer.clear();
    buffer.setSample(0, 1, 0.5f);
    const char notAWav[] = "not a wave file at all, not even close";
    EXPECT_FALSE(FillBufferToPlayAux(48000.0, buffer, &wav, embedded(notAWav, sizeof(notAWav))));
    EXPECT_FALSE(
        FillBufferToPlayAux(0.0, buffer, &wav, embedded(BinaryData::click_wav, BinaryData::click_wavSize)));
    EXPECT_EQ(buffer.getNumSamples(), 3);
    EXPECT_EQ(buffer.getSample(0, 1), 0.5f);
}

TEST(MyAudioSource, CopiesFromTheFirstFrameAndPadsWithSilence)
{
    juce::AudioBuffer<float> source(2, 4);
    for (int frame = 0; frame < 4; ++frame)
    {
        source.setSample(0, frame, static_cast<float>(frame + 1));
        source.setSample(1, frame, static_cast<float>(-frame - 1));
    }
    MyAudioSource player(&source);
    juce::AudioBuffer<float> out(2, 8);
    out.clear();
    out.setSample(0, 0, 9.0f);
    player.getNextAudioBlock(juce::AudioSourceChannelInfo(&out, 1, 6));
    const float left[8] = {9, 1, 2, 3, 4, 0, 0, 0};
    for (int frame = 0; frame < 8; ++frame)
        EXPECT_EQ(out.getSample(0, frame), left[frame]) << frame;
    EXPECT_EQ(out.getSample(1, 4), -4.0f);
    EXPECT_TRUE(player.finished);

    MyAudioSource exact(&source);
    exact.getNextAudioBlock(juce::AudioSourceChannelInfo(&out, 0, 4));
    EXPECT_FALSE(exact.finished);
}

namespace
{
// A processor whose clock for MIDI-thread click requests is set by the test.
class ClockedProcessor : public BattoAudioProcessor
{
public:
    double now = 1000.0;

protected:
    double millisecondCounterNow() const override
    {
        return now;
    }
};

struct ClickFixture
{
    ClickFixture(double rate, int declaredBlockSize, int channels)
        : driver(processor, rate, declaredBlockSize, channels)
    {
        processor.setClickVolume(1.0);
        processor.setAutoKick(false);
        processor.setAutoSnare(false);
        // The hits leave as MIDI (no instrument is loaded), so only the clicks sound.
        processor.setDrumKit(BattoAudioProcessor::kitExternalPlugin);
    }

    // The sound of a click at output frames [from, from + count) equals its frames
    // [firstFrame, ...) on the two given channels, at the given gain.
    void expectClick(int clickIndex, int from, int count, int firstFrame, int left, int right, double gain)
    {
        const auto& sound = processor.getClickBuffer(clickIndex);
        for (int k = 0; k < count; ++k)
        {
            const float expectedLeft = static_cast<float>(gain * sound.getSample(0, firstFrame + k));
            const float expectedRight = static_cast<float>(gain * sound.getSample(1, firstFrame + k));
            ASSERT_EQ(driver.audio.getSample(left, from + k), expectedLeft) << "frame " << firstFrame + k;
            ASSERT_EQ(driver.audio.getSample(right, from + k), expectedRight) << "frame " << firstFrame + k;
        }
    }

    ClockedProcessor processor;
    BlockDriver driver;
};
} // namespace

TEST(MetronomeClicks, AccentClickStartsOnItsSampleAndContinuesInTheNextBlock)
{
    // Declared blocks of 812 samples put the first beat 812 samples after the start:
    // sample 300 of the second block of 512.
    ClickFixture fixture(48000.0, 812, 4);
    fixture.processor.start();
    fixture.driver.run(512);
    EXPECT_EQ(fixture.driver.audio.getMagnitude(0, 512), 0.0f);
    fixture.driver.run(512);
    EXPECT_EQ(fixture.driver.audio.getMagnitude(0, 300), 0.0f);
    fixture.expectClick(1, 300, 212, 0, 2, 3, 1.0);
    EXPECT_EQ(fixture.driver.audio.getMagnitude(0, 0, 512), 0.0f); // the drums' channels
    fixture.driver.run(512);
    fixture.expectClick(1, 0, 512, 212, 2, 3, 1.0);
}

TEST(MetronomeClicks, ClickIsRemovedInItsTwelfthBlock)
{
    ClickFixture fixture(48000.0, 512, 4);
    fixture.processor.start();
    fixture.driver.run(512);
    const auto& clicks = fixture.processor.getPlayingClicks();
    for (int block = 1; block <= 11; ++block)
    {
        fixture.driver.run(512); // the click starts at sample 0 of the first of these
        EXPECT_EQ(clicks.size(), 1u) << block;
    }
    fixture.driver.run(512); // 12 * 512 = 6144 >= 6000
    EXPECT_TRUE(clicks.empty());
}

TEST(MetronomeClicks, OutputChannelsAndGain)
{
    struct Case
    {
        int channels;
        int left;
        int right;
        double volume;
    };
    for (const Case c : {Case{4, 2, 3, 1.0}, Case{2, 0, 1, 1.0}, Case{3, 2, 0, 1.0}, Case{2, 0, 1, 0.5}})
    {
        ClickFixture fixture(48000.0, 512, c.channels);
        fixture.processor.setClickVolume(c.volume);
        fixture.processor.start();
        fixture.driver.run(512);
        fixture.driver.run(512);
        if (c.channels == 3)
        {
            // Channel 0 gets the right side only: channels 2 mod 3 and 3 mod 3.
            const auto& sound = fixture.processor.getClickBuffer(1);
            EXPECT_EQ(fixture.driver.audio.getSample(0, 100), static_cast<float>(sound.getSample(1, 100)));
            EXPECT_EQ(fixture.driver.audio.getSample(2, 100), static_cast<float>(sound.getSample(0, 100)));
        }
        else
        {
            fixture.expectClick(1, 0, 512, 0, c.left, c.right, c.volume * c.volume);
        }
    }
}

TEST(MetronomeClicks, NoOutputChannelsMixNothing)
{
    ClickFixture fixture(48000.0, 512, 0);
    fixture.processor.start();
    for (int block = 0; block < 20; ++block)
        fixture.driver.run(512);
    EXPECT_TRUE(fixture.processor.getPlayingClicks().empty()); // they ran their course
}

TEST(MetronomeClicks, MidiThreadRequestStartsAsLongBeforeTheBlocksEndAsItIsOld)
{
    // 44 100 Hz, blocks of 256, a request 3 ms old: 256 - 132.3 gives sample 123.
    ClickFixture fixture(44100.0, 256, 2);
    fixture.processor.setDrumKit(BattoAudioProcessor::kitMidiOut); // the MIDI thread plays
    fixture.processor.start();
    fixture.driver.run(256);
    fixture.processor.requestClickFromMidiThread(false);
    fixture.processor.now += 3.0;
    fixture.driver.run(256);
    EXPECT_EQ(fixture.driver.audio.getMagnitude(0, 123), 0.0f);
    fixture.expectClick(0, 123, 133, 0, 0, 1, 1.0);
    ASSERT_EQ(fixture.processor.getPlayingClicks().size(), 1u);
    EXPECT_EQ(fixture.processor.getPlayingClicks()[0].position, 133);

    // A request made just now starts at the end of the block; a second one replaces a first.
    fixture.processor.requestClickFromMidiThread(false);
    fixture.processor.requestClickFromMidiThread(true);
    fixture.driver.run(256);
    ASSERT_EQ(fixture.processor.getPlayingClicks().size(), 2u);
    EXPECT_EQ(fixture.processor.getPlayingClicks()[1].position, 0);
    EXPECT_EQ(fixture.processor.getPlayingClicks()[1].clickIndex, 1);
}

TEST(MetronomeClicks, ClicksWaitThroughStopAndVolumeZeroDropsThem)
{
    ClickFixture fixture(48000.0, 512, 2);
    fixture.processor.start();
    fixture.driver.run(512);
    fixture.driver.run(512);
    fixture.driver.run(512); // the accent click has played 1024 frames
    fixture.processor.stop();
    for (int block = 0; block < 5; ++block)
    {
        fixture.driver.run(512);
        EXPECT_EQ(fixture.driver.audio.getMagnitude(0, 512), 0.0f);
    }
    ASSERT_EQ(fixture.processor.getPlayingClicks().size(), 1u);
    EXPECT_EQ(fixture.processor.getPlayingClicks()[0].position, 1024);

    fixture.processor.start(); // the new performance's first beat is a block away
    fixture.driver.run(512);
    fixture.expectClick(1, 0, 512, 1024, 0, 1, 1.0);

    fixture.processor.setClickVolume(0.0);
    fixture.driver.run(512);
    EXPECT_TRUE(fixture.processor.getPlayingClicks().empty());
    EXPECT_EQ(fixture.driver.audio.getMagnitude(0, 512), 0.0f);
}

TEST(SoundChoice, SampleKitsSendNoMidiAndMidiOutLeavesTheBlockAsItCame)
{
    BattoAudioProcessor processor;
    BlockDriver driver(processor, 44100.0, 256);
    processor.start();
    float loudest = 0.0f;
    for (int block = 0; block < 40; ++block)
    {
        EXPECT_TRUE(driver.run(256, {{block, noteOn(60, 100)}}, 0.5f).isEmpty());
        if (block == 0) // before the first beat: the kit writes onto silence
        {
            EXPECT_EQ(driver.audio.getMagnitude(0, 256), 0.0f);
        }
        loudest = std::max(loudest, driver.audio.getMagnitude(0, 256));
    }
    EXPECT_GT(loudest, 0.1f) << "the kit sounds the hits";

    processor.setDrumKit(BattoAudioProcessor::kitMidiOut);
    const Batto::instantRythmique before = processor.nextInstant;
    for (int block = 0; block < 40; ++block)
    {
        const std::vector<Event> in{{block, {0x90, 60, 100}}};
        EXPECT_EQ(eventsOf(driver.run(256, {{block, noteOn(60, 100)}}, 0.5f)), in);
        EXPECT_EQ(driver.audio.getSample(1, 255), 0.5f);
    }
    EXPECT_EQ(processor.nextInstant, before) << "the processor's own engine stays idle";
}

TEST(SoundChoice, WithMidiOutputChosenStartStopAndSubdivisionsNeedNoAudioBlock)
{
    // The standalone MIDI thread plays with no audio device at all: no block ever runs.
    struct WaitingThread : juce::Thread
    {
        WaitingThread() : juce::Thread("MidiBatto")
        {
        }
        void run() override
        {
            while (!threadShouldExit())
                wait(-1);
        }
    } thread;
    BattoAudioProcessor processor;
    processor.midiThread = &thread;
    processor.setDrumKit(BattoAudioProcessor::kitMidiOut);

    processor.start();
    EXPECT_TRUE(processor.isRunning());
    EXPECT_TRUE(thread.isThreadRunning());
    processor.chooseDivisionDuTemps(4); // the engine waits for the next beat while the drummer runs
    EXPECT_EQ(*processor.getDivisionDuTemps(), 2);
    EXPECT_EQ(processor.getWaitForTheTimeToUpdateProgressionBarDisplay(), 4);

    processor.stop();
    EXPECT_FALSE(thread.isThreadRunning());
    EXPECT_FALSE(processor.isRunning());
    EXPECT_EQ(*processor.getDivisionDuTemps(), 4) << "Stop applies the waiting subdivision";

    processor.chooseDivisionDuTemps(1); // stopped: at once
    EXPECT_EQ(*processor.getDivisionDuTemps(), 1);

    processor.start();
    processor.setDrumKit(BattoAudioProcessor::kitInternal); // leaving the MIDI output stops it
    EXPECT_FALSE(thread.isThreadRunning());
    EXPECT_TRUE(processor.isRunning());
    processor.setDrumKit(BattoAudioProcessor::kitMidiOut); // and choosing it while running starts it
    EXPECT_TRUE(thread.isThreadRunning());
    processor.stop();
}
