#include "AudioThreadWatch.h"
#include "BattoAudioProcessorWithJackMidiIn.h"
#include "JackAudioDevice.h"
#include "JackCycleMidi.h"
#include "MidiInputRoute.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

// The JACK cycle's MIDI, as the application's JACK device runs it: the real processor run in
// cycles of the three periods musicians use, its MIDI coming in and going out through the
// cycle, on one frame clock counted from the first cycle.

namespace
{
constexpr double rate = 48000.0;

struct Note
{
    long long frame; // on the clock of the cycles
    int status;
    int key;
};

BattoAudioProcessor::Settings drumsOnMidiOutput()
{
    BattoAudioProcessor::Settings settings;
    settings.tempo = 120.0;
    settings.divisionDuTemps = 2;
    settings.autoKick = false; // every kick and snare answers a note
    settings.autoSnare = false;
    settings.drumKit = BattoAudioProcessor::kitMidiOut;
    return settings;
}

// Runs the processor cycle by cycle as the JACK device does.
class CycleDriver
{
public:
    CycleDriver(BattoAudioProcessorWithJackMidiIn& processorToRun, int framesPerCycle)
        : processor(processorToRun), period(framesPerCycle), audio(4, framesPerCycle)
    {
        processor.setRateAndBufferSizeDetails(rate, period);
        processor.prepareToPlay(rate, period);
        cycle.reserve(period);
        playerMidi.ensureSize(1 << 20);
    }

    // One cycle with these input events (frames of the clock within this cycle).
    void run(const std::vector<Note>& input = {})
    {
        cycle.beginCycle(period);
        for (const auto& note : input)
        {
            const juce::uint8 bytes[3] = {static_cast<juce::uint8>(note.status), static_cast<juce::uint8>(note.key),
                                          100};
            cycle.addInput(bytes, 3, static_cast<juce::uint32>(note.frame - now));
        }
        {
            const JackCycleMidi::Scope inCycle(cycle);
            processor.processBlock(audio, playerMidi);
        }
        cycle.writeOutput(
            [this](juce::uint32 frame, const juce::uint8* data, size_t)
            {
                output.push_back({now + frame, data[0], data[1]});
            });
        now += period;
    }

    BattoAudioProcessorWithJackMidiIn& processor;
    const int period;
    JackCycleMidi cycle;
    juce::AudioBuffer<float> audio;
    juce::MidiBuffer playerMidi; // what the player collected from MIDI devices
    std::vector<Note> output;
    long long now = 0;
};

std::vector<long long> framesOf(const std::vector<Note>& notes, int key)
{
    std::vector<long long> frames;
    for (const auto& note : notes)
        if (note.status == 0x99 && note.key == key)
            frames.push_back(note.frame);
    return frames;
}
} // namespace

TEST(JackCycle, NotesAreAnsweredInTheirOwnCycleAtTheirFramesAndTheDrumsLeaveOnTheGrid)
{
    for (const int period : {64, 256, 1024})
    {
        SCOPED_TRACE("period " + std::to_string(period));
        BattoAudioProcessorWithJackMidiIn processor(drumsOnMidiOutput());
        processor.playMidiOutputInBlocks(true);
        CycleDriver driver(processor, period);
        processor.start();

        // The hi-hats mark the grid: one every 12 000 frames (an eighth at 120 beats a minute).
        while (framesOf(driver.output, 42).size() < 2)
            driver.run();
        const long long grid = framesOf(driver.output, 42).front();

        // Notes after an instant and before the next one's window opens (about 2000 frames
        // before it), which the drummer answers at once; each falls into whatever cycle and
        // frame it falls on.
        std::vector<long long> played;
        for (int i = 0; i < 12; ++i)
            played.push_back(grid + 12000 * (3 + 2 * i) + 6000 + 37 + 409 * (i % 8));
        for (const auto frame : played)
        {
            while (driver.now + period <= frame)
                driver.run();
            const auto answersBefore = framesOf(driver.output, 36).size() + framesOf(driver.output, 38).size();
            driver.run({{frame, 0x90, 60}});
            auto answers = framesOf(driver.output, 36);
            const auto snares = framesOf(driver.output, 38);
            answers.insert(answers.end(), snares.begin(), snares.end());
            ASSERT_EQ(answers.size(), answersBefore + 1) << "note at " << frame << " answered in its own cycle";
            EXPECT_NE(std::find(answers.begin(), answers.end(), frame), answers.end())
                << "note at " << frame << " answered at its own frame";
        }

        for (const auto frame : framesOf(driver.output, 42))
            EXPECT_EQ((frame - grid) % 12000, 0) << "hi-hat at " << frame;
        EXPECT_GE(framesOf(driver.output, 42).size(), 20u);
    }
}

