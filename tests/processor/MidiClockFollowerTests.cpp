#include "MidiClockFollower.h"
#include "ProcessorTestSupport.h"
#include "WatchedProcessor.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <iostream>
#include <map>

// The standalone drummer following a MIDI clock: a clock source of the tests' own writes clock
// messages at exact frames into the blocks of a real processor, and the drum hits that come out
// are measured against the clock's grid.

namespace
{
using WatchedProcessor = Watched<BattoAudioProcessor>;
using Bytes = std::vector<juce::uint8>;

constexpr juce::uint8 clockByte = 0xF8, startByte = 0xFA, continueByte = 0xFB, stopByte = 0xFC;

Bytes songPosition(int sixteenths)
{
    return {0xF2, static_cast<juce::uint8>(sixteenths & 0x7F), static_cast<juce::uint8>((sixteenths >> 7) & 0x7F)};
}

// What a clock source sends, at exact frames. Each clock carries the song clock a listener
// should place it on (-1: the song does not roll), and the frame it would ideally lie on.
class ClockSource
{
public:
    explicit ClockSource(double sampleRate, juce::int64 seed = 1) : rate(sampleRate), random(seed) {}

    // `count` clocks, the first one a period after the last; the tempo goes from `fromBpm` to
    // `toBpm` in even steps per clock (the same for a steady tempo); jitter in frames, at random
    // up to that far either side.
    void clocks(int count, double fromBpm, double toBpm, std::int64_t firstSongClock, double jitter = 0.0)
    {
        for (int i = 0; i < count; ++i)
        {
            const double bpm = count > 1 ? fromBpm + (toBpm - fromBpm) * i / (count - 1) : toBpm;
            ideal += 60.0 * rate / (24.0 * bpm);
            const double offset = jitter > 0.0 ? (random.nextDouble() * 2.0 - 1.0) * jitter : 0.0;
            const auto frame = static_cast<juce::int64>(std::llround(ideal + offset));
            send(frame, {clockByte});
            clockList.push_back({frame, ideal, firstSongClock < 0 ? -1 : firstSongClock + i});
        }
    }

    // A message a few frames after the last clock (before the next one).
    void message(const Bytes& bytes, double framesAfterLastClock = 10.0)
    {
        send(static_cast<juce::int64>(std::llround(ideal + framesAfterLastClock)), bytes);
    }

    void silence(double seconds)
    {
        ideal += seconds * rate;
    }

    void send(juce::int64 frame, const Bytes& bytes)
    {
        schedule.emplace(frame, bytes);
    }

    struct Clock
    {
        juce::int64 frame;
        double ideal;
        std::int64_t songClock;
    };

    double rate;
    double ideal = 1000.0; // the frame of the last clock, or where the first one is counted from
    juce::Random random;
    std::multimap<juce::int64, Bytes> schedule;
    std::vector<Clock> clockList;
};

struct Hit
{
    juce::int64 frame;
    int note;
};

// A standalone processor that follows the "MIDI clock" source, its hits as MIDI notes.
struct ClockFollowing
{
    explicit ClockFollowing(double sampleRate = 48000.0, int blockSize = 333) : rate(sampleRate), block(blockSize)
    {
        processor.setSyncSource(SyncSource::midiClock);
        processor.setDrumKit(BattoAudioProcessor::kitExternalPlugin); // hits come out as MIDI
        processor.setRateAndBufferSizeDetails(rate, block);
        processor.prepareToPlay(rate, block);
        audio.setSize(2, block);
        midi.ensureSize(256 * 1024);
    }

    // Runs blocks until the source's last message has been played, and `extraSeconds` more.
    void play(const ClockSource& source, double extraSeconds = 0.1)
    {
        const juce::int64 end =
            (source.schedule.empty() ? 0 : source.schedule.rbegin()->first) + static_cast<juce::int64>(extraSeconds * rate);
        auto next = source.schedule.lower_bound(now);
        while (now < end)
        {
            midi.clear();
            for (; next != source.schedule.end() && next->first < now + block; ++next)
                midi.addEvent(next->second.data(), static_cast<int>(next->second.size()),
                              static_cast<int>(next->first - now));
            const auto began = juce::Time::getMillisecondCounterHiRes();
            processor.processBlock(audio, midi);
            processingMs += juce::Time::getMillisecondCounterHiRes() - began;
            for (const auto event : midi)
                if (event.numBytes == 3 && event.data[0] == 0x99)
                    hits.push_back({now + event.samplePosition, event.data[1]});
            now += block;
        }
    }

