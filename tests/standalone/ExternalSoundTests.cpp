// The application with its real sound sources: the instrument plug-in chosen in the settings
// comes back at the next start with the state it had at the last exit, a plug-in that is not
// loaded this time (another sound chosen, or not found) keeps its path and state, and the menu
// records a kit folder from the plug-in and loads it.
#include "StandaloneTestSupport.h"

#include "BattoEditor.h"
#include "BattokitFolder.h"
#include "VexStandAloneApplicationMainWindow.h"

namespace
{
juce::File testInstrumentBundle()
{
    return juce::File(BATTO_TEST_INSTRUMENT_LIBRARY).getParentDirectory().getParentDirectory().getParentDirectory();
}

juce::File stateFileBeside(const juce::File& settingsFile)
{
    return settingsFile.getSiblingFile("Batto_external_plugin_state_information");
}

juce::MemoryBlock stateOf(juce::AudioPluginInstance& plugin)
{
    juce::MemoryBlock state;
    plugin.getStateInformation(state);
    return state;
}

void setGain(juce::AudioPluginInstance& plugin, float gain)
{
    for (auto* parameter : plugin.getParameters())
        if (parameter->getName(32) == "gain")
            parameter->setValueNotifyingHost(gain);
}

bool menuItemEnabled(VexStandAloneApplication::MainWindow& window, int id)
{
    const juce::PopupMenu menu = window.getMenuForIndex(0, "Menu");
    for (juce::PopupMenu::MenuItemIterator it(menu); it.next();)
        if (it.getItem().itemID == id)
            return it.getItem().isEnabled;
    ADD_FAILURE() << "no menu item " << id;
    return false;
}

// The loudest sample of the drum outputs (1 and 2) over `blocks` blocks of the test device.
float drumPeakOver(int blocks)
{
    float peak = 0.0f;
    for (int block = 0; block < blocks; ++block)
    {
        TestAudioDevice::current->runBlock();
        for (int channel = 0; channel < 2; ++channel)
            peak = juce::jmax(peak, TestAudioDevice::current->output.getMagnitude(channel, 0, TestAudioDevice::blockSize));
    }
    return peak;
}

enum MenuItems
{
    chooseInstrument = 4,
    recordBattokit = 5,
    loadBattokit = 6
};
} // namespace

TEST(ExternalSound, TheInstrumentComesBackWithItsStateAfterARestart)
{
    struct Case
    {
        juce::String identifier;
        bool tune; // the test instrument has a parameter to change
    };
    std::vector<Case> cases{{testInstrumentBundle().getFullPathName(), true}};
    if (juce::File("/usr/lib/lv2/avldrums.lv2").isDirectory())
        cases.push_back({"http://gareus.org/oss/lv2/avldrums#BlackPearl", false});

    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.identifier);
        TemporaryHome home;
        writeTestDeviceState(home.settingsFile());
        writeSettings(home.settingsFile(), {{"drumKit", "-2"}, {"externalPluginPath", test.identifier}});
        juce::MemoryBlock tuned;
        {
            RunningApplication app(true, true);
            auto* plugin = app.processor().getExternalPlugin();
            ASSERT_NE(plugin, nullptr);
            if (test.tune)
                setGain(*plugin, 0.25f);
            tuned = stateOf(*plugin);
            // Quit with the plug-in's own window open ("EDIT").
            auto* editor = dynamic_cast<BattoEditor*>(app.processor().getActiveEditor());
            ASSERT_NE(editor, nullptr);
            EXPECT_TRUE(editor->edit_button->isVisible());
            editor->edit_button->setToggleState(true, juce::sendNotificationSync);
            ASSERT_NE(app.processor().GetExternalPluginWindowOwner()->getExternalPluginWindow(), nullptr);
        }
        EXPECT_EQ(readSettings(home.settingsFile()).getValue("externalPluginPath"), test.identifier);
        juce::MemoryBlock onDisk;
        ASSERT_TRUE(stateFileBeside(home.settingsFile()).loadFileAsData(onDisk));
        EXPECT_EQ(onDisk, tuned);

        RunningApplication again(true, true);
        auto* plugin = again.processor().getExternalPlugin();
        ASSERT_NE(plugin, nullptr);
        EXPECT_EQ(stateOf(*plugin), tuned);
    }
}

