#include "HostStylePlayHead.h"
#include "ProcessorTestSupport.h"

#include <algorithm>
#include <functional>

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

    // Half the tempo, twice the time, counted from the host's position: 2795.5 samples at
    // 120 bpm are 5591 at 60.
    fixture.driver.playHead.position.setBpm(60.0);
    fixture.driver.run(blockSize);
    EXPECT_EQ(fixture.processor.nextInstant.time, 5591 - blockSize);
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
    EXPECT_EQ(fixture.count(codes, DisplayCode::hostTookOver), 2);
    EXPECT_EQ(fixture.count(codes, DisplayCode::hostLetGo), 0);
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
    EXPECT_EQ(fixture.drainCodes(), (std::vector<std::pair<int, bool>>{{DisplayCode::hostLetGo, true}, {DisplayCode::progressionRowChanged, true}}));
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

//==============================================================================
// Real hosts' transports: a time in samples, a tempo, and a position in beats that may be
// exact, rounded or missing, given on every block or only on changes.

namespace
{
struct Hit
{
    juce::int64 sample; // on the host's timeline
    int note;

    bool operator==(const Hit& other) const
    {
        return sample == other.sample && note == other.note;
    }
};

std::ostream& operator<<(std::ostream& out, const Hit& hit)
{
    return out << hit.note << "@" << hit.sample;
}

// A processor in a host whose transport is a HostStylePlayHead; hits leave as MIDI.
struct RealHost
{
    RealHost(double sampleRate, double bpm, HostStylePlayHead::Beats beats, bool reportsEveryBlock = true,
             int prepared = 512)
        : rate(sampleRate), head(sampleRate, bpm, beats, reportsEveryBlock),
          driver(processor, sampleRate, prepared)
    {
#if !BATTO_PLUGIN_BUILD
        processor.setDrumKit(BattoAudioProcessor::kitExternalPlugin);
#endif
        processor.setAutoKick(false);
        processor.setAutoSnare(false);
        processor.setPlayHead(&head);
    }

    ~RealHost()
    {
        processor.setPlayHead(nullptr);
    }

    // Runs blocks of these sizes in turn (cut short at `until`) and returns every note-on
    // at its timeline sample. `beforeBlock` may move the transport between blocks.
    std::vector<Hit> play(juce::int64 until, const std::vector<int>& sizes,
                          const std::function<void()>& beforeBlock = {})
    {
        std::vector<Hit> hits;
        for (size_t block = 0; head.now() < until; ++block)
        {
            if (beforeBlock)
                beforeBlock();
            const int samples =
                static_cast<int>(std::min<juce::int64>(sizes[block % sizes.size()], until - head.now()));
            const auto start = head.now();
            for (const auto& event : eventsOf(driver.run(samples)))
                hits.push_back({start + event.position, event.bytes[1]});
            head.advance(samples);
        }
        return hits;
    }

    double rate;
    BattoAudioProcessor processor;
    HostStylePlayHead head;
    BlockDriver driver;
};

// The samples of the eighths (the default subdivision) from `from` up to `until`: eighth k of
// the song lies at k * 30 * rate / bpm samples, and a hit sounds on the sample it falls in.
std::vector<juce::int64> eighthsBetween(juce::int64 from, juce::int64 until, juce::int64 rate,
                                        juce::int64 bpm)
{
    std::vector<juce::int64> samples;
    for (juce::int64 k = 0;; ++k)
    {
        const juce::int64 sample = k * 30 * rate / bpm;
        if (sample >= until)
            return samples;
        if (sample >= from)
            samples.push_back(sample);
    }
}

std::vector<juce::int64> samplesOf(const std::vector<Hit>& hits)
{
    std::vector<juce::int64> samples;
    for (const auto& hit : hits)
        samples.push_back(hit.sample);
    return samples;
}
} // namespace

