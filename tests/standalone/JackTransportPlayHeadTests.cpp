#include "AudioThreadWatch.h"
#include "BattoAudioProcessorWithJackMidiIn.h"
#include "JackCycleMidi.h"
#include "JackTransportPlayHead.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <thread>
#include <vector>

// The JACK transport as the drummer's play head: what a cycle's transport position says in
// the play head's terms, and the real processor following it cycle by cycle.

namespace
{
constexpr double rate = 48000.0;

jack_position_t barBeatTick(int bar, int beat, int tick, double ticksPerBeat = 1920, float beatsPerBar = 4,
                            float beatType = 4, double bpm = 100)
{
    jack_position_t position{};
    position.valid = JackPositionBBT;
    position.frame = 123456;
    position.frame_rate = static_cast<jack_nframes_t>(rate);
    position.bar = bar;
    position.beat = beat;
    position.tick = tick;
    position.ticks_per_beat = ticksPerBeat;
    position.beats_per_bar = beatsPerBar;
    position.beat_type = beatType;
    position.beats_per_minute = bpm;
    return position;
}

jack_position_t withFrameOffset(jack_position_t position, jack_nframes_t offset)
{
    position.valid = static_cast<jack_position_bits_t>(position.valid | JackBBTFrameOffset);
    position.bbt_offset = offset;
    return position;
}

jack_position_t onFrame(jack_nframes_t frame, jack_position_t position)
{
    position.frame = frame;
    return position;
}

jack_position_t framesOnly(jack_nframes_t frame)
{
    jack_position_t position{};
    position.frame = frame;
    position.frame_rate = static_cast<jack_nframes_t>(rate);
    return position;
}

jack_position_t withBpm(jack_position_t position, double bpm)
{
    position.beats_per_minute = bpm;
    return position;
}
} // namespace

TEST(JackTransportPosition, BarsBeatsTicksAndFramesBecomeTheCyclesPlace)
{
    struct Case
    {
        const char* what;
        jack_transport_state_t state;
        jack_position_t position;
        double ownTempo;
        double bpm, ppq, barStart;
        int numerator, denominator;
        long long barCount;
    };
    const Case cases[] = {
        {"4/4, 1920 ticks", JackTransportRolling, barBeatTick(3, 2, 960), 120, 100, 9.5, 8, 4, 4, 2},
        // 9600 frames at 100 bpm are 1/3 of a beat: the BBT is that much behind the cycle.
        {"frame offset", JackTransportRolling, withFrameOffset(barBeatTick(5, 1, 0), 9600), 120, 100, 16 + 1.0 / 3,
         16, 4, 4, 4},
        {"frame offset zero", JackTransportRolling, withFrameOffset(barBeatTick(5, 1, 0), 0), 120, 100, 16, 16, 4, 4,
         4},
        {"3/4, 960 ticks", JackTransportRolling, barBeatTick(2, 3, 480, 960, 3), 120, 100, 5.5, 3, 3, 4, 1},
        // Eighths: a beat is half a quarter note, 100 of them a minute are 50 quarter notes.
        {"6/8", JackTransportRolling, barBeatTick(2, 4, 0, 1920, 6, 8), 120, 50, 4.5, 3, 6, 8, 1},
        // A master that rounds its ticks down, here float noise and all (bar 3 is on frame
        // 230 400 at 100 bpm), and one with coarse ticks: a steady tempo from bar 1 on frame 0
        // within a tick of the frames, which place the cycle exactly.
        {"ticks rounded down, 1920", JackTransportRolling, onFrame(230400, barBeatTick(2, 4, 1919)), 120, 100, 8, 4,
         4, 4, 1},
        {"ticks rounded down, 960", JackTransportRolling, onFrame(230420, barBeatTick(3, 1, 0, 960)), 120, 100,
         8 + 20.0 / 28800, 8, 4, 4, 2},
        // Frames and ticks further apart than a tick: the master's own tempo map, not frame 0.
        {"a tick apart", JackTransportRolling, onFrame(230450, barBeatTick(3, 1, 0, 960)), 120, 100, 8, 8, 4, 4, 2},
        // 123456 frames at 48 kHz and 90 bpm: 3.858 quarters, bar 1 on frame 0.
        {"no BBT", JackTransportRolling, framesOnly(123456), 90, 90, 123456.0 / rate * 1.5, 0, 4, 4, 0},
        {"no BBT, bar 3", JackTransportRolling, framesOnly(2 * 96000 + 6000), 120, 120, 8.25, 8, 4, 4, 2},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        const auto info = jackTransportPosition(c.state, c.position, c.ownTempo, rate);
        EXPECT_TRUE(info.getIsPlaying());
        EXPECT_EQ(info.getTimeInSamples().orFallback(-1), static_cast<juce::int64>(c.position.frame));
        EXPECT_DOUBLE_EQ(info.getBpm().orFallback(0), c.bpm);
        EXPECT_NEAR(info.getPpqPosition().orFallback(-1), c.ppq, 1e-12);
        EXPECT_DOUBLE_EQ(info.getPpqPositionOfLastBarStart().orFallback(-1), c.barStart);
        ASSERT_TRUE(info.getTimeSignature().hasValue());
        EXPECT_EQ(info.getTimeSignature()->numerator, c.numerator);
        EXPECT_EQ(info.getTimeSignature()->denominator, c.denominator);
        EXPECT_EQ(info.getBarCount().orFallback(-1), c.barCount);
    }
}

