// Fills, crash rolls, and the engine's real-time behaviour.

#include "MillisecondHost.h"
#include "AudioThreadWatch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

namespace
{
using Call = MillisecondHost::Call;
using Note = MillisecondHost::Note;
using Voices = std::multiset<int>;

// 120 beats per minute with eighths: bar b, position p (eighths of a beat) is at
// 2000 × b + 62.5 × p ms.
int at(int bar, int position)
{
    return bar * 2000 + position * 500 / 8;
}

Voices voicesAt(const MillisecondHost& host, int time, bool withHiHat = false)
{
    Voices voices;
    for (const Call& call : host.calls)
        if (call.name == "outputJouer" && call.time == time && (withHiHat || call.a != Batto::CHH))
            voices.insert(call.a);
    return voices;
}

std::vector<std::pair<int, int>> crescendo(const MillisecondHost& host)
{
    std::vector<std::pair<int, int>> shown;
    for (const Call& call : host.calls)
        if (call.name == "displayBreakCreshendo")
            shown.push_back({call.time, call.a});
    return shown;
}

int count(const MillisecondHost& host, std::string_view name)
{
    int n = 0;
    for (const Call& call : host.calls)
        n += call.name == name;
    return n;
}

struct Fill : ::testing::Test
{
    MillisecondHost host{120.0, 2};
    void SetUp() override
    {
        host.start();
    }
};
} // namespace

TEST_F(Fill, startedEarlyAtBeatTwoCountsDownToTheBarLineAndEndsWithARide)
{
    // a strong note just before beat 2 of the phrase's second bar
    host.run({{at(1, 8) - 10, 127}}, at(2, 0) + 1);

    EXPECT_EQ(host.breakFirstBar, 1);
    EXPECT_EQ(host.breakStartPosition, 8);
    EXPECT_EQ(crescendo(host), (std::vector<std::pair<int, int>>{{at(1, 8), 6},
                                                                 {at(1, 12), 5},
                                                                 {at(1, 16), 4},
                                                                 {at(1, 20), 3},
                                                                 {at(1, 24), 2},
                                                                 {at(1, 28), 1},
                                                                 {at(2, 0), 0}}));
    // the note's tom and kick wait for the instant and sound on the grid
    EXPECT_EQ(voicesAt(host, at(1, 8) - 10), Voices{});
    EXPECT_EQ(voicesAt(host, at(1, 8)), (Voices{Batto::Kick, Batto::HTom}));
    EXPECT_EQ(voicesAt(host, at(2, 0)), (Voices{Batto::Kick, Batto::Ride}));
    EXPECT_EQ(host.breakState, 0);
    EXPECT_EQ(host.phraseFirstBar, 2);
}

TEST_F(Fill, startedOnTimeAtPosition20PlaysTomKickThenKicksInsteadOfTheBackbeat)
{
    host.run({{at(1, 20), 127}}, at(2, 0) + 1);

    EXPECT_EQ(voicesAt(host, at(1, 20)), (Voices{Batto::Kick, Batto::MTom}));
    EXPECT_EQ(voicesAt(host, at(1, 24)), Voices{Batto::Kick}); // no snare on beat 4 during a fill
    EXPECT_EQ(crescendo(host),
              (std::vector<std::pair<int, int>>{{at(1, 24), 2}, {at(1, 28), 1}, {at(2, 0), 0}}));
    EXPECT_EQ(voicesAt(host, at(2, 0)), (Voices{Batto::Kick, Batto::Ride}));
}

TEST_F(Fill, aFillNeverStartsInThePhrasesFirstBarOrOnAnAccentPosition)
{
    // Checked right after each note: a fill started by the first would be over by the second.
    for (const int time : {at(0, 20), at(1, 12)})
    {
        host.run({{time, 127}}, time + 1);
        EXPECT_EQ(host.breakState, 0) << time;
    }
}

TEST_F(Fill, aRegularPulseRollsOnTheSnareWithKicksAndFallsToTheToms)
{
    std::vector<Note> notes = {{at(1, 8) - 10, 127}};
    for (int position = 12; position <= 28; position += 4)
        notes.push_back({at(1, position) + 10, 100});
    host.run(notes, at(2, 0));

    EXPECT_EQ(host.rollNotesPerDivision, 1);
    EXPECT_EQ(host.rollIsRegular, 1);
    const Voices snareAndKick{Batto::Snare, Batto::Kick};
    for (int position : {12, 16, 20})
        EXPECT_EQ(voicesAt(host, at(1, position) + 10), snareAndKick) << position;
    // on beat 4 the fill's automatic kick was first, at the grid time
    EXPECT_EQ(voicesAt(host, at(1, 24)), Voices{Batto::Kick});
    EXPECT_EQ(voicesAt(host, at(1, 24) + 10), Voices{Batto::Snare});
    EXPECT_EQ(voicesAt(host, at(1, 28) + 10), (Voices{Batto::LTom, Batto::Kick}));
}