TEST(HostTransport, TheGrooveStandsOnTheHostsEighthsToTheSample)
{
    using Beats = HostStylePlayHead::Beats;
    struct Case
    {
        int rate;
        int bpm;
        Beats beats;
        bool everyBlock;
        double startInBeats; // where the host starts playing: mid-bar starts too
        std::vector<int> blockSizes;
    };
    // Blocks of 1 to 4096 samples, larger than the 512 prepared too.
    const Case cases[] = {
        {44100, 120, Beats::exact, true, 0.0, {512}},
        {48000, 120, Beats::rounded, true, 0.0, {1, 17, 256, 4096, 1000}},
        {48000, 97, Beats::none, true, 0.0, {256}},
        {96000, 130, Beats::none, false, 0.0, {4096, 333}},
        {192000, 60, Beats::exact, false, 3.3, {64, 4096}},
        {44100, 130, Beats::rounded, true, 6.1, {100, 2048}},
        {88200, 200, Beats::none, false, 1.75, {1, 3000}},
    };
    for (const auto& c : cases)
    {
        const auto what = testing::Message()
                          << c.rate << " Hz, " << c.bpm << " bpm, beats " << static_cast<int>(c.beats)
                          << (c.everyBlock ? ", every block" : ", on changes") << ", from beat "
                          << c.startInBeats;
        RealHost host(c.rate, c.bpm, c.beats, c.everyBlock);
        const auto start = static_cast<juce::int64>(std::ceil(c.startInBeats * 60 * c.rate / c.bpm));
        const auto until = start + static_cast<juce::int64>(9 * 60.0 * c.rate / c.bpm); // two bars and a beat
        host.head.playFrom(start);
        const auto hits = host.play(until, c.blockSizes);
        EXPECT_EQ(samplesOf(hits), eighthsBetween(start, until, c.rate, c.bpm)) << what;
    }
}

TEST(HostTransport, AHostLoopOfTwoBarsRestartsTheGrooveOnTheLoopsFirstBar)
{
    // The host plays bars 1 to 3, then loops bars 2 and 3. Like a real host it cuts the
    // block at the loop's end, and the rest comes as a block that starts at the loop's start.
    for (const auto beats : {HostStylePlayHead::Beats::rounded, HostStylePlayHead::Beats::none})
    {
        constexpr int rate = 48000, bpm = 120, bar = 4 * 24000;
        RealHost host(rate, bpm, beats);
        host.head.playFrom(0);
        const auto song = host.play(3 * bar, {700});
        host.head.playFrom(bar);
        const auto firstPass = host.play(3 * bar, {700});
        host.head.playFrom(bar);
        const auto secondPass = host.play(3 * bar, {700});

        // Each pass plays what the song's first two bars played, moved onto the loop.
        std::vector<Hit> firstTwoBars;
        for (const auto& hit : song)
            if (hit.sample < 2 * bar)
                firstTwoBars.push_back({hit.sample + bar, hit.note});
        EXPECT_EQ(samplesOf(song), eighthsBetween(0, 3 * bar, rate, bpm));
        EXPECT_EQ(firstPass, firstTwoBars) << static_cast<int>(beats);
        EXPECT_EQ(secondPass, firstTwoBars) << static_cast<int>(beats);
        EXPECT_EQ(std::count(firstPass.begin(), firstPass.end(), Hit{bar + 7 * 12000, 46}), 0); // bar 2's end
        EXPECT_EQ(std::count(firstPass.begin(), firstPass.end(), Hit{bar + 15 * 12000, 46}),
                  1); // the phrase's end
    }
}