TEST(ExternalSound, APluginNotLoadedThisTimeKeepsItsPathAndItsState)
{
    TemporaryHome home;
    const juce::String bundle = testInstrumentBundle().getFullPathName();
    writeTestDeviceState(home.settingsFile());
    writeSettings(home.settingsFile(), {{"drumKit", "-2"}, {"externalPluginPath", bundle}});
    {
        RunningApplication app(true, true);
        ASSERT_TRUE(app.processor().hasExternalPlugin());
        setGain(*app.processor().getExternalPlugin(), 0.5f);
        app.processor().setDrumKit(BattoAudioProcessor::kitInternal); // quits with another sound chosen
    }
    juce::MemoryBlock saved;
    ASSERT_TRUE(stateFileBeside(home.settingsFile()).loadFileAsData(saved));

    // Started with the internal kit: the plug-in is not loaded, and the next exit keeps it.
    {
        RunningApplication app(true, true);
        EXPECT_FALSE(app.processor().hasExternalPlugin());
    }
    EXPECT_EQ(readSettings(home.settingsFile()).getValue("externalPluginPath"), bundle);

    // The external sound chosen again at the next start: the plug-in comes back with its state.
    writeSettings(home.settingsFile(), {{"drumKit", "-2"}});
    {
        RunningApplication app(true, true);
        ASSERT_TRUE(app.processor().hasExternalPlugin());
        EXPECT_EQ(stateOf(*app.processor().getExternalPlugin()), saved);
    }

    // A plug-in that has gone: the application runs silent and says so, the editor offers the
    // chooser (cancelled here), and the path and state stay.
    const juce::String gone = home.folder.getChildFile("Gone.vst3").getFullPathName();
    writeSettings(home.settingsFile(), {{"externalPluginPath", gone}});
    const juce::MemoryBlock before = [&] {
        juce::MemoryBlock block;
        stateFileBeside(home.settingsFile()).loadFileAsData(block);
        return block;
    }();
    {
        DialogCanceller canceller;
        RunningApplication app(true, true);
        EXPECT_EQ(canceller.cancelled, 1) << "the plug-in chooser opens at start";
        EXPECT_FALSE(app.processor().hasExternalPlugin());
        EXPECT_EQ(app.processor().getDrumKit(), BattoAudioProcessor::kitExternalPlugin);
        ASSERT_EQ(app.application.realSources->told.size(), 1);
        EXPECT_TRUE(app.application.realSources->told[0].contains(gone)) << app.application.realSources->told[0];
        app.processor().start();
        EXPECT_EQ(drumPeakOver(100), 0.0f);
    }
    EXPECT_EQ(readSettings(home.settingsFile()).getValue("externalPluginPath"), gone);
    juce::MemoryBlock after;
    ASSERT_TRUE(stateFileBeside(home.settingsFile()).loadFileAsData(after));
    EXPECT_EQ(after, before);
}

TEST(ExternalSound, TheMenuRecordsABattokitFromThePluginAndLoadsIt)
{
    TemporaryHome home;
    writeTestDeviceState(home.settingsFile());
    writeSettings(home.settingsFile(),
                  {{"drumKit", "-2"}, {"externalPluginPath", testInstrumentBundle().getFullPathName()}});
    RunningApplication app(true, true);
    auto& window = app.mainWindow();
    auto& sources = *app.application.realSources;
    auto& processor = app.processor();
    ASSERT_TRUE(processor.hasExternalPlugin());
    EXPECT_TRUE(menuItemEnabled(window, recordBattokit));

    // Recorded from the plug-in; the new kit is not chosen yet.
    sources.recordInto = home.folder.getChildFile("Mine.battokit");
    window.menuItemSelected(recordBattokit, 0);
    ASSERT_EQ(sources.told.size(), 1);
    EXPECT_TRUE(sources.told[0].startsWith("Battokit recorded")) << sources.told[0];
    for (int voice = 0; voice < BattokitFolder::voiceCount; ++voice)
        for (int layer = 0; layer < BattokitFolder::layerCount; ++layer)
            ASSERT_TRUE(BattokitFolder::fileFor(sources.recordInto, voice, layer).existsAsFile()) << voice << " " << layer;
    EXPECT_EQ(processor.getDrumKit(), BattoAudioProcessor::kitExternalPlugin);

    // Loading it: cancelled, nothing changes; chosen, the sound box and the sound follow.
    window.menuItemSelected(loadBattokit, 0);
    EXPECT_EQ(processor.getDrumKit(), BattoAudioProcessor::kitExternalPlugin);
    sources.kitToLoad = sources.recordInto;
    window.menuItemSelected(loadBattokit, 0);
    EXPECT_EQ(processor.getDrumKit(), BattoAudioProcessor::kitBattokitFolder);
    auto* editor = dynamic_cast<BattoEditor*>(processor.getActiveEditor());
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->drum_kit_combo->getSelectedId(), BattoAudioProcessor::kitBattokitFolder);
    EXPECT_EQ(processor.getLastBattokitLoad().filesLoaded, 160);
    processor.start();
    EXPECT_GT(drumPeakOver(100), 0.0f) << "the groove plays the recorded kit";

    app.finish();
    EXPECT_EQ(readSettings(home.settingsFile()).getValue("battokitpath"), sources.recordInto.getFullPathName());
}

TEST(ExternalSound, WithNoPluginTheChooserOpensAndCancellingLeavesTheDrumsSilent)
{
    TemporaryHome home;
    writeTestDeviceState(home.settingsFile());
    RunningApplication app(true, true);
    auto& window = app.mainWindow();
    EXPECT_FALSE(menuItemEnabled(window, recordBattokit));
    window.menuItemSelected(recordBattokit, 0); // greyed out: chosen anyway, nothing happens
    EXPECT_TRUE(app.application.realSources->told.isEmpty());

    DialogCanceller canceller;
    window.menuItemSelected(chooseInstrument, 0);
    EXPECT_EQ(canceller.cancelled, 1);
    EXPECT_EQ(app.processor().getDrumKit(), BattoAudioProcessor::kitExternalPlugin);
    EXPECT_FALSE(app.processor().hasExternalPlugin());
    app.processor().start();
    EXPECT_EQ(drumPeakOver(100), 0.0f);
}
