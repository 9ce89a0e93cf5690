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

TEST(Clock, theDynamicLevelStepsTowardsTheNewestAndTheOldestNote)
{
    struct Case
    {
        double tempo;
        int subdivisions;
        int level, newest, oldest;
        int after; // the level after one engine step
    };
    const Case cases[] = {
        {120.0, 2, 90, 30, 90, 87},  // step 3: falls by the step towards the newest
        {120.0, 2, 90, 89, 90, 89},  // but never past it
        {120.0, 2, 90, 127, 127, 93}, // rises towards the oldest
        {120.0, 2, 90, 127, 92, 92},
        {120.0, 2, 90, 127, 60, 90}, // a loud newest note alone does not raise it
        {120.0, 2, 90, 30, 127, 90}, // both pulls in one step
        {60.0, 1, 90, 30, 90, 78},   // step 12
        {100.0, 2, 90, 30, 90, 87},  // 750 / 200 = 3.75: step 3
        {30.0, 1, 90, 127, 127, 115}, // step 25
        {240.0, 4, 90, 30, 127, 90}, // 750 / 960 < 1: step 0
    };
    for (const Case& c : cases)
    {
        MillisecondHost host(c.tempo, c.subdivisions);
        host.start();
        host.run({}, 700);
        host.dynamicLevel = c.level;
        host.noteVelocityHistory[0] = c.newest;
        host.noteVelocityHistory[1] = host.noteVelocityHistory[2] = 90;
        host.noteVelocityHistory[3] = c.oldest;
        host.now = host.getTimeOfNextSomethingToDo(0);
        host.doSomething();
        EXPECT_EQ(host.dynamicLevel, c.after)
            << c.tempo << " bpm, " << c.subdivisions << ": " << c.level << " " << c.newest << " " << c.oldest;
    }
}

