// Performances whose tempo changes: the drummer follows the file's tempo map through the
// host's transport, --tempo forces one tempo with every note on its beat, and a tempo the
// drummer cannot play is named exactly.

#include "RenderTestSupport.h"

#include "TempoMap.h"

#include <cmath>

namespace
{
// 120 bpm for two bars, 97 for two, then 150: the changes fall inside audio blocks.
const std::vector<TempoAt> changingTempo{{0, 120.0}, {8 * 960, 97.0}, {16 * 960, 150.0}};

TempoMap mapOf(const std::vector<TempoAt>& tempos)
{
    std::vector<TempoChange> changes;
    for (const TempoAt& tempo : tempos) // as the file holds it: whole microseconds a beat
        changes.push_back({tempo.tick / 960.0, 60.0 / (juce::roundToInt(60'000'000.0 / tempo.bpm) * 1e-6)});
    return TempoMap(changes);
}

bool isCymbal(int note)
{
    return note == 42 || note == 46 || note == 51; // closed and open hi-hat, ride
}
} // namespace

TEST(TempoMap, BeatsAndSecondsFollowEachTempoFromItsBeatOn)
{
    const TempoMap map({{4.0, 60.0}, {8.0, 240.0}, {8.0, 180.0}}); // 120 before the first change
    struct Case
    {
        double beat, seconds, tempo;
    };
    for (const Case c : {Case{0.0, 0.0, 120.0}, Case{2.0, 1.0, 120.0}, Case{4.0, 2.0, 60.0},
                         Case{6.0, 4.0, 60.0}, Case{8.0, 6.0, 180.0}, Case{11.0, 7.0, 180.0}})
    {
        EXPECT_DOUBLE_EQ(map.secondsAt(c.beat), c.seconds) << c.beat;
        EXPECT_DOUBLE_EQ(map.beatsAt(c.seconds), c.beat) << c.beat;
        EXPECT_EQ(map.tempoAtBeat(c.beat), c.tempo) << c.beat;
    }
    EXPECT_EQ(map.slowest(), 60.0);
    EXPECT_EQ(map.fastest(), 180.0);
    EXPECT_TRUE(TempoMap(97.0).isConstant());
}

TEST(RenderTempoMap, TheDrummerFollowsTheFilesTempoMapAndTheMidiFileKeepsIt)
{
    TemporaryFolder temp;
    writeMidiFile(temp.file("map.mid"), changingTempo, {{23 * 960, 70}});
    const RunResult run =
        runRender({"map.mid", "--auto-kick", "off", "--auto-snare", "off", "--out", "out"}, temp.folder);
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_NE(run.out.find("at 97..150 bpm (tempo map)"), std::string::npos) << run.out;

    // A cymbal on every eighth of the map, within a sample (the grid's times are truncated).
    const TempoMap map = mapOf(changingTempo);
    const auto rows = readCsvRows(temp.file("out/map.csv"));
    for (int eighth = 0; eighth < 48; ++eighth)
    {
        const long long expected = std::llround(map.secondsAt(eighth / 2.0) * 48000.0);
        long long nearest = -1;
        for (const CsvRow& row : rows)
            if (isCymbal(row.note)
                && (nearest < 0 || std::llabs(row.sample - expected) < std::llabs(nearest - expected)))
                nearest = row.sample;
        EXPECT_LE(std::llabs(nearest - expected), 1) << "eighth " << eighth;
    }

    juce::FileInputStream stream(temp.file("out/map.mid"));
    juce::MidiFile written;
    ASSERT_TRUE(written.readFrom(stream));
    juce::MidiMessageSequence tempos;
    written.findAllTempoEvents(tempos);
    ASSERT_EQ(tempos.getNumEvents(), 3);
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ(tempos.getEventPointer(i)->message.getTimeStamp(),
                  changingTempo[static_cast<size_t>(i)].tick);
        EXPECT_DOUBLE_EQ(tempos.getEventPointer(i)->message.getTempoSecondsPerQuarterNote(),
                         juce::roundToInt(60'000'000.0 / changingTempo[static_cast<size_t>(i)].bpm) * 1e-6);
    }
}

TEST(RenderTempoMap, AForcedTempoKeepsEveryNoteOnItsBeat)
{
    TemporaryFolder temp;
    writeMidiFile(temp.file("map.mid"), changingTempo, {{10 * 960, 80}, {18 * 960, 80}});
    const RunResult run =
        runRender({"map.mid", "--tempo", "100", "--auto-kick", "off", "--auto-snare", "off", "--out", "out"},
                  temp.folder);
    ASSERT_EQ(run.exitStatus, 0) << run.err;

    // Beats 10 and 18 (beat 3 of bars 3 and 5) at 100 bpm: 6 s and 10.8 s; each note's kick
    // sounds on it.
    std::vector<long long> kicks;
    for (const CsvRow& row : readCsvRows(temp.file("out/map.csv")))
        if (row.note == 36)
            kicks.push_back(row.sample);
    EXPECT_EQ(kicks, (std::vector<long long>{288000, 518400}));

    juce::FileInputStream stream(temp.file("out/map.mid"));
    juce::MidiFile written;
    ASSERT_TRUE(written.readFrom(stream));
    juce::MidiMessageSequence tempos;
    written.findAllTempoEvents(tempos);
    ASSERT_EQ(tempos.getNumEvents(), 1);
    EXPECT_DOUBLE_EQ(tempos.getEventPointer(0)->message.getTempoSecondsPerQuarterNote(), 0.6);
    std::vector<double> playerNotes;
    for (const auto* event : *written.getTrack(1))
        if (event->message.isNoteOn())
            playerNotes.push_back(event->message.getTimeStamp());
    EXPECT_EQ(playerNotes, (std::vector<double>{10 * 960, 18 * 960}));
}

TEST(RenderTempoMap, ATempoTheDrummerCannotPlayIsNamedExactly)
{
    struct Case
    {
        const char* what;
        std::vector<TempoAt> tempos;
        std::vector<std::string> options;
        int status;
        std::string named; // in the message
    };
    const Case cases[] = {
        {"just above 240",
         {{0, 240.001}},
         {},
         2,
         "tempo of 240.00096000384002 bpm is outside 30..240: choose one with --tempo"},
        {"just above 240, with --start button",
         {{0, 240.001}},
         {"--start", "button"},
         2,
         "240.00096000384002 bpm"},
        {"too fast from bar 3",
         {{0, 120.0}, {8 * 960, 300.0}},
         {},
         2,
         "tempo of 300 bpm at bar 3 is outside"},
        {"too fast from bar 3, with --tempo", {{0, 120.0}, {8 * 960, 300.0}}, {"--tempo", "120"}, 0, ""},
        {"too fast from bar 3, with --start button",
         {{0, 120.0}, {8 * 960, 300.0}},
         {"--start", "button"},
         0,
         ""},
        {"too fast after the render's end", {{0, 120.0}, {40 * 960, 300.0}}, {}, 0, ""},
        {"too slow", {{0, 29.5}}, {}, 2, "tempo of 29.50000442500066 bpm"},
    };
    for (const Case& c : cases)
    {
        TemporaryFolder temp;
        writeMidiFile(temp.file("take.mid"), c.tempos, {{0, 100}, {10 * 960, 90}});
        std::vector<std::string> arguments{"take.mid", "--out", "out"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const RunResult run = runRender(arguments, temp.folder);
        EXPECT_EQ(run.exitStatus, c.status) << c.what << ": " << run.err;
        if (c.status != 0)
            EXPECT_NE(run.err.find(c.named), std::string::npos) << c.what << ": " << run.err;
    }
}
