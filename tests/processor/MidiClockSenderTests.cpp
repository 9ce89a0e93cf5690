#include "ProcessorTestSupport.h"
#include "WatchedProcessor.h"

#include <cmath>

// The MIDI clock the standalone drummer sends: the real processor, driven block by block,
// with the drum notes in its MIDI output (the instrument plug-in choice) to stand the clocks
// against. Built into the real-time test binary, so the blocks' allocations and locks are seen.

#if !BATTO_PLUGIN_BUILD
namespace
{
// A processor on a millisecond counter that the test sets.
class ProcessorOnAClock : public BattoAudioProcessor
{
public:
    double now = 1000.0;

protected:
    double millisecondCounterNow() const override
    {
        return now;
    }
};
using WatchedProcessor = Watched<ProcessorOnAClock>;

constexpr int kick = 36, snare = 38;

struct TimedEvent
{
    long long sample; // from the first block's first sample
    std::vector<int> bytes;
};

struct ClockRun
{
    std::vector<TimedEvent> clockOut; // everything getMidiClockOut() gave
    std::vector<long long> clocks;    // the samples of the F8 bytes
    std::vector<long long> beats;     // the samples of the drummer's kicks and snares: one a beat
    bool clockInBlockMidi = false;    // a clock byte in the block's own MIDI output
};

struct ClockFixture
{
    ClockFixture(double rate, int blockSize, double bpm, int divisions = 2)
        : driver(processor, rate, blockSize), block(blockSize)
    {
        processor.setDrumKit(BattoAudioProcessor::kitExternalPlugin); // the hits come out as MIDI
        processor.setTempo(bpm);
        processor.chooseDivisionDuTemps(divisions);
        processor.setMidiClockOutput(true);
    }

    // Runs blocks for that many samples, collecting what leaves.
    void play(long long samples)
    {
        for (long long end = elapsed + samples; elapsed < end;)
        {
            const auto& midi = driver.run(block);
            for (const auto& event : eventsOf(midi))
            {
                if (event.bytes[0] == 0xF8)
                    run.clockInBlockMidi = true;
                if (event.bytes.size() == 3 && event.bytes[0] == 0x99
                    && (event.bytes[1] == kick || event.bytes[1] == snare))
                    run.beats.push_back(elapsed + event.position);
            }
            for (const auto& event : eventsOf(processor.getMidiClockOut()))
            {
                run.clockOut.push_back({elapsed + event.position, event.bytes});
                if (event.bytes == std::vector<int>{0xF8})
                    run.clocks.push_back(elapsed + event.position);
            }
            elapsed += block;
        }
    }

    std::vector<std::vector<int>> clockOutBytes() const
    {
        std::vector<std::vector<int>> bytes;
        for (const auto& event : run.clockOut)
            bytes.push_back(event.bytes);
        return bytes;
    }

    WatchedProcessor processor;
    BlockDriver driver;
    int block;
    long long elapsed = 0;
    ClockRun run;
};

// 24 clocks to each of the drummer's beats: the first of them on the beat's own sample, the
// others within a sample of their share of the beat (except in a beat that holds a tempo
// change, whose half subdivisions differ in length, and so do its clocks).
void expectClocksOnTheBeats(const ClockRun& run, const std::string& what, long long tempoChangedAt = -1)
{
    ASSERT_GE(run.beats.size(), 2u) << what;
    ASSERT_EQ(run.clocks.front(), run.beats.front()) << what << ": the first clock is on the first downbeat";
    for (size_t beat = 0; beat + 1 < run.beats.size(); ++beat)
    {
        const size_t first = 24 * beat;
        ASSERT_LT(first + 24, run.clocks.size()) << what;
        EXPECT_EQ(run.clocks[first], run.beats[beat]) << what << ", beat " << beat;
        if (run.beats[beat] <= tempoChangedAt && tempoChangedAt < run.beats[beat + 1])
            continue;
        const double length = static_cast<double>(run.beats[beat + 1] - run.beats[beat]);
        for (size_t clock = 1; clock < 24; ++clock)
            EXPECT_LE(std::abs(run.clocks[first + clock] - (run.beats[beat] + clock * length / 24)), 1.0)
                << what << ", beat " << beat << ", clock " << clock;
        if (::testing::Test::HasFailure())
            return; // one beat's story is enough
    }
}
} // namespace

