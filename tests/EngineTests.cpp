// The drummer's decisions, driven through a host on a millisecond clock that records
// every host-interface call.

#include "MillisecondHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace
{
using Call = MillisecondHost::Call;
using Note = MillisecondHost::Note;

struct Hit
{
    Batto::Percu voice;
    int velocity;
    int time;
    bool operator==(const Hit& other) const
    {
        return voice == other.voice && velocity == other.velocity && time == other.time;
    }
};

std::ostream& operator<<(std::ostream& out, const Hit& hit)
{
    return out << "{voice " << hit.voice << ", velocity " << hit.velocity << ", at " << hit.time << "}";
}

std::vector<Hit> hitsOf(const MillisecondHost& host, int from = 0, int to = 1 << 30)
{
    std::vector<Hit> hits;
    for (const Call& call : host.calls)
        if (call.name == "outputJouer" && call.time >= from && call.time < to)
            hits.push_back({static_cast<Batto::Percu>(call.a), call.b, call.time});
    return hits;
}

std::vector<Hit> hitsOfVoice(const MillisecondHost& host, Batto::Percu voice)
{
    std::vector<Hit> hits;
    for (const Hit& hit : hitsOf(host))
        if (hit.voice == voice)
            hits.push_back(hit);
    return hits;
}

std::vector<Call> callsNamed(const MillisecondHost& host, std::string_view name)
{
    std::vector<Call> found;
    for (const Call& call : host.calls)
        if (call.name == name)
            found.push_back(call);
    return found;
}

bool sounds(const MillisecondHost& host, Batto::Percu voice, int time)
{
    for (const Hit& hit : hitsOf(host, time, time + 1))
        if (hit.voice == voice)
            return true;
    return false;
}

// A host at 120 beats per minute with eighths: a beat lasts 500 ms, a subdivision 250 ms,
// bar b starts at 2000 × b.
struct Eighths120 : ::testing::Test
{
    MillisecondHost host{120.0, 2};
    void SetUp() override
    {
        host.start();
    }
    static int at(int bar, int position)
    {
        return bar * 2000 + position * 500 / 8;
    }
};
} // namespace

//==============================================================================
// The clock

TEST(Clock, dueTimesFollowTheFourStepCycle)
{
    struct Case
    {
        double tempo;
        int subdivisions;
        std::vector<int> expected; // from the early window of the instant due at 1000
    };
    const Case cases[] = {
        {120.0, 2, {960, 1000, 1039, 1062, 1085, 1125, 1206, 1208, 1210}},
        // 105 ms early window, 108 ms late window after the beat, 271 ms after the half beat
        {60.0, 1, {895, 1000, 1108, 1250, 1395, 1500, 1771, 1833, 1895}},
    };
    for (const Case& c : cases)
    {
        MillisecondHost host(c.tempo, c.subdivisions);
        host.start();
        host.run({}, 2001);
        const auto first = std::find(host.dueTimes.begin(), host.dueTimes.end(), c.expected.front());
        ASSERT_NE(first, host.dueTimes.end()) << c.tempo;
        ASSERT_GE(host.dueTimes.end() - first, static_cast<long>(c.expected.size()));
        EXPECT_EQ(std::vector<int>(first, first + static_cast<long>(c.expected.size())), c.expected)
            << c.tempo;
    }
}

TEST(Clock, positionInBarCountsEighthsOfABeat)
{
    struct Case
    {
        int subdivisions, beat, division, half, position;
    };
    const Case cases[] = {
        {1, 1, 0, 1, 12}, {2, 0, 1, 0, 4},  {4, 3, 3, 0, 30}, {4, 3, 3, 1, 31},
        {1, 0, 0, 0, 0},  {2, 3, 1, 1, 30}, {4, 2, 0, 1, 17}, {2, 2, 0, 0, 16},
    };
    for (const Case& c : cases)
    {
        MillisecondHost host(120.0, c.subdivisions);
        EXPECT_EQ(host.positionInBar({5, c.beat, c.division, c.half, 0}), c.position)
            << c.subdivisions << "/" << c.beat << "/" << c.division << "/" << c.half;
    }
}

TEST_F(Eighths120, aFreshPerformancePlaysHiHatClickAndKickOnTheFirstInstantWithoutRide)
{
    host.run({}, 1);
    EXPECT_EQ(hitsOf(host), (std::vector<Hit>{{Batto::CHH, 104, 0}, {Batto::Kick, 104, 0}}));
    const auto clicks = callsNamed(host, "JouerMetronome");
#if BATTO_PLUGIN_BUILD
    EXPECT_TRUE(clicks.empty()); // the plug-in's engine has no metronome
#else
    ASSERT_EQ(clicks.size(), 1u);
    EXPECT_EQ(clicks[0].a, 1);
#endif
}

