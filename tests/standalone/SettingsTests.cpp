#include "AudioProcessorWITHMidiInFilter.h"
#include "StandaloneTestSupport.h"

#include <sys/stat.h>

namespace
{
const char* const everyKey[] = {"tempo",
                                "divisionDuTemps",
                                "autokick",
                                "autosnare",
                                "drumKit",
                                "break1",
                                "break2",
                                "grava",
                                "battokitpath",
                                "metronomeVolume",
                                "syncSource",
                                "midiClockOut",
                                "drumNote0",
                                "drumNote9",
                                "midiVelScale0",
                                "midiVelScale9",
                                "externalPluginPath",
                                "filter_midi_chanel",
                                "midi_chanel",
                                "filter_midi_range",
                                "highest_note",
                                "lowest_note",
                                "audioDeviceState"};

ino_t inodeOf(const juce::File& file)
{
    struct stat status
    {
    };
    return ::stat(file.getFullPathName().toRawUTF8(), &status) == 0 ? status.st_ino : 0;
}
} // namespace

TEST(Settings, FirstStartWithNoFileGivesEveryDefaultAndExitWritesEveryKey)
{
    TemporaryHome home;
    ASSERT_FALSE(home.settingsFile().exists());
    {
        RunningApplication app;
        auto& processor = app.processor();
        EXPECT_EQ(processor.getTempoSetting(), 120.0);
        EXPECT_EQ(processor.getDivisionDuTempsSetting(), 2);
        EXPECT_TRUE(processor.isAutoKickOn());
        EXPECT_TRUE(processor.isAutoSnareOn());
        EXPECT_EQ(processor.getDrumKit(), BattoAudioProcessor::kitInternal);
        EXPECT_EQ(processor.GetBreakParam1(), 0.5);
        EXPECT_EQ(processor.GetBreakParam2(), 0.5);
        EXPECT_FALSE(processor.isGravaEnabled());
        EXPECT_EQ(processor.getClickVolume(), 0.0);
        for (int voice = 0; voice < Batto::numVoices; ++voice)
        {
            EXPECT_EQ(processor.getDrumNote(voice), Batto::drumNoteByDefault[voice]);
            EXPECT_EQ(processor.getVelocityScale(voice), 1.0f);
        }
        EXPECT_FALSE(app.filter().channelFilterOn);
        EXPECT_EQ(app.filter().midiInChannel, 1);
        EXPECT_FALSE(app.filter().noteRangeFilterOn);
        EXPECT_EQ(app.filter().lowestNote, 0);
        EXPECT_EQ(app.filter().highestNote, 127);
    }
    ASSERT_TRUE(home.settingsFile().existsAsFile());
    auto written = readSettings(home.settingsFile());
    for (const char* key : everyKey)
        EXPECT_TRUE(written.containsKey(key)) << key;
    EXPECT_EQ(written.getValue("drumNote9"), "41");
    EXPECT_EQ(written.getValue("audioDeviceState"), "") << "no device was ever chosen";
}

// The file follows the changes while the application runs, so that a crash or a kill loses
// little: a change is on disk about a second after it settles, before any shut-down.
TEST(Settings, AChangeReachesTheFileWhileTheApplicationRuns)
{
    TemporaryHome home;
    writeTestDeviceState(home.settingsFile());
    RunningApplication app;
    app.processor().setClickVolume(0.6); // as the metronome window does
    app.filter().midiInChannel = 10;     // as the MIDI-in filter window does
    const auto saved = [&home]
    {
        const auto written = readSettings(home.settingsFile());
        return written.getDoubleValue("metronomeVolume") == 0.6 && written.getIntValue("midi_chanel") == 10;
    };
    const auto giveUp = juce::Time::getMillisecondCounter() + 10000;
    while (!saved() && juce::Time::getMillisecondCounter() < giveUp)
        juce::MessageManager::getInstance()->runDispatchLoopUntil(50);
    EXPECT_TRUE(saved()) << home.settingsFile().loadFileAsString();
}

