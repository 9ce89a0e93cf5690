#include "ProcessorTakeSettings.h"
#include "ProcessorTestSupport.h"
#include "TakeFileReader.h"
#include "TakeRecorder.h"
#include "TakeWriter.h"
#include "TemporaryFolder.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <map>
#include <thread>

namespace
{
constexpr double rate = 48000.0;
constexpr int blockSize = 512;

// The player's part by absolute sample from the first running block: notes with their
// note-offs, a pedal, a system-exclusive message, a note on channel 10 and one on channel
// 2 (which the channel filter keeps from the drummer), and the clock of a keyboard.
std::multimap<int64_t, juce::MidiMessage> knownPerformance(int64_t length)
{
    static const juce::uint8 sysex[] = {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0x12, 0x34, 0x56,
                                        0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0xF7};
    std::multimap<int64_t, juce::MidiMessage> events;
    for (int64_t sample = 700, i = 0; sample < length; sample += 9137, ++i)
    {
        events.insert({sample, noteOn(48 + static_cast<int>(i % 24), 40 + static_cast<int>(i * 17 % 87))});
        events.insert({sample + 3001, juce::MidiMessage::noteOff(1, 48 + static_cast<int>(i % 24))});
    }
    events.insert({20000, juce::MidiMessage::controllerEvent(1, 64, 127)});
    events.insert({30011, juce::MidiMessage(sysex, sizeof sysex)});
    events.insert({41000, noteOn(38, 100, 10)});
    events.insert({52000, noteOn(60, 90, 2)});
    for (int64_t sample = 0; sample < length; sample += 1000)
        events.insert({sample, juce::MidiMessage::midiClock()});
    return events;
}

std::vector<std::pair<int, juce::MidiMessage>> blockOf(const std::multimap<int64_t, juce::MidiMessage>& all,
                                                       int64_t start, int samples)
{
    std::vector<std::pair<int, juce::MidiMessage>> events;
    for (auto it = all.lower_bound(start); it != all.end() && it->first < start + samples; ++it)
        events.push_back({static_cast<int>(it->first - start), it->second});
    return events;
}

TakeFileContents::Event eventAt(int64_t sample, const juce::uint8* data, int size)
{
    return {sample, std::vector<int>(data, data + size)};
}

juce::Array<juce::File> takesIn(const juce::File& folder)
{
    auto files = folder.findChildFiles(juce::File::findFiles, false, "*.mid");
    files.sort();
    return files;
}

// A processor with takes on, a writer's thread writing them into a fresh folder.
struct TakeRig
{
    explicit TakeRig(int kit, bool startWriter = true)
        : processor(settingsWithKit(kit)),
          writer(recorder, folder.folder, drummerSettingsOf(processor))
    {
        processor.setTakeRecorder(&recorder);
        writer.onProblem = [this](const juce::String& text) { problems.add(text); };
        if (startWriter)
            writer.start();
    }
    ~TakeRig()
    {
        writer.finish();
        processor.setTakeRecorder(nullptr);
    }

    static BattoAudioProcessor::Settings settingsWithKit(int kit)
    {
        BattoAudioProcessor::Settings settings;
        settings.drumKit = kit;
        settings.divisionDuTemps = 4;
        return settings;
    }