// Nothing rolls that is stopped, starting, or no place in a bar: never a division by zero,
// never a position that is not a number.
TEST(JackTransportPosition, AStoppedTransportOrAnAbsurdPositionDoesNotRoll)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case
    {
        const char* what;
        jack_transport_state_t state;
        jack_position_t position;
        double ownTempo, sampleRate;
    };
    const Case cases[] = {
        {"stopped", JackTransportStopped, barBeatTick(3, 2, 960), 120, rate},
        {"starting", JackTransportStarting, barBeatTick(1, 1, 0), 120, rate},
        {"stopped, no BBT", JackTransportStopped, framesOnly(4800), 120, rate},
        {"0 ticks a beat", JackTransportRolling, barBeatTick(1, 1, 0, 0), 120, rate},
        {"NaN ticks a beat", JackTransportRolling, barBeatTick(1, 1, 0, nan), 120, rate},
        {"bpm NaN", JackTransportRolling, withBpm(barBeatTick(1, 1, 0), nan), 120, rate},
        {"bpm 0", JackTransportRolling, withBpm(barBeatTick(1, 1, 0), 0), 120, rate},
        {"bpm -5", JackTransportRolling, withBpm(barBeatTick(1, 1, 0), -5), 120, rate},
        {"bpm infinite", JackTransportRolling, withBpm(barBeatTick(1, 1, 0), std::numeric_limits<double>::infinity()), 120, rate},
        {"bar 0", JackTransportRolling, barBeatTick(0, 1, 0), 120, rate},
        {"beat 0", JackTransportRolling, barBeatTick(1, 0, 0), 120, rate},
        {"beat 5 of 4", JackTransportRolling, barBeatTick(1, 5, 0), 120, rate},
        {"tick past its beat", JackTransportRolling, barBeatTick(1, 1, 1920), 120, rate},
        {"negative tick", JackTransportRolling, barBeatTick(1, 1, -1), 120, rate},
        {"no beats a bar", JackTransportRolling, barBeatTick(1, 1, 0, 1920, 0), 120, rate},
        {"beat type 0", JackTransportRolling, barBeatTick(1, 1, 0, 1920, 4, 0), 120, rate},
        {"beat type 1e-30", JackTransportRolling, barBeatTick(1, 1, 0, 1920, 4, 1e-30f), 120, rate},
        {"1e30 beats a bar", JackTransportRolling, barBeatTick(1, 1, 0, 1920, 1e30f), 120, rate},
        {"no BBT, own tempo 0", JackTransportRolling, framesOnly(4800), 0, rate},
        {"no BBT, own tempo NaN", JackTransportRolling, framesOnly(4800), nan, rate},
        {"no sample rate", JackTransportRolling, framesOnly(4800), 120, 0},
        {"no sample rate, BBT", JackTransportRolling, withFrameOffset(barBeatTick(1, 1, 0), 100), 120, 0},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        const auto info = jackTransportPosition(c.state, c.position, c.ownTempo, c.sampleRate);
        EXPECT_FALSE(info.getIsPlaying());
        if (const auto ppq = info.getPpqPosition())
        {
            EXPECT_TRUE(std::isfinite(*ppq));
        }
    }
}