TEST_F(Eighths120, theAutomaticGrooveOfOneBar)
{
    host.run({}, 2000);
    // closed hi-hat on every eighth (softer off-beats: 0.625 of 104), kick on 1 and 3, snare on 2 and 4
    const std::vector<Hit> expected = {
        {Batto::CHH, 104, 0},    {Batto::Kick, 104, 0},     {Batto::CHH, 65, 250},
        {Batto::CHH, 104, 500},  {Batto::Snare, 104, 500},  {Batto::CHH, 65, 750},
        {Batto::CHH, 104, 1000}, {Batto::Kick, 104, 1000},  {Batto::CHH, 65, 1250},
        {Batto::CHH, 104, 1500}, {Batto::Snare, 104, 1500}, {Batto::CHH, 65, 1750},
    };
    EXPECT_EQ(hitsOf(host), expected);
    std::vector<int> accents;
    for (const Call& click : callsNamed(host, "JouerMetronome"))
        accents.push_back(click.a);
    EXPECT_EQ(accents, BATTO_PLUGIN_BUILD ? std::vector<int>{} : (std::vector<int>{1, 0, 0, 0}));
}

TEST_F(Eighths120, aSilentPlayerHearsTwoBarPhrasesFramedByOpenHiHat)
{
    host.run({}, at(4, 0) + 1);
    // open hi-hat instead of the closed one at the last eighth of bars 1 and 3
    for (int bar : {1, 3})
    {
        EXPECT_TRUE(sounds(host, Batto::OHH, at(bar, 28))) << bar;
        EXPECT_FALSE(sounds(host, Batto::CHH, at(bar, 28))) << bar;
    }
    EXPECT_FALSE(sounds(host, Batto::OHH, at(0, 28)));
    EXPECT_FALSE(sounds(host, Batto::OHH, at(2, 28)));
    // the phrase moves to bar 2 only after that instant's ride test, so no ride sounds
    EXPECT_TRUE(hitsOfVoice(host, Batto::Ride).empty());
    EXPECT_EQ(host.phraseFirstBar, 4);
}

TEST_F(Eighths120, anOpenHiHatSilencesTheClosedOneAtTheSameInstant)
{
    host.run({}, 1);
    host.instantReached = true;
    host.currentInstant = {7, 0, 0, 0, 0};
    host.calls.clear();
    host.jouer(Batto::OHH, 80);
    host.jouer(Batto::CHH, 100);
    EXPECT_EQ(hitsOf(host), (std::vector<Hit>{{Batto::OHH, 80, host.now}}));
}

TEST(Clock, aSubdivisionChangeWaitsForTheNextBeat)
{
    MillisecondHost host(120.0, 2);
    host.start();
    host.run({}, 600); // into beat 2
    host.pendingDivisionDuTemps = 4;
    host.run({}, 999);
    EXPECT_EQ(host.divisionDuTemps, 2);
    EXPECT_DOUBLE_EQ(host.divisionDuration, 250.0);
    host.run({}, 1001);
    EXPECT_EQ(host.divisionDuTemps, 4);
    EXPECT_DOUBLE_EQ(host.divisionDuration, 125.0);
    // from beat 3 on the hi-hat plays sixteenths
    EXPECT_TRUE(sounds(host, Batto::CHH, 1000));
    host.run({}, 1200);
    EXPECT_TRUE(sounds(host, Batto::CHH, 1124)); // 1000 + 62.5 truncated, + 62.5 truncated
    EXPECT_FALSE(sounds(host, Batto::CHH, 1062));
}

TEST(Clock, lateCallsCatchUpStepByStep)
{
    MillisecondHost onTime(120.0, 2);
    onTime.start();
    onTime.run({{1230, 100}, {1760, 60}}, 4000);

    // a host that calls 30 ms late, and always gets a due time it has already passed
    MillisecondHost late(120.0, 2);
    late.start();
    std::vector<int> dueTimes;
    for (int clock = 0; clock < 4000; clock += 30)
    {
        for (int due = late.getTimeOfNextSomethingToDo(0); due <= clock;
             due = late.getTimeOfNextSomethingToDo(0))
        {
            for (const Note& note : {Note{1230, 100}, Note{1760, 60}})
                if (note.time >= late.now && note.time < due)
                {
                    late.now = note.time;
                    late.noteOnMidiIn(note.velocity, note.time, 0);
                }
            dueTimes.push_back(due);
            late.now = due;
            late.doSomething();
        }
    }
    EXPECT_EQ(dueTimes, onTime.dueTimes);
    EXPECT_EQ(hitsOf(late), hitsOf(onTime));
}

