#include "EditorTestSupport.h"

namespace
{
constexpr double rate = 48000.0;
constexpr int blockSize = 256;

juce::Rectangle<int> boundsOf(const juce::Component& component)
{
    return component.getBounds();
}

// Runs blocks until the processor has taken the commands queued so far.
void runBlocks(BlockDriver& driver, int blocks = 1)
{
    for (int i = 0; i < blocks; ++i)
        driver.run(blockSize);
}
} // namespace

TEST(EditorControls, PanelLaysOutEveryControlWithItsNameAndPlace)
{
    BattoAudioProcessor processor;
    EditorSession editor(processor);
    ASSERT_NE(editor.editor, nullptr);
    EXPECT_EQ(editor->getWidth(), 480);
    EXPECT_EQ(editor->getHeight(), 295);

    const struct
    {
        const juce::Component* control;
        const char* name;
        juce::Rectangle<int> bounds;
    } controls[] = {
        {editor->tempo_slider.get(), "", {112, 120, 228, 44}},
        {editor->division_combo.get(), nullptr, {112, 184, 102, 24}},
#if BATTO_PLUGIN_BUILD
        {editor->start_button.get(), "START", {86, 14, 127, 24}},
        {editor->stop_button.get(), "STOP", {227, 14, 127, 24}},
        {editor->midi_drum_map_button.get(), "MIDI Drum Map", {129, 65, 146, 24}},
#else
        {editor->volume_slider.get(), "VOL", {417, 11, 40, 111}},
        {editor->start_button.get(), "START", {16, 4, 127, 24}},
        {editor->stop_button.get(), "STOP", {157, 4, 127, 24}},
        {editor->drum_kit_combo.get(), "drum kit box", {130, 47, 166, 24}},
        {editor->midi_drum_map_button.get(), "MIDI Drum Map", {129, 75, 146, 24}},
#endif
        {editor->velocity_sens_slider.get(), "VELOCITY SENS.", {6, 240, 131, 24}},
        {editor->dynamic_sens_slider.get(), "DYNAMIC SENS.", {6, 260, 131, 24}},
        {editor->grava_button.get(), "Grava", {379, 142, 73, 28}},
        {editor->edit_button.get(), "EDIT", {304, 52, 40, 15}},
        {editor->special_events_label.get(), nullptr, {27, 227, 93, 13}},
        {editor->auto_kick_button.get(), "auto kick", {307, 88, 88, 18}},
        {editor->auto_snare_button.get(), "auto snare", {307, 105, 88, 18}},
    };
    for (const auto& expected : controls)
    {
        SCOPED_TRACE(expected.bounds.toString());
        EXPECT_EQ(boundsOf(*expected.control), expected.bounds);
        if (expected.name != nullptr)
        {
            EXPECT_EQ(expected.control->getName(), expected.name);
        }
    }
    EXPECT_EQ(editor->edit_button->getButtonText(), "edit");
    EXPECT_FALSE(editor->edit_button->isVisible());
    EXPECT_EQ(editor->special_events_label->getText(), "SPECIAL EVENTS");
    EXPECT_EQ(editor->division_combo->getItemText(2), "16");
    EXPECT_EQ(editor->progression_bars.size(), 28u);
    EXPECT_EQ(editor->flash_lights.size(), 26u);
    for (const auto& light : editor->flash_lights)
        EXPECT_FALSE(light->isVisible());

#if BATTO_PLUGIN_BUILD
    // A plug-in's drums leave as MIDI: no sound box, no volume.
    EXPECT_FALSE(editor->drum_kit_combo->isVisible());
    EXPECT_EQ(editor->drum_kit_combo->getNumItems(), 0);
    EXPECT_FALSE(editor->volume_slider->isVisible());
    EXPECT_TRUE(editor->midi_drum_map_button->isVisible());
#else
    const juce::StringArray items{"Internal drum kit", "MIDI Output (Ch. 10)", "External Plugin", "*.battokit (beta)"};
    const int ids[] = {-3, -1, -2, -4};
    ASSERT_EQ(editor->drum_kit_combo->getNumItems(), 4);
    for (int i = 0; i < 4; ++i)
    {
        EXPECT_EQ(editor->drum_kit_combo->getItemText(i), items[i]);
        EXPECT_EQ(editor->drum_kit_combo->getItemId(i), ids[i]);
    }
    EXPECT_EQ(editor->drum_kit_combo->getSelectedId(), BattoAudioProcessor::kitInternal);
    EXPECT_FALSE(editor->midi_drum_map_button->isVisible()); // the internal kit has no drum map
#endif
}