TEST(JackTransportPlayHead, AnswersTheTransportOfTheCycleItIsAskedInAndNothingRollsOutsideOne)
{
    double ownTempo = 90;
    const JackTransportPlayHead playHead([&ownTempo] { return ownTempo; });
    EXPECT_FALSE(playHead.getPosition()->getIsPlaying()) << "outside a JACK cycle (another device's block)";

    JackTransportReading reading;
    reading.state = JackTransportRolling;
    reading.position = framesOnly(28800);
    reading.sampleRate = rate;
    {
        const JackTransportPlayHead::Cycle inCycle(reading);
        auto position = playHead.getPosition();
        EXPECT_TRUE(position->getIsPlaying());
        EXPECT_DOUBLE_EQ(*position->getPpqPosition(), 0.9) << "28 800 frames at the own tempo, 90 bpm";
        ownTempo = 100;
        EXPECT_DOUBLE_EQ(*playHead.getPosition()->getPpqPosition(), 1.0);
        bool otherThreadSawACycle = true;
        std::thread([&] { otherThreadSawACycle = JackTransportPlayHead::current() != nullptr; }).join();
        EXPECT_FALSE(otherThreadSawACycle);
    }
    EXPECT_FALSE(playHead.getPosition()->getIsPlaying()) << "the cycle is over";
}

namespace
{
struct Hit
{
    long long frame; // on the transport's frames
    int key;
};

// Runs the real processor in JACK cycles under a transport that rolls, locates and stops as
// the JACK server's does: each cycle's block finds the transport where the cycle starts.
// With bars (ticksPerBeat > 0), the transport has a timebase master at 100 bpm in 4/4, bar 1
// on frame 0, whose ticks are rounded down as a master's are, float noise and all.
class TransportDriver
{
public:
    TransportDriver(BattoAudioProcessorWithJackMidiIn& processorToRun, int framesPerCycle, double masterTicksPerBeat)
        : processor(processorToRun), period(framesPerCycle), ticksPerBeat(masterTicksPerBeat), audio(4, framesPerCycle)
    {
        processor.setRateAndBufferSizeDetails(rate, period);
        processor.prepareToPlay(rate, period);
        cycle.reserve(period);
        playerMidi.ensureSize(4096);
        hits.reserve(1 << 14);
    }

    void run(int cycles = 1)
    {
        for (int i = 0; i < cycles; ++i)
            runCycle();
    }

    void runUntilFrame(long long frame)
    {
        while (transportFrame < frame)
            runCycle();
    }

    BattoAudioProcessorWithJackMidiIn& processor;
    const int period;
    const double ticksPerBeat;
    bool rolling = false;
    long long transportFrame = 0;
    std::vector<Hit> hits;
    int allocations = 0, locks = 0;

private:
    void runCycle()
    {
        reading.state = rolling ? JackTransportRolling : JackTransportStopped;
        reading.position = ticksPerBeat > 0 ? masterPosition() : framesOnly(static_cast<jack_nframes_t>(transportFrame));
        reading.sampleRate = rate;
        cycle.beginCycle(period);
        {
            const JackCycleMidi::Scope inCycle(cycle);
            const JackTransportPlayHead::Cycle transportOfCycle(reading);
            AudioThreadWatch watch;
            processor.processBlock(audio, playerMidi);
            allocations += watch.allocations();
            locks += watch.locks();
        }
        cycle.writeOutput(
            [this](juce::uint32 frame, const juce::uint8* data, size_t)
            {
                if (data[0] == 0x99)
                    hits.push_back({transportFrame + frame, data[1]});
            });
        if (rolling)
            transportFrame += period;
    }

