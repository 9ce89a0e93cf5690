#include "ProcessorTestSupport.h"

namespace
{
const juce::uint8 sysexBytes[] = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0x00, 0x11, 0x22, 0x33, 0x44, 0xF7};

juce::MidiMessage sysex()
{
    return juce::MidiMessage(sysexBytes, sizeof(sysexBytes));
}

#if !BATTO_PLUGIN_BUILD
juce::MidiMessage noteOff(int note, int channel = 10)
{
    return juce::MidiMessage::noteOff(channel, note);
}

juce::MidiMessage controller(int channel)
{
    return juce::MidiMessage::controllerEvent(channel, 7, 100);
}
#endif
} // namespace

#if BATTO_PLUGIN_BUILD
TEST(MidiInFilter, PluginBuildLetsEverythingThrough)
{
    BattoAudioProcessor processor;
    for (const auto& message : {noteOn(20, 100, 3), juce::MidiMessage::midiClock(), sysex()})
        EXPECT_TRUE(processor.IsOkWithMidiInChannelSelectedAndNoteLimits(message));
    juce::MidiBuffer buffer;
    buffer.addEvent(noteOn(20, 100, 3), 4);
    buffer.addEvent(sysex(), 9);
    const auto before = eventsOf(buffer);
    processor.FilterByMidiChannelAndNoteLimits(buffer);
    EXPECT_EQ(eventsOf(buffer), before);
}
#else
TEST(MidiInFilter, ChannelAndNoteRangeTests)
{
    struct Settings
    {
        bool channelOn;
        int channel;
        bool rangeOn;
        int lowest;
        int highest;
    };
    const Settings off{false, 1, false, 0, 127};
    const Settings channel10{true, 10, false, 0, 127};
    const Settings range36to60{false, 1, true, 36, 60};
    const Settings both{true, 10, true, 36, 60};
    struct Case
    {
        const char* what;
        Settings settings;
        juce::MidiMessage message;
        bool passes;
    };
    const Case cases[] = {
        {"no filter: a note on channel 3", off, noteOn(5, 100, 3), true},
        {"no filter: system exclusive", off, sysex(), true},
        {"channel 10: its note-on", channel10, noteOn(40, 100, 10), true},
        {"channel 10: a note-on on channel 1", channel10, noteOn(40, 100, 1), false},
        {"channel 10: MIDI clock is channel 0", channel10, juce::MidiMessage::midiClock(), false},
        {"channel 10: system exclusive is channel 0", channel10, sysex(), false},
        {"channel 10: a controller on 10", channel10, controller(10), true},
        {"range: lowest note", range36to60, noteOn(36, 100), true},
        {"range: highest note", range36to60, noteOn(60, 100), true},
        {"range: below", range36to60, noteOn(35, 100), false},
        {"range: above", range36to60, noteOn(61, 100), false},
        {"range: note-off below", range36to60, noteOff(35), false},
        {"range: note-off above", range36to60, noteOff(61), false},
        {"range: note-off inside", range36to60, noteOff(50), true},
        {"range: velocity-0 note-on below", range36to60, noteOn(35, 0), false},
        {"range: a controller", range36to60, controller(4), true},
        {"range: MIDI clock", range36to60, juce::MidiMessage::midiClock(), true},
        {"both: channel and range right", both, noteOn(40, 100, 10), true},
        {"both: range wrong", both, noteOn(70, 100, 10), false},
        {"both: channel wrong", both, noteOn(40, 100, 1), false},
        {"channel 0 accepts nothing", Settings{true, 0, false, 0, 127}, noteOn(40, 100, 1), false},
        {"channel 17 accepts nothing", Settings{true, 17, false, 0, 127}, noteOn(40, 100, 16), false},
        {"crossed range rejects notes", Settings{false, 1, true, 60, 36}, noteOn(50, 100), false},
        {"crossed range passes controllers", Settings{false, 1, true, 60, 36}, controller(1), true},
    };
    for (const auto& c : cases)
    {
        BattoAudioProcessor processor;
        processor.channelFilterOn = c.settings.channelOn;
        processor.midiInChannel = c.settings.channel;
        processor.noteRangeFilterOn = c.settings.rangeOn;
        processor.lowestNote = c.settings.lowest;
        processor.highestNote = c.settings.highest;
        EXPECT_EQ(processor.IsOkWithMidiInChannelSelectedAndNoteLimits(c.message), c.passes) << c.what;

        juce::MidiBuffer buffer;
        buffer.addEvent(c.message, 17);
        processor.FilterByMidiChannelAndNoteLimits(buffer);
        EXPECT_EQ(buffer.getNumEvents(), c.passes ? 1 : 0) << c.what;
    }
}

TEST(MidiInFilter, FilteringKeepsThePositionsAndOrderOfWhatPasses)
{
    BattoAudioProcessor processor;
    processor.noteRangeFilterOn = true;
    processor.lowestNote = 36;
    processor.highestNote = 60;
    juce::MidiBuffer buffer;
    buffer.addEvent(noteOn(40, 90), 0);
    buffer.addEvent(noteOn(70, 90), 0);
    buffer.addEvent(noteOn(41, 91), 0);
    buffer.addEvent(controller(1), 5);
    buffer.addEvent(noteOn(20, 90), 5);
    buffer.addEvent(sysex(), 6);
    buffer.addEvent(noteOff(40, 1), 300);
    processor.FilterByMidiChannelAndNoteLimits(buffer);

    const std::vector<Event> expected{{0, {0x90, 40, 90}},
                                      {0, {0x90, 41, 91}},
                                      {5, {0xB0, 7, 100}},
                                      {6, std::vector<int>(sysexBytes, sysexBytes + sizeof(sysexBytes))},
                                      {300, {0x80, 40, 0}}};
    EXPECT_EQ(eventsOf(buffer), expected);
}

TEST(MidiInFilter, FilteredNotesNeverReachTheEngine)
{
    BattoAudioProcessor processor;
    processor.channelFilterOn = true;
    processor.midiInChannel = 10;
    BlockDriver driver(processor, 44100.0, 512);
    processor.start();
    for (int block = 0; block < 4; ++block)
        driver.run(512, {{100, noteOn(60, 100, 1)}});
    EXPECT_EQ(processor.lastNoteOnInstant.bar, -1);
    driver.run(512, {{100, noteOn(60, 100, 10)}});
    EXPECT_GE(processor.lastNoteOnInstant.bar, 0);
}
#endif
