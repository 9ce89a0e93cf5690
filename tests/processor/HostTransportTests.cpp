#include "ProcessorTestSupport.h"

#include <algorithm>

namespace
{
constexpr double rate = 44100.0;
constexpr int blockSize = 512;

struct HostFixture
{
    HostFixture()
    {
#if !BATTO_PLUGIN_BUILD
        processor.setDrumKit(BattoAudioProcessor::kitExternalPlugin); // hits come out as MIDI
#endif
        processor.setAutoKick(false);
        processor.setAutoSnare(false);
        processor.displayCodes.open();
        driver.playHead.answers = true;
    }

    std::vector<std::pair<int, bool>> drainCodes()
    {
        RecordingDisplay display;
        processor.displayCodes.drain(display);
        return display.codes;
    }

    int count(const std::vector<std::pair<int, bool>>& codes, int code)
    {
        return static_cast<int>(std::count(codes.begin(), codes.end(), std::make_pair(code, true)));
    }

    BattoAudioProcessor processor;
    BlockDriver driver{processor, rate, blockSize};
};
} // namespace

TEST(HostTransport, HostsThatCannotBeFollowed)
{
    struct Case
    {
        const char* what;
        double bpm;
        double ppq;
        int numerator;
        bool playing;
        bool playHead;
    };
    const Case cases[] = {
        {"3/4", 120.0, 0.0, 3, true, true},
        {"stopped", 120.0, 0.0, 4, false, true},
        {"tempo 0", 0.0, 0.0, 4, true, true},
        {"negative position", 120.0, -0.5, 4, true, true},
        {"no play head", 120.0, 0.0, 4, true, false},
        {"tempo too high", 5000.0, 0.0, 4, true, true},
        {"position not a number", 120.0, std::nan(""), 4, true, true},
    };
    for (const auto& c : cases)
    {
        HostFixture fixture;
        fixture.driver.playHead.play(c.bpm, c.ppq, c.numerator);
        if (!c.playing)
            fixture.driver.playHead.stop();
        if (!c.playHead)
            fixture.processor.setPlayHead(nullptr);
        for (int block = 0; block < 3; ++block)
            EXPECT_TRUE(fixture.driver.run(blockSize).isEmpty()) << c.what;
        EXPECT_FALSE(fixture.processor.isHostSynced()) << c.what;
        EXPECT_EQ(fixture.count(fixture.drainCodes(), 10), 0) << c.what;
        EXPECT_EQ(*fixture.processor.getTempo(), 120.0) << c.what;
    }
}

TEST(HostTransport, PlacementOnTheHostsBar)
{
    struct Case
    {
        double ppq;
        Batto::instantRythmique previous;
        Batto::instantRythmique next;
    };
    const Case cases[] = {
        // 5.25: m = 1.25, exactly the middle of beat 2's first eighth: reached at once, and
        // the next instant is an eighth later (0.25 beat = 5512 samples).
        {5.25, {0, 1, 0, 1, -blockSize}, {0, 1, 1, 0, 5512 - blockSize}},
        // 2.1: between instants; the next one, position 18, is 0.15 beat = 3307 samples ahead.
        {2.1, {0, 2, 0, 0, -blockSize}, {0, 2, 0, 1, 3307 - blockSize}},
    };
    for (const auto& c : cases)
    {
        HostFixture fixture;
        fixture.driver.playHead.play(120.0, c.ppq);
        fixture.driver.run(blockSize);
        EXPECT_TRUE(fixture.processor.isHostSynced()) << c.ppq;
        EXPECT_EQ(fixture.drainCodes().front(), std::make_pair(10, true)) << c.ppq;
        EXPECT_EQ(fixture.processor.previousInstant, c.previous) << c.ppq;
        EXPECT_EQ(fixture.processor.nextInstant, c.next) << c.ppq;
    }
}

TEST(HostTransport, FirstBeatOfTheBarFallsOnTheHostsBarLine)
{
    // Half a beat before a bar line at 120 bpm: the downbeat is 11 025 samples away.
    HostFixture fixture;
    fixture.processor.setAutoKick(true);
    fixture.driver.playHead.play(120.0, 3.5);
    int downbeatKickAt = -1;
    for (int block = 0; block < 30 && downbeatKickAt < 0; ++block)
        for (const auto& event : eventsOf(fixture.driver.run(blockSize)))
            if (event.bytes[1] == 36)
                downbeatKickAt = block * blockSize + event.position;
    EXPECT_GE(downbeatKickAt, 11024);
    EXPECT_LE(downbeatKickAt, 11025);
}