    jack_position_t masterPosition() const
    {
        const double beats = static_cast<double>(transportFrame) / rate * 100 / 60;
        const auto whole = static_cast<int>(std::floor(beats));
        auto position = barBeatTick(whole / 4 + 1, whole % 4 + 1, static_cast<int>((beats - whole) * ticksPerBeat),
                                    ticksPerBeat);
        position.frame = static_cast<jack_nframes_t>(transportFrame);
        return position;
    }

    JackCycleMidi cycle;
    JackTransportReading reading;
    juce::AudioBuffer<float> audio;
    juce::MidiBuffer playerMidi;
};

BattoAudioProcessor::Settings followingTheTransport()
{
    BattoAudioProcessor::Settings settings;
    settings.tempo = 120.0; // the own tempo: the master's 100 wins over it
    settings.divisionDuTemps = 2;
    settings.autoKick = false;
    settings.autoSnare = false;
    settings.drumKit = BattoAudioProcessor::kitMidiOut;
    settings.syncSource = SyncSource::jackTransport;
    return settings;
}

long long firstHitFrom(const std::vector<Hit>& hits, long long frame)
{
    for (const auto& hit : hits)
        if (hit.frame >= frame)
            return hit.frame;
    return -1;
}
} // namespace

// Start, a locate to bar 5 while rolling, and stop, with a timebase master's bars and with
// frames only: every hit on the transport's grid to the frame, the downbeats on its bar lines,
// nothing after the stop, Start ignored while the transport decides; and the JACK thread's
// path neither allocates nor locks.
TEST(JackTransportFollowing, TheDrummerPlaysOnTheTransportsGridAndBarsThroughALocateAndStopsWithIt)
{
    struct Case
    {
        double ticksPerBeat; // 0: no timebase master
        int period;
        double eighth; // frames
    };
    for (const auto& c : {Case{1920, 256, 14400}, Case{1920, 1024, 14400}, Case{960, 256, 14400}, Case{0, 256, 12000}})
    {
        SCOPED_TRACE("ticks a beat " + std::to_string(static_cast<int>(c.ticksPerBeat)) + ", period " + std::to_string(c.period));
        BattoAudioProcessorWithJackMidiIn processor(followingTheTransport());
        processor.playMidiOutputInBlocks(true);
        TransportDriver driver(processor, c.period, c.ticksPerBeat);
        const double bar = 8 * c.eighth;

        processor.start();
        driver.run(20);
        EXPECT_TRUE(driver.hits.empty()) << "Start waits for the transport";

        driver.rolling = true;
        driver.runUntilFrame(static_cast<long long>(3.5 * bar));
        const auto locatedAt = static_cast<long long>(4 * bar); // bar 5
        const auto hitsBeforeLocate = driver.hits.size();
        driver.transportFrame = locatedAt;
        driver.runUntilFrame(locatedAt + static_cast<long long>(1.5 * bar));
        driver.rolling = false;
        const auto hitsWhileRolling = driver.hits.size();
        driver.run(40);

        EXPECT_EQ(driver.hits.size(), hitsWhileRolling) << "no hit after the stop";
        EXPECT_EQ(firstHitFrom(driver.hits, 0), 0);
        EXPECT_EQ(firstHitFrom(driver.hits, static_cast<long long>(bar)), static_cast<long long>(bar));
        ASSERT_GT(driver.hits.size(), hitsBeforeLocate);
        EXPECT_EQ(driver.hits[hitsBeforeLocate].frame, locatedAt) << "re-placed on bar 5's line";
        EXPECT_EQ(firstHitFrom(driver.hits, locatedAt + static_cast<long long>(bar)),
                  locatedAt + static_cast<long long>(bar));
        int hats = 0;
        for (const auto& hit : driver.hits)
        {
            const double grid = hit.key == 42 ? c.eighth : c.eighth / 2;
            EXPECT_EQ(std::fmod(static_cast<double>(hit.frame), grid), 0.0) << "note " << hit.key << " at " << hit.frame;
            hats += hit.key == 42;
        }
        EXPECT_GE(hats, 35);
        EXPECT_EQ(driver.allocations, 0);
        EXPECT_EQ(driver.locks, 0);
    }
}