TEST(Clock, theDynamicLevelFollowsThePlayerButFreezesAt200WithSixteenths)
{
    std::vector<Note> softNotes;
    for (int i = 0; i < 16; ++i)
        softNotes.push_back({1000 + i * 300, 30});

    MillisecondHost eighths(120.0, 2);
    eighths.start();
    eighths.run(softNotes, 6000);
    EXPECT_LT(eighths.dynamicLevel, 40);

    MillisecondHost fast(200.0, 4);
    fast.start();
    fast.run(softNotes, 6000);
    EXPECT_EQ(fast.dynamicLevel, 90);
}

//==============================================================================
// Thresholds

TEST(Thresholds, velociteCritiqueWorkedValues)
{
    struct Case
    {
        double p1, p2;
        int level, kind;
        int threshold;     // velociteCritique(kind, -1)
        int firstCritical; // the lowest velocity that counts as critical; 0: none
    };
    const Case cases[] = {
        {0.5, 0.5, 90, 4, 112, 113}, {0.5, 0.5, 90, 3, 105, 106}, {0.5, 0.5, 90, 1, 90, 91},
        {0.5, 0.5, 64, 4, 104, 105}, {1.0, 1.0, 90, 4, 96, 97},   {0.0, 0.0, 90, 4, 128, 0},
    };
    for (const Case& c : cases)
    {
        MillisecondHost host(120.0, 2);
        host.velocitySensitivity = c.p1;
        host.dynamicSensitivity = c.p2;
        host.dynamicLevel = c.level;
        EXPECT_EQ(host.velociteCritique(c.kind, -1), c.threshold) << c.kind << " at level " << c.level;
        int firstCritical = 0;
        for (int velocity = 127; velocity >= 1; --velocity)
            if (host.velociteCritique(c.kind, velocity) == 1)
                firstCritical = velocity;
        EXPECT_EQ(firstCritical, c.firstCritical) << c.kind << " at level " << c.level;
    }
}

TEST(Thresholds, eachCrossedThresholdIsAnnounced)
{
    MillisecondHost host(120.0, 2);
    host.dynamicLevel = 90;
    // kind 4 at 0.5/0.5: velocity threshold 115.5, dynamic 119, combined 112.3
    struct Case
    {
        int velocity;
        std::vector<int> kinds;
        int critical;
    };
    const Case cases[] = {{112, {}, 0}, {113, {2}, 1}, {116, {0}, 1}, {120, {0, 1}, 1}};
    for (const Case& c : cases)
    {
        host.calls.clear();
        EXPECT_EQ(host.velociteCritique(4, c.velocity), c.critical) << c.velocity;
        std::vector<int> kinds;
        for (const Call& call : callsNamed(host, "displaySpecialevent"))
            kinds.push_back(call.a);
        EXPECT_EQ(kinds, c.kinds) << c.velocity;
    }
}

//==============================================================================
// What a note plays

TEST_F(Eighths120, accentCrashesScaleAboveTheThresholdAndAlternate)
{
    // loud notes at the middle of beat 2 of three bars: a kick and a crash (threshold 112)
    host.run({{at(0, 12), 113}, {at(1, 12), 120}, {at(2, 12), 127}}, at(3, 0));
    for (int bar = 0; bar < 3; ++bar)
        EXPECT_TRUE(sounds(host, Batto::Kick, at(bar, 12))) << bar;
    EXPECT_EQ(hitsOfVoice(host, Batto::Crash),
              (std::vector<Hit>{{Batto::Crash, 63, at(0, 12)}, {Batto::Crash, 122, at(2, 12)}}));
    EXPECT_EQ(hitsOfVoice(host, Batto::Crash2), (std::vector<Hit>{{Batto::Crash2, 92, at(1, 12)}}));
}

