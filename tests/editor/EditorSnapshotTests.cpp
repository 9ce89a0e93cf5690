#include "EditorTestSupport.h"

// Writes pictures of the panel of this build into the build folder (snapshots/), to look
// at: stopped, running with lights lit and a special event, and the drum-map window.

namespace
{
constexpr double rate = 48000.0;
constexpr int blockSize = 256;

const char* buildName()
{
    return BATTO_PLUGIN_BUILD ? "plugin" : "standalone";
}

juce::File writeSnapshot(const juce::Image& image, const juce::String& state)
{
    const juce::File folder(BATTO_SNAPSHOT_FOLDER);
    folder.createDirectory();
    const juce::File file = folder.getChildFile(juce::String("editor-") + buildName() + "-" + state + ".png");
    file.deleteFile();
    juce::FileOutputStream out(file);
    juce::PNGImageFormat().writeImageToStream(image, out);
    return file;
}

void expectPicture(const juce::File& file, int width, int height)
{
    const juce::Image back = juce::ImageFileFormat::loadFrom(file);
    EXPECT_EQ(back.getWidth(), width) << file.getFullPathName();
    EXPECT_EQ(back.getHeight(), height);
}
} // namespace

TEST(EditorSnapshots, PanelStoppedRunningAndWithItsDrumMap)
{
    BattoAudioProcessor processor;
    BlockDriver driver(processor, rate, blockSize);
    EditorSession editor(processor);
    pumpMessages();
    editor->division_combo->setSelectedId(3, juce::sendNotificationSync);
    driver.run(blockSize);
    const juce::File stopped = writeSnapshot(snapshotOf(*editor), "stopped");
    expectPicture(stopped, 480, 295);

    // Running: a bar and a half with the player's notes; a fill's countdown and a special
    // event are shown as they arrive.
    editor->start_button->setToggleState(true, juce::sendNotificationSync);
    for (int block = 0; block < 520; ++block)
    {
        std::vector<std::pair<int, juce::MidiMessage>> in;
        if (block == 470 || block == 490 || block == 505)
            in.push_back({17, noteOn(60, 110)});
        driver.run(blockSize, in);
        editor->drainDisplayCodes();
    }
    editor->setControlHighlight(eventCode(8));  // the fill's glow, two subdivisions from the bar line
    editor->setControlHighlight(eventCode(1));
    editor->setControlHighlight(eventCode(2));
    editor->setControlHighlight(eventCode(16)); // both thresholds
    const juce::File running = writeSnapshot(snapshotOf(*editor), "running");
    expectPicture(running, 480, 295);

    auto& window = *editor->midi_drum_map_window;
    editor->buttonClicked(editor->midi_drum_map_button.get());
    juce::Image drumMap(juce::Image::ARGB, window.getContentComponent()->getWidth(),
                        window.getContentComponent()->getHeight(), true);
    {
        juce::Graphics g(drumMap);
        g.fillAll(window.getBackgroundColour());
        g.drawImageAt(snapshotOf(*window.getContentComponent()), 0, 0);
    }
    const juce::File map = writeSnapshot(drumMap, "drum-map");
    expectPicture(map, 521, 424);
}