TEST(Clock, aChordCountsOnceWithItsLoudestNoteAndFourLoudInstantsRaiseTheLevel)
{
    MillisecondHost host(120.0, 2);
    host.start();
    // A chord at 1000 (70, 100, 50 within a few ms) enters the history once, as 100.
    host.run({{1000, 70}, {1003, 100}, {1006, 50}}, 1100);
    EXPECT_EQ(std::vector<int>(host.noteVelocityHistory, host.noteVelocityHistory + 4),
              (std::vector<int>{100, 90, 90, 90}));

    // Loud notes on the next instants: the level waits until the fourth is the oldest.
    host.run({{1250, 127}, {1500, 127}}, 1700);
    EXPECT_EQ(host.dynamicLevel, 90);
    host.run({{1750, 127}}, 1760);
    EXPECT_EQ(host.noteVelocityHistory[3], 100);
    const int before = host.dynamicLevel;
    host.run({}, 1900);
    EXPECT_GT(host.dynamicLevel, before);
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

// A note played at a bar position (eighths of a beat), just after its instant is reached.
struct Played
{
    int bar, position, velocity;
};

// Steps the engine until the instant at this bar and position has just been reached (its
// late window open). The grid's own times fall slightly behind the exact ones, so the
// instant is found by stepping, not by computing its time.
void reachInstantOf(MillisecondHost& host, int bar, int position)
{
    for (int step = 0; step < 100000; ++step)
    {
        if (host.instantReached && host.noteWindowOpen && host.currentInstant.bar == bar
            && host.positionInBar(host.currentInstant) == position)
            return;
        host.now = host.getTimeOfNextSomethingToDo(0);
        host.doSomething();
    }
    ADD_FAILURE() << "bar " << bar << ", position " << position << " is never reached";
}

// Plays the earlier notes, brings the drummer's level and the velocity history to 90 (so
// that the thresholds are the worked ones: kind 4 from 113, kind 3 from 106, kind 1 from
// 91), runs the automatic part of the note's instant and returns the hits of the note alone.
std::vector<Hit> hitsOfNote(MillisecondHost& host, const std::vector<Played>& before, const Played& note)
{
    for (const Played& played : before)
    {
        reachInstantOf(host, played.bar, played.position);
        host.noteOnMidiIn(played.velocity, host.now, 0);
    }
    host.dynamicLevel = 90;
    std::fill(std::begin(host.noteVelocityHistory), std::end(host.noteVelocityHistory), 90);
    reachInstantOf(host, note.bar, note.position);
    const size_t automatic = host.calls.size();
    host.noteOnMidiIn(note.velocity, host.now, 0);
    std::vector<Hit> hits;
    for (size_t i = automatic; i < host.calls.size(); ++i)
        if (host.calls[i].name == "outputJouer")
            hits.push_back({static_cast<Batto::Percu>(host.calls[i].a), host.calls[i].b, 0});
    return hits;
}

TEST(NoteOn, thePositionTableDecidesKickSnareAndCrash)
{
    struct Case
    {
        const char* what;
        Played note;
        bool autoKick, autoSnare;
        std::vector<Hit> expected; // hits of the note (after the automatic part)
        std::vector<Played> before;
    };
    // D = 104; a note of velocity v > 90 plays M = v / 2 + 59. The first crash is Crash.
    const Case cases[] = {
        {"beat 1, accent", {1, 0, 112}, true, true, {{Batto::Crash, 79, 0}}},
        {"beat 1, no accent", {1, 0, 105}, true, true, {}},
        {"middle of beat 2, accent", {0, 12, 120}, true, true, {{Batto::Kick, 104, 0}, {Batto::Crash, 92, 0}}},
        {"middle of beat 2, no accent", {0, 12, 100}, true, true, {{Batto::Kick, 104, 0}}},
        {"middle of beat 4, accent", {0, 28, 120}, true, true, {{Batto::Kick, 104, 0}, {Batto::Crash, 92, 0}}},
        {"middle of beat 4, no accent", {0, 28, 112}, true, true, {{Batto::Kick, 104, 0}}},
        {"beat 2 backbeat", {0, 8, 70}, true, false, {{Batto::Snare, 104, 0}}},
        {"beat 4 backbeat", {0, 24, 70}, true, false, {{Batto::Snare, 104, 0}}},
        {"beat 2 accent, no kick yet in the bar", {0, 8, 120}, false, false,
         {{Batto::Snare, 104, 0}, {Batto::Crash, 92, 0}}},
        {"beat 2 accent after the automatic kick", {0, 8, 120}, true, false, {{Batto::Snare, 104, 0}}},
        {"beat 2 accent after the player's kick", {0, 8, 120}, false, false, {{Batto::Snare, 104, 0}},
         {{0, 4, 70}}},
        {"beat 2 accent after a kick in the bar before", {1, 8, 120}, false, false,
         {{Batto::Snare, 104, 0}, {Batto::Crash, 92, 0}}, {{0, 4, 70}}},
        {"beat 3 accent, no crash yet in the bar", {0, 16, 120}, false, true, {{Batto::Kick, 104, 0}}},
        {"beat 3 accent after a crash in the bar", {0, 16, 120}, false, true,
         {{Batto::Kick, 104, 0}, {Batto::Crash2, 102, 0}}, {{0, 12, 120}}},
        {"beat 3 accent after a crash in the bar before", {1, 16, 120}, false, true, {{Batto::Kick, 104, 0}},
         {{0, 12, 120}}},
        {"beat 3, crash in the bar but no accent", {0, 16, 105}, false, true, {{Batto::Kick, 104, 0}},
         {{0, 12, 120}}},
        {"off-beat eighth", {0, 4, 70}, true, true, {{Batto::Kick, 104, 0}}},
        {"loud off-beat eighth", {0, 20, 124}, true, true, {{Batto::Kick, 121, 0}}},
        {"pick-up at 14, light accent", {0, 14, 100}, true, true, {{Batto::Snare, 104, 0}}},
        {"pick-up at 14, soft", {0, 14, 60}, true, true, {{Batto::Kick, 104, 0}}},
        {"pick-up at 30, light accent", {0, 30, 100}, true, true, {{Batto::Snare, 104, 0}}},
        {"pick-up at 30, soft", {0, 30, 60}, true, true, {{Batto::Kick, 104, 0}}},
        {"sixteenth after a pick-up snare", {1, 2, 100}, true, true, {{Batto::Snare, 104, 0}}, {{0, 30, 100}}},
        {"sixteenth after a pick-up kick", {1, 2, 100}, true, true, {{Batto::Kick, 109, 0}}, {{0, 30, 60}}},
        {"sixteenth with no pick-up", {1, 2, 100}, true, true, {{Batto::Kick, 109, 0}}},
        {"after beat 3, after a pick-up snare", {0, 18, 100}, true, true, {{Batto::Snare, 104, 0}},
         {{0, 14, 100}}},
        {"after beat 3, after a pick-up kick", {0, 18, 100}, true, true, {{Batto::Kick, 109, 0}},
         {{0, 14, 60}}},
        {"after beat 3, no pick-up", {0, 18, 100}, true, true, {{Batto::Kick, 109, 0}}},
        {"after beat 3, pick-up snare but soft", {0, 18, 80}, true, true, {{Batto::Kick, 104, 0}},
         {{0, 14, 100}}},
        {"last sixteenth of beat 1, accent", {0, 6, 122}, true, true,
         {{Batto::Snare, 120, 0}, {Batto::Crash, 101, 0}}},
        {"last sixteenth of beat 1, soft", {0, 6, 80}, true, true, {{Batto::Kick, 104, 0}}},
        {"last sixteenth of beat 3, accent", {0, 22, 122}, true, true,
         {{Batto::Snare, 120, 0}, {Batto::Crash, 101, 0}}},
        {"last sixteenth of beat 3, soft", {0, 22, 80}, true, true, {{Batto::Kick, 104, 0}}},
    };
    for (const Case& c : cases)
    {
        MillisecondHost host(120.0, 4); // sixteenths, so that every position has an instant
        host.autoKick = c.autoKick;
        host.autoSnare = c.autoSnare;
        host.start();
        EXPECT_EQ(hitsOfNote(host, c.before, c.note), c.expected) << c.what;
    }
}

TEST(NoteOn, aFillStartsOnlyWhereAndWhenItMay)
{
    struct Case
    {
        const char* what;
        Played note;
        int fillStart; // breakStartPosition right after the note; -1: no fill runs
        std::vector<Played> before;
        bool autoKick = true;
    };
    // Kind 4 is critical from 113; a crash off the bar line in this bar adds 10.
    const Case cases[] = {
        {"a loud note after the bar's kick", {1, 20, 113}, 20},
        {"a note under the threshold", {1, 20, 112}, -1},
        {"in the phrase's first bar", {0, 20, 127}, -1},
        {"on the first instant of a bar", {1, 0, 127}, -1},
        {"on the accent position 6", {1, 6, 127}, -1},
        {"on the accent position 12", {1, 12, 127}, -1},
        {"on the accent position 22", {1, 22, 127}, -1},
        {"on the accent position 28", {1, 28, 127}, -1},
        {"a loud note before any kick in the bar", {1, 20, 127}, -1, {}, false},
        {"while a fill runs", {1, 20, 127}, 10, {{1, 10, 127}}},
        {"10 under after a crash off the bar line", {1, 20, 103}, 20, {{1, 12, 120}}},
        {"11 under after a crash off the bar line", {1, 20, 102}, -1, {{1, 12, 120}}},
        {"10 under after a crash in the bar before", {1, 20, 103}, -1, {{0, 12, 120}}},
        {"10 under after a crash on the bar line", {1, 20, 103}, -1, {{1, 0, 112}}},
    };
    for (const Case& c : cases)
    {
        MillisecondHost host(120.0, 4);
        host.autoKick = c.autoKick;
        host.start();
        hitsOfNote(host, c.before, c.note);
        EXPECT_EQ(host.breakState == 0 ? -1 : host.breakStartPosition, c.fillStart) << c.what;
    }
}

TEST(NoteOn, aDownbeatAccentRightAfterAFillIsReportedAsACrashRoll)
{
    // The fill of bar 1 ends on its own at the bar line with a ride; an accent in the late
    // window of that bar line crashes and is shown as the fill's crash roll. A bar later it
    // is only a crash.
    for (const int bar : {2, 3})
    {
        MillisecondHost host(120.0, 4);
        host.start();
        const auto hits = hitsOfNote(host, {{1, 8, 127}}, {bar, 0, 112});
        EXPECT_EQ(hits, (std::vector<Hit>{{Batto::Crash, 79, 0}})) << bar;
        EXPECT_EQ(callsNamed(host, "displayCrashRoulement").size(), bar == 2 ? 1u : 0u) << bar;
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
