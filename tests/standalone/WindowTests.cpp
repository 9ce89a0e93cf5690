#include "AudioProcessorWITHMidiInFilter.h"
#include "BattoEditor.h"
#include "BattoStandAloneWindows.h"
#include "DeviceSelectorPanel.h"
#include "MidiInFilterComponent.h"
#include "StandaloneTakes.h"
#include "StandaloneTestSupport.h"
#include "VexStandAloneApplicationMainWindow.h"

namespace
{
struct MenuItem
{
    int id;
    std::string text;
    bool enabled;
    bool separator;
    bool ticked;
};

std::vector<MenuItem> itemsOf(const juce::PopupMenu& menu)
{
    std::vector<MenuItem> items;
    for (juce::PopupMenu::MenuItemIterator it(menu); it.next();)
    {
        const auto& item = it.getItem();
        items.push_back({item.itemID, item.text.toStdString(), item.isEnabled, item.isSeparator, item.isTicked});
    }
    return items;
}

const juce::KeyPress escape(juce::KeyPress::escapeKey);
} // namespace

TEST(MainWindow, MenuReadsTopToBottomAndActsOnEachItem)
{
    TemporaryHome home;
    RunningApplication app;
    auto& window = app.mainWindow();
    EXPECT_EQ(window.getName(), "Batto");
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.getMenuBarNames(), juce::StringArray{"Menu"});
    EXPECT_EQ(window.getMenuForIndex(1, "other").getNumItems(), 0);

    const auto items = itemsOf(window.getMenuForIndex(0, "Menu"));
    const std::vector<std::pair<int, std::string>> expected = {
        {1, "Audio & MIDI Settings..."},
        {2, "Midi In Filter..."},
        {4, "choose a plugin instrument..."},
        {5, "Record a battokit from these settings... (beta)"},
        {6, "Load battokit... (beta)"},
        {7, "Metronome..."},
        {15, "Sync"},
        {14, "Send MIDI clock"},
        {8, "Takes folder..."},
        {9, "Record the drums' audio with each take"},
        {10, "Recent takes"},
        {0, ""},
        {3, "Exit"}};
    ASSERT_EQ(items.size(), expected.size());
    for (size_t i = 0; i < items.size(); ++i)
    {
        EXPECT_EQ(items[i].id, expected[i].first) << i;
        EXPECT_EQ(items[i].text, expected[i].second) << i;
        EXPECT_EQ(items[i].separator, expected[i].first == 0) << i;
        EXPECT_EQ(items[i].enabled, items[i].id != 5) << items[i].text << ": only recording needs a plug-in";
    }
    // Built anew each time: recording is offered once a plug-in is there.
    app.application.sources->pluginLoaded = true;
    EXPECT_TRUE(itemsOf(window.getMenuForIndex(0, "Menu"))[3].enabled);

    // The drums' sound with each take: off at first, a ticked item that switches it and is
    // kept in the settings.
    auto& takes = *app.application.getTakes();
    EXPECT_FALSE(takes.isAudioOn());
    EXPECT_FALSE(items[9].ticked);
    window.menuItemSelected(9, 0);
    EXPECT_TRUE(takes.isAudioOn());
    EXPECT_TRUE(itemsOf(window.getMenuForIndex(0, "Menu"))[9].ticked);
    EXPECT_TRUE(app.application.getSettings()->getBoolValue("takeAudio"));
    EXPECT_EQ(takes.getFolder(), home.folder.getChildFile(".Batto/Takes"));

    auto& metronome = *app.application.getMetronomeWindow();
    EXPECT_FALSE(metronome.isVisible());
    window.menuItemSelected(7, 0);
    EXPECT_TRUE(metronome.isVisible());
    for (int id : {4, 5, 6, 1, 2, 99})
        window.menuItemSelected(id, 0);
    EXPECT_EQ(app.application.sources->calls, (std::vector<std::string>{"choose", "record", "load"}));
    EXPECT_FALSE(window.deviceSelectorWindow.isVisible()) << "commands act through the command manager only";
    EXPECT_EQ(app.application.quitRequests, 0);
    window.menuItemSelected(3, 0);
    EXPECT_EQ(app.application.quitRequests, 1);
    window.closeButtonPressed(); // the title bar's close button quits the same way
    EXPECT_EQ(app.application.quitRequests, 2);
}

