#include "EditorTestSupport.h"

// Pictures of the panel of this build: stopped, running with lights lit and a special event,
// and the drum-map window. Each is written into the build folder (snapshots/), to look at,
// and compared with its reference picture in tests/editor/snapshots, so that a broken
// caption, slot, light or thumb fails. scripts/update-snapshots.sh writes the references
// again when the panel is meant to change.

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

// A pixel differs when one of its channels is off by more than this (rounding in the
// rasteriser); a picture matches its reference when no more than a few pixels differ.
constexpr int channelTolerance = 16;
constexpr int differingPixelsAllowed = 16;

int channelDistance(juce::Colour a, juce::Colour b)
{
    return std::max({std::abs(a.getRed() - b.getRed()), std::abs(a.getGreen() - b.getGreen()),
                     std::abs(a.getBlue() - b.getBlue()), std::abs(a.getAlpha() - b.getAlpha())});
}

void expectPicture(const juce::File& file, int width, int height)
{
    const juce::Image back = juce::ImageFileFormat::loadFrom(file);
    ASSERT_EQ(back.getWidth(), width) << file.getFullPathName();
    ASSERT_EQ(back.getHeight(), height);

    const juce::File referenceFile = juce::File(BATTO_REFERENCE_SNAPSHOT_FOLDER).getChildFile(file.getFileName());
    const juce::Image reference = juce::ImageFileFormat::loadFrom(referenceFile);
    ASSERT_TRUE(reference.isValid()) << "no reference picture " << referenceFile.getFullPathName()
                                     << " (scripts/update-snapshots.sh writes it)";
    ASSERT_EQ(reference.getWidth(), width) << referenceFile.getFullPathName();
    ASSERT_EQ(reference.getHeight(), height);
    int differing = 0;
    juce::Rectangle<int> where;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (channelDistance(back.getPixelAt(x, y), reference.getPixelAt(x, y)) > channelTolerance)
            {
                where = differing++ == 0 ? juce::Rectangle<int>(x, y, 1, 1)
                                         : where.getUnion(juce::Rectangle<int>(x, y, 1, 1));
            }
    EXPECT_LE(differing, differingPixelsAllowed)
        << file.getFullPathName() << " differs from " << referenceFile.getFullPathName() << " in " << differing
        << " pixels within " << where.toString() << " (scripts/update-snapshots.sh writes the references again)";
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
    editor->setControlHighlight(eventCode(DisplayCode::breakOneToGo + 1)); // the fill's glow
    editor->setControlHighlight(eventCode(1));
    editor->setControlHighlight(eventCode(2));
    editor->setControlHighlight(eventCode(DisplayCode::bothThresholds));
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
