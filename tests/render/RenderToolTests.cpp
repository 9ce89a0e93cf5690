// batto-render run as a user runs it, on real files in a temporary folder.

#include "RenderTestSupport.h"

#include "Batto.h"
#include "BinaryData.h"
#include "KitSamplePlayer.h"

#include <juce_graphics/juce_graphics.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>

namespace
{
constexpr int drumStatus = 0x99;

Batto::Percu voiceOfNote(int note)
{
    for (int v = 0; v < Batto::numVoices; ++v)
        if (Batto::drumNoteByDefault[v] == note)
            return static_cast<Batto::Percu>(v);
    ADD_FAILURE() << "note " << note << " is not in the default drum map";
    return Batto::Snare;
}

juce::MidiFile readMidiFile(const juce::File& file, int& type)
{
    juce::FileInputStream stream(file);
    juce::MidiFile midiFile;
    EXPECT_TRUE(midiFile.readFrom(stream, true, &type));
    return midiFile;
}

// A performance that makes the drummer answer at once: the note comes 13 ms after the
// third beat (1 945 ticks at 120 beats per minute is 1.013 s), when its instant is reached.
constexpr int lateThirdBeatTick = 1945;
constexpr double lateThirdBeatSeconds = lateThirdBeatTick * 0.5 / 960.0;
} // namespace

TEST(RenderTool, DemoWritesAudioMidiCsvAndPicture)
{
    TemporaryFolder temp;
    const RunResult run = runRender({"--out", "demo-out"}, temp.folder);
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.err, "") << "no progress bar when stderr is not a terminal";
    EXPECT_NE(run.out.find("demo-out/demo.wav"), std::string::npos) << run.out;

    // 17 bars at 100 bpm and 48 000 Hz, in whole 512-sample blocks, stereo 24-bit, not silent.
    const WavContents wav = readWav(temp.file("demo-out/demo.wav"));
    EXPECT_EQ(wav.sampleRate, 48000.0);
    EXPECT_EQ(wav.bitsPerSample, 24);
    EXPECT_EQ(wav.audio.getNumChannels(), 2);
    EXPECT_EQ(wav.audio.getNumSamples(), 1958400);
    // At the default volume (gain 0.25) the kit's hits peak around -18 dBFS.
    EXPECT_GT(wav.audio.getRMSLevel(0, 0, wav.audio.getNumSamples()), 0.005f);
    EXPECT_GT(wav.audio.getMagnitude(1, 0, wav.audio.getNumSamples()), 0.05f);

    const juce::String csv = temp.file("demo-out/demo.csv").loadFileAsString();
    EXPECT_TRUE(csv.startsWith("sample,status,note,velocity\n"));
    const auto rows = readCsvRows(temp.file("demo-out/demo.csv"));
    ASSERT_GT(rows.size(), 100u);
    std::map<Batto::Percu, int> hitsPerVoice;
    for (size_t i = 0; i < rows.size(); ++i)
    {
        EXPECT_EQ(rows[i].status, drumStatus);
        EXPECT_TRUE(i == 0 || rows[i - 1].sample <= rows[i].sample) << "time order at row " << i;
        EXPECT_LT(rows[i].sample, wav.audio.getNumSamples());
        ++hitsPerVoice[voiceOfNote(rows[i].note)];
    }
    // The demo shows accents, fills and the phrase's ride.
    EXPECT_GT(hitsPerVoice[Batto::Crash] + hitsPerVoice[Batto::Crash2], 4);
    EXPECT_GT(hitsPerVoice[Batto::HTom] + hitsPerVoice[Batto::MTom] + hitsPerVoice[Batto::LTom], 4);
    EXPECT_GT(hitsPerVoice[Batto::Ride], 0);

    // Type 1 at 960 ticks per beat: tempo track, the player, the drums with note-offs.
    int type = -1;
    const juce::MidiFile midi = readMidiFile(temp.file("demo-out/demo.mid"), type);
    EXPECT_EQ(type, 1);
    EXPECT_EQ(midi.getTimeFormat(), 960);
    ASSERT_EQ(midi.getNumTracks(), 3);
    juce::MidiMessageSequence tempos;
    midi.findAllTempoEvents(tempos);
    ASSERT_EQ(tempos.getNumEvents(), 1);
    EXPECT_NEAR(60.0 / tempos.getEventPointer(0)->message.getTempoSecondsPerQuarterNote(), 100.0, 1e-3);
    int drumNotes = 0;
    for (const auto* event : *midi.getTrack(2))
    {
        if (!event->message.isNoteOn())
            continue;
        ++drumNotes;
        EXPECT_EQ(event->message.getChannel(), 10);
        ASSERT_NE(event->noteOffObject, nullptr);
        const double length = event->noteOffObject->message.getTimeStamp() - event->message.getTimeStamp();
        EXPECT_GT(length, 0.0);
        EXPECT_LE(length, 60.0) << "a sixteenth of a beat, or up to the next hit of the note";
    }
    EXPECT_GT(drumNotes, static_cast<int>(rows.size()) * 9 / 10);
    int playerNotes = 0;
    for (const auto* event : *midi.getTrack(1))
        playerNotes += event->message.isNoteOn() ? 1 : 0;
    EXPECT_GT(playerNotes, 60);

    const juce::Image picture = juce::ImageFileFormat::loadFrom(temp.file("demo-out/demo.png"));
    EXPECT_GT(picture.getWidth(), 1000);
    EXPECT_GT(picture.getHeight(), 500);

    // The summary ends with the audio path's own cost: its CPU time, the times real time
    // that follow from it, the worst block against a 512-sample block at 48 kHz with its index
    // and time, the p99.9 and the average of the 3 825 blocks.
    const juce::String lastLine =
        juce::StringArray::fromLines(juce::String(run.out).trimEnd()).strings.getLast();
    double cpu = 0, timesRealTime = 0, worst = 0, budget = 0, seconds = 0, p999 = 0, average = 0;
    size_t worstBlock = 0;
    int minutes = -1;
    ASSERT_EQ(std::sscanf(lastLine.toRawUTF8(),
                          "audio path: %lf s CPU, %lfx real time, worst block %lf us of %lf us (block %zu at %d:%lf), "
                          "p99.9 %lf us, average %lf us",
                          &cpu, &timesRealTime, &worst, &budget, &worstBlock, &minutes, &seconds, &p999, &average),
              9)
        << lastLine;
    EXPECT_EQ(budget, 10667.0);
    EXPECT_GT(cpu, 0.0);
    const double audioSeconds = 1958400 / 48000.0; // the CPU time is shown to the millisecond
    EXPECT_GE(timesRealTime, audioSeconds / (cpu + 0.0005) - 1) << lastLine;
    EXPECT_LE(timesRealTime, audioSeconds / std::max(cpu - 0.0005, 1e-9) + 1) << lastLine;
    EXPECT_GT(worst, 0.0);
    EXPECT_LE(worst * 1e-6, cpu + 0.001) << "no block costs more than all of them";
    EXPECT_LT(worstBlock, 3825u);
    EXPECT_NEAR(minutes * 60 + seconds, worstBlock * 512 / 48000.0, 0.0005) << lastLine;
    EXPECT_LE(p999, worst + 0.5) << lastLine;
    EXPECT_NEAR(average * 1e-6 * 3825, cpu, 0.0005 + 3825 * 0.005e-6) << lastLine;
}