    double rate;
    int block;
    WatchedProcessor processor;
    juce::AudioBuffer<float> audio;
    juce::MidiBuffer midi;
    juce::int64 now = 0;
    std::vector<Hit> hits;
    double processingMs = 0.0; // inside processBlock
};

// Every hit against the clock's grid: the song clock of the nearest clock that rolls, and how
// far the hit lies from that clock's frame and from its ideal frame.
struct Placement
{
    std::int64_t songClock = -1;
    double fromClock = 1e9;
    double fromIdeal = 1e9;
};

Placement placementOf(const Hit& hit, const ClockSource& source)
{
    Placement best;
    for (const auto& clock : source.clockList)
        if (clock.songClock >= 0 && std::abs(static_cast<double>(hit.frame - clock.frame)) < std::abs(best.fromClock))
            best = {clock.songClock, static_cast<double>(hit.frame - clock.frame),
                    static_cast<double>(hit.frame) - clock.ideal};
    return best;
}

// The hits stand on the clock's eighths within `tolerance` frames, and the automatic kick and
// snare on the song's bars: kicks on beats 1 and 3, snares on 2 and 4.
void expectOnTheSongsGrid(const std::vector<Hit>& hits, const ClockSource& source, double tolerance,
                          const std::string& what)
{
    ASSERT_FALSE(hits.empty()) << what;
    for (const auto& hit : hits)
    {
        const auto placed = placementOf(hit, source);
        EXPECT_LE(std::abs(placed.fromClock), tolerance) << what << ": note " << hit.note << " at " << hit.frame;
        EXPECT_EQ(placed.songClock % 12, 0) << what << ": note " << hit.note << " at " << hit.frame;
        const auto inBar = placed.songClock % 96;
        if (hit.note == 36)
        {
            EXPECT_TRUE(inBar == 0 || inBar == 48) << what << ": kick at song clock " << placed.songClock;
        }
        if (hit.note == 38)
        {
            EXPECT_TRUE(inBar == 24 || inBar == 72) << what << ": snare at song clock " << placed.songClock;
        }
    }
}

// Prints how far the hits lie from their clocks (p50 and max, frames), for the record.
void printSpread(const std::vector<Hit>& hits, const ClockSource& source, const std::string& what);

// Every eighth of the song that rolled from `fromSongClock` on has a hit.
void expectEveryEighthPlayed(const std::vector<Hit>& hits, const ClockSource& source, std::int64_t fromSongClock,
                             std::int64_t toSongClock, const std::string& what)
{
    std::vector<std::int64_t> played;
    for (const auto& hit : hits)
        played.push_back(placementOf(hit, source).songClock);
    for (const auto& clock : source.clockList)
        if (clock.songClock >= fromSongClock && clock.songClock <= toSongClock && clock.songClock % 12 == 0)
        {
            EXPECT_NE(std::find(played.begin(), played.end(), clock.songClock), played.end())
                << what << ": nothing on song clock " << clock.songClock;
        }
}

void expectNoAudioThreadFaults(const WatchedProcessor& processor, const std::string& what)
{
    EXPECT_EQ(processor.allocations, 0) << what;
    EXPECT_EQ(processor.frees, 0) << what;
    EXPECT_EQ(processor.locks, 0) << what;
    EXPECT_EQ(processor.threads, 0) << what;
}

std::vector<Hit> hitsFrom(const std::vector<Hit>& hits, juce::int64 frame)
{
    std::vector<Hit> later;
    for (const auto& hit : hits)
        if (hit.frame >= frame)
            later.push_back(hit);
    return later;
}

std::vector<Hit> hitsUpTo(const std::vector<Hit>& hits, juce::int64 frame)
{
    std::vector<Hit> earlier;
    for (const auto& hit : hits)
        if (hit.frame <= frame)
            earlier.push_back(hit);
    return earlier;
}

struct Spread
{
    double median;
    double largest;
};

Spread spreadOf(std::vector<double> distances)
{
    if (distances.empty())
        return {0.0, 0.0};
    for (auto& d : distances)
        d = std::abs(d);
    std::sort(distances.begin(), distances.end());
    return {distances[distances.size() / 2], distances.back()};
}
void printSpread(const std::vector<Hit>& hits, const ClockSource& source, const std::string& what)
{
    std::vector<double> distances;
    for (const auto& hit : hits)
        distances.push_back(placementOf(hit, source).fromClock);
    const auto spread = spreadOf(distances);
    std::cout << "[ measured ] " << what << ": " << hits.size() << " hits from their clocks p50 " << spread.median
              << ", max " << spread.largest << " frames\n";
}
} // namespace