    TemporaryFolder folder;
    TakeRecorder recorder;
    BattoAudioProcessor processor;
    TakeWriter writer;
    juce::StringArray problems; // written on the writer's thread, read after finish()
};

struct PlayedTake
{
    std::vector<TakeFileContents::Event> player, drums;
    juce::AudioBuffer<float> sound{2, 0};
    TakeFileContents file;
    juce::AudioBuffer<float> fileSound{2, 0};
};

// Plays the known performance for `blocks` blocks from a Start, then stops; what the
// processor received and put out, and the take it left.
PlayedTake playKnownPerformance(int kit, bool withSound, int blocks)
{
    TakeRig rig(kit);
    rig.recorder.setAudioOn(withSound);
    rig.processor.setVolume(0.2); // the kit's hits stay below full scale
    rig.processor.channelFilterOn = true;
    rig.processor.midiInChannel = 1;
    BlockDriver driver(rig.processor, rate, blockSize);
    const int64_t length = int64_t(blocks) * blockSize;
    const auto performance = knownPerformance(length);

    PlayedTake played;
    played.sound.setSize(2, static_cast<int>(length));
    // A note struck just before Start: the drummer takes it as struck at Start, and so does the take.
    driver.run(blockSize, {{400, noteOn(50, 80)}});
    played.player.push_back(eventAt(0, noteOn(50, 80).getRawData(), 3));
    rig.processor.start();
    for (int block = 0; block < blocks; ++block)
    {
        const int64_t start = int64_t(block) * blockSize;
        const auto events = blockOf(performance, start, blockSize);
        for (const auto& [position, message] : events)
            if (!message.isMidiClock())
                played.player.push_back(eventAt(start + position, message.getRawData(), message.getRawDataSize()));
        // Never faster than the writer: a device would not be either.
        while (!rig.recorder.hasRoomFor(blockSize))
            std::this_thread::yield();
        const auto& out = driver.run(blockSize, events);
        for (const auto event : out)
            played.drums.push_back(eventAt(start + event.samplePosition, event.data, event.numBytes));
        for (int channel = 0; channel < 2; ++channel)
            played.sound.copyFrom(channel, static_cast<int>(start), driver.audio, channel, 0, blockSize);
    }
    rig.processor.stop();
    driver.run(blockSize, {{10, noteOn(52, 80)}}); // the Stop's block: after the take
    rig.writer.finish();
    EXPECT_TRUE(rig.problems.isEmpty()) << rig.problems.joinIntoString("\n");

    const auto takes = takesIn(rig.folder.folder);
    EXPECT_EQ(takes.size(), 1);
    if (takes.isEmpty())
        return played;
    played.file = TakeFileContents::read(takes[0]);
    const auto wav = takes[0].withFileExtension("wav");
    EXPECT_EQ(wav.existsAsFile(), withSound);
    if (withSound)
    {
        juce::WavAudioFormat format;
        std::unique_ptr<juce::AudioFormatReader> reader(
            format.createReaderFor(new juce::FileInputStream(wav), true));
        EXPECT_NE(reader, nullptr);
        if (reader != nullptr)
        {
            EXPECT_EQ(reader->sampleRate, rate);
            played.fileSound.setSize(2, static_cast<int>(reader->lengthInSamples));
            reader->read(&played.fileSound, 0, static_cast<int>(reader->lengthInSamples), 0, true, true);
        }
    }
    return played;
}
} // namespace

TEST(Takes, ATakeHoldsEveryPlayerMessageAndEveryDrumHitAtItsSample)
{
    constexpr int blocks = 600; // 6.4 s
    const PlayedTake asMidi = playKnownPerformance(BattoAudioProcessor::kitExternalPlugin, false, blocks);
    const TakeFileContents& take = asMidi.file;
    ASSERT_TRUE(take.readable);
    EXPECT_EQ(take.tracks, 3);
    ASSERT_TRUE(take.settings.has_value());
    EXPECT_EQ(take.settings->tempo, 120.0);
    EXPECT_EQ(take.settings->sampleRate, rate);
    EXPECT_EQ(take.settings->blockSize, blockSize);
    EXPECT_EQ(take.settings->divisionDuTemps, 4);
    EXPECT_FALSE(take.settings->externalClock);
    EXPECT_EQ(take.tempos, std::vector<double>{120.0}); // the drummer's tempo
    EXPECT_TRUE(take.markers.empty());

    // Every message as it came (the clock aside), the filtered one on channel 2 too.
    EXPECT_EQ(take.player, asMidi.player);
    EXPECT_GT(asMidi.drums.size(), 50u);
    EXPECT_EQ(take.drumNoteOns, asMidi.drums);
    EXPECT_EQ(take.endSample, int64_t(blocks) * blockSize);

    // The internal kit sounds the same part; with its sound taken too, the WAV file holds
    // the drums' output sample for sample (24-bit).
    const PlayedTake withSound = playKnownPerformance(BattoAudioProcessor::kitInternal, true, blocks);
    EXPECT_EQ(withSound.file.drumNoteOns, asMidi.drums);
    EXPECT_TRUE(withSound.file.markers.empty());
    ASSERT_EQ(withSound.fileSound.getNumSamples(), withSound.sound.getNumSamples());
    float worst = 0.0f, loudest = 0.0f;
    for (int channel = 0; channel < 2; ++channel)
        for (int i = 0; i < withSound.sound.getNumSamples(); ++i)
        {
            worst = std::max(worst, std::abs(withSound.fileSound.getSample(channel, i)
                                             - withSound.sound.getSample(channel, i)));
            loudest = std::max(loudest, std::abs(withSound.sound.getSample(channel, i)));
        }
    EXPECT_GT(loudest, 0.05f);

    EXPECT_LT(worst, 1.0f / (1 << 22));
}