TEST(NoteOn, thePositionTableDecidesKickSnareAndCrash)
{
    struct Case
    {
        const char* what;
        int bar, position, velocity;
        bool autoSnare;
        std::vector<Hit> expected; // hits at the note's time (after the automatic part)
        int noteBefore = -1;       // position of an earlier note in the bar before, if any
        int velocityBefore = 0;
    };
    // dynamic level 90: D = 104; a note of velocity v > 90 plays M = v / 2 + 59
    const Case cases[] = {
        {"beat 1, accent", 1, 0, 112, true, {{Batto::Crash, 79, 0}}},
        {"beat 1, no accent", 1, 0, 105, true, {}},
        {"middle of beat 2, accent", 0, 12, 120, true, {{Batto::Kick, 104, 0}, {Batto::Crash, 92, 0}}},
        {"middle of beat 2, no accent", 0, 12, 100, true, {{Batto::Kick, 104, 0}}},
        {"beat 2 backbeat", 0, 8, 70, false, {{Batto::Snare, 104, 0}}},
        {"beat 4 backbeat", 0, 24, 70, false, {{Batto::Snare, 104, 0}}},
        {"off-beat eighth", 0, 4, 70, true, {{Batto::Kick, 104, 0}}},
        {"loud off-beat eighth", 0, 20, 124, true, {{Batto::Kick, 121, 0}}},
        {"pick-up at 30, light accent", 0, 30, 100, true, {{Batto::Snare, 104, 0}}},
        {"pick-up at 30, soft", 0, 30, 60, true, {{Batto::Kick, 104, 0}}},
        {"sixteenth after a pick-up snare", 1, 2, 100, true, {{Batto::Snare, 104, 0}}, 30, 100},
        {"sixteenth after a pick-up kick", 1, 2, 100, true, {{Batto::Kick, 109, 0}}, 30, 60},
        {"sixteenth with no pick-up", 1, 2, 100, true, {{Batto::Kick, 109, 0}}},
        {"last sixteenth of beat 1, accent",
         0,
         6,
         122,
         true,
         {{Batto::Snare, 120, 0}, {Batto::Crash, 101, 0}}},
        {"last sixteenth of beat 1, soft", 0, 6, 80, true, {{Batto::Kick, 104, 0}}},
    };
    for (const Case& c : cases)
    {
        MillisecondHost host(120.0, 4); // sixteenths, so that every position has an instant
        host.autoSnare = c.autoSnare;
        host.start();
        const int time = c.bar * 2000 + c.position * 500 / 8;
        std::vector<Note> notes;
        if (c.noteBefore >= 0)
            notes.push_back({(c.bar - 1) * 2000 + c.noteBefore * 500 / 8, c.velocityBefore});
        host.run(notes, time);
        host.dynamicLevel = 90;
        std::fill(std::begin(host.noteVelocityHistory), std::end(host.noteVelocityHistory), 90);
        host.run({}, time + 1); // the automatic part of the instant
        const size_t automatic = host.calls.size();
        host.noteOnMidiIn(c.velocity, time, 0);
        std::vector<Hit> hits;
        for (size_t i = automatic; i < host.calls.size(); ++i)
            if (host.calls[i].name == "outputJouer")
                hits.push_back({static_cast<Batto::Percu>(host.calls[i].a), host.calls[i].b, 0});
        EXPECT_EQ(hits, c.expected) << c.what;
    }
}

TEST_F(Eighths120, anEarlyNoteWaitsForItsInstantAndSoundsOnce)
{
    host.run({}, at(1, 16) - 30);
    const size_t hitsBefore = hitsOf(host).size();
    host.now = at(1, 16) - 20;
    host.noteOnMidiIn(70, host.now, 0); // 20 ms before beat 3, in its early window
    EXPECT_EQ(hitsOf(host).size(), hitsBefore);
    EXPECT_EQ(host.pendingVelocity[Batto::Kick], 104);

    host.run({}, at(1, 16) + 100);
    const auto kicks = hitsOfVoice(host, Batto::Kick);
    // one kick at the grid time: the automatic kick of the instant adds nothing
    EXPECT_EQ(std::count_if(kicks.begin(), kicks.end(),
                            [&](const Hit& hit)
                            {
                                return hit.time == at(1, 16);
                            }),
              1);
    EXPECT_EQ(host.pendingVelocity[Batto::Kick], 0);
}

TEST_F(Eighths120, thePlayersHitsReplaceTheAutomaticOnesThatFollow)
{
    // a crash at the middle of beat 2 rings over beat 3 without a hi-hat, and its kick
    // replaces the kick of beat 3; a kick on the last eighth replaces the next downbeat's
    host.run({{at(0, 12), 120}, {at(0, 28), 80}}, at(1, 0) + 1);
    EXPECT_TRUE(sounds(host, Batto::Crash, at(0, 12)));
    EXPECT_FALSE(sounds(host, Batto::CHH, at(0, 16)));
    EXPECT_FALSE(sounds(host, Batto::Kick, at(0, 16)));
    EXPECT_TRUE(sounds(host, Batto::Kick, at(0, 28)));
    EXPECT_FALSE(sounds(host, Batto::Kick, at(1, 0)));
    EXPECT_TRUE(sounds(host, Batto::CHH, at(1, 0)));
}