TEST(HostTransport, TempoChangeRescalesTheNextInstant)
{
    HostFixture fixture;
    fixture.driver.playHead.play(120.0, 2.1);
    fixture.driver.run(blockSize);
    EXPECT_EQ(fixture.processor.nextInstant.time, 2795);

    fixture.driver.playHead.position.setBpm(60.0);
    fixture.driver.run(blockSize);
    EXPECT_EQ(fixture.processor.nextInstant.time, 2 * 2795 - blockSize);
    EXPECT_DOUBLE_EQ(fixture.processor.divisionDuration, 22050.0);
    EXPECT_EQ(*fixture.processor.getTempo(), 60.0);
    EXPECT_EQ(fixture.processor.getTempoSetting(), 120.0); // the user's tempo is untouched
}

TEST(HostTransport, JumpBackStartsFollowingAgain)
{
    HostFixture fixture;
    fixture.driver.playHead.play(120.0, 0.0);
    for (int block = 0; block < 100; ++block) // 2.3 beats
        fixture.driver.run(blockSize);
    EXPECT_EQ(fixture.processor.currentInstant.beat, 2);

    fixture.driver.playHead.position.setPpqPosition(0.0); // a loop back to the song's start
    const auto hits = eventsOf(fixture.driver.run(blockSize));
    const auto codes = fixture.drainCodes();
    EXPECT_EQ(fixture.count(codes, 10), 2);
    EXPECT_EQ(fixture.count(codes, 11), 0);
    EXPECT_EQ(fixture.processor.currentInstant.bar, 0);
    EXPECT_EQ(fixture.processor.currentInstant.beat, 0);
    ASSERT_FALSE(hits.empty());
    EXPECT_EQ(hits.front(), (Event{0, {0x99, 42, 104}})); // the bar's first hi-hat, at once
}

TEST(HostTransport, LeavingTheHostStopsTheDrummer)
{
    HostFixture fixture;
    fixture.processor.setTempo(100.0);
    fixture.driver.playHead.play(90.0, 0.0);
    fixture.driver.run(blockSize);
    EXPECT_EQ(*fixture.processor.getTempo(), 90.0);
    fixture.processor.chooseDivisionDuTemps(4); // waits for a beat while following
    fixture.driver.run(blockSize);
    fixture.drainCodes();

    fixture.driver.playHead.stop();
    EXPECT_TRUE(fixture.driver.run(blockSize).isEmpty());
    EXPECT_FALSE(fixture.processor.isHostSynced());
    EXPECT_FALSE(fixture.processor.isRunning());
    EXPECT_EQ(*fixture.processor.getTempo(), 100.0);
    EXPECT_EQ(fixture.processor.getDivisionDuTempsSetting(), 4);
    EXPECT_DOUBLE_EQ(fixture.processor.divisionDuration, 44100.0 * 60 / (4 * 100.0));
    EXPECT_EQ(fixture.drainCodes(), (std::vector<std::pair<int, bool>>{{11, true}, {12, true}}));
}

TEST(HostTransport, StartAndStopChangeNothingWhileTheHostPlays)
{
    // Two processors follow the same host; the user presses Start and Stop on one of them.
    HostFixture pressed, untouched;
    pressed.driver.playHead.play(120.0, 0.0);
    untouched.driver.playHead.play(120.0, 0.0);
    for (int block = 0; block < 60; ++block)
    {
        if (block == 10)
            pressed.processor.start();
        if (block == 30)
            pressed.processor.stop();
        const auto notes =
            std::vector<std::pair<int, juce::MidiMessage>>{{block * 7 % blockSize, noteOn(50, 80)}};
        EXPECT_EQ(eventsOf(pressed.driver.run(blockSize, notes)),
                  eventsOf(untouched.driver.run(blockSize, notes)))
            << block;
        EXPECT_FALSE(pressed.processor.isRunning());
    }
    EXPECT_TRUE(pressed.processor.isHostSynced());

    // A play head that gives no position leaves the last one in force.
    pressed.driver.playHead.answers = false;
    pressed.driver.run(blockSize);
    EXPECT_TRUE(pressed.processor.isHostSynced());
}

#if BATTO_PLUGIN_BUILD
TEST(HostTransport, AudioPassesThroughThePluginInEveryState)
{
    HostFixture fixture;
    auto expectUntouched = [&](const char* state)
    {
        EXPECT_EQ(fixture.driver.audio.getSample(0, 0), 0.5f) << state;
        EXPECT_EQ(fixture.driver.audio.getSample(1, blockSize - 1), 0.5f) << state;
    };
    fixture.driver.run(blockSize, {}, 0.5f);
    expectUntouched("stopped");
    fixture.driver.playHead.play(120.0, 0.0);
    fixture.driver.run(blockSize, {}, 0.5f);
    expectUntouched("following");
    fixture.driver.playHead.stop();
    fixture.processor.start();
    fixture.driver.run(blockSize, {}, 0.5f);
    fixture.driver.run(blockSize, {}, 0.5f);
    expectUntouched("running");
}
#endif
