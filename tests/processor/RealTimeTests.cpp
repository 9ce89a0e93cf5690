#include "AudioThreadWatch.h"
#include "HostStylePlayHead.h"
#include "ProcessorTestSupport.h"
#include "WatchedProcessor.h"

#if !BATTO_PLUGIN_BUILD
#include "ProcessorTakeSettings.h"
#include "TakeRecorder.h"
#include "TakeWriter.h"
#include "TemporaryFolder.h"
#endif

#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace
{
using WatchedProcessor = Watched<BattoAudioProcessor>;

std::vector<std::pair<int, juce::MidiMessage>> densePlaying(int block, int samples)
{
    static const juce::uint8 sysex[] = {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0x12, 0x34, 0xF7};
    std::vector<std::pair<int, juce::MidiMessage>> events;
    if (samples == 0)
        return events;
    for (int i = 0; i < 6; ++i)
    {
        const int position = (block * 37 + i * samples / 6) % samples;
        events.push_back(
            {position, noteOn(36 + (block + i) % 40, 20 + (block * 13 + i * 29) % 108, 1 + i % 2)});
    }
    events.push_back({samples / 2, noteOn(40, 0)}); // a note-on with velocity 0
    events.push_back({samples / 3, juce::MidiMessage::noteOff(1, 41)});
    events.push_back({samples - 1, juce::MidiMessage::controllerEvent(1, 64, block % 2 ? 127 : 0)});
    events.push_back({0, juce::MidiMessage::midiClock()});
    events.push_back({samples / 4, juce::MidiMessage(sysex, sizeof(sysex))});
    return events;
}
} // namespace

TEST(RealTime, WatchSeesAllocationsFreesLocksAndThreads)
{
    std::mutex mutex;
    juce::MidiBuffer growing;
    AudioThreadWatch watch;
    {
        std::vector<int> grows;
        grows.push_back(1);
        const std::lock_guard<std::mutex> lock(mutex);
        for (int i = 0; i < 100; ++i)
            growing.addEvent(noteOn(60, 100), i); // JUCE's own heap blocks
    }
    EXPECT_GE(watch.allocations(), 2);
    EXPECT_GE(watch.frees(), 1);
    EXPECT_EQ(watch.locks(), 1);
    const int handle = ::open("/dev/null", O_WRONLY);
    EXPECT_EQ(::write(handle, "x", 1), 1);
    ::close(handle);
    EXPECT_EQ(watch.fileCalls(), 2);
    std::thread([] {}).join();
    EXPECT_EQ(watch.threadsStarted(), 1);
}

TEST(RealTime, ProcessBlockNeverAllocatesLocksOrStartsThreads)
{
    constexpr double rate = 48000.0;
    constexpr int prepared = 256;
    WatchedProcessor processor;
    processor.displayCodes.open();
    BlockDriver driver(processor, rate, prepared);
    RecordingDisplay display;

#if !BATTO_PLUGIN_BUILD
    processor.setClickVolume(0.7);
    processor.channelFilterOn = true; // the filter removes channel 2 below
    processor.midiInChannel = 1;
#endif
    // Stopped: notes are held for the early-note window; previews sound.
    for (int block = 0; block < 20; ++block)
    {
        if (block % 5 == 0)
            processor.previewVoice(Batto::Crash, 110);
        driver.run(prepared, densePlaying(block, prepared));
    }

    // Running on the user's Start, with every kind of block the host may send.
    processor.start();
    const std::vector<int> sizes{prepared,      0, prepared, 4 * prepared, 17, prepared,
                                 16 * prepared, 1, prepared};
    for (int block = 0; block < 600; ++block)
    {
        const int samples = sizes[static_cast<size_t>(block) % sizes.size()];
        if (block == 100)
            processor.chooseDivisionDuTemps(4);
        if (block == 200)
            processor.setTempo(200.0);
        // The bass follower runs in front of the engine from here on; switching it off and on
        // makes it release every key at its next block.
        if (block == 150 || block == 260)
            processor.setGravaEnabled(true);
        if (block == 250)
            processor.setGravaEnabled(false);
        if (block % 50 == 25)
            processor.previewVoice(Batto::HTom, 90);
        if (block == 300)
        {
            juce::MemoryBlock state;
            processor.getStateInformation(state);
            processor.setStateInformation(state.getData(), static_cast<int>(state.getSize()));
        }
#if !BATTO_PLUGIN_BUILD
        if (block % 40 == 0)
            processor.requestClickFromMidiThread(block % 80 == 0);
        if (block == 400)
            processor.setDrumKit(BattoAudioProcessor::kitMidiOut);
        if (block == 450)
            processor.setDrumKit(BattoAudioProcessor::kitExternalPlugin);
        if (block == 500)
            processor.setDrumKit(BattoAudioProcessor::kitInternal);
#endif
        driver.run(samples, densePlaying(block, samples));
        if (block % 10 == 0)
            processor.displayCodes.drain(display);
    }
    processor.stop();
    driver.run(prepared);

    // Following the host: start, tempo change, jump back, a bar in 3/4, stop.
    driver.playHead.answers = true;
    driver.playHead.play(100.0, 0.0);
    for (int block = 0; block < 400; ++block)
    {
        if (block == 100)
            driver.playHead.position.setBpm(140.0);
        if (block == 200)
            driver.playHead.position.setPpqPosition(1.5);
        if (block == 300)
            driver.playHead.position.setTimeSignature(juce::AudioPlayHead::TimeSignature{3, 4});
        if (block == 320)
            driver.playHead.play(120.0, 8.0);
        if (block == 380)
            driver.playHead.stop();
        driver.run(block % 7 == 0 ? 3 * prepared : prepared, densePlaying(block, prepared));
    }

    EXPECT_GT(processor.blocks, 1000);
    EXPECT_GT(display.codes.size(), 100u); // the engine did play
    EXPECT_EQ(processor.allocations, 0);
    EXPECT_EQ(processor.frees, 0);
    EXPECT_EQ(processor.locks, 0);
    EXPECT_EQ(processor.threads, 0);
}