TEST(RenderTool, BlockReportNamesTheCostliestBlocksAndTheVoicesTheyStarted)
{
    // Two bars of the demo at 512-sample blocks (450 blocks), all of them reported, costliest first.
    TemporaryFolder temp;
    const RunResult run = runRender({"--bars", "2", "--block-report", "1000", "--out", "out"}, temp.folder);
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const auto blockCount = static_cast<size_t>(readWav(temp.file("out/demo.wav")).audio.getNumSamples() / 512);
    ASSERT_EQ(blockCount, 450u);
    const juce::StringArray lines = juce::StringArray::fromLines(juce::String(run.out).trimEnd());
    const int summaryLine = lines.size() - static_cast<int>(blockCount) - 1;
    ASSERT_GE(summaryLine, 0) << run.out;
    ASSERT_TRUE(lines[summaryLine].startsWith("audio path: ")) << run.out;
    double worst = 0;
    size_t worstBlock = 0;
    ASSERT_EQ(std::sscanf(lines[summaryLine].toRawUTF8(), "audio path: %*f s CPU, %*fx real time, worst block %lf us "
                                                          "of %*f us (block %zu",
                          &worst, &worstBlock),
              2);

    // Every drum hit of the CSV starts its voice in its block, and no block starts another.
    std::map<size_t, std::set<std::string>> hitVoices;
    const char* const names[] = {"snare", "kick",  "closed-hihat", "open-hihat", "ride",
                                 "crash", "crash2", "high-tom",    "mid-tom",    "low-tom"};
    for (const CsvRow& row : readCsvRows(temp.file("out/demo.csv")))
        if (row.velocity > 0)
            hitVoices[static_cast<size_t>(row.sample / 512)].insert(names[voiceOfNote(row.note)]);
    ASSERT_FALSE(hitVoices.empty());

    std::set<size_t> seen;
    double previousCost = 1e9;
    for (int i = summaryLine + 1; i < lines.size(); ++i)
    {
        size_t block = 0;
        int minutes = 0, events = -1;
        double seconds = 0, cost = 0;
        char voices[256] = {};
        ASSERT_EQ(std::sscanf(lines[i].toRawUTF8(),
                              "  block %zu at %d:%lf: %lf us, %*u minor faults, %*u major, %*u preemptions, %d events "
                              "in, voices started: %255[^\n]",
                              &block, &minutes, &seconds, &cost, &events, voices),
                  6)
            << lines[i];
        EXPECT_TRUE(seen.insert(block).second) << "block " << block << " twice";
        EXPECT_NEAR(minutes * 60 + seconds, block * 512 / 48000.0, 0.0005) << lines[i];
        EXPECT_LE(cost, previousCost) << "costliest first";
        previousCost = cost;
        if (i == summaryLine + 1)
        {
            EXPECT_EQ(block, worstBlock);
            EXPECT_NEAR(cost, worst, 0.51);
        }
        const juce::StringArray started = juce::StringArray::fromTokens(voices, " ", "");
        std::set<std::string> reported;
        for (const juce::String& voice : started)
            if (voice != "none")
                reported.insert(voice.toStdString());
        EXPECT_EQ(reported, hitVoices[block]) << lines[i];
    }
    EXPECT_EQ(seen.size(), blockCount);
}