TEST(HostTransport, ALocateWhilePlayingPlacesTheDrummerOnTheNewPosition)
{
    // Two beats in, the host jumps ahead to beat 3.75 of the second bar and plays on. No hit
    // of the old place is left to sound off the new grid.
    constexpr int rate = 48000, bpm = 120, beat = 24000;
    for (const auto beats : {HostStylePlayHead::Beats::exact, HostStylePlayHead::Beats::none})
    {
        RealHost host(rate, bpm, beats);
        host.head.playFrom(0);
        const auto before = host.play(2 * beat, {480});
        host.head.playFrom(7 * beat + beat * 3 / 4);
        const auto after = host.play(10 * beat, {480});
        EXPECT_EQ(samplesOf(before), eighthsBetween(0, 2 * beat, rate, bpm));
        EXPECT_EQ(samplesOf(after), eighthsBetween(7 * beat + beat * 3 / 4, 10 * beat, rate, bpm))
            << static_cast<int>(beats);
    }
}

TEST(HostTransport, ATempoChangeBetweenBlocksKeepsTheGridWhereItStands)
{
    // A host that gives no beats changes from 120 to 90 bpm on beat 3; the eighths run on
    // from there at the new tempo.
    constexpr int rate = 48000;
    RealHost host(rate, 120, HostStylePlayHead::Beats::none);
    host.head.playFrom(0);
    const auto before = host.play(48000, {500});
    host.head.setBpm(90);
    const auto after = host.play(48000 + 8 * 16000, {500});
    EXPECT_EQ(samplesOf(before), eighthsBetween(0, 48000, rate, 120));
    std::vector<juce::int64> expected;
    for (juce::int64 sample : eighthsBetween(0, 8 * 16000, rate, 90))
        expected.push_back(48000 + sample);
    EXPECT_EQ(samplesOf(after), expected);
}

TEST(HostTransport, AHostWithoutBeatsIsFollowedOnItsBarAfterATempoChange)
{
    // The song goes from 120 to 90 bpm on bar 3 (sample 192 000 at 48 kHz). A host that gives
    // its bar count and time in samples but no beats loops bars 2 to 4 across the change, then
    // locates after it, onto bar 5 and mid-bar, and after a re-prepare at the same rate onto
    // bar 7. Samples times 90 bpm would put bar 5 two beats early:
    // every hit, voice and sample must be the one the same host gives with its beats.
    constexpr int rate = 48000, change = 192000;
    const auto perform = [&](HostStylePlayHead::Beats beats)
    {
        RealHost host(rate, 120, beats);
        host.head.changeTempoAt(change, 90);
        const auto bar = [&](int number) // 1 is the song's first
        { return static_cast<juce::int64>(host.head.sampleOfBeat(4.0 * (number - 1))); };
        std::vector<Hit> hits;
        const auto playTo = [&](juce::int64 until)
        {
            // Blocks that meet the change: a host that gives no beats cannot say where inside a
            // block its tempo changed.
            const auto played = host.play(until, {500, 1500});
            hits.insert(hits.end(), played.begin(), played.end());
        };
        host.head.playFrom(0);
        playTo(bar(4));
        for (int pass = 0; pass < 2; ++pass)
        {
            host.head.playFrom(bar(2)); // the loop's wrap
            playTo(bar(4));
        }
        host.head.playFrom(bar(5));
        playTo(bar(6) + 7000);
        host.head.playFrom(static_cast<juce::int64>(host.head.sampleOfBeat(21.75)));
        playTo(bar(8));
        host.processor.prepareToPlay(rate, 512);
        host.head.playFrom(bar(7));
        playTo(bar(9));
        return hits;
    };
    const auto withBeats = perform(HostStylePlayHead::Beats::exact);
    const auto withoutBeats = perform(HostStylePlayHead::Beats::none);
    const auto difference = std::mismatch(withoutBeats.begin(), withoutBeats.end(), withBeats.begin(), withBeats.end());
    EXPECT_EQ(withoutBeats, withBeats) << "first difference at hit " << (difference.first - withoutBeats.begin());
    EXPECT_EQ(std::count_if(withBeats.begin(), withBeats.end(), [](const Hit& hit) { return hit.note == 46; }), 5);
}