// The sync choice: one ticked source at a time; while an external clock starts the drummer,
// START, STOP and the space bar do nothing, and the drummer sends no clock of its own.
TEST(MainWindow, SyncMenuChoosesWhoStartsTheDrummer)
{
    TemporaryHome home;
    writeTestDeviceState(home.settingsFile());
    RunningApplication app;
    auto& window = app.mainWindow();
    auto& processor = app.processor();
    auto* shown = dynamic_cast<BattoEditor*>(processor.getActiveEditor());
    ASSERT_NE(shown, nullptr);
    auto& editor = *shown;
    const auto syncItems = [&window]
    {
        const auto menu = window.getMenuForIndex(0, "Menu");
        juce::PopupMenu::MenuItemIterator it(menu);
        std::vector<MenuItem> sources;
        while (it.next())
            if (it.getItem().text == "Sync" && it.getItem().subMenu != nullptr)
                sources = itemsOf(*it.getItem().subMenu);
        return sources;
    };
    const auto sendClock = [&window]
    {
        for (const auto& item : itemsOf(window.getMenuForIndex(0, "Menu")))
            if (item.id == 14)
                return item;
        return MenuItem{};
    };

    auto sources = syncItems();
    ASSERT_EQ(sources.size(), 3u);
    EXPECT_EQ(sources[0].text, "Internal");
    EXPECT_EQ(sources[1].text, "JACK transport");
    EXPECT_EQ(sources[2].text, "MIDI clock");
    EXPECT_TRUE(sources[0].ticked && !sources[1].ticked && !sources[2].ticked);
    EXPECT_TRUE(sendClock().enabled);
    EXPECT_FALSE(sendClock().ticked);

    window.menuItemSelected(14, 0);
    EXPECT_TRUE(processor.isMidiClockOutputOn());
    EXPECT_TRUE(sendClock().ticked);

    processor.start();
    TestAudioDevice::current->runBlock();
    ASSERT_TRUE(processor.isRunning());
    window.menuItemSelected(13, 0); // "MIDI clock"
    EXPECT_EQ(processor.getSyncSource(), SyncSource::midiClock);
    TestAudioDevice::current->runBlock();
    EXPECT_FALSE(processor.isRunning()) << "the clock takes over from the Start button";
    sources = syncItems();
    EXPECT_TRUE(!sources[0].ticked && !sources[1].ticked && sources[2].ticked);
    EXPECT_FALSE(sendClock().enabled) << "never following and sending a clock at once";
    EXPECT_FALSE(editor.start_button->isEnabled());
    EXPECT_FALSE(editor.stop_button->isEnabled());
    EXPECT_TRUE(editor.tempo_slider->isEnabled()) << "greyed only while a clock drives the drummer";
    EXPECT_TRUE(editor.keyPressed(juce::KeyPress(juce::KeyPress::spaceKey)));
    processor.start(); // as the START button would
    TestAudioDevice::current->runBlock();
    EXPECT_FALSE(processor.isRunning());

    window.menuItemSelected(11, 0); // "Internal"
    EXPECT_EQ(processor.getSyncSource(), SyncSource::internal);
    EXPECT_TRUE(editor.start_button->isEnabled());
    EXPECT_TRUE(editor.stop_button->isEnabled());
}