// The volume slider's top, the standalone's default: the kit's own headroom keeps every
// sample of the demo, accents and fills included, below full scale.
TEST(RenderTool, TheDemoAtFullVolumeClipsNoSample)
{
    TemporaryFolder temp;
    const RunResult run = runRender({"--volume", "1", "--out", "out"}, temp.folder);
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.out.find("clipped"), std::string::npos) << run.out;
    double peakDb = 0.0;
    ASSERT_EQ(std::sscanf(run.out.c_str(), "demo: 17 bars at 100 bpm, %*d drum hits, peak %lf dBFS", &peakDb), 1)
        << run.out;
    EXPECT_LT(peakDb, -1.0);
    const WavContents wav = readWav(temp.file("out/demo.wav"));
    for (int channel = 0; channel < 2; ++channel)
        EXPECT_LT(wav.audio.getMagnitude(channel, 0, wav.audio.getNumSamples()), 0.9f) << channel;
}

TEST(RenderTool, ANoteAtTSecondsLandsOnSampleLroundOfTTimesRate)
{
    for (const int rate : {44100, 48000, 96000, 22050})
    {
        TemporaryFolder temp;
        writeMidiFile(temp.file("late.mid"), 120.0, {{lateThirdBeatTick, 90}});
        const RunResult run = runRender({"late.mid", "--sample-rate", std::to_string(rate), "--auto-kick",
                                         "off", "--auto-snare", "off", "--out", "rendered"},
                                        temp.folder);
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        const long long expected = std::llround(lateThirdBeatSeconds * rate);
        bool found = false;
        for (const CsvRow& row : readCsvRows(temp.file("rendered/late.csv")))
            found = found || (row.sample == expected && row.note == Batto::drumNoteByDefault[Batto::Kick]);
        EXPECT_TRUE(found) << "a kick at sample " << expected << " at " << rate << " Hz";
    }
}

TEST(RenderTool, FirstBeatFallsOnSampleZeroWithTheHostAndOneBlockLaterWithStart)
{
    struct Case
    {
        const char* start;
        const char* block;
        long long firstBeat;
    };
    for (const Case c : {Case{"host", "512", 0}, Case{"button", "512", 512}, Case{"host", "256", 0},
                         Case{"button", "256", 256}, Case{"button", "1024", 1024}})
    {
        TemporaryFolder temp;
        const RunResult run =
            runRender({"--start", c.start, std::string("--block=") + c.block, "--bars", "1"}, temp.folder);
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        const auto rows = readCsvRows(temp.file("out/demo.csv"));
        ASSERT_FALSE(rows.empty());
        EXPECT_EQ(rows.front().sample, c.firstBeat) << c.start << " " << c.block;
    }
}