TEST(JackCycle, AnEventIsPlayedInItsOwnCycleOrNeverAndOnlyWhatACycleHoldsIsTaken)
{
    JackCycleMidi cycle;
    cycle.reserve(64);
    ReservedMidiBuffer block;
    block.reserve(4096);
    const juce::uint8 note[3] = {0x90, 60, 100};
    const juce::uint8 sysex[4] = {0xf0, 0x7e, 0x01, 0xf7};

    cycle.beginCycle(64);
    EXPECT_TRUE(cycle.addInput(note, 3, 0));
    EXPECT_TRUE(cycle.addInput(note, 3, 63));
    EXPECT_FALSE(cycle.addInput(note, 3, 64)) << "a frame past the cycle";
    EXPECT_FALSE(cycle.addInput(sysex, 4, 5)) << "longer than a channel message";
    EXPECT_FALSE(cycle.addInput(note, 0, 5)) << "empty";
    // A cycle whose block never came (no callback, a suspended processor): its events go.
    cycle.beginCycle(64);
    cycle.takeInput(block);
    EXPECT_TRUE(block.events.isEmpty());

    cycle.beginCycle(64);
    cycle.addInput(note, 3, 17);
    cycle.takeInput(block);
    cycle.takeInput(block); // a second block in the same cycle gets nothing more
    ASSERT_EQ(block.events.getNumEvents(), 1);
    EXPECT_EQ((*block.events.cbegin()).samplePosition, 17);
}

TEST(JackCycle, OutputOutsideTheCycleIsWrittenOnItsNearestFrameInOrder)
{
    JackCycleMidi cycle;
    cycle.reserve(64);
    cycle.beginCycle(64);
    juce::MidiBuffer sent;
    sent.addEvent(juce::MidiMessage::noteOn(10, 36, 1.0f), -3);
    sent.addEvent(juce::MidiMessage::noteOn(10, 38, 1.0f), 10);
    sent.addEvent(juce::MidiMessage::noteOn(10, 42, 1.0f), 64);
    sent.addEvent(juce::MidiMessage::noteOn(10, 49, 1.0f), 900);
    cycle.addOutput(sent);

    std::vector<std::pair<juce::uint32, int>> written;
    cycle.writeOutput(
        [&](juce::uint32 frame, const juce::uint8* data, size_t numBytes)
        {
            EXPECT_EQ(numBytes, 3u);
            written.emplace_back(frame, data[1]);
        });
    const std::vector<std::pair<juce::uint32, int>> expected{{0, 36}, {10, 38}, {63, 42}, {63, 49}};
    EXPECT_EQ(written, expected);
}

// A burst far beyond a cycle's room, on the JACK input and from the player at once, at every
// period: nothing allocates, what does not fit is dropped and counted, and the drummer plays on.
TEST(JackCycle, ABurstOfTenThousandEventsNeverAllocatesOnTheJackThread)
{
    for (const int period : {64, 1024})
    {
        SCOPED_TRACE("period " + std::to_string(period));
        for (const int kit : {BattoAudioProcessor::kitMidiOut, BattoAudioProcessor::kitInternal})
        {
            auto settings = drumsOnMidiOutput();
            settings.drumKit = kit;
            BattoAudioProcessorWithJackMidiIn processor(settings);
            processor.playMidiOutputInBlocks(true);
            CycleDriver driver(processor, period);
            processor.start();
            std::vector<Note> burst;
            for (int i = 0; i < 10000; ++i)
                burst.push_back({0, 0x90 | (i % 16), 36 + i % 40});
            for (int i = 0; i < 10000; ++i)
                driver.playerMidi.addEvent(juce::MidiMessage::noteOn(1, 60, 0.5f), i % period);
            juce::MidiBuffer playerBurst = driver.playerMidi;

            const std::vector<Note> none;
            int allocations = 0, frees = 0, locks = 0;
            for (int block = 0; block < 10; ++block)
            {
                for (auto& note : burst)
                    note.frame = driver.now + (&note - burst.data()) % period;
                driver.playerMidi = playerBurst; // the player's buffer holds a burst as well
                driver.output.clear();
                driver.output.reserve(1 << 16);
                const auto& input = block % 2 == 0 ? burst : none;
                AudioThreadWatch watch;
                driver.run(input);
                allocations += watch.allocations();
                frees += watch.frees();
                locks += watch.locks();
            }
            EXPECT_EQ(allocations, 0);
            EXPECT_EQ(frees, 0);
            EXPECT_EQ(locks, 0);
            if (period == 64)
            {
                EXPECT_GT(driver.cycle.getDroppedInputCount(), 0) << "a cycle has room for a few thousand events";
                EXPECT_GT(processor.getDroppedBlockEventCount(), 0);
            }
        }
    }
}

// Without a server the device says so at once: it never starts one, and never waits for one.
// Listing the devices of the type makes no client at all.
TEST(JackDevice, WithoutAServerTheDeviceSaysSoAndNothingWaits)
{
    setenv("JACK_NO_START_SERVER", "1", 1);
    setenv("JACK_DEFAULT_SERVER", "batto-no-such-server", 1);
    StandaloneDeviceManager manager("Batto");
    juce::StringArray types;
    for (auto* type : manager.getAvailableDeviceTypes())
        types.add(type->getTypeName());
    EXPECT_TRUE(types.contains("JACK"));
    EXPECT_EQ(types.size(), types.contains("ALSA") ? 2 : 1) << "the framework's own JACK type is not offered";

    JackAudioDeviceType type("Batto");
    type.scanForDevices();
    EXPECT_EQ(type.getDeviceNames(false), juce::StringArray{"system"});
    const auto started = juce::Time::getMillisecondCounterHiRes();
    std::unique_ptr<juce::AudioIODevice> device(type.createDevice("system", {}));
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->open({}, 15, 48000.0, 256), JackAudioDevice::noServerMessage);
    EXPECT_FALSE(device->isOpen());
    EXPECT_EQ(midiInputRouteFor(device.get()), MidiInputRoute::alsaInputsOpen);
    device.reset();
    EXPECT_LT(juce::Time::getMillisecondCounterHiRes() - started, 5000.0);
}