TEST(MidiClockOut, TwentyFourClocksAQuarterOnTheDrummersGrid)
{
    struct Case
    {
        double rate;
        int block;
        double bpm;
        int divisions;
    };
    const Case cases[] = {
        {48000.0, 64, 120.0, 2},
        {48000.0, 100, 120.0, 2},
        {48000.0, 1024, 120.0, 4},
        {48000.0, 4096, 240.0, 4}, // several grid instants in each block
        // Tempos whose half subdivision is no whole number of samples.
        {44100.0, 100, 97.3, 2},
        {44100.0, 1024, 97.3, 1},
        {44100.0, 64, 120.0, 2},
    };
    for (const auto& c : cases)
    {
        const std::string what = std::to_string(c.bpm) + " bpm, " + std::to_string(int(c.rate))
                                 + " Hz, block " + std::to_string(c.block) + ", divisions "
                                 + std::to_string(c.divisions);
        ClockFixture fixture(c.rate, c.block, c.bpm, c.divisions);
        fixture.play(2 * c.block);
        fixture.processor.start();
        const double beat = c.rate * 60.0 / c.bpm;
        fixture.play(static_cast<long long>(16 * 4 * beat)); // sixteen bars

        const auto& out = fixture.run.clockOut;
        ASSERT_GE(out.size(), 3u) << what;
        EXPECT_EQ(out[0].bytes, (std::vector<int>{0xF2, 0, 0})) << what;
        EXPECT_EQ(out[1].bytes, std::vector<int>{0xFA}) << what;
        EXPECT_EQ(out[2].bytes, std::vector<int>{0xF8}) << what;
        EXPECT_EQ(out[0].sample, out[2].sample) << what;
        EXPECT_EQ(out[1].sample, out[2].sample) << what;
        EXPECT_EQ(out.size(), fixture.run.clocks.size() + 2) << what << ": nothing else while playing";

        expectClocksOnTheBeats(fixture.run, what);
        // Over sixteen bars the clock keeps the drummer's tempo: each clock within a sample of
        // the first one plus its count of clock periods at that tempo, when the drummer's
        // half subdivision is a whole number of samples; and no slower or faster by more than
        // the drummer's own grid (a fraction of a sample a half subdivision) otherwise.
        const auto& clocks = fixture.run.clocks;
        const double period = beat / 24;
        const double halfSubdivision = beat / (2 * c.divisions);
        if (halfSubdivision == std::floor(halfSubdivision))
        {
            for (size_t n = 0; n < clocks.size(); ++n)
                EXPECT_LE(std::abs(clocks[n] - (clocks[0] + n * period)), 1.0) << what << ", clock " << n;
        }
        const double meanPeriod = double(clocks.back() - clocks.front()) / double(clocks.size() - 1);
        EXPECT_NEAR(meanPeriod / period, 1.0, 2.0 / halfSubdivision) << what;

        EXPECT_FALSE(fixture.run.clockInBlockMidi) << what << ": the clock is not part of the drum notes";
        EXPECT_EQ(fixture.processor.allocations, 0) << what;
        EXPECT_EQ(fixture.processor.locks, 0) << what;
    }
}

TEST(MidiClockOut, StopAtTheBlockTheDrummerStopsAndStartAgainOnTheNewDownbeat)
{
    ClockFixture fixture(48000.0, 100, 120.0);
    fixture.processor.start();
    fixture.play(48000);
    fixture.processor.stop();
    const size_t beforeStop = fixture.run.clockOut.size();
    const long long stopBlock = fixture.elapsed;
    fixture.play(48000);
    ASSERT_EQ(fixture.run.clockOut.size(), beforeStop + 1);
    EXPECT_EQ(fixture.run.clockOut.back().bytes, std::vector<int>{0xFC});
    EXPECT_EQ(fixture.run.clockOut.back().sample, stopBlock);

    // Stop and Start before a block takes either: the clock stops and starts with the new
    // performance, on its first downbeat.
    fixture.processor.start();
    fixture.play(24000);
    fixture.run = {};
    fixture.processor.stop();
    fixture.processor.start();
    const long long restartBlock = fixture.elapsed;
    fixture.play(48000);
    const auto bytes = fixture.clockOutBytes();
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes[0], std::vector<int>{0xFC});
    EXPECT_EQ(fixture.run.clockOut[0].sample, restartBlock);
    EXPECT_EQ(bytes[1], (std::vector<int>{0xF2, 0, 0}));
    EXPECT_EQ(bytes[2], std::vector<int>{0xFA});
    expectClocksOnTheBeats(fixture.run, "after the restart");
}