TEST(RealTime, ThePluginWrappersPathNeverAllocatesEither)
{
    // As the plug-in wrappers drive the processor: a host MIDI buffer with no room reserved
    // (kept from block to block, or two used in turn), and the transport as real hosts
    // report it: no beats, rounded beats, or a position only on changes; loops, a tempo
    // change, a stop; blocks of 1 to 4096 samples with 512 prepared.
    constexpr double rate = 48000.0;
    constexpr int prepared = 512;
    WatchedProcessor processor;
    processor.setRateAndBufferSizeDetails(rate, prepared);
#if !BATTO_PLUGIN_BUILD
    processor.setDrumKit(BattoAudioProcessor::kitExternalPlugin); // hits leave as MIDI
#endif
    processor.setAutoKick(true);
    processor.setAutoSnare(true);
    juce::AudioBuffer<float> audio(2, 4096);
    const std::vector<int> sizes{prepared, 1, 4096, 64, 17, 1000};

    using Beats = HostStylePlayHead::Beats;
    const std::pair<Beats, bool> hosts[] = {
        {Beats::none, true}, {Beats::rounded, true}, {Beats::exact, false}};
    int notesOut = 0;
    for (const auto& [beats, everyBlock] : hosts)
    {
        processor.prepareToPlay(rate, prepared); // a new host prepares its processor
        juce::MidiBuffer hostBuffers[2];         // nothing reserved
        HostStylePlayHead head(rate, 120.0, beats, everyBlock);
        processor.setPlayHead(&head);
        head.playFrom(0);
        for (int block = 0; block < 400; ++block)
        {
            const int samples = sizes[static_cast<size_t>(block) % sizes.size()];
            if (block % 100 == 60)
                head.playFrom(96000); // the loop's wrap
            if (block == 120)
                processor.setGravaEnabled(true);
            if (block == 200)
                head.setBpm(140.0);
            if (block == 250)
                processor.previewVoice(Batto::Snare, 100);
            if (block == 300)
                head.stop();
            if (block == 350)
                head.playFrom(4000);
            // A host that uses one buffer, then one that alternates two. The player starts
            // after the drummer has played alone for a while.
            auto& midi = hostBuffers[block >= 200 ? block % 2 : 0];
            midi.clear();
            if (block >= 100)
                for (const auto& [position, message] : densePlaying(block, samples))
                    midi.addEvent(message, position);
            audio.setSize(2, samples, false, false, true);
            processor.processBlock(audio, midi);
            notesOut += midi.getNumEvents();
            head.advance(samples);
        }
        processor.setGravaEnabled(false);
    }
    processor.setPlayHead(nullptr);

    EXPECT_GT(notesOut, 100); // the drummer did play
    EXPECT_EQ(processor.allocations, 0);
    EXPECT_EQ(processor.frees, 0);
    EXPECT_EQ(processor.locks, 0);
    EXPECT_EQ(processor.threads, 0);
}

#if !BATTO_PLUGIN_BUILD
TEST(RealTime, KeepingTakesStaysOffTheHeapLocksAndFiles)
{
    // Takes on, with the drums' sound and without, the writer's thread writing them: the
    // audio thread only hands over, through the recorder's queues.
    TemporaryFolder folder;
    TakeRecorder recorder;
    WatchedProcessor processor;
    TakeWriter writer(recorder, folder.folder, drummerSettingsOf(processor));
    processor.setTakeRecorder(&recorder);
    writer.start();
    constexpr int prepared = 256;
    BlockDriver driver(processor, 48000.0, prepared);
    const std::vector<int> sizes{prepared, 0, prepared, 4 * prepared, 17, prepared, 1};
    int fileCalls = 0;
    for (const bool withSound : {false, true})
    {
        recorder.setAudioOn(withSound);
        processor.start();
        for (int block = 0; block < 600; ++block)
        {
            if (block == 200)
                processor.setTempo(150.0);
            if (block == 300)
            {
                processor.stop(); // and a new take in the same block
                processor.start();
            }
            const int samples = sizes[static_cast<size_t>(block) % sizes.size()];
            AudioThreadWatch files;
            driver.run(samples, densePlaying(block, samples));
            fileCalls += files.fileCalls();
        }
        processor.stop();
        driver.run(prepared);
    }
    writer.finish();
    processor.setTakeRecorder(nullptr);

    EXPECT_EQ(folder.folder.findChildFiles(juce::File::findFiles, false, "*.mid").size(), 4);
    EXPECT_EQ(folder.folder.findChildFiles(juce::File::findFiles, false, "*.wav").size(), 2);
    EXPECT_EQ(processor.allocations, 0);
    EXPECT_EQ(processor.frees, 0);
    EXPECT_EQ(processor.locks, 0);
    EXPECT_EQ(processor.threads, 0);
    EXPECT_EQ(fileCalls, 0);
}
#endif