TEST(Settings, EveryChangedValueIsWrittenAtExitAndReadBackNextTime)
{
    TemporaryHome home;
    writeTestDeviceState(home.settingsFile());
    {
        RunningApplication app;
        auto& processor = app.processor();
        processor.setTempo(97.5);
        processor.chooseDivisionDuTemps(4);
        TestAudioDevice::current->runBlock(); // the stopped processor applies the subdivision
        processor.setAutoKick(false);
        processor.setAutoSnare(false);
        processor.setDrumKit(BattoAudioProcessor::kitMidiOut);
        processor.setBreakParam1(0.25);
        processor.setBreakParam2(0.75);
        processor.setGravaEnabled(true);
        processor.setClickVolume(0.6);
        processor.setSyncSource(SyncSource::jackTransport);
        processor.setMidiClockOutput(true);
        processor.setDrumNote(3, 70);
        processor.setVelocityScale(3, 0.3f);
        app.filter().channelFilterOn = true;
        app.filter().midiInChannel = 10;
        app.filter().noteRangeFilterOn = true;
        app.filter().lowestNote = 36;
        app.filter().highestNote = 84;
    }
    auto written = readSettings(home.settingsFile());
    EXPECT_EQ(written.getDoubleValue("tempo"), 97.5);
    EXPECT_EQ(written.getIntValue("divisionDuTemps"), 4);
    EXPECT_EQ(written.getValue("autokick"), "0");
    EXPECT_EQ(written.getIntValue("drumKit"), -1);
    EXPECT_EQ(written.getValue("syncSource"), "JACK transport");
    // The velocity scale is a float: what is stored is that float widened, not the double 0.3.
    EXPECT_EQ(written.getDoubleValue("midiVelScale3"), static_cast<double>(0.3f));
    EXPECT_TRUE(written.getValue("audioDeviceState").contains("deviceType=\"Test\""));

    RunningApplication again;
    auto& processor = again.processor();
    EXPECT_EQ(processor.getTempoSetting(), 97.5);
    EXPECT_EQ(processor.getDivisionDuTempsSetting(), 4);
    EXPECT_FALSE(processor.isAutoKickOn());
    EXPECT_FALSE(processor.isAutoSnareOn());
    EXPECT_EQ(processor.getDrumKit(), BattoAudioProcessor::kitMidiOut);
    EXPECT_EQ(processor.GetBreakParam1(), 0.25);
    EXPECT_EQ(processor.GetBreakParam2(), 0.75);
    EXPECT_TRUE(processor.isGravaEnabled());
    EXPECT_EQ(processor.getClickVolume(), 0.6);
    EXPECT_EQ(processor.getSyncSource(), SyncSource::jackTransport);
    EXPECT_TRUE(processor.isMidiClockOutputOn());
    EXPECT_EQ(processor.getDrumNote(3), 70);
    EXPECT_EQ(processor.getVelocityScale(3), 0.3f);
    EXPECT_TRUE(again.filter().channelFilterOn);
    EXPECT_EQ(again.filter().midiInChannel, 10);
    EXPECT_TRUE(again.filter().noteRangeFilterOn);
    EXPECT_EQ(again.filter().lowestNote, 36);
    EXPECT_EQ(again.filter().highestNote, 84);
    EXPECT_NE(again.application.getDeviceManager()->getCurrentAudioDevice(), nullptr)
        << "the saved device opens";
}

TEST(Settings, ValuesTheEngineCannotRunWithFallBackAndOthersAreUsedAsRead)
{
    struct Case
    {
        const char* key;
        const char* text;
        double expected;
    };
    // Each value is read by a fresh application; `expected` is what the processor or the
    // filter then holds.
    const Case cases[] = {
        {"divisionDuTemps", "3", 2},
        {"divisionDuTemps", "four", 2},
        {"divisionDuTemps", "1", 1},
        {"tempo", "-5", 120},
        {"tempo", "0", 120},
        {"tempo", "fast", 120},
        {"tempo", "nan", 120},
        {"tempo", "inf", 120},
        {"tempo", "1e400", 120},
        {"tempo", "30.5", 30.5},
        {"break1", "nan", 0.5},
        {"break1", "2.5", 2.5},
        {"midiVelScale2", "inf", 1},
        {"midiVelScale2", "3.0", 3},
        {"drumNote4", "200", 51},
        {"drumNote4", "-1", 51},
        {"drumNote4", "60", 60},
        {"metronomeVolume", "nan", 0},
        {"metronomeVolume", "0.25", 0.25},
        {"highest_note", "300", 127},
        {"lowest_note", "x", 0},
        {"midi_chanel", "17", 17},
        {"drumKit", "junk", -3},
        {"drumKit", "-1", -1},
        {"syncSource", "MIDI clock", static_cast<int>(SyncSource::midiClock)},
        {"syncSource", "midi clock", static_cast<int>(SyncSource::internal)},
        {"syncSource", "", static_cast<int>(SyncSource::internal)},
        {"midiClockOut", "junk", 0},
        {"midiClockOut", "1", 1},
    };
    for (const auto& c : cases)
    {
        TemporaryHome home;
        writeSettings(home.settingsFile(), {{c.key, c.text}});
        RunningApplication app;
        auto& processor = app.processor();
        const juce::String key(c.key);
        double held = 0.0;
        if (key == "divisionDuTemps")
            held = processor.getDivisionDuTempsSetting();
        else if (key == "tempo")
            held = processor.getTempoSetting();
        else if (key == "break1")
            held = processor.GetBreakParam1();
        else if (key == "midiVelScale2")
            held = processor.getVelocityScale(2);
        else if (key == "drumNote4")
            held = processor.getDrumNote(4);
        else if (key == "metronomeVolume")
            held = processor.getClickVolume();
        else if (key == "highest_note")
            held = app.filter().highestNote;
        else if (key == "lowest_note")
            held = app.filter().lowestNote;
        else if (key == "midi_chanel")
            held = app.filter().midiInChannel;
        else if (key == "drumKit")
            held = processor.getDrumKit();
        else if (key == "syncSource")
            held = static_cast<int>(processor.getSyncSource());
        else if (key == "midiClockOut")
            held = processor.isMidiClockOutputOn();
        EXPECT_EQ(held, c.expected) << c.key << " = \"" << c.text << "\"";
    }
}

TEST(Settings, TheFileIsReplacedWholeNeverRewrittenInPlace)
{
    TemporaryHome home;
    writeSettings(home.settingsFile(), {{"tempo", "100"}});
    const auto before = inodeOf(home.settingsFile());
    {
        RunningApplication app;
        app.processor().setTempo(101.0);
    }
    // A new file took the old one's place in one rename: an interrupted write leaves the
    // old settings whole, and no temporary file is left behind.
    EXPECT_NE(inodeOf(home.settingsFile()), before);
    EXPECT_EQ(readSettings(home.settingsFile()).getDoubleValue("tempo"), 101.0);
    EXPECT_EQ(home.settingsFile().getParentDirectory().getNumberOfChildFiles(juce::File::findFiles), 1);
}