TEST(MidiClock, StartFromBarOneStandsOnTheClocksGrid)
{
    // A clock that runs before Start (the tempo is known) and one that starts with it (the
    // tempo comes with the second clock); Start and the first clock inside a block; sample
    // rates whose clock periods are and are not whole frames.
    struct Case
    {
        const char* what;
        double rate;
        int block;
        bool clocksBeforeStart;
    };
    const Case cases[] = {
        {"48 kHz, clock running before Start", 48000.0, 333, true},
        {"48 kHz, clock starting with Start", 48000.0, 256, false},
        {"44.1 kHz, clock running before Start", 44100.0, 512, true},
        {"44.1 kHz, clock starting with Start, block of 1024", 44100.0, 1024, false},
    };
    for (const auto& c : cases)
    {
        ClockFollowing run(c.rate, c.block);
        run.processor.setAutoKick(true);
        run.processor.setAutoSnare(true);
        ClockSource source(c.rate);
        if (c.clocksBeforeStart)
            source.clocks(48, 120.0, 120.0, -1);
        source.message({startByte}, 300.0); // a little before the next clock, which is the downbeat
        source.clocks(24 * 16, 120.0, 120.0, 0);
        run.play(source, 0.0);

        const auto& downbeat = *std::find_if(source.clockList.begin(), source.clockList.end(),
                                             [](const auto& clock) { return clock.songClock == 0; });
        ASSERT_FALSE(run.hits.empty()) << c.what;
        // On the clock's own frame; where the clock's period is not whole frames, on the frame its
        // grid falls in, which the source's rounding may have put the clock one after.
        EXPECT_NEAR(static_cast<double>(run.hits.front().frame), static_cast<double>(downbeat.frame),
                    c.rate == 48000.0 ? 0.0 : 1.0)
            << c.what;
        expectOnTheSongsGrid(run.hits, source, 1.0, c.what);
        expectEveryEighthPlayed(run.hits, source, 0, 24 * 15, c.what);
        printSpread(run.hits, source, c.what);
        EXPECT_NEAR(*run.processor.getTempo(), 120.0, 0.01) << c.what;
        expectNoAudioThreadFaults(run.processor, c.what);
    }
}

TEST(MidiClock, SongPositionAndContinuePlaceTheDrummerOnTheSongsBar)
{
    struct Case
    {
        const char* what;
        int sixteenths;
    };
    const Case cases[] = {
        {"bar 3", 32},
        {"bar 3, beat 3 and a half", 32 + 10},
        {"the last Song Position there is", 16383},
    };
    for (const auto& c : cases)
    {
        ClockFollowing run;
        run.processor.setAutoKick(true);
        run.processor.setAutoSnare(true);
        ClockSource source(run.rate);
        source.clocks(30, 120.0, 120.0, -1);
        source.message(songPosition(c.sixteenths));
        source.message({continueByte}, 20.0);
        const std::int64_t first = 6LL * c.sixteenths;
        source.clocks(24 * 8, 120.0, 120.0, first);
        run.play(source, 0.0);

        ASSERT_FALSE(run.hits.empty()) << c.what;
        const std::int64_t firstEighth = (first + 11) / 12 * 12;
        EXPECT_EQ(placementOf(run.hits.front(), source).songClock, firstEighth) << c.what;
        EXPECT_EQ(placementOf(run.hits.front(), source).fromClock, 0.0) << c.what;
        expectOnTheSongsGrid(run.hits, source, 1.0, c.what);
        expectEveryEighthPlayed(run.hits, source, first, first + 24 * 7, c.what);
        printSpread(run.hits, source, std::string("Song Position to ") + c.what + " and Continue");
        expectNoAudioThreadFaults(run.processor, c.what);
    }
}

