#include "EditorTestSupport.h"

namespace
{
constexpr double rate = 48000.0;
constexpr int blockSize = 256;

// A processor whose drum notes leave as MIDI in both builds, so that previews can be seen.
BattoAudioProcessor::Settings midiOutSettings()
{
    BattoAudioProcessor::Settings settings;
    settings.drumKit = BattoAudioProcessor::kitMidiOut;
    return settings;
}

class DrumMap : public ::testing::Test
{
protected:
    DrumMap() : processor(midiOutSettings()), driver(processor, rate, blockSize), editor(processor)
    {
        pumpMessages();
        map = editor->midi_drum_map_component;
    }

    // The drum note-ons the next block sends.
    std::vector<Event> nextBlock()
    {
        return eventsOf(driver.run(blockSize));
    }

    BattoAudioProcessor processor;
    BlockDriver driver;
    EditorSession editor;
    MidiDrumMapComponent* map = nullptr;
};
} // namespace

TEST_F(DrumMap, RowsShowEachVoiceWithItsNoteNamedByOctave)
{
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->getWidth(), 521);
    EXPECT_EQ(map->getHeight(), 424);
    EXPECT_EQ(map->reset_button->getBounds(), juce::Rectangle<int>(240, 350, 150, 24));
    EXPECT_EQ(map->voice_labels[9]->getBounds(), juce::Rectangle<int>(100, 320, 100, 24));
    EXPECT_EQ(map->scale_sliders[0]->getBounds(), juce::Rectangle<int>(350, 50, 71, 24));

    const char* names[] = {"Snare", "Kick", "CHH", "OHH", "ride", "crash", "crash2", "hTom", "mTom", "lTom"};
    for (int voice = 0; voice < Batto::numVoices; ++voice)
    {
        EXPECT_EQ(map->voice_labels[static_cast<size_t>(voice)]->getText(), names[voice]);
        EXPECT_EQ(map->note_combos[static_cast<size_t>(voice)]->getSelectedId(), Batto::drumNoteByDefault[voice] + 1);
    }
    for (const auto& [note, text] : {std::pair{60, "60(C3)"}, std::pair{0, "0(C-2)"}, std::pair{61, "61"},
                                     std::pair{12, "12(C-1)"}, std::pair{120, "120(C8)"}, std::pair{127, "127"}})
        EXPECT_EQ(map->note_combos[0]->getItemText(note), text);
    EXPECT_EQ(map->note_combos[0]->getNumItems(), 128);
}

TEST_F(DrumMap, ChangesEditTheProcessorsMapAndPreviewTheVoiceOnce)
{
    nextBlock();
    // "40" for the snare: the map changes and the snare sounds once, at full scale.
    map->note_combos[Batto::Snare]->setSelectedId(41, juce::sendNotificationSync);
    EXPECT_EQ(processor.getDrumNote(Batto::Snare), 40);
    EXPECT_EQ(nextBlock(), (std::vector<Event>{{0, {0x99, 40, 127}}}));
    EXPECT_TRUE(nextBlock().empty());

    // A scale of 0.5 previews at 63, which the scale halves once more on its way out.
    map->scale_sliders[Batto::Kick]->setValue(0.5, juce::sendNotificationSync);
    EXPECT_EQ(processor.getVelocityScale(Batto::Kick), 0.5f);
    EXPECT_EQ(nextBlock(), (std::vector<Event>{{0, {0x99, 36, 31}}}));

    // A scale of 0 previews at velocity 0.
    map->scale_sliders[Batto::Ride]->setValue(0.0, juce::sendNotificationSync);
    EXPECT_EQ(nextBlock(), (std::vector<Event>{{0, {0x99, 51, 0}}}));

    // Reset Default puts back every note and scale, shows them, and plays nothing.
    map->buttonClicked(map->reset_button.get());
    EXPECT_TRUE(nextBlock().empty());
    for (int voice = 0; voice < Batto::numVoices; ++voice)
    {
        EXPECT_EQ(processor.getDrumNote(voice), Batto::drumNoteByDefault[voice]);
        EXPECT_EQ(processor.getVelocityScale(voice), 1.0f);
        EXPECT_EQ(map->note_combos[static_cast<size_t>(voice)]->getSelectedId(), Batto::drumNoteByDefault[voice] + 1);
        EXPECT_EQ(map->scale_sliders[static_cast<size_t>(voice)]->getValue(), 1.0);
    }
}

TEST_F(DrumMap, ValuesOutsideTheRangesShowAtTheEdgesAndStayUntilTheUserActs)
{
    processor.setDrumNote(Batto::Kick, 200);
    processor.setVelocityScale(Batto::Kick, 3.0f);
    map->RefreshGui();
    EXPECT_EQ(map->note_combos[Batto::Kick]->getText(), "");
    EXPECT_EQ(map->scale_sliders[Batto::Kick]->getValue(), 1.0);
    EXPECT_EQ(processor.getDrumNote(Batto::Kick), 200);
    EXPECT_EQ(processor.getVelocityScale(Batto::Kick), 3.0f);
    EXPECT_TRUE(nextBlock().empty());
}

TEST_F(DrumMap, WindowOpensFromThePanelAndEscapeWithoutModifiersHidesIt)
{
    auto& window = *editor->midi_drum_map_window;
    EXPECT_EQ(window.getName(), "MIDI Drum Map");
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.getContentComponent(), map);

    editor->buttonClicked(editor->midi_drum_map_button.get());
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.keyPressed(juce::KeyPress(juce::KeyPress::escapeKey, juce::ModifierKeys::shiftModifier, 0)));
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.keyPressed(juce::KeyPress(juce::KeyPress::escapeKey)));
    EXPECT_FALSE(window.isVisible());

    map->note_combos[Batto::OHH]->setSelectedId(47, juce::sendNotificationSync);
    editor->buttonClicked(editor->midi_drum_map_button.get());
    EXPECT_EQ(map->note_combos[Batto::OHH]->getSelectedId(), 47); // kept while hidden
    window.closeButtonPressed();
    EXPECT_FALSE(window.isVisible());
}
