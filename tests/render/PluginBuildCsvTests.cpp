// The CSV of batto-render against the plug-in build's processor run directly by this test,
// with a host loop of its own: the same note-ons, on the same samples.

#include "RenderTestSupport.h"

#include "BattoAudioProcessor.h"

#include <cmath>

static_assert(BATTO_PLUGIN_BUILD, "this test compares against the plug-in build");

namespace
{
struct Render
{
    double tempo;
    int rate;
    int block;
    bool hostStart;
    int divisions;
    double velocitySensitivity;
    int bars;
    bool bassFollower = false;
};

class SequencerTransport : public juce::AudioPlayHead
{
public:
    juce::Optional<PositionInfo> getPosition() const override
    {
        PositionInfo info;
        info.setBpm(tempo);
        info.setTimeSignature(TimeSignature{4, 4});
        info.setPpqPosition(static_cast<double>(sample) / rate * tempo / 60.0);
        info.setIsPlaying(true);
        return info;
    }
    double tempo = 120.0;
    double rate = 48000.0;
    long long sample = 0;
};

std::vector<CsvRow> runPluginBuild(const juce::File& performance, const Render& r)
{
    BattoAudioProcessor::Settings settings;
    settings.tempo = r.tempo;
    settings.divisionDuTemps = r.divisions;
    settings.autoKick = true;
    settings.autoSnare = true;
    settings.breakParam1 = r.velocitySensitivity;
    settings.gravaEnabled = r.bassFollower;
    BattoAudioProcessor processor(settings);
    processor.setRateAndBufferSizeDetails(r.rate, r.block);
    processor.prepareToPlay(r.rate, r.block);
    SequencerTransport transport;
    transport.tempo = r.tempo;
    transport.rate = r.rate;
    if (r.hostStart)
        processor.setPlayHead(&transport);
    else
        processor.start();

    juce::FileInputStream stream(performance);
    juce::MidiFile file;
    file.readFrom(stream);
    const auto& track = *file.getTrack(0);
    // --tempo keeps every note on its beat: its time follows from its tick at that tempo.
    const auto secondsOf = [&](double tick)
    {
        return tick * (1.0 / file.getTimeFormat()) * 60.0 / r.tempo;
    };

    const double gridStart = r.hostStart ? 0 : r.block;
    const double end = gridStart + r.bars * 4 * 60.0 / r.tempo * r.rate;
    const long long total = static_cast<long long>(std::ceil(end / r.block)) * r.block;
    std::vector<CsvRow> rows;
    juce::AudioBuffer<float> audio(2, r.block);
    for (long long start = 0; start < total; start += r.block)
    {
        juce::MidiBuffer midi;
        for (const auto* event : track)
        {
            const long long sample = std::llround(secondsOf(event->message.getTimeStamp()) * r.rate);
            if (event->message.getChannel() > 0 && sample >= start && sample < start + r.block)
                midi.addEvent(event->message, static_cast<int>(sample - start));
        }
        transport.sample = start;
        processor.processBlock(audio, midi);
        for (const auto metadata : midi)
            rows.push_back(
                {start + metadata.samplePosition, metadata.data[0], metadata.data[1], metadata.data[2]});
    }
    return rows;
}

// Eight bars of a player who accents, rushes, drags and plays chords on every channel,
// always the same.
std::vector<PlayedNote> restlessPerformance()
{
    juce::Random random(2024);
    std::vector<PlayedNote> notes;
    for (int eighth = 2; eighth < 64; ++eighth)
    {
        if (random.nextInt(5) == 0)
            continue;
        const int tick = eighth * 480 + random.nextInt(61) - 30;
        const int velocity = 40 + random.nextInt(88);
        const int channel = 1 + random.nextInt(16);
        const int root = 36 + random.nextInt(24);
        notes.push_back({tick, velocity, channel, root});
        if (eighth % 4 == 0) // the chord's upper notes come a little after its root
            for (const int interval : {4, 7})
                notes.push_back({tick + 3 * interval, velocity, channel, root + interval});
    }
    return notes;
}
} // namespace

TEST(RenderCsv, EqualsWhatThePluginBuildsProcessorOutputs)
{
    for (const Render r :
         {Render{110.0, 48000, 512, true, 2, 0.5, 9}, Render{92.0, 44100, 256, false, 4, 0.8, 9},
          Render{140.0, 96000, 1024, true, 1, 0.3, 9}, Render{120.0, 48000, 512, true, 2, 0.5, 9, true}})
    {
        TemporaryFolder temp;
        writeMidiFile(temp.file("take.mid"), r.tempo, restlessPerformance());
        const RunResult run = runRender(
            {"take.mid", "--tempo", std::to_string(r.tempo), "--sample-rate", std::to_string(r.rate),
             "--block", std::to_string(r.block), "--start", r.hostStart ? "host" : "button", "--hihat",
             r.divisions == 1   ? "4"
             : r.divisions == 2 ? "8"
                                : "16",
             "--velocity-sens", std::to_string(r.velocitySensitivity), "--bars", std::to_string(r.bars),
             "--bass-follower", r.bassFollower ? "on" : "off"},
            temp.folder);
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        const auto rendered = readCsvRows(temp.file("out/take.csv"));
        const auto direct = runPluginBuild(temp.file("take.mid"), r);
        EXPECT_GT(direct.size(), 50u);
        EXPECT_EQ(rendered, direct) << r.tempo << " bpm, " << r.rate << " Hz";
        if (r.bassFollower)
        {
            Render withoutFollower = r;
            withoutFollower.bassFollower = false;
            EXPECT_NE(direct, runPluginBuild(temp.file("take.mid"), withoutFollower))
                << "the follower drops chords";
        }
    }
}
