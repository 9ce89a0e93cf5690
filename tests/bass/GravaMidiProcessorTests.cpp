// The live-MIDI bass follower, driven message by message on a hand-set millisecond clock.
// Both streams are recorded where the class hands them over.

#include "AudioProcessorWITHOUTMidiInFilter.h"
#include "GravaBassNote.h"
#include "GravaMidiProcessor.h"

#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <vector>

namespace
{
using Bytes = std::vector<int>;
using Stream = std::vector<Bytes>;

Bytes on(int note, int velocity, int channel = 1)
{
    return {0x90 | (channel - 1), note, velocity};
}

Bytes off(int note, int channel = 1)
{
    return {0x80 | (channel - 1), note, 0};
}

Bytes bytesOf(const juce::MidiMessage& message)
{
    const auto* data = message.getRawData();
    return Bytes(data, data + message.getRawDataSize());
}

// Notes left sounding on a stream: note-ons without a later note-off, per status nibble.
std::map<int, int> soundingNotes(const Stream& stream)
{
    std::map<int, int> sounding;
    for (const auto& message : stream)
    {
        const int key = (message[0] & 0x0F) * 128 + message[1];
        if ((message[0] & 0xF0) == 0x90 && message[2] > 0)
            ++sounding[key];
        else if ((message[0] & 0xF0) == 0x80)
            sounding.erase(key);
    }
    return sounding;
}

struct Settings
{
    juce::MidiOutput* noDevice = nullptr;
    int bassChannel = 1;
    int thruChannel = 1;
    int octa = 0;
    int lown = 40;
    int handleSwitch = 1;
};

// Sends the bass line and the thru stream to two lists, and reads the time from `now`.
class RecordingGravaMidiProcessor : public GravaMidiProcessor
{
public:
    explicit RecordingGravaMidiProcessor(Settings& settings,
                                         AudioProcessorWITHOUTMidiInFilter* filter = nullptr)
        : GravaMidiProcessor(&settings.noDevice, &settings.noDevice, &settings.bassChannel,
                             &settings.thruChannel, &settings.octa, &settings.lown, &settings.handleSwitch,
                             filter)
    {
    }

    void GravaSendMessageNow(const juce::MidiMessage& message) override
    {
        bass.push_back(bytesOf(message));
    }
    bool HaveToSendGravaMessage() override
    {
        return true;
    }
    bool HasToHandleIncomingMessage() override
    {
        return true;
    }

    void receive(const juce::MidiMessage& message, juce::uint32 atMs)
    {
        now = atMs;
        handleIncomingMidiMessage(nullptr, message);
    }
    void press(int note, int velocity, juce::uint32 atMs, int channel = 1)
    {
        receive(juce::MidiMessage::noteOn(channel, note, (juce::uint8)velocity), atMs);
    }
    void release(int note, juce::uint32 atMs)
    {
        receive(juce::MidiMessage::noteOff(1, note), atMs);
    }
    void pedal(bool down, juce::uint32 atMs)
    {
        receive(juce::MidiMessage::controllerEvent(1, 64, down ? 127 : 0), atMs);
    }