TEST(MainWindow, CommandsOpenTheToolWindowsFromTheirKeyPresses)
{
    TemporaryHome home;
    RunningApplication app;
    auto& window = app.mainWindow();
    auto& commands = app.application;

    juce::Array<juce::CommandID> ids;
    window.getAllCommands(ids);
    EXPECT_EQ(ids, (juce::Array<juce::CommandID>{1, 2}));
    struct Row
    {
        int id;
        const char* name;
        const char* description;
        juce::KeyPress key;
        ToolDocumentWindow* opens;
    };
    const auto ctrl = juce::ModifierKeys::commandModifier;
    const Row rows[] = {{1, "Audio & MIDI Settings...", "Audio & MIDI Settings...",
                         juce::KeyPress(',', ctrl, 0), &window.deviceSelectorWindow},
                        {2, "Midi In Filter...", "Select Midi In chanel and pitch range",
                         juce::KeyPress('m', ctrl, 0), &window.midiInFilterWindow}};
    for (const auto& row : rows)
    {
        const auto* info = commands.getCommandForID(row.id);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->shortName, row.name);
        EXPECT_EQ(info->description, row.description);
        EXPECT_EQ(info->categoryName, "param");
        EXPECT_EQ(info->flags, 0);
        EXPECT_EQ(commands.getKeyMappings()->findCommandForKeyPress(row.key), row.id);

        EXPECT_FALSE(row.opens->isVisible());
        EXPECT_TRUE(commands.getKeyMappings()->keyPressed(row.key, &window));
        EXPECT_TRUE(row.opens->isVisible());
        row.opens->keyPressed(
            juce::KeyPress(juce::KeyPress::escapeKey, juce::ModifierKeys::shiftModifier, 0));
        EXPECT_TRUE(row.opens->isVisible()) << "Escape with a modifier does nothing";
        EXPECT_TRUE(row.opens->keyPressed(escape));
        EXPECT_FALSE(row.opens->isVisible());
        EXPECT_TRUE(window.perform(juce::ApplicationCommandTarget::InvocationInfo(row.id)));
        EXPECT_TRUE(row.opens->isVisible());
        row.opens->closeButtonPressed();
        EXPECT_FALSE(row.opens->isVisible()) << "a tool window's close button only hides it";
    }
    EXPECT_FALSE(window.perform(juce::ApplicationCommandTarget::InvocationInfo(3)));
    juce::ApplicationCommandInfo other(9);
    window.getCommandInfo(9, other);
    EXPECT_TRUE(other.shortName.isEmpty());
    EXPECT_EQ(window.getNextCommandTarget(), nullptr);

    EXPECT_EQ(window.deviceSelectorWindow.getWidth(), 500);
    EXPECT_EQ(window.deviceSelectorWindow.getHeight(), 450);
    EXPECT_EQ(window.midiInFilterWindow.getContentComponent()->getWidth(), 400);
}

TEST(DeviceWindow, SaysWhenNoAudioDeviceIsOpen)
{
    juce::AudioDeviceManager nothingOpen;
    DeviceSelectorPanel panel(nothingOpen, "the device went away");
    EXPECT_TRUE(panel.getStatusText().startsWith("No audio device is open"));
    EXPECT_TRUE(panel.getStatusText().contains("the device went away"));

    TemporaryHome home;
    writeTestDeviceState(home.settingsFile());
    RunningApplication app;
    auto* shown =
        dynamic_cast<DeviceSelectorPanel*>(app.mainWindow().deviceSelectorWindow.getContentComponent());
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->getStatusText(), "") << "a device is open";
}

TEST(DeviceWindow, TheApplicationStartsAndEndsWithNoDeviceAtAll)
{
    TemporaryHome home;
    RunningApplication app(false);
    if (app.application.getDeviceManager()->getCurrentAudioDevice() != nullptr)
        GTEST_SKIP() << "this machine has an audio device";
    auto* shown =
        dynamic_cast<DeviceSelectorPanel*>(app.mainWindow().deviceSelectorWindow.getContentComponent());
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(shown->getStatusText().startsWith("No audio device is open"));
    app.processor().start();
    app.finish();
    EXPECT_TRUE(home.settingsFile().existsAsFile());
}

TEST(MetronomeWindow, SliderSetsTheClickVolumeAndTheWindowOnlyHides)
{
    TemporaryHome home;
    writeSettings(home.settingsFile(), {{"metronomeVolume", "0.4"}});
    RunningApplication app;
    auto& window = *app.application.getMetronomeWindow();
    auto& content = window.metronomeComponent;
    EXPECT_EQ(window.getName(), "Metronome");
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.getContentComponent(), &content);
    EXPECT_EQ(content.getWidth(), 400);
    EXPECT_EQ(content.getHeight(), 200);
    EXPECT_EQ(content.getVolumeLabel().getText(), "Volume :\n");
    EXPECT_EQ(content.getVolumeLabel().getTooltip(), MetronomeComponent::tooltip);
    EXPECT_EQ(content.getVolumeSlider().getTooltip(), MetronomeComponent::tooltip);
    auto& slider = content.getVolumeSlider();
    EXPECT_EQ(slider.getMinimum(), 0.0);
    EXPECT_EQ(slider.getMaximum(), 1.0);
    EXPECT_EQ(slider.getInterval(), 0.01);
    EXPECT_EQ(slider.getValue(), 0.4) << "shows the stored volume";

    window.showAndBringToFront();
    slider.setValue(0.75, juce::sendNotificationSync);
    EXPECT_EQ(app.processor().getClickVolume(), 0.75);
    EXPECT_TRUE(window.keyPressed(escape));
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(app.processor().getClickVolume(), 0.75) << "closing keeps the volume";
    app.finish();
    EXPECT_EQ(readSettings(home.settingsFile()).getDoubleValue("metronomeVolume"), 0.75);
}