TEST(EditorControls, TransportControlsShowWhetherTheDrummerIsStoppedRunningOrFollowingTheHost)
{
    for (const char* state : {"stopped", "running", "following"})
    {
        SCOPED_TRACE(state);
        BattoAudioProcessor processor;
        BlockDriver driver(processor, rate, blockSize);
        if (juce::String(state) == "running")
            processor.start();
        if (juce::String(state) == "following")
        {
            driver.playHead.answers = true;
            driver.playHead.play(120.0, 0.0);
        }
        runBlocks(driver, 2);

        EditorSession editor(processor);
        const bool following = juce::String(state) == "following";
        EXPECT_EQ(editor->start_button->getToggleState(), juce::String(state) == "running");
        EXPECT_EQ(editor->stop_button->getToggleState(), juce::String(state) != "running");
        EXPECT_EQ(editor->start_button->isEnabled(), !following);
        EXPECT_EQ(editor->stop_button->isEnabled(), !following);
        EXPECT_EQ(editor->tempo_slider->isEnabled(), !following);
        pumpMessages(); // the slider and box notifications of construction
        EXPECT_EQ(processor.isRunning(), juce::String(state) == "running");
    }
}

TEST(EditorControls, ControlsTakeTheStoredSettingsAndWriteChangesBack)
{
    // A stored 3 never reaches the panel: the processor keeps its own value instead.
    for (const auto& [stored, shown] : {std::pair{4, "16"}, std::pair{1, "4"}, std::pair{3, "8"}})
    {
        BattoAudioProcessor::Settings settings;
        settings.divisionDuTemps = stored;
        settings.tempo = 97.0;
        settings.breakParam1 = 0.25;
        settings.autoKick = false;
        settings.gravaEnabled = true;
        BattoAudioProcessor processor(settings);
        processor.setVolume(0.25);
        EditorSession editor(processor);
        pumpMessages();

        SCOPED_TRACE(stored);
        EXPECT_EQ(editor->division_combo->getText(), shown);
        EXPECT_EQ(editor->tempo_slider->getValue(), 97.0);
        EXPECT_EQ(editor->velocity_sens_slider->getValue(), 0.25);
        EXPECT_FALSE(editor->auto_kick_button->getToggleState());
        EXPECT_TRUE(editor->grava_button->getToggleState());
        EXPECT_EQ(processor.getTempoSetting(), 97.0); // opening the panel changed nothing
        EXPECT_EQ(processor.getVolume(), 0.25);
#if !BATTO_PLUGIN_BUILD
        // The slider shows the square root of the gain, and writes its square.
        EXPECT_EQ(editor->volume_slider->getValue(), 0.5);
        editor->volume_slider->setValue(0.8, juce::sendNotificationSync);
        editor->volume_slider->setValue(0.5, juce::sendNotificationSync);
        EXPECT_EQ(processor.getVolume(), 0.25);
#else
        editor->volume_slider->setValue(0.8, juce::sendNotificationSync); // hidden: writes nothing
        EXPECT_EQ(processor.getVolume(), 0.25);
#endif
    }

    BattoAudioProcessor processor;
#if !BATTO_PLUGIN_BUILD
    {
        processor.setVolume(-0.25); // no slider gives it; it shows as silence, not as no place at all
        EditorSession editor(processor);
        EXPECT_EQ(editor->volume_slider->getValue(), 0.0);
    }
#endif
    EditorSession editor(processor);
    editor->tempo_slider->setValue(133.0, juce::sendNotificationSync);
    editor->dynamic_sens_slider->setValue(0.75, juce::sendNotificationSync);
    editor->auto_snare_button->setToggleState(false, juce::sendNotificationSync);
    editor->grava_button->setToggleState(true, juce::sendNotificationSync);
    EXPECT_EQ(processor.getTempoSetting(), 133.0);
    EXPECT_EQ(processor.GetBreakParam2(), 0.75);
    EXPECT_FALSE(processor.isAutoSnareOn());
    EXPECT_TRUE(processor.isGravaEnabled());
}

