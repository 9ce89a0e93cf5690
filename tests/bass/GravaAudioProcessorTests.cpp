// The audio-path bass follower, driven block by block with real MIDI buffers.

#include "AudioThreadWatch.h"
#include "GravaAudioProcessor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace
{
using Bytes = std::vector<int>;

struct Event
{
    int position;
    Bytes bytes;
    bool operator==(const Event& other) const
    {
        return position == other.position && bytes == other.bytes;
    }
};
using Events = std::vector<Event>;

std::ostream& operator<<(std::ostream& out, const Event& event)
{
    out << "{" << event.position << ":";
    for (int byte : event.bytes)
        out << " " << byte;
    return out << "}";
}

Bytes on(int note, int velocity = 100)
{
    return {0x90, note, velocity};
}

Bytes off(int note)
{
    return {0x80, note, 0};
}

Bytes controller(int number, int value, int channel = 1)
{
    return {0xB0 | (channel - 1), number, value};
}

juce::MidiBuffer bufferOf(const Events& events)
{
    juce::MidiBuffer buffer;
    for (const auto& event : events)
    {
        std::vector<juce::uint8> raw(event.bytes.begin(), event.bytes.end());
        buffer.addEvent(raw.data(), (int)raw.size(), event.position);
    }
    return buffer;
}

Events eventsOf(const juce::MidiBuffer& buffer)
{
    Events events;
    for (const auto event : buffer)
        events.push_back({event.samplePosition, Bytes(event.data, event.data + event.numBytes)});
    return events;
}

Events runBlock(GravaAudioProcessor& follower, const Events& input, int blockLength)
{
    juce::AudioBuffer<float> audio(2, blockLength);
    auto midi = bufferOf(input);
    follower.processBlock(audio, midi);
    return eventsOf(midi);
}

TEST(GravaAudioProcessor, TurnsThePlayersKeysIntoABassLine)
{
    struct Block
    {
        Events in, out;
    };
    struct Case
    {
        const char* name;
        std::vector<Block> blocks;
        int blockLength = 512;
        double sampleRate = 48000.0;
        int lown = 40;
    } cases[] = {
        {"C3 then E3: the bass stays on C2", {{{{10, on(48)}, {100, on(52, 90)}}, {{10, on(36)}}}}},
        {"E3 then C3: the bass moves down at once",
         {{{{0, on(52)}, {300, on(48, 80)}}, {{0, on(40)}, {300, off(40)}, {300, on(36, 80)}}}}},
        // 48 kHz: the legato window is 3120 samples.
        {"C3 released 3119 samples after E3: E2 takes over",
         {{{{0, on(48)}, {100, on(52, 90)}, {3219, off(48)}},
           {{0, on(36)}, {3219, off(36)}, {3219, on(40, 90)}}}},
         4096},
        {"C3 released 3120 samples after E3: the bass ends",
         {{{{0, on(48)}, {100, on(52, 90)}, {3220, off(48)}}, {{0, on(36)}, {3220, off(36)}}}},
         4096},
        {"the legato window spans blocks",
         {{{{0, on(48)}, {4000, on(52, 90)}}, {{0, on(36)}}},
          {{{3023, off(48)}}, {{3023, off(36)}, {3023, on(40, 90)}}}},
         4096},
        {"a key below the floor plays as played",
         {{{{50, on(35)}, {60, off(35)}}, {{50, on(35)}, {60, off(35)}}}}},
        {"the pedal holds the bass, and its held keys go when it rises",
         {{{{0, on(48)}, {10, controller(64, 127)}, {20, off(48)}}, {{0, on(36)}}},
          {{{5, controller(64, 0)}}, {{5, off(36)}}},
          {{{0, on(52)}}, {{0, on(40)}}}}},
        {"the bass never hands over to a key that only the pedal holds",
         {{{{0, controller(64, 127)},
            {10, on(60)},
            {20, off(60)},
            {30, on(50, 90)},
            {40, off(50)},
            {50, controller(64, 0)}},
           {{10, on(48)}, {30, off(48)}, {30, on(38, 90)}, {50, off(38)}}},
          {{{0, on(67)}}, {{0, on(55)}}}}},
        {"a pedal-up while the pedal is up changes nothing",
         {{{{0, on(48)}, {10, controller(64, 0)}, {20, off(48)}}, {{0, on(36)}, {20, off(36)}}}}},
        {"controller 123 ends the bass",
         {{{{0, on(48)}, {40, controller(123, 0)}}, {{0, on(36)}, {40, off(36)}}}}},
        {"a note played at sample 400 is written at 400", {{{{400, on(52)}}, {{400, on(40)}}}}},
        {"the same at 192 kHz", {{{{300, on(52)}}, {{300, on(40)}}}}, 512, 192000.0},
        {"other messages pass unchanged, notes on channel 1",
         {{{{30, controller(7, 99, 3)}, {31, {0xE4, 0, 0x40}}, {40, {0x95, 48, 100}}},
           {{30, controller(7, 99, 3)}, {31, {0xE4, 0, 0x40}}, {40, on(36)}}}}},
        {"a floor below 12 wraps a low key to the top", {{{{0, on(5)}}, {{0, on(121)}}}}, 512, 48000.0, 0},
    };
    for (const auto& c : cases)
    {
        GravaAudioProcessor follower;
        follower.setRateAndBufferSizeDetails(c.sampleRate, c.blockLength);
        follower.lown = c.lown;
        for (size_t b = 0; b < c.blocks.size(); ++b)
            EXPECT_EQ(runBlock(follower, c.blocks[b].in, c.blockLength), c.blocks[b].out)
                << c.name << ", block " << b;
    }
}

TEST(GravaAudioProcessor, WithoutASampleRateTheBassNeverHandsOver)
{
    GravaAudioProcessor follower; // never prepared: its rate reads 0
    EXPECT_EQ(runBlock(follower, {{0, on(48)}, {100, on(52)}, {101, off(48)}}, 512),
              (Events{{0, on(36)}, {101, off(36)}}));
}

TEST(GravaAudioProcessor, ASwitchReleasesEverythingAtTheStartOfTheNextBlock)
{
    GravaAudioProcessor follower;
    follower.setRateAndBufferSizeDetails(48000.0, 512);
    EXPECT_EQ(runBlock(follower, {{0, on(48)}, {1, controller(64, 127)}}, 512), (Events{{0, on(36)}}));

    // Switched on: the old key and the pedal go first; a key struck at sample 0 survives.
    follower.allNotesOffRequested = true;
    EXPECT_EQ(runBlock(follower, {{0, on(55, 90)}}, 512), (Events{{0, off(36)}, {0, on(43, 90)}}));
    EXPECT_FALSE(follower.allNotesOffRequested.load());
    EXPECT_FALSE(follower.sustainPedal);

    // Switched off and on again: the key held across the switch is released.
    follower.allNotesOffRequested = true;
    EXPECT_EQ(runBlock(follower, {}, 512), (Events{{0, off(43)}}));
    EXPECT_TRUE(follower.heldNotes.empty());
    EXPECT_EQ(runBlock(follower, {{10, on(60)}}, 512), (Events{{10, on(48)}})) << "nothing left to block it";
}

TEST(GravaAudioProcessor, VelocityRoundsHalfToEvenWithinTheMidiRange)
{
    // Velocities whose float product with 127 is exact, so ties really are ties.
    struct Case
    {
        double velocity;
        int expected;
    } cases[] = {{0.4921259880065918, 62}, {0.5, 64}, {0.5078740119934082, 64}, {1.5, 127}, {-0.1, 0}};
    for (const auto& c : cases)
    {
        GravaAudioProcessor follower;
        follower.insertNote(48, 100, 7);
        follower.voiceEvents.getReference(0).velocity = c.velocity;
        EXPECT_EQ(runBlock(follower, {}, 512), (Events{{7, on(36, c.expected)}})) << c.velocity;
    }
}

TEST(GravaAudioProcessor, StateCarriesOctaAndLownThroughTheRecordCodec)
{
    GravaAudioProcessor written;
    written.octa = 2;
    written.lown = 30;
    juce::MemoryBlock state;
    written.getStateInformation(state);
    const juce::uint8 expected[] = {'O', 'C', 'T', 'A', 2, 0, 0, 0, 'L', 'O', 'W', 'N', 30, 0, 0, 0,
                                    'M', 'I', 'D', 'I', 1, 0, 0, 0, 'D', 'N', 'R', 'L', 0,  0, 0, 0};
    ASSERT_EQ(state.getSize(), sizeof(expected));
    EXPECT_EQ(std::memcmp(state.getData(), expected, sizeof(expected)), 0);

    struct Case
    {
        const char* name;
        int size;
        int octa, lown;
    } cases[] = {
        {"whole block", 32, 2, 30},
        {"OCTA alone", 8, 2, 40},
        {"shorter than a record", 7, 0, 40},
        {"LOWN without OCTA", -1, 0, 30},
    };
    for (const auto& c : cases)
    {
        GravaAudioProcessor read;
        if (c.size >= 0)
            read.setStateInformation(state.getData(), c.size);
        else
            read.setStateInformation(expected + 8, 24);
        EXPECT_EQ(read.octa.load(), c.octa) << c.name;
        EXPECT_EQ(read.lown.load(), c.lown) << c.name;
    }
}

TEST(GravaAudioProcessor, ABlockAllocatesNothing)
{
    GravaAudioProcessor follower;
    follower.setRateAndBufferSizeDetails(48000.0, 512);
    juce::AudioBuffer<float> audio(2, 512);

    // Every key at once, released under the pedal, then all notes off: the most a block can hold.
    std::vector<juce::MidiBuffer> blocks(4);
    for (int note = 0; note < 128; ++note)
        blocks[0].addEvent(juce::MidiMessage::noteOn(1, 127 - note, (juce::uint8)100), note);
    blocks[1].addEvent(juce::MidiMessage::controllerEvent(1, 64, 127), 0);
    for (int note = 0; note < 128; ++note)
        blocks[1].addEvent(juce::MidiMessage::noteOff(1, note), 1 + note);
    blocks[1].addEvent(juce::MidiMessage::controllerEvent(1, 64, 0), 300);
    blocks[2].addEvent(juce::MidiMessage::noteOn(1, 40, (juce::uint8)100), 0);
    blocks[2].addEvent(juce::MidiMessage::allNotesOff(1), 10);
    blocks[3].addEvent(juce::MidiMessage::noteOn(1, 40, (juce::uint8)100), 0);
    const juce::uint8 sysex[] = {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0x12, 0x34, 0xF7};
    blocks[3].addEvent(sysex, (int)sizeof(sysex), 20);
    for (auto& block : blocks)
        block.ensureSize(8192); // a host's buffer has room for the block's MIDI
    follower.allNotesOffRequested = true;

    AudioThreadWatch watch;
    for (auto& block : blocks)
        follower.processBlock(audio, block);
    EXPECT_EQ(watch.allocations(), 0);
    EXPECT_EQ(watch.frees(), 0);
    EXPECT_EQ(watch.locks(), 0);
    EXPECT_EQ(eventsOf(blocks[3]).back(), (Event{20, Bytes(sysex, sysex + sizeof(sysex))}));
}
} // namespace