TEST_F(Fill, oneIntervalOffTheSubdivisionTurnsTheRestIntoToms)
{
    // the third note comes 26 ms later than one subdivision after the second
    host.run({{at(1, 8) - 10, 127},
              {at(1, 12) + 10, 100},
              {at(1, 16) + 36, 100},
              {at(1, 20) + 10, 100},
              {at(1, 24) + 10, 100},
              {at(1, 28) + 10, 100}},
             at(2, 0));

    EXPECT_EQ(host.rollIsRegular, 0);
    EXPECT_EQ(voicesAt(host, at(1, 16) + 36), Voices{Batto::HTom});
    EXPECT_EQ(voicesAt(host, at(1, 20) + 10), Voices{Batto::MTom});
    EXPECT_EQ(voicesAt(host, at(1, 24) + 10), Voices{Batto::Snare}); // softer than the fill's start
    EXPECT_EQ(voicesAt(host, at(1, 28) + 10), Voices{Batto::LTom});
}

TEST_F(Fill, halfSubdivisionNotesSetTwoNotesPerSubdivision)
{
    std::vector<Note> notes = {{at(1, 8) - 10, 127}};
    for (int position = 10; position <= 20; position += 2)
        notes.push_back({at(1, position) + 5, 100});
    host.run(notes, at(1, 22));

    EXPECT_EQ(host.rollNotesPerDivision, 2);
    EXPECT_EQ(host.rollIsRegular, 1);
    EXPECT_EQ(voicesAt(host, at(1, 10) + 5), Voices{Batto::Snare}); // no kick on a half
    EXPECT_EQ(voicesAt(host, at(1, 12) + 5), (Voices{Batto::Snare, Batto::Kick}));
}

TEST_F(Fill, aLoudNoteBeforeTheBarLineEndsTheFillWithACrashRoll)
{
    host.run({{at(1, 8) - 10, 127}, {at(2, 0) - 20, 100}}, at(2, 0) + 1);

    EXPECT_EQ(count(host, "displayCrashRoulement"), 1);
    EXPECT_EQ(voicesAt(host, at(2, 0) - 20), Voices{}); // pending until the bar line
    // crash and kick of the roll, and the ride of the phrase that the crash opened
    EXPECT_EQ(voicesAt(host, at(2, 0)), (Voices{Batto::Kick, Batto::Crash, Batto::Ride}));
    EXPECT_EQ(crescendo(host).back().second, 1); // no 0: the crash ended the fill
    EXPECT_EQ(host.phraseFirstBar, 2);
}

TEST_F(Fill, aStrongNoteOnTheLastEighthAnticipatesTheNextBar)
{
    host.run({{at(1, 8) - 10, 127}, {at(1, 28), 125}}, at(2, 0) + 1);

    EXPECT_EQ(count(host, "displayCrashRoulement"), 1);
    // the phrase's open hi-hat sounded as the instant was reached; an irregular fill adds no kick
    EXPECT_EQ(voicesAt(host, at(1, 28)), (Voices{Batto::OHH, Batto::Crash}));
    EXPECT_EQ(host.phraseFirstBar, 2);
    EXPECT_EQ(voicesAt(host, at(2, 0)), (Voices{Batto::Kick, Batto::Ride}));
}

TEST(NoteOn, notesBetweenWindowsChangeNothing)
{
    MillisecondHost host(120.0, 2);
    host.start();
    host.run({}, 1050);
    ASSERT_FALSE(host.noteWindowOpen);
    const auto before = host.calls.size();
    host.noteOnMidiIn(127, 1050, 0);
    ASSERT_EQ(host.calls.size(), before + 1);
    EXPECT_EQ(host.calls.back().name, "displayMidiIn");
    EXPECT_EQ(host.calls.back().a, 4 | 1);
    EXPECT_EQ(host.noteVelocityHistory[0], 90);
}

TEST(RealTime, theEngineNeitherAllocatesNorLocks)
{
    MillisecondHost host(120.0, 2);
    std::vector<Note> notes;
    for (int i = 0; i < 200; ++i)
        notes.push_back({i * 137 % 16000, 40 + i * 7 % 88});
    std::sort(notes.begin(), notes.end(),
              [](const Note& a, const Note& b)
              {
                  return a.time < b.time;
              });
    host.calls.reserve(100000);
    host.dueTimes.reserve(100000);

    AudioThreadWatch guard;
    host.start();
    host.run(notes, 16000);
    host.pendingDivisionDuTemps = 4;
    host.run({}, 20000);
    EXPECT_EQ(guard.allocations(), 0);
    EXPECT_EQ(guard.locks(), 0);
}