TEST(EditorControls, SubdivisionChangesAtOnceWhenStoppedAndOnTheNextBeatWhenRunning)
{
    BattoAudioProcessor processor;
    BlockDriver driver(processor, rate, blockSize);
    EditorSession editor(processor);
    pumpMessages();
    EXPECT_EQ(editor->shownProgressionRow(), 2);

    // Stopped: the new row shows at once.
    editor->division_combo->setSelectedId(3, juce::sendNotificationSync);
    EXPECT_EQ(editor->shownProgressionRow(), 4);
    for (const int divisions : {1, 2, 4})
        for (auto* segment : editor->progressionRow(divisions))
            EXPECT_EQ(segment->isVisible(), divisions == 4);
    runBlocks(driver);
    EXPECT_EQ(processor.getDivisionDuTempsSetting(), 4);

    // Running: nothing changes until the drummer reaches its next beat.
    processor.start();
    runBlocks(driver, 30); // past the first beat (0.5 s at 120 bpm is 94 blocks; 30 are within it)
    editor->drainDisplayCodes();
    editor->division_combo->setSelectedId(1, juce::sendNotificationSync);
    runBlocks(driver, 2);
    editor->drainDisplayCodes();
    EXPECT_EQ(editor->shownProgressionRow(), 4);
    EXPECT_EQ(*processor.getDivisionDuTemps(), 4); // the engine's own count
    EXPECT_EQ(processor.getDivisionDuTempsSetting(), 1); // the user's choice, kept at once

    runBlocks(driver, 100); // the next beat
    editor->drainDisplayCodes();
    EXPECT_EQ(*processor.getDivisionDuTemps(), 1);
    EXPECT_EQ(editor->shownProgressionRow(), 1);
    for (auto* segment : editor->progressionRow(4))
        EXPECT_FALSE(segment->isVisible());
}

#if !BATTO_PLUGIN_BUILD
TEST(EditorControls, SpaceBarStartsAndStopsTheDrummerUnlessAModifierIsHeld)
{
    BattoAudioProcessor processor;
    BlockDriver driver(processor, rate, blockSize);
    EditorSession editor(processor);
    const juce::KeyPress space(juce::KeyPress::spaceKey);

    EXPECT_TRUE(editor->keyPressed(space));
    EXPECT_TRUE(editor->start_button->getToggleState());
    EXPECT_FALSE(editor->stop_button->getToggleState());
    runBlocks(driver);
    EXPECT_TRUE(processor.isRunning());

    for (const auto modifier : {juce::ModifierKeys::shiftModifier, juce::ModifierKeys::ctrlModifier,
                                juce::ModifierKeys::altModifier})
        EXPECT_FALSE(editor->keyPressed(juce::KeyPress(juce::KeyPress::spaceKey, modifier, ' ')));
    EXPECT_FALSE(editor->keyPressed(juce::KeyPress('a')));
    runBlocks(driver);
    EXPECT_TRUE(processor.isRunning());

    EXPECT_TRUE(editor->keyPressed(space));
    EXPECT_TRUE(editor->stop_button->getToggleState());
    runBlocks(driver);
    EXPECT_FALSE(processor.isRunning());
}

namespace
{
// A processor whose external plug-in side is under the test's control.
class ProcessorWithExternalPlugin : public BattoAudioProcessor
{
public:
    using BattoAudioProcessor::BattoAudioProcessor;

    bool hasExternalPlugin() const override
    {
        return loaded;
    }

    void chooseExternalPlugin(std::function<void()> whenLoaded) override
    {
        ++choosers;
        pendingChoice = std::move(whenLoaded);
    }