    Stream bass;
    Stream thru;
    juce::uint32 now = 0;

protected:
    void ThruSendMessageNow(const juce::MidiMessage& message) override
    {
        thru.push_back(bytesOf(message));
    }
    juce::uint32 getMillisecondCounter() override
    {
        return now;
    }
};

TEST(GravaBassNote, MapsEachNoteWithinTheFloorAndWrapsToSevenBits)
{
    struct Case
    {
        int note, octa, lown, expected;
    } cases[] = {
        {52, 0, 40, 40},  // E3 one octave down
        {40, 0, 40, 28},  // the floor itself still moves
        {39, 0, 40, 39},  // below the floor: as played
        {60, 1, 30, 36},  // two octaves when both fit above the floor
        {60, 1, 50, 48},  // only one when the second would pass the floor
        {60, -1, 40, 60}, // no octave allowed at all
        {5, 0, 0, 121},   // 5 - 12 wraps to the top of the 7-bit range
        {64, INT_MAX, INT_MIN, (int)((64LL - 12LL * ((64LL - INT_MIN) / 12 + 1)) & 0x7F)}, // no long loop
    };
    for (const auto& c : cases)
        EXPECT_EQ(gravaBassOutputNote(c.note, c.octa, c.lown), c.expected)
            << "note " << c.note << " octa " << c.octa << " lown " << c.lown;
}

TEST(GravaMidiProcessor, SecondKeyOfAChordGoesToBassOrThruByPitchAndTiming)
{
    struct Case
    {
        const char* name;
        int first, second;
        juce::uint32 gapMs;
        Stream bass, thru;
    } cases[] = {
        {"lower key 30 ms later: old bass re-sent on thru",
         60,
         48,
         30,
         {on(48, 100), off(48), on(36, 90)},
         {on(60, 100)}},
        {"lower key 64 ms later: still the same chord",
         60,
         48,
         64,
         {on(48, 100), off(48), on(36, 90)},
         {on(60, 100)}},
        {"lower key 65 ms later: old bass not re-sent", 60, 48, 65, {on(48, 100), off(48), on(36, 90)}, {}},
        {"lower key 100 ms later", 60, 48, 100, {on(48, 100), off(48), on(36, 90)}, {}},
        {"higher key stays on thru", 48, 60, 30, {on(36, 100)}, {on(60, 90)}},
    };
    for (const auto& c : cases)
    {
        Settings settings;
        RecordingGravaMidiProcessor follower(settings);
        follower.press(c.first, 100, 5000);
        follower.press(c.second, 90, 5000 + c.gapMs);
        EXPECT_EQ(follower.bass, c.bass) << c.name;
        EXPECT_EQ(follower.thru, c.thru) << c.name;
    }
}

TEST(GravaMidiProcessor, ReleasingTheBassHandsOverToAKeyStruckWithinTheWindow)
{
    struct Case
    {
        juce::uint32 overlapMs;
        bool handsOver;
    } cases[] = {{30, true}, {64, true}, {65, false}, {200, false}};
    for (const auto& c : cases)
    {
        Settings settings;
        RecordingGravaMidiProcessor follower(settings);
        follower.press(48, 100, 1000);
        follower.press(60, 80, 2000);
        follower.release(48, 2000 + c.overlapMs);

        const Stream bassHandedOver{on(36, 100), off(36), on(48, 80)};
        const Stream bassStopped{on(36, 100), off(36)};
        const Stream thruHandedOver{on(60, 80), off(48), off(60)};
        const Stream thruStopped{on(60, 80), off(48)};
        EXPECT_EQ(follower.bass, c.handsOver ? bassHandedOver : bassStopped) << c.overlapMs << " ms";
        EXPECT_EQ(follower.thru, c.handsOver ? thruHandedOver : thruStopped) << c.overlapMs << " ms";

        follower.release(60, 3000);
        EXPECT_TRUE(soundingNotes(follower.bass).empty()) << c.overlapMs << " ms";
    }
}

TEST(GravaMidiProcessor, PedalKeepsTheBassUntilItGoesUp)
{
    struct Case
    {
        juce::uint32 pedalUpMs;
        Stream bass;
    } cases[] = {
        // 60 was struck 20 ms before the pedal went up: it takes the bass over.
        {40, {on(36, 100), off(36), on(48, 70)}},
        {300, {on(36, 100), off(36)}},
    };
    for (const auto& c : cases)
    {
        Settings settings;
        settings.thruChannel = 2;
        RecordingGravaMidiProcessor follower(settings);
        follower.press(48, 100, 0);
        follower.pedal(true, 5);
        follower.release(48, 10);
        follower.press(60, 70, 20);
        EXPECT_EQ(follower.bass, Stream{on(36, 100)}) << "no note-off while the pedal is down";

        follower.pedal(false, c.pedalUpMs);
        EXPECT_EQ(follower.bass, c.bass) << "pedal up at " << c.pedalUpMs;
        EXPECT_EQ(follower.thru.front(), (Bytes{0xB1, 64, 127})) << "the pedal goes thru on its channel";
        EXPECT_EQ(follower.thru.back(), c.bass.size() == 3 ? off(60, 2) : (Bytes{0xB1, 64, 0}));
    }
}

TEST(GravaMidiProcessor, OtherMessagesGoToBothStreamsEachOnItsOwnChannel)
{
    struct Case
    {
        const char* name;
        juce::MidiMessage message;
        Bytes bass, thru;
    } cases[] = {
        {"volume controller", juce::MidiMessage::controllerEvent(1, 7, 99), {0xB2, 7, 99}, {0xB4, 7, 99}},
        {"pitch bend", juce::MidiMessage::pitchWheel(9, 0x2000), {0xE2, 0x00, 0x40}, {0xE4, 0x00, 0x40}},
        {"clock is not re-channelled", juce::MidiMessage::midiClock(), {0xF8}, {0xF8}},
    };
    for (const auto& c : cases)
    {
        Settings settings;
        settings.bassChannel = 3;
        settings.thruChannel = 5;
        RecordingGravaMidiProcessor follower(settings);
        follower.receive(c.message, 0);
        EXPECT_EQ(follower.bass, Stream{c.bass}) << c.name;
        EXPECT_EQ(follower.thru, Stream{c.thru}) << c.name;
    }
}

TEST(GravaMidiProcessor, ChannelSettingsOutsideOneToSixteenAreClamped)
{
    struct Case
    {
        int setting, channel;
    } cases[] = {{0, 1}, {-3, 1}, {1, 1}, {16, 16}, {17, 16}};
    for (const auto& c : cases)
    {
        Settings settings;
        settings.bassChannel = c.setting;
        settings.thruChannel = c.setting;
        RecordingGravaMidiProcessor follower(settings);
        follower.press(48, 100, 0);
        follower.press(60, 90, 0);
        follower.receive(juce::MidiMessage::controllerEvent(4, 1, 10), 0);
        const Bytes modulation{0xB0 | (c.channel - 1), 1, 10};
        EXPECT_EQ(follower.bass, (Stream{on(36, 100, c.channel), modulation})) << "setting " << c.setting;
        EXPECT_EQ(follower.thru, (Stream{on(60, 90, c.channel), modulation})) << "setting " << c.setting;
    }
}

TEST(GravaMidiProcessor, AllNotesOffControllerEndsTheBassAndReleasesEveryThruNote)
{
    Settings settings;
    RecordingGravaMidiProcessor follower(settings);
    follower.press(48, 100, 0);
    follower.press(60, 90, 10);
    follower.receive(juce::MidiMessage::allNotesOff(1), 500);

    EXPECT_EQ(follower.bass, (Stream{on(36, 100), off(36)}));
    ASSERT_EQ(follower.thru.size(), 129u);
    for (int note = 0; note < 128; ++note)
        EXPECT_EQ(follower.thru[1 + (size_t)note], off(note));

    follower.press(55, 90, 600);
    EXPECT_EQ(follower.bass.back(), on(43, 90)) << "a new key starts a new bass line";
}

TEST(GravaMidiProcessor, RemoveAllNotesEndsBothStreamsAndLetsTheNextKeyStartTheBass)
{
    Settings settings;
    RecordingGravaMidiProcessor follower(settings);
    follower.press(48, 100, 0);
    follower.press(60, 90, 100);
    follower.removeAllNotesMidiProc();
    EXPECT_EQ(follower.bass, (Stream{on(36, 100), off(36), off(48)}));
    EXPECT_EQ(follower.thru, (Stream{on(60, 90), off(48), off(60)}));
    EXPECT_TRUE(follower.heldKeys.empty());

    // A bass that only the pedal holds has no key left, yet ends as well.
    follower.pedal(true, 200);
    follower.press(50, 100, 300);
    follower.release(50, 400);
    follower.removeAllNotesMidiProc();
    EXPECT_TRUE(soundingNotes(follower.bass).empty());

    follower.press(70, 100, 500);
    EXPECT_EQ(follower.bass.back(), on(58, 100)) << "a key above the old bass starts the new one";
}

// Performances that once left a bass note without its note-off, kept the bass line silent
// under a new key, or re-sent a released key on the thru stream.
TEST(GravaMidiProcessor, PedalAndLegatoNeverLeaveANoteHangingOrTheBassStuck)
{
    struct Step
    {
        enum Kind
        {
            press,
            release,
            pedalDown,
            pedalUp
        } kind;
        int note;
        juce::uint32 atMs;
    };
    struct Case
    {
        const char* name;
        std::vector<Step> steps;
        Bytes bassMustContain;
    } cases[] = {
        {"a chord key released under the pedal after the bass stopped",
         {{Step::press, 48, 0},
          {Step::press, 52, 100},
          {Step::release, 48, 300},
          {Step::pedalDown, 0, 400},
          {Step::release, 52, 500},
          {Step::press, 55, 600},
          {Step::release, 55, 700},
          {Step::pedalUp, 0, 800}},
         on(43, 100)},
        {"a bass above a held key released under the pedal",
         {{Step::press, 48, 0},
          {Step::press, 60, 100},
          {Step::release, 48, 300},
          {Step::press, 70, 400},
          {Step::pedalDown, 0, 500},
          {Step::release, 70, 600},
          {Step::pedalUp, 0, 700},
          {Step::release, 60, 800}},
         off(58)},
        {"a lower key right after a pedal-held bass key",
         {{Step::pedalDown, 0, 0},
          {Step::press, 60, 0},
          {Step::release, 60, 10},
          {Step::press, 48, 20},
          {Step::release, 48, 30},
          {Step::pedalUp, 0, 40}},
         on(36, 100)},
    };
    for (const auto& c : cases)
    {
        Settings settings;
        RecordingGravaMidiProcessor follower(settings);
        for (const auto& step : c.steps)
        {
            switch (step.kind)
            {
            case Step::press:
                follower.press(step.note, 100, step.atMs);
                break;
            case Step::release:
                follower.release(step.note, step.atMs);
                break;
            case Step::pedalDown:
                follower.pedal(true, step.atMs);
                break;
            case Step::pedalUp:
                follower.pedal(false, step.atMs);
                break;
            }
        }
        EXPECT_NE(std::find(follower.bass.begin(), follower.bass.end(), c.bassMustContain),
                  follower.bass.end())
            << c.name;
        EXPECT_TRUE(soundingNotes(follower.bass).empty()) << c.name;
        EXPECT_TRUE(soundingNotes(follower.thru).empty()) << c.name;
    }
}

TEST(GravaMidiProcessor, WithNoDeviceBehindEitherStreamNothingIsHandled)
{
    Settings settings;
    GravaMidiProcessor follower(&settings.noDevice, &settings.noDevice, &settings.bassChannel,
                                &settings.thruChannel, &settings.octa, &settings.lown, &settings.handleSwitch,
                                nullptr);
    follower.handleIncomingMidiMessage(nullptr, juce::MidiMessage::noteOn(1, 48, (juce::uint8)100));
    EXPECT_EQ(follower.bassState, GravaMidiProcessor::noBass);
    EXPECT_TRUE(follower.heldKeys.empty());
}
} // namespace