TEST(HostTransport, TheDownbeatOfABarLineBetweenTwoSamplesSoundsOnItsFirstWholeSample)
{
    // A bar line rarely falls on a sample (at 48 kHz and 130 bpm, bar 3 is at sample
    // 177 230.77). A host starts, loops or locates onto the sample before it, the nearest
    // one or the one after it; each time the bar's hi-hat sounds on the block's first
    // sample, and the next eighth on the sample it falls in; the bar it starts is the first
    // of the drummer's phrase, not its second. A tempo change on the bar line
    // and a re-prepare in a host that reports only changes keep the downbeat as well.
    using Beats = HostStylePlayHead::Beats;
    enum class Move
    {
        start,
        loop,
        locate,
        tempoChange,
        rePrepare
    };
    enum class Rounding
    {
        down,
        nearest,
        up
    };
    struct Grid
    {
        int rate;
        int bpm;
    };
    const Grid grids[] = {{48000, 130}, {48000, 97}, {44100, 128}};
    const char* const moveNames[] = {"start", "loop", "locate", "tempo change", "re-prepare"};
    const char* const roundingNames[] = {"down", "to the nearest sample", "up"};
    constexpr int barLines = 64;
    const std::vector<int> blockSizes{4096, 777};

    for (const auto& grid : grids)
        for (const auto beats : {Beats::exact, Beats::rounded, Beats::none})
            for (const auto move : {Move::start, Move::loop, Move::locate, Move::tempoChange, Move::rePrepare})
                for (const auto rounding : {Rounding::down, Rounding::nearest, Rounding::up})
                {
                    RealHost host(grid.rate, grid.bpm, beats, move != Move::rePrepare);
                    const auto onTimeline = [&](double sample)
                    {
                        if (rounding == Rounding::down)
                            return static_cast<juce::int64>(std::floor(sample));
                        if (rounding == Rounding::up)
                            return static_cast<juce::int64>(std::ceil(sample));
                        return static_cast<juce::int64>(std::llround(sample));
                    };
                    const auto sampleOf = [&](double beat)
                    {
                        // a position in beats that lands on a sample can come out a hair short of it
                        return static_cast<juce::int64>(std::floor(host.head.sampleOfBeat(beat) + 1e-6));
                    };
                    int missed = 0, silentBlocksPlayed = 0, placedInSecondBar = 0;
                    std::vector<Hit> firstMiss, firstMissExpected;
                    for (int bar = 1; bar <= barLines; ++bar)
                    {
                        const double barLine = 4.0 * bar;
                        if (move == Move::tempoChange)
                            host.head.changeTempoAt(0, grid.bpm); // the last bar line's change undone
                        juce::int64 from = onTimeline(host.head.sampleOfBeat(barLine));
                        std::vector<Hit> played; // since the move
                        switch (move)
                        {
                        case Move::start:
                            host.head.stop();
                            host.driver.run(512);
                            host.head.playFrom(from);
                            break;
                        case Move::loop: // from the end of a one-bar loop back to its start
                            host.head.playFrom(onTimeline(host.head.sampleOfBeat(barLine + 4)));
                            host.play(host.head.now() + 512, blockSizes);
                            host.head.playFrom(from);
                            break;
                        case Move::locate:
                            host.head.playFrom(onTimeline(host.head.sampleOfBeat(barLine - 2.3)));
                            host.play(host.head.now() + 512, blockSizes);
                            host.head.playFrom(from);
                            break;
                        case Move::tempoChange: // played into the bar line, 90 bpm from there on
                            host.head.playFrom(onTimeline(host.head.sampleOfBeat(barLine - 0.3)));
                            played = host.play(from, blockSizes);
                            host.head.setBpm(90);
                            from = sampleOf(barLine);
                            break;
                        case Move::rePrepare: // the host says nothing after it until it moves
                            host.head.playFrom(onTimeline(host.head.sampleOfBeat(barLine - 2.3)));
                            host.play(host.head.now() + 512, blockSizes);
                            host.processor.prepareToPlay(grid.rate, 512);
                            for (const auto& hit : host.play(host.head.now() + 3 * 512, {512}))
                                silentBlocksPlayed += hit.note > 0;
                            host.head.playFrom(from);
                            break;
                        }
                        const std::vector<Hit> expected{{from, 42}, {sampleOf(barLine + 0.5), 42}};
                        for (const auto& hit : host.play(sampleOf(barLine + 0.75), blockSizes))
                            played.push_back(hit);
                        std::vector<Hit> got;
                        for (const auto& hit : played)
                            if (hit.sample >= from)
                                got.push_back(hit);
                        if (move != Move::tempoChange && host.processor.currentInstant.bar != 0)
                            ++placedInSecondBar;
                        if (got != expected)
                        {
                            if (missed++ == 0)
                            {
                                firstMiss = got;
                                firstMissExpected = expected;
                            }
                        }
                    }
                    EXPECT_EQ(missed, 0)
                        << "missed " << missed << " of " << barLines << " bar lines: " << grid.rate << " Hz, " << grid.bpm << " bpm, beats "
                        << static_cast<int>(beats) << ", " << moveNames[static_cast<int>(move)] << ", rounded "
                        << roundingNames[static_cast<int>(rounding)] << "; first miss: "
                        << testing::PrintToString(firstMiss) << " instead of " << testing::PrintToString(firstMissExpected);
                    EXPECT_EQ(silentBlocksPlayed, 0) << "hits while the host said nothing after a re-prepare";
                    EXPECT_EQ(placedInSecondBar, 0) << grid.rate << " Hz, " << grid.bpm << " bpm, beats "
                                                     << static_cast<int>(beats) << ", "
                                                     << moveNames[static_cast<int>(move)] << ", rounded "
                                                     << roundingNames[static_cast<int>(rounding)];
                }
}