TEST(Takes, EveryStartBeginsANewTakeAndNoTakeOverwritesAnother)
{
    TakeRig rig(BattoAudioProcessor::kitExternalPlugin);
    BlockDriver driver(rig.processor, rate, blockSize);
    const auto playFor = [&](int blocks, int note)
    {
        for (int block = 0; block < blocks; ++block)
            driver.run(blockSize, block % 20 == 0 ? std::vector<std::pair<int, juce::MidiMessage>>{{5, noteOn(note, 90)}}
                                                  : std::vector<std::pair<int, juce::MidiMessage>>{});
    };
    rig.processor.start();
    playFor(50, 40);
    rig.processor.stop();
    driver.run(blockSize);
    rig.processor.start();
    playFor(50, 41);
    rig.processor.stop(); // Stop and Start within one block
    rig.processor.start();
    playFor(50, 42);
    rig.processor.prepareToPlay(rate, blockSize); // the device changes while it plays
    playFor(50, 43);
    rig.processor.stop();
    driver.run(blockSize);
    rig.writer.finish();

    // Four takes within a second or two: each has its own name and its own notes.
    const auto takes = takesIn(rig.folder.folder);
    ASSERT_EQ(takes.size(), 4);
    for (int i = 0; i < takes.size(); ++i)
    {
        const auto take = TakeFileContents::read(takes[i]);
        ASSERT_TRUE(take.readable) << takes[i].getFileName();
        ASSERT_FALSE(take.player.empty());
        for (const auto& event : take.player)
            EXPECT_EQ(event.bytes[1], 40 + i) << takes[i].getFileName();
        EXPECT_EQ(take.endSample, 50 * blockSize);
        EXPECT_FALSE(take.drumNoteOns.empty());
    }
    EXPECT_TRUE(rig.problems.isEmpty());
}

TEST(Takes, AWriterThatFallsBehindCostsTheTakeEventsNeverTheDrummer)
{
    // The writer's thread does not run: the queue fills, and the take records what it lost.
    TakeRig rig(BattoAudioProcessor::kitExternalPlugin, false);
    BattoAudioProcessor withoutTakes(TakeRig::settingsWithKit(BattoAudioProcessor::kitExternalPlugin));
    BlockDriver driver(rig.processor, rate, blockSize);
    BlockDriver reference(withoutTakes, rate, blockSize);
    rig.processor.start();
    withoutTakes.start();
    constexpr int blocks = 400;
    int differences = 0;
    for (int block = 0; block < blocks; ++block)
    {
        std::vector<std::pair<int, juce::MidiMessage>> dense;
        for (int i = 0; i < 60; ++i)
            dense.push_back({i * 8, juce::MidiMessage::controllerEvent(1, 1, i)});
        dense.push_back({300, noteOn(60, 100)});
        const auto withTake = eventsOf(driver.run(blockSize, dense));
        differences += withTake != eventsOf(reference.run(blockSize, dense)) ? 1 : 0;
    }
    rig.processor.stop();
    driver.run(blockSize);
    rig.writer.finish(); // drains what the queue holds and ends the take

    EXPECT_EQ(differences, 0);
    const auto takes = takesIn(rig.folder.folder);
    ASSERT_EQ(takes.size(), 1);
    const auto take = TakeFileContents::read(takes[0]);
    ASSERT_TRUE(take.readable);
    EXPECT_LT(take.player.size(), size_t(blocks) * 61);
    EXPECT_GT(take.player.size(), 10000u);
    ASSERT_FALSE(take.markers.empty());
    EXPECT_TRUE(take.markers.back().contains("events lost")) << take.markers.back();
    EXPECT_EQ(take.endSample, int64_t(blocks) * blockSize); // ended properly all the same
}