TEST(MidiClockOut, TempoChangeWhileRunningMovesTheClocksWithTheBeats)
{
    ClockFixture fixture(48000.0, 256, 120.0);
    fixture.processor.start();
    fixture.play(2 * 96000 + 3000); // two bars and a bit
    fixture.processor.setTempo(90.0);
    const long long changedAt = fixture.elapsed;
    fixture.play(2 * 4 * 32000 + 5000);         // two bars at 90
    fixture.processor.chooseDivisionDuTemps(4); // on the next beat: half sixteenths, three clocks each
    fixture.play(2 * 4 * 32000);
    expectClocksOnTheBeats(fixture.run, "120 to 90 bpm, eighths to sixteenths", changedAt);
    // The last bar's clocks come at the new tempo: 32000 samples a beat, 1333.3 a clock.
    const auto& clocks = fixture.run.clocks;
    const auto lastBar = clocks.end() - 96;
    EXPECT_NEAR(double(clocks.back() - *lastBar) / 95, 32000.0 / 24, 0.02);
}

TEST(MidiClockOut, SilentWhileFollowingOrSwitchedOff)
{
    struct Case
    {
        const char* what;
        bool clockOn;
        bool hostPlays;
        SyncSource source;
    };
    const Case cases[] = {
        {"switch off", false, false, SyncSource::internal},
        {"following the host's transport", true, true, SyncSource::internal},
        {"following JACK transport", true, true, SyncSource::jackTransport},
        {"waiting for MIDI clock", true, false, SyncSource::midiClock},
    };
    for (const auto& c : cases)
    {
        ClockFixture fixture(48000.0, 128, 120.0);
        fixture.processor.setMidiClockOutput(c.clockOn);
        fixture.processor.setSyncSource(c.source);
        if (c.hostPlays)
        {
            fixture.driver.playHead.answers = true;
            fixture.driver.playHead.play(120.0, 0.0);
        }
        fixture.processor.start();
        fixture.play(96000);
        EXPECT_EQ(fixture.processor.isHostSynced(), c.hostPlays) << c.what;
        EXPECT_TRUE(fixture.run.clockOut.empty()) << c.what;
    }
}

