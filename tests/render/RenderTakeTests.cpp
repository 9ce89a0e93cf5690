// A take that the standalone drummer kept, played again by batto-render: its drum track is
// the drummer's answer, hit for hit and sample for sample.

#include "ProcessorTakeSettings.h"
#include "RenderTestSupport.h"
#include "TakeFileReader.h"
#include "TakeRecorder.h"
#include "TakeWriter.h"

namespace
{
// Plays a performance through the standalone build's processor with the internal kit, as
// the application plays it, and keeps it as a take in the folder.
juce::File recordTake(const juce::File& folder, double rate, int blockSize, double tempo, int blocks)
{
    BattoAudioProcessor::Settings settings;
    settings.tempo = tempo;
    settings.divisionDuTemps = 4;
    settings.autoKick = false;
    settings.breakParam1 = 0.7;
    settings.breakParam2 = 0.3;
    BattoAudioProcessor processor(settings);
    TakeRecorder recorder;
    TakeWriter writer(recorder, folder, drummerSettingsOf(processor));
    processor.setTakeRecorder(&recorder);
    processor.setRateAndBufferSizeDetails(rate, blockSize);
    processor.prepareToPlay(rate, blockSize);
    writer.start();

    juce::AudioBuffer<float> audio(2, blockSize);
    juce::MidiBuffer midi;
    juce::Random random(17);
    processor.start();
    for (int block = 0; block <= blocks; ++block)
    {
        if (block == blocks)
            processor.stop();
        midi.clear();
        for (int position = 0; position < blockSize; ++position)
            if (random.nextInt(2200) == 0)
            {
                const int note = 40 + random.nextInt(30);
                midi.addEvent(juce::MidiMessage::noteOn(1, note, static_cast<juce::uint8>(20 + random.nextInt(108))),
                              position);
                midi.addEvent(juce::MidiMessage::noteOff(1, note), juce::jmin(blockSize - 1, position + 200));
            }
        audio.clear();
        processor.processBlock(audio, midi);
    }
    writer.finish();
    processor.setTakeRecorder(nullptr);
    const auto takes = folder.findChildFiles(juce::File::findFiles, false, "*.mid");
    return takes.isEmpty() ? juce::File() : takes[0];
}
} // namespace

TEST(RenderTake, ATakeOnTheDrummersClockRendersToItsOwnDrumPartSampleForSample)
{
    // A tempo that no whole number of microseconds a beat states, and a block length other
    // than batto-render's own: both come from the take.
    struct Case
    {
        double rate;
        int blockSize;
        double tempo;
    };
    for (const Case& played : {Case{48000.0, 480, 97.3}, Case{44100.0, 256, 141.0}})
    {
        SCOPED_TRACE(played.tempo);
        TemporaryFolder folder;
        const juce::File takes = folder.file("Takes");
        const juce::File take = recordTake(takes, played.rate, played.blockSize, played.tempo, 1200);
        ASSERT_TRUE(take.existsAsFile());
        const auto kept = TakeFileContents::read(take);
        ASSERT_TRUE(kept.readable);
        ASSERT_GT(kept.drumNoteOns.size(), 40u);

        const RunResult result = runRender({take.getFullPathName().toStdString(), "--out", "out"}, folder.folder);
        ASSERT_EQ(result.exitStatus, 0) << result.err;
        const auto rendered = readCsvRows(folder.file("out").getChildFile(take.getFileNameWithoutExtension() + ".csv"));
        std::vector<CsvRow> keptRows;
        for (const auto& hit : kept.drumNoteOns)
            keptRows.push_back({hit.sample, hit.bytes[0], hit.bytes[1], hit.bytes[2]});
        EXPECT_EQ(rendered, keptRows);

        // The render lasts as long as the take, at its rate.
        const WavContents wav = readWav(folder.file("out").getChildFile(take.getFileNameWithoutExtension() + ".wav"));
        EXPECT_EQ(wav.sampleRate, played.rate);
        EXPECT_EQ(wav.audio.getNumSamples(), 1200 * played.blockSize);
    }
}