TEST(MidiClock, TheSongMovesWhileRollingAndAfterStop)
{
    // Rolling from bar 1, a Song Position to bar 5 moves the song at the next clock; Stop
    // silences the drummer, and Continue without a Song Position goes on from where it stood.
    ClockFollowing run;
    run.processor.setAutoKick(true);
    run.processor.setAutoSnare(true);
    ClockSource source(run.rate);
    source.clocks(4, 120.0, 120.0, -1);
    source.message({startByte});
    source.clocks(24 * 5 + 7, 120.0, 120.0, 0);
    source.message(songPosition(64));
    source.clocks(24 * 6, 120.0, 120.0, 64 * 6);
    const std::int64_t stoppedAfter = 64 * 6 + 24 * 6 - 1;
    source.message({stopByte});
    const double stopFrame = source.ideal + 10;
    source.clocks(24 * 2, 120.0, 120.0, -1);
    source.message({continueByte});
    source.clocks(24 * 4, 120.0, 120.0, stoppedAfter + 1);
    const auto resumed = std::find_if(source.clockList.begin(), source.clockList.end(),
                                      [&](const auto& clock) { return clock.songClock == stoppedAfter + 1; });
    run.play(source, 0.0);

    expectOnTheSongsGrid(run.hits, source, 1.0, "moved, stopped, continued");
    expectEveryEighthPlayed(run.hits, source, 64 * 6, stoppedAfter, "after the Song Position");
    expectEveryEighthPlayed(run.hits, source, stoppedAfter + 1, stoppedAfter + 24 * 3, "after Continue");
    for (const auto& hit : run.hits)
        EXPECT_FALSE(hit.frame >= stopFrame && hit.frame < resumed->frame) << "a hit while stopped, at " << hit.frame;
    expectNoAudioThreadFaults(run.processor, "moved, stopped, continued");
}

TEST(MidiClock, TempoChangesAreFollowedWithinABeat)
{
    // 120 bpm, then 140: at once, or in a ramp over two beats. The hits stand within a frame of
    // the clock's grid from one beat after the change on, and no hit strays far during it: in
    // a step, only an eighth on the first clock of the new tempo is off, by what that clock
    // came early (143 frames), which nothing could foresee.
    struct Case
    {
        const char* what;
        int rampClocks;
        double strayingAtMost;
    };
    const Case cases[] = {{"step", 1, 143.0}, {"ramp over two beats", 48, 0.002 * 48000.0}};
    for (const auto& c : cases)
    {
        ClockFollowing run(48000.0, 256);
        ClockSource source(run.rate);
        source.message({startByte}, 100.0);
        source.clocks(24 * 8, 120.0, 120.0, 0);
        const double changeAt = source.ideal;
        source.clocks(c.rampClocks, 120.0, 140.0, 24 * 8);
        const double changed = source.ideal;
        source.clocks(24 * 8, 140.0, 140.0, 24 * 8 + c.rampClocks);
        run.play(source, 0.0);

        const double beatAt140 = 60.0 * run.rate / 140.0;
        std::vector<double> during, settled;
        double lastOffGrid = changed;
        for (const auto& hit : hitsFrom(run.hits, static_cast<juce::int64>(changeAt)))
        {
            const auto placed = placementOf(hit, source);
            (hit.frame < changed + beatAt140 ? during : settled).push_back(placed.fromClock);
            if (std::abs(placed.fromClock) > 1.0)
                lastOffGrid = juce::jmax(lastOffGrid, static_cast<double>(hit.frame));
        }
        const auto settledSpread = spreadOf(settled);
        const auto duringSpread = spreadOf(during);
        EXPECT_LE(settledSpread.largest, 1.0) << c.what;
        EXPECT_LE(duringSpread.largest, c.strayingAtMost + 1.0) << c.what;
        EXPECT_NEAR(*run.processor.getTempo(), 140.0, 0.01) << c.what;
        expectOnTheSongsGrid(hitsFrom(run.hits, static_cast<juce::int64>(changed + beatAt140)), source, 1.0, c.what);
        std::cout << "[ measured ] 120 -> 140 bpm, " << c.what << ": hits within a frame of the grid "
                  << (lastOffGrid - changed) << " frames after the change ended; during it "
                  << "p50 " << duringSpread.median << ", max " << duringSpread.largest << " frames\n";
        expectNoAudioThreadFaults(run.processor, c.what);
    }
}