TEST(MidiInFilterPanel, NoteNames)
{
    const std::pair<int, const char*> names[] = {{60, "C3"},  {0, "C-2"},  {127, "G8"}, {36, "C1"},
                                                 {84, "C5"},  {61, "C#3"}, {63, "Eb3"}, {66, "F#3"},
                                                 {70, "Bb3"}, {-1, ""},    {128, ""}};
    for (const auto& [note, name] : names)
        EXPECT_EQ(MidiInFilterComponent::noteName(note), name) << note;
}

TEST(MidiInFilterPanel, ShowsTheStoredFilterAndWritesItAtOnce)
{
    BattoAudioProcessor filter; // a processor with the MIDI-in filter
    filter.midiInChannel = 16;
    filter.lowestNote = 24;
    filter.highestNote = 96;
    MidiInFilterComponent panel(&filter);
    EXPECT_EQ(panel.getWidth(), 400);
    EXPECT_EQ(panel.getHeight(), 250);
    EXPECT_EQ(panel.channelBox.getSelectedId(), 16);
    // Both switches off: the controls are disabled but show the stored values.
    EXPECT_FALSE(panel.channelBox.isEnabled());
    for (juce::Component* control :
         std::initializer_list<juce::Component*>{&panel.noteRangeSlider, &panel.lowNoteLabel,
                                                 &panel.highNoteLabel, &panel.fromLabel, &panel.toLabel})
        EXPECT_FALSE(control->isEnabled());
    EXPECT_EQ(panel.noteRangeSlider.getMinValue(), 24);
    EXPECT_EQ(panel.noteRangeSlider.getMaxValue(), 96);
    EXPECT_EQ(panel.lowNoteLabel.getText(), "C0");
    EXPECT_EQ(panel.highNoteLabel.getText(), "C6");
    EXPECT_EQ(panel.fromLabel.getText(), "from");
    EXPECT_EQ(panel.toLabel.getText(), "to");

    panel.channelToggle.setToggleState(true, juce::sendNotificationSync);
    EXPECT_TRUE(panel.channelBox.isEnabled());
    EXPECT_TRUE(filter.channelFilterOn) << "the filter tests the channel at once";
    panel.channelBox.setSelectedId(3, juce::sendNotificationSync);
    EXPECT_EQ(filter.midiInChannel, 3);

    panel.rangeToggle.setToggleState(true, juce::sendNotificationSync);
    EXPECT_TRUE(filter.noteRangeFilterOn);
    EXPECT_TRUE(panel.noteRangeSlider.isEnabled());
    EXPECT_TRUE(panel.lowNoteLabel.isEnabled());
    panel.noteRangeSlider.setMinValue(36, juce::sendNotificationSync);
    panel.noteRangeSlider.setMaxValue(84, juce::sendNotificationSync);
    EXPECT_EQ(filter.lowestNote, 36);
    EXPECT_EQ(filter.highestNote, 84);
    EXPECT_EQ(panel.lowNoteLabel.getText(), "C1");
    EXPECT_EQ(panel.highNoteLabel.getText(), "C5");
}

TEST(MidiInFilterPanel, AStoredChannelOutsideTheBoxSelectsNothingAndIsKeptUntilAChoice)
{
    BattoAudioProcessor filter; // a processor with the MIDI-in filter
    filter.midiInChannel = 17;
    MidiInFilterComponent panel(&filter);
    EXPECT_EQ(panel.channelBox.getSelectedId(), 0);
    EXPECT_EQ(panel.channelBox.getText(), "");
    EXPECT_EQ(filter.midiInChannel, 17);
    panel.channelBox.setSelectedId(5, juce::sendNotificationSync);
    EXPECT_EQ(filter.midiInChannel, 5);
}