// Before the first hit the WAV is exactly silent; from it, it holds the hits' sounds at
// their velocities times the volume (the slider's 0.5, squared), frame 0 on the hit's
// sample.
TEST(RenderTool, HitsStartOnTheirExactSampleInTheWav)
{
    for (const int rate : {44100, 48000})
    {
        TemporaryFolder temp;
        const RunResult run = runRender(
            {"--start", "button", "--sample-rate", std::to_string(rate), "--bars", "1", "--volume", "0.5"},
            temp.folder);
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        const WavContents wav = readWav(temp.file("out/demo.wav"));
        const auto rows = readCsvRows(temp.file("out/demo.csv"));
        ASSERT_FALSE(rows.empty());
        const long long first = rows.front().sample;
        ASSERT_EQ(first, 512);

        long long next = wav.audio.getNumSamples();
        KitSamplePlayer kit;
        kit.fillInternalKit(rate);
        std::vector<CsvRow> firstHits;
        for (const CsvRow& row : rows)
            if (row.sample == first)
                firstHits.push_back(row);
            else
                next = std::min(next, row.sample);

        for (int channel = 0; channel < 2; ++channel)
        {
            EXPECT_EQ(wav.audio.getMagnitude(channel, 0, static_cast<int>(first)), 0.0f);
            for (long long s = first; s < next; ++s)
            {
                double expected = 0.0;
                for (const CsvRow& hit : firstHits)
                {
                    const auto& sound = kit.kitBuffers[voiceOfNote(hit.note)][0];
                    if (s - first < sound.getNumSamples())
                        expected += hit.velocity / 127.0 * 0.25
                                    * sound.getSample(channel, static_cast<int>(s - first));
                }
                ASSERT_NEAR(wav.audio.getSample(channel, static_cast<int>(s)), expected, 1e-6)
                    << rate << " Hz, sample " << s;
            }
        }
        EXPECT_GT(wav.audio.getMagnitude(0, static_cast<int>(first), 1), 0.0f) << "frame 0 sounds at once";
    }
}

// The CSV comes from the plug-in build, the WAV from the standalone build with its kit: with
// the same settings, every hit of the CSV starts its voice's sound on its sample in the
// WAV, and the WAV holds nothing else (each voice sounds until its next hit).
TEST(RenderTool, TheWavSoundsEveryHitOfTheCsvOnItsSample)
{
    TemporaryFolder temp;
    const RunResult run = runRender({"--out", "out"}, temp.folder);
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const WavContents wav = readWav(temp.file("out/demo.wav"));
    const auto rows = readCsvRows(temp.file("out/demo.csv"));
    ASSERT_GT(rows.size(), 200u);

    KitSamplePlayer kit;
    kit.fillInternalKit(48000.0);
    std::vector<std::vector<CsvRow>> hitsOfVoice(Batto::numVoices);
    for (const CsvRow& row : rows)
        hitsOfVoice[voiceOfNote(row.note)].push_back(row);
    for (int channel = 0; channel < 2; ++channel)
    {
        std::vector<size_t> latest(Batto::numVoices, 0);
        for (int s = 0; s < wav.audio.getNumSamples(); ++s)
        {
            double expected = 0.0;
            for (int voice = 0; voice < Batto::numVoices; ++voice)
            {
                const auto& hits = hitsOfVoice[static_cast<size_t>(voice)];
                size_t& i = latest[static_cast<size_t>(voice)];
                while (i + 1 < hits.size() && hits[i + 1].sample <= s)
                    ++i;
                if (hits.empty() || hits[i].sample > s)
                    continue;
                const auto& sound = kit.kitBuffers[voice][0];
                const long long frame = s - hits[i].sample;
                if (frame < sound.getNumSamples())
                    expected +=
                        hits[i].velocity / 127.0 * 0.25 * sound.getSample(channel, static_cast<int>(frame));
            }
            ASSERT_NEAR(wav.audio.getSample(channel, s), expected, 1e-6)
                << "channel " << channel << ", sample " << s;
        }
    }
}