TEST(MidiClock, AMillisecondOfJitterDoesNotMoveTheHits)
{
    ClockFollowing run(48000.0, 256);
    ClockSource source(run.rate, 7);
    const double jitter = 0.001 * run.rate;
    source.clocks(24 * 4, 120.0, 120.0, -1, jitter);
    source.message({startByte}, 200.0);
    source.clocks(24 * 32, 120.0, 120.0, 0, jitter);
    run.play(source, 0.0);

    std::vector<double> fromIdeal;
    for (const auto& hit : run.hits)
        fromIdeal.push_back(placementOf(hit, source).fromIdeal);
    const auto spread = spreadOf(fromIdeal);
    // The clocks stray up to 48 frames; the hits stay on the grid they jitter around.
    EXPECT_LE(spread.median, 0.15 * jitter);
    EXPECT_LE(spread.largest, 0.5 * jitter);
    expectEveryEighthPlayed(run.hits, source, 0, 24 * 31, "jittered clock");
    std::cout << "[ measured ] 1 ms jitter at 120 bpm: hits from the ideal grid p50 " << spread.median << ", max "
              << spread.largest << " frames\n";
}

TEST(MidiClock, ClocksThatStopArrivingStopTheDrummer)
{
    // Neither Stop nor any clock comes any more: a quarter of a beat without a clock stops the
    // drummer. A Continue and clocks bring it back where the song stood.
    ClockFollowing run;
    ClockSource source(run.rate);
    source.message({startByte}, 100.0);
    source.clocks(24 * 4, 120.0, 120.0, 0);
    const double lastClock = source.ideal;
    source.silence(3.0);
    run.play(source, 2.0);
    const double quarterBeat = 0.25 * 60.0 * run.rate / 120.0;
    ASSERT_FALSE(run.hits.empty());
    EXPECT_LE(run.hits.back().frame, lastClock + quarterBeat);
    EXPECT_FALSE(run.processor.isHostSynced());

    expectOnTheSongsGrid(hitsUpTo(run.hits, static_cast<juce::int64>(lastClock)), source, 1.0, "before it stopped");

    source.message({continueByte});
    source.clocks(24 * 2, 120.0, 120.0, 24 * 4);
    const auto backFrom = static_cast<juce::int64>(source.clockList[24 * 4].frame);
    run.play(source, 0.0);
    expectOnTheSongsGrid(hitsFrom(run.hits, backFrom), source, 1.0, "after the clock came back");
    expectEveryEighthPlayed(run.hits, source, 24 * 4, 24 * 6 - 1, "after the clock came back");
}