TEST(MidiClockOut, SwitchedOnWhilePlayingStartsOnTheNextBarLineAndOffStops)
{
    ClockFixture fixture(48000.0, 128, 120.0);
    fixture.processor.setMidiClockOutput(false);
    fixture.processor.start();
    fixture.play(30000); // into beat 2 of bar 1
    fixture.processor.setMidiClockOutput(true);
    fixture.play(96000 + 20000);
    ASSERT_GE(fixture.run.clockOut.size(), 3u);
    EXPECT_EQ(fixture.run.clockOut[1].bytes, std::vector<int>{0xFA});
    // The drummer's first downbeat is on sample 128 (the block after Start); the next bar
    // line after the switch is a bar later.
    const long long firstClock = 128 + 96000;
    EXPECT_EQ(fixture.run.clocks.front(), firstClock);
    EXPECT_EQ(fixture.run.clocks.size(), size_t((fixture.elapsed - 1 - firstClock) / 1000 + 1));

    fixture.processor.setMidiClockOutput(false);
    const long long switchedOff = fixture.elapsed;
    fixture.play(10000);
    EXPECT_EQ(fixture.run.clockOut.back().bytes, std::vector<int>{0xFC});
    EXPECT_EQ(fixture.run.clockOut.back().sample, switchedOff);
}
TEST(MidiClockOut, ClocksForADeviceCarryTheirTimesOnASmoothTimeLine)
{
    // The blocks of a device run at uneven moments (here up to 1.5 ms early or late), while
    // their samples follow each other evenly: the clocks' times follow the samples.
    constexpr double rate = 48000.0;
    constexpr int block = 256;
    ClockFixture fixture(rate, block, 120.0);
    fixture.processor.sendMidiClockToDevice(true);
    fixture.processor.start();
    juce::Random jitter(7);
    std::vector<BattoAudioProcessor::TimedMidiClock> forDevice;
    std::vector<long long> samples; // the clocks' samples, as the blocks gave them
    for (int b = 0; b < 1500; ++b)
    {
        const double onTime = 1000.0 + fixture.elapsed * 1000.0 / rate;
        fixture.processor.now = onTime + (jitter.nextDouble() * 3.0 - 1.5);
        const size_t before = fixture.run.clockOut.size();
        fixture.play(block);
        for (size_t i = before; i < fixture.run.clockOut.size(); ++i)
            samples.push_back(fixture.run.clockOut[i].sample);
        BattoAudioProcessor::TimedMidiClock clock;
        while (fixture.processor.midiClockForDevice.pop(clock))
            forDevice.push_back(clock);
    }
    ASSERT_EQ(forDevice.size(), fixture.run.clockOut.size()) << "every byte of the block's clock, in order";
    ASSERT_GE(forDevice.size(), 24u * 15);
    for (size_t i = 0; i < forDevice.size(); ++i)
    {
        EXPECT_EQ(std::vector<int>(forDevice[i].bytes, forDevice[i].bytes + forDevice[i].size),
                  fixture.run.clockOut[i].bytes);
        // Due when its sample sounds: one block after the block that holds it.
        const double sounds = 1000.0 + (samples[i] + block) * 1000.0 / rate;
        EXPECT_NEAR(forDevice[i].milliseconds, sounds, 1.5) << i;
        if (i > 2 && forDevice[i].bytes[0] == 0xF8 && forDevice[i - 1].bytes[0] == 0xF8)
        {
            EXPECT_NEAR(forDevice[i].milliseconds - forDevice[i - 1].milliseconds, 500.0 / 24, 0.1) << i;
        }
        if (::testing::Test::HasFailure())
            break;
    }

    // Without a device the queue stays empty; the block's own clock goes on.
    fixture.processor.sendMidiClockToDevice(false);
    fixture.play(48000);
    BattoAudioProcessor::TimedMidiClock clock;
    EXPECT_FALSE(fixture.processor.midiClockForDevice.pop(clock));
    EXPECT_EQ(fixture.processor.allocations, 0);
}
// The MIDI output choice on a MIDI output device is played by the millisecond MIDI thread,
// which follows no clock: while JACK's transport or a MIDI clock drives the drummer, the
// blocks play it, and their drum notes take the device's queue with the times they sound.
TEST(MidiClockOut, DrumNotesForADeviceWhileAnExternalClockDrivesTheDrummer)
{
    constexpr double rate = 48000.0;
    constexpr int block = 256;
    WatchedProcessor processor;
    BlockDriver driver(processor, rate, block);
    processor.setDrumKit(BattoAudioProcessor::kitMidiOut);
    processor.sendMidiClockToDevice(true);
    FakePlayHead transport;
    transport.play(120.0, 0.0);
    processor.setJackTransport(&transport);

    const auto notesForDevice = [&processor]
    {
        std::vector<BattoAudioProcessor::TimedMidiClock> notes;
        BattoAudioProcessor::TimedMidiClock message;
        while (processor.midiClockForDevice.pop(message))
            if (message.size == 3 && message.bytes[0] == 0x99)
                notes.push_back(message);
        return notes;
    };
    for (int b = 0; b < 200; ++b)
        driver.run(block);
    EXPECT_TRUE(notesForDevice().empty()) << "\"Internal\" and stopped: the MIDI thread's to play";

    processor.setSyncSource(SyncSource::jackTransport);
    std::vector<double> hiHats;
    for (int b = 0; b < 750; ++b) // four seconds: eight beats, sixteen eighths
    {
        processor.now = 1000.0 + b * block * 1000.0 / rate;
        driver.run(block);
        transport.advance(block, rate);
        for (const auto& note : notesForDevice())
            if (note.bytes[1] == 42)
                hiHats.push_back(note.milliseconds);
    }
    ASSERT_TRUE(processor.isHostSynced());
    ASSERT_GE(hiHats.size(), 15u);
    for (size_t i = 1; i < hiHats.size(); ++i)
        EXPECT_NEAR(hiHats[i] - hiHats[i - 1], 250.0, 0.5) << "eighths at 120 bpm, hi-hat " << i;
    EXPECT_EQ(processor.allocations, 0);
}
#endif