TEST(RenderTool, MetronomeClicksJoinTheDrumsOnTheSameTwoChannels)
{
    TemporaryFolder temp;
    ASSERT_EQ(runRender({"--bars", "1", "--out", "plain"}, temp.folder).exitStatus, 0);
    ASSERT_EQ(runRender({"--bars", "1", "--metronome", "0.5", "--out", "clicks"}, temp.folder).exitStatus, 0);
    const WavContents plain = readWav(temp.file("plain/demo.wav"));
    const WavContents clicks = readWav(temp.file("clicks/demo.wav"));

    // The accent click on the first beat, at 0.5 squared, 6 000 frames at 48 000 Hz.
    juce::WavAudioFormat format;
    std::unique_ptr<juce::AudioFormatReader> reader(format.createReaderFor(
        new juce::MemoryInputStream(BinaryData::click_accent_wav, BinaryData::click_accent_wavSize, false),
        true));
    juce::AudioBuffer<float> accent(2, static_cast<int>(reader->lengthInSamples));
    reader->read(&accent, 0, accent.getNumSamples(), 0, true, true);
    for (int channel = 0; channel < 2; ++channel)
        for (int s = 0; s < accent.getNumSamples(); ++s)
            ASSERT_NEAR(clicks.audio.getSample(channel, s) - plain.audio.getSample(channel, s),
                        0.25f * accent.getSample(channel, s), 1e-6)
                << channel << ":" << s;
}

TEST(RenderTool, BadInputGetsOneLineAndStatus2AndWritesNothing)
{
    const std::vector<std::vector<std::string>> cases = {
        {"missing.mid"},
        {"folder"},
        {"text.mid"},
        {"silent.mid"},
        {"fast.mid"}, // its own tempo, 300 bpm, is beyond the drummer's
        {"notes.mid", "other.mid"},
        {"--loud"},
        {"-x"},
        {"--tempo"},
        {"--tempo", "abc"},
        {"--tempo", "20"},
        {"--tempo=241"},
        {"--hihat", "6"},
        {"--velocity-sens", "1.5"},
        {"--dynamic-sens", "-0.1"},
        {"--auto-kick", "yes"},
        {"--auto-snare", "1"},
        {"--metronome", "2"},
        {"--volume", "1.01"},
        {"--sample-rate", "1000"},
        {"--sample-rate", "48000.5"},
        {"--block", "0"},
        {"--start", "later"},
        {"--bars", "0"},
        {"--kit", "folder"},
        {"--bass-follower", "maybe"},
        {"--out", "afile.txt"},
        {"notes.mid", "--out", "."},                 // next to the input
        {"take/take.mid", "--out", "take/"},         // the same, named otherwise
        {"notes.mid", "--tempo", "90", "--out", ""}, // no folder at all
    };
    for (const auto& arguments : cases)
    {
        TemporaryFolder temp;
        writeMidiFile(temp.file("notes.mid"), 120.0, {{0, 100}, {960, 80}});
        writeMidiFile(temp.file("silent.mid"), 120.0, {});
        writeMidiFile(temp.file("fast.mid"), 300.0, {{0, 100}});
        temp.file("take").createDirectory();
        writeMidiFile(temp.file("take/take.mid"), 120.0, {{0, 100}});
        temp.file("folder").createDirectory();
        temp.file("text.mid").replaceWithText("not a MIDI file at all\n");
        temp.file("afile.txt").replaceWithText("a file\n");
        juce::Array<juce::File> before;
        temp.folder.findChildFiles(before, juce::File::findFilesAndDirectories, true);

        const RunResult run = runRender(arguments, temp.folder);
        std::string shown;
        for (const std::string& argument : arguments)
            shown += "'" + argument + "' ";
        EXPECT_EQ(run.exitStatus, 2) << shown;
        EXPECT_EQ(run.out, "") << shown;
        EXPECT_EQ(run.err.rfind("batto-render: ", 0), 0u) << shown << ": " << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << shown << ": " << run.err;
        juce::Array<juce::File> after;
        temp.folder.findChildFiles(after, juce::File::findFilesAndDirectories, true);
        EXPECT_EQ(after.size(), before.size()) << shown << " wrote something";
    }
}

TEST(RenderTool, OutputFolderIsCreatedAndNamedAfterThePerformance)
{
    TemporaryFolder temp;
    writeMidiFile(temp.file("My Take.mid"), 96.0, {{0, 100}, {480, 70}, {960, 120}});
    const RunResult run = runRender({"My Take.mid", "--out", "a/b/c"}, temp.folder);
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    for (const char* extension : {".wav", ".mid", ".csv", ".png"})
        EXPECT_TRUE(temp.file(juce::String("a/b/c/My Take") + extension).existsAsFile()) << extension;
    // The file's tempo, 96 bpm, sets the grid: one bar after the last note is two bars.
    EXPECT_EQ(readWav(temp.file("a/b/c/My Take.wav")).audio.getNumSamples(),
              static_cast<int>(std::ceil(2 * 4 * 60.0 / 96.0 * 48000 / 512)) * 512);
}