TEST(MidiClock, BadInputIsRefusedWithoutAStall)
{
    // Each case sends something a clock should not, then a sound clock from the song's start: the
    // drummer plays nothing it should not, takes no time, allocates nothing, and then follows.
    struct Case
    {
        const char* what;
        std::function<void(ClockSource&)> send;
        juce::uint8 resume; // how the sound clock starts the song at its start: Start, or Continue
    };
    const Case cases[] = {
        {"clock at 300 bpm",
         [](ClockSource& s)
         {
             s.clocks(24, 300.0, 300.0, -1);
             s.message({startByte});
             s.clocks(24 * 4, 300.0, 300.0, -1);
         },
         startByte},
        {"clock at 20 bpm",
         [](ClockSource& s)
         {
             s.clocks(4, 20.0, 20.0, -1);
             s.message({startByte});
             s.clocks(24, 20.0, 20.0, -1);
         },
         startByte},
        {"a flood of clocks in one block",
         [](ClockSource& s)
         {
             s.message({startByte});
             for (int i = 0; i < 20000; ++i)
                 s.send(static_cast<juce::int64>(s.ideal) + 50, {clockByte});
         },
         startByte},
        {"a flood of every real-time byte",
         [](ClockSource& s)
         {
             for (int i = 0; i < 2000; ++i)
                 for (juce::uint8 b = 0xF8; b != 0; ++b)
                     s.send(static_cast<juce::int64>(s.ideal) + 50 + i % 300, {b});
         },
         startByte},
        {"Stop with nothing running, then clocks without Start",
         [](ClockSource& s) { s.message({stopByte}); s.clocks(48, 120.0, 120.0, -1); }, startByte},
        {"Song Positions cut short and malformed",
         [](ClockSource& s)
         {
             s.clocks(4, 120.0, 120.0, -1);
             s.send(static_cast<juce::int64>(s.ideal) + 5, {0xF2});
             s.send(static_cast<juce::int64>(s.ideal) + 6, {0xF2, 0x10});
             s.send(static_cast<juce::int64>(s.ideal) + 7, {0xF2, 0x90, 0x40});
             s.clocks(4, 120.0, 120.0, -1);
         },
         continueByte},
    };
    for (const auto& c : cases)
    {
        ClockFollowing run(48000.0, 512);
        ClockSource source(run.rate);
        c.send(source);
        source.silence(0.2);
        source.message({stopByte});
        const auto soundFrom = static_cast<juce::int64>(source.ideal);
        source.clocks(2, 120.0, 120.0, -1);
        source.message({c.resume});
        source.clocks(24 * 4, 120.0, 120.0, 0);

        run.play(source, 0.0);
        // Some seven seconds of blocks: a flood must not take the audio thread's time.
        EXPECT_LT(run.processingMs, 500.0) << c.what;
        EXPECT_TRUE(std::all_of(run.hits.begin(), run.hits.end(), [&](const Hit& h) { return h.frame >= soundFrom; }))
            << c.what << ": a hit before the sound clock";
        expectOnTheSongsGrid(hitsFrom(run.hits, soundFrom), source, 1.0, c.what);
        expectEveryEighthPlayed(run.hits, source, 0, 24 * 3, c.what);
        expectNoAudioThreadFaults(run.processor, c.what);
    }
}

TEST(MidiClock, ContinueWithoutASongPositionStartsFromTheSongsStart)
{
    ClockFollowing run;
    run.processor.setAutoKick(true);
    ClockSource source(run.rate);
    source.clocks(8, 120.0, 120.0, -1);
    source.message({continueByte});
    source.clocks(24 * 4, 120.0, 120.0, 0);
    run.play(source, 0.0);
    ASSERT_FALSE(run.hits.empty());
    EXPECT_EQ(placementOf(run.hits.front(), source).songClock, 0);
    expectOnTheSongsGrid(run.hits, source, 1.0, "Continue from the start");
}

TEST(MidiClock, ClockMessagesLeaveTheBlockBeforeItsNotesAreRead)
{
    // With the MIDI output played by the MIDI thread, the block's MIDI passes as the filter and
    // the bass follower leave it: the notes are there, the clock messages are not, and the
    // host's buffer kept its storage.
    ClockFollowing run;
    run.processor.setSyncSource(SyncSource::internal);
    run.processor.setDrumKit(BattoAudioProcessor::kitMidiOut);
    run.processor.start();
    run.midi.clear();
    const juce::uint8 clock[] = {clockByte}, spp[] = {0xF2, 0x20, 0x00}, sensing[] = {0xFE};
    run.midi.addEvent(noteOn(60, 100), 3);
    run.midi.addEvent(clock, 1, 3);
    run.midi.addEvent(spp, 3, 10);
    run.midi.addEvent(sensing, 1, 11);
    run.midi.addEvent(noteOn(62, 90), 200);
    const auto* storage = run.midi.data.begin();
    run.processor.processBlock(run.audio, run.midi);
    EXPECT_EQ(eventsOf(run.midi), (std::vector<Event>{{3, {0x90, 60, 100}}, {200, {0x90, 62, 90}}}));
    EXPECT_EQ(run.midi.data.begin(), storage);
    expectNoAudioThreadFaults(run.processor, "clock messages removed");
}