    void showExternalPluginWindow(juce::Button&, bool show) override
    {
        windowShown = show;
    }

    bool loaded = false;
    int choosers = 0;
    std::function<void()> pendingChoice;
    bool windowShown = false;
};

// Stands in for the standalone MIDI thread: started and stopped, it runs until asked to stop.
class IdleThread : public juce::Thread
{
public:
    IdleThread() : juce::Thread("MidiBatto")
    {
    }

    void run() override
    {
        while (!threadShouldExit())
            wait(5);
    }
};
} // namespace

TEST(EditorControls, SoundBoxSwitchesVolumeDrumMapEditToggleAndMidiThread)
{
    ProcessorWithExternalPlugin processor;
    IdleThread midiThread;
    processor.midiThread = &midiThread;
    BlockDriver driver(processor, rate, blockSize);
    processor.start();
    runBlocks(driver);
    EditorSession editor(processor);
    auto& box = *editor->drum_kit_combo;

    box.setSelectedId(BattoAudioProcessor::kitMidiOut, juce::sendNotificationSync);
    EXPECT_EQ(processor.getDrumKit(), BattoAudioProcessor::kitMidiOut);
    EXPECT_FALSE(editor->volume_slider->isEnabled());
    EXPECT_TRUE(editor->midi_drum_map_button->isVisible());
    EXPECT_TRUE(midiThread.isThreadRunning()); // the drummer runs: MIDI leaves from its thread

    box.setSelectedId(BattoAudioProcessor::kitInternal, juce::sendNotificationSync);
    EXPECT_TRUE(editor->volume_slider->isEnabled());
    EXPECT_FALSE(editor->midi_drum_map_button->isVisible());
    EXPECT_FALSE(editor->edit_button->isVisible());
    EXPECT_FALSE(midiThread.isThreadRunning());

    // No plug-in loaded: the chooser opens at once; once one loads, "EDIT" opens its window.
    box.setSelectedId(BattoAudioProcessor::kitExternalPlugin, juce::sendNotificationSync);
    EXPECT_EQ(processor.choosers, 1);
    EXPECT_TRUE(editor->midi_drum_map_button->isVisible());
    EXPECT_FALSE(editor->edit_button->isVisible());
    processor.loaded = true;
    processor.pendingChoice();
    EXPECT_TRUE(editor->edit_button->isVisible());
    EXPECT_TRUE(editor->edit_button->getToggleState());
    EXPECT_TRUE(processor.windowShown);

    // One loaded: "EDIT" shows, switched off, and no window opens.
    box.setSelectedId(BattoAudioProcessor::kitInternal, juce::sendNotificationSync);
    EXPECT_FALSE(processor.windowShown);
    box.setSelectedId(BattoAudioProcessor::kitExternalPlugin, juce::sendNotificationSync);
    EXPECT_EQ(processor.choosers, 1);
    EXPECT_TRUE(editor->edit_button->isVisible());
    EXPECT_FALSE(editor->edit_button->getToggleState());
    EXPECT_FALSE(processor.windowShown);

    // The menu's "choose a plugin instrument..." always asks.
    editor->SetToneIsExternalPlugin();
    EXPECT_EQ(processor.choosers, 2);

    // A choice that completes after the editor closed reaches nothing.
    editor.close();
    processor.pendingChoice();
    processor.midiThread = nullptr;
}
#endif

TEST(EditorControls, SpecialEventsCaptionIsEnabledWhileEitherSensitivityIsAboveZero)
{
    BattoAudioProcessor processor;
    EditorSession editor(processor);
    for (const auto& [velocity, dynamic, enabled] :
         {std::tuple{0.0, 0.0, false}, std::tuple{0.1, 0.0, true}, std::tuple{0.0, 0.1, true}, std::tuple{0.0, 0.0, false}})
    {
        editor->velocity_sens_slider->setValue(velocity, juce::sendNotificationSync);
        editor->dynamic_sens_slider->setValue(dynamic, juce::sendNotificationSync);
        EXPECT_EQ(editor->special_events_label->isEnabled(), enabled) << velocity << " " << dynamic;
    }
}