#if !BATTO_PLUGIN_BUILD
// In the standalone the player's play head never plays; the sync source chooses the play head
// that the drummer follows, by the host's rules, and while one is chosen Start does nothing.
TEST(HostTransport, TheStandaloneFollowsTheChosenSyncSourceOnly)
{
    HostFixture fixture;
    auto& processor = fixture.processor;
    fixture.driver.playHead.stop(); // the player's
    FakePlayHead jackTransport;
    jackTransport.play(100.0, 0.0);
    processor.setJackTransport(&jackTransport);

    fixture.driver.run(blockSize);
    EXPECT_FALSE(processor.isHostSynced()) << "\"Internal\" follows nothing";
    processor.start();
    fixture.driver.run(blockSize);
    ASSERT_TRUE(processor.isRunning());

    processor.setSyncSource(SyncSource::jackTransport);
    EXPECT_TRUE(processor.waitsForExternalClock());
    fixture.driver.run(blockSize);
    EXPECT_TRUE(processor.isHostSynced());
    EXPECT_FALSE(processor.isRunning());
    EXPECT_EQ(*processor.getTempo(), 100.0);

    jackTransport.stop();
    fixture.driver.run(blockSize);
    EXPECT_FALSE(processor.isHostSynced());
    processor.start(); // ignored: the transport starts the drummer
    fixture.driver.run(blockSize);
    EXPECT_FALSE(processor.isRunning());

    // Another source that says nothing (no MIDI clock arrives) plays nothing, whatever JACK's
    // transport does; "Internal" gives the Start button back.
    jackTransport.play(100.0, 0.0);
    processor.setSyncSource(SyncSource::midiClock);
    fixture.driver.run(blockSize);
    EXPECT_FALSE(processor.isHostSynced());
    processor.setSyncSource(SyncSource::internal);
    EXPECT_FALSE(processor.waitsForExternalClock());
    processor.start();
    fixture.driver.run(blockSize);
    EXPECT_TRUE(processor.isRunning());
}
#endif