TEST(MidiClock, AHostsCountInStartsTheDrummerOnTheSongsFirstBeat)
{
    // A host that plays a count-in reports positions before the song's start; the block in
    // which the song starts starts the drummer on its first beat's sample, never before it (the
    // rule that places a clock's first beat inside a block).
    WatchedProcessor processor;
    processor.setDrumKit(BattoAudioProcessor::kitExternalPlugin);
    processor.setAutoKick(true);
    BlockDriver driver(processor, 44100.0, 512);
    driver.playHead.answers = true;
    driver.playHead.play(120.0, -0.3); // the song starts 6615 samples from now
    std::vector<Hit> hits;
    for (int block = 0; block < 100; ++block)
        for (const auto& event : eventsOf(driver.run(512)))
            hits.push_back({block * 512 + event.position, event.bytes[1]});
    ASSERT_FALSE(hits.empty());
    EXPECT_EQ(hits.front().frame, 6615);
    EXPECT_TRUE(std::any_of(hits.begin(), hits.end(), [](const Hit& h) { return h.frame == 6615 && h.note == 36; }))
        << "the downbeat's kick";
    expectNoAudioThreadFaults(processor, "count-in");
}

TEST(MidiClock, TheGridSettlesWithinABeatOfATempoChange)
{
    // The follower's own position, block by block (64 frames), against the song's position on
    // the clock's ideal grid: how long after 120 -> 140 bpm (a step, a ramp over two beats) it
    // stays within a frame, and how far it strays until then.
    struct Case
    {
        const char* what;
        int rampClocks;
    };
    for (const auto& c : {Case{"step", 1}, Case{"ramp over two beats", 48}})
    {
        constexpr double rate = 48000.0;
        constexpr int block = 64;
        ClockSource source(rate);
        source.message({startByte}, 100.0);
        source.clocks(24 * 8, 120.0, 120.0, 0);
        source.clocks(c.rampClocks, 120.0, 140.0, 24 * 8);
        const double changed = source.ideal;
        source.clocks(24 * 4, 140.0, 140.0, 24 * 8 + c.rampClocks);

        MidiClockFollower follower;
        follower.prepare(rate);
        juce::MidiBuffer midi;
        auto next = source.schedule.begin();
        double lastOff = changed, worst = 0.0;
        const auto& clocks = source.clockList;
        for (juce::int64 now = 0; now < clocks.back().frame; now += block)
        {
            midi.clear();
            for (; next != source.schedule.end() && next->first < now + block; ++next)
                midi.addEvent(next->second.data(), static_cast<int>(next->second.size()), static_cast<int>(next->first - now));
            follower.takeBlock(midi, block);
            const auto after = std::find_if(clocks.begin(), clocks.end(), [&](const auto& k) { return k.ideal > now; });
            if (after == clocks.begin() || after == clocks.end() || now < clocks.front().frame + 2 * block)
                continue;
            const auto& before = *(after - 1);
            const double period = after->ideal - before.ideal;
            const double truePpq = (before.songClock + (now - before.ideal) / period) / 24.0;
            const double off = (*follower.getPosition()->getPpqPosition() - truePpq) * 24.0 * period;
            if (now >= clocks[24 * 8].ideal - period && std::abs(off) > 1.0)
            {
                lastOff = static_cast<double>(now);
                worst = juce::jmax(worst, std::abs(off));
            }
        }
        const double settledAfter = juce::jmax(0.0, lastOff - changed);
        std::cout << "[ measured ] the grid after 120 -> 140 bpm, " << c.what << ": within a frame " << settledAfter
                  << " frames after the change ended, at most " << worst << " frames off before\n";
        EXPECT_LT(settledAfter, 60.0 * rate / 140.0) << c.what; // within a beat
    }
}
