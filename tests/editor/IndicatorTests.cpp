#include "EditorTestSupport.h"

namespace
{
constexpr double rate = 48000.0;
constexpr int blockSize = 256;

using Light = BattoEditor::FlashLight;
using Segment = BattoEditor::ProgressionBar;

int alphaAt(const juce::Image& image, int x, int y)
{
    return image.getPixelAt(x, y).getAlpha();
}

void stepLight(Light& light, int steps)
{
    for (int i = 0; i < steps; ++i)
        light.countDown();
}

// The row's segments as text: C current, B beat, . idle.
std::string rowColours(const BattoEditor& editor, int divisions)
{
    std::string text;
    for (const auto* segment : editor.progressionRow(divisions))
        text += segment->getSegmentColour() == Segment::current ? 'C'
                : segment->getSegmentColour() == Segment::beat  ? 'B'
                                                                 : '.';
    return text;
}

class Indicators : public ::testing::Test
{
protected:
    Indicators() : editor(processor)
    {
        pumpMessages(); // construction's own notifications
    }

    Light& light(int index)
    {
        return *editor->flash_lights[static_cast<size_t>(index)];
    }

    void send(int code)
    {
        editor->setControlHighlight(eventCode(code));
    }

    BattoAudioProcessor processor;
    EditorSession editor;
};
} // namespace

TEST_F(Indicators, QuickNotesTakeTheNextLightsOfTheirGroupAndAFourthRearmsTheOneWithLeastTime)
{
    for (int note = 0; note < 3; ++note)
    {
        send(1);
        EXPECT_TRUE(light(10 + note).isFlashing());
        EXPECT_TRUE(light(10 + note).isVisible());
        EXPECT_EQ(light(10 + note).getRemaining(), 500);
        for (int i = 10; i <= 12; ++i)
            stepLight(light(i), light(i).isFlashing() ? 2 : 0); // 50 ms pass
    }
    EXPECT_FALSE(light(7).isFlashing()); // codes 1 and 3 have their own group

    // All three flash: light 10, the oldest, has the least time left and starts over blue.
    send(3);
    EXPECT_EQ(light(10).getRemaining(), 500);
    EXPECT_EQ(light(10).getColourIndex(), 3);
    EXPECT_EQ(light(11).getRemaining(), 500 - 50 * 2);
    EXPECT_EQ(light(12).getRemaining(), 500 - 50);

    // A flash counts down in 25 ms steps and ends dark; the light can flash again.
    stepLight(light(12), 18);
    EXPECT_FALSE(light(12).isFlashing());
    EXPECT_FALSE(light(12).isVisible());
    send(4); // grey, lights 0-2, 100 ms
    EXPECT_EQ(light(0).getRemaining(), 100);
    stepLight(light(0), 4);
    EXPECT_FALSE(light(0).isVisible());
}

TEST_F(Indicators, LightsFadeSquaresLinesAndFrameAtTheirOwnPace)
{
    // code, steps of 25 ms, light, then the alpha of a square, a line and the frame.
    const struct
    {
        int code, steps, light;
        int square, line, frame;
        juce::uint32 rgb;
    } cases[] = {
        {0, 0, 7, 255, 0, 0, 0xffffaa},   // yellow squares only
        {1, 14, 10, 76, 25, 0, 0xffffaa}, // 150 ms left: squares and lines, no frame
        {2, 0, 8, 255, 204, 153, 0xaaaaff}, // blue, at its start: lines and frame too
        {4, 0, 0, 255, 0, 0, 0xaaaaaa},     // a grey flash never shows lines
    };
    for (const auto& expected : cases)
    {
        SCOPED_TRACE(expected.code);
        send(expected.code);
        Light& flashing = light(expected.light);
        stepLight(flashing, expected.steps);
        const juce::Image image = snapshotOf(flashing);
        EXPECT_EQ(flashing.getPaintedRemaining(), flashing.getRemaining());
        EXPECT_EQ(alphaAt(image, 3, 3), expected.square);
        EXPECT_EQ(alphaAt(image, 4, 1), expected.line);
        EXPECT_EQ(alphaAt(image, 0, 5), expected.frame);
        const juce::Colour square = image.getPixelAt(3, 3), colour(0xff000000 | expected.rgb);
        EXPECT_NEAR(square.getRed(), colour.getRed(), 3); // straight colour back from premultiplied
        EXPECT_NEAR(square.getBlue(), colour.getBlue(), 3);
        EXPECT_EQ(alphaAt(image, 1, 7), expected.line); // a vertical line, between two squares
    }
}

TEST_F(Indicators, FillCountdownGlowsIdleLightsUntilTheBarLineOrACrashRoll)
{
    send(0); // light 7 flashes meanwhile and is left alone
    using CodeAndAlpha = std::pair<int, int>;
    for (const auto& [code, alpha] : {CodeAndAlpha{DisplayCode::breakThreeToGo, 63},
                                      CodeAndAlpha{DisplayCode::breakOneToGo + 1, 84},
                                      CodeAndAlpha{DisplayCode::breakOneToGo, 127}})
    {
        send(code);
        const juce::Image image = snapshotOf(light(20));
        EXPECT_TRUE(light(20).isVisible());
        EXPECT_FALSE(light(20).isFlashing()); // a steady glow
        EXPECT_EQ(alphaAt(image, 3, 3), alpha) << code;
        EXPECT_EQ(alphaAt(image, 4, 1), 0); // squares only
        EXPECT_EQ(light(7).getRemaining(), 500);
    }

    send(DisplayCode::breakEnded);
    EXPECT_FALSE(light(20).isVisible());
    EXPECT_TRUE(light(7).isVisible());

    send(DisplayCode::breakOneToGo + 1);
    send(DisplayCode::crashRoll); // every idle light becomes a full yellow flash
    for (int i : {0, 13, 20, 25})
    {
        EXPECT_TRUE(light(i).isFlashing()) << i;
        EXPECT_EQ(light(i).getRemaining(), 500) << i;
        EXPECT_EQ(light(i).getColourIndex(), 0) << i;
    }
}

TEST_F(Indicators, SensitivitySlidersFlashForSpecialEventsAndFadeToBlack)
{
    auto& velocity = *editor->velocity_sens_slider;
    auto& dynamic = *editor->dynamic_sens_slider;
    const auto track = [](const juce::Slider& slider)
    {
        return slider.findColour(juce::Slider::trackColourId);
    };

    send(DisplayCode::bothThresholds); // blue on both
    EXPECT_EQ(track(velocity), juce::Colour(0, 127, 255));
    EXPECT_EQ(track(dynamic), juce::Colour(0, 127, 255));
    for (int i = 0; i < 40; ++i)
        velocity.countDown(); // a second passes

    send(DisplayCode::velocityThreshold); // alone: grey, from the start again
    EXPECT_EQ(velocity.getRemaining(), 2000);
    EXPECT_EQ(track(velocity), juce::Colour(255, 255, 255));
    EXPECT_EQ(track(dynamic), juce::Colour(0, 127, 255));

    for (int i = 0; i < 79; ++i)
        velocity.countDown();
    EXPECT_TRUE(velocity.isFlashing());
    EXPECT_EQ(track(velocity), juce::Colour(3, 3, 3)); // 25 ms left
    velocity.countDown();
    EXPECT_FALSE(velocity.isFlashing());
    EXPECT_EQ(track(velocity), juce::Colours::black);

    send(DisplayCode::dynamicThreshold);
    EXPECT_EQ(track(dynamic), juce::Colour(255, 255, 255));
    send(99); // codes nobody sends change nothing
    send(-1);
    EXPECT_EQ(track(velocity), juce::Colours::black);
}

TEST_F(Indicators, ProgressionRowsMarkTheSegmentThatPlaysAndItsBeat)
{
    const struct
    {
        int divisions;
        std::vector<std::pair<int, std::string>> positions; // position, then the row
    } rows[] = {
        {1, {{0, "C..."}, {8, ".C.."}, {16, "..C."}, {24, "...C"}, {0, "C..."}}},
        {2,
         {{0, "CB......"},
          {4, "BC......"},
          {8, "..CB...."},
          {12, "..BC...."},
          {16, "....CB.."},
          {28, "....CBBC"}, // a jump: the beat it left stays lit until its next start
          {0, "CB..CB.."}}},
        {4, {{0, "CBBB............"}, {2, "BCBB............"}, {4, "BBCB............"}, {6, "BBBC............"}, {8, "....CBBB........"}}},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.divisions);
        editor->division_combo->setSelectedId(row.divisions == 4 ? 3 : row.divisions, juce::sendNotificationSync);
        ASSERT_EQ(editor->shownProgressionRow(), row.divisions);
        EXPECT_EQ(rowColours(*editor, row.divisions), std::string(static_cast<size_t>(4 * row.divisions), '.'));
        for (const auto& [position, expected] : row.positions)
        {
            editor->setControlHighlight(positionCode(position));
            EXPECT_EQ(rowColours(*editor, row.divisions), expected) << "position " << position;
        }
    }
    editor->setControlHighlight(positionCode(32)); // outside the bar: ignored
    editor->cleanProgressionBar();
    EXPECT_EQ(rowColours(*editor, 4), std::string(16, '.'));
}

TEST(IndicatorsFromTheProcessor, ARunningDrummerLightsItsPlayersNotesAndWalksTheBar)
{
    BattoAudioProcessor processor;
    BlockDriver driver(processor, rate, blockSize);
    EditorSession editor(processor);
    pumpMessages();
    editor->division_combo->setSelectedId(3, juce::sendNotificationSync); // 16 segments
    driver.run(blockSize);
    processor.start();
    ForwardingDisplay display(*editor);

    // Two bars at 120 bpm, with a note of the player now and then.
    int currentSegments = 0, notesLit = 0;
    for (int block = 0; block < 2 * 375; ++block)
    {
        std::vector<std::pair<int, juce::MidiMessage>> in;
        if (block % 47 == 10)
            in.push_back({block % blockSize, noteOn(60, 40 + block % 80)});
        driver.run(blockSize, in);
        display.codes.clear();
        processor.displayCodes.drain(display);

        for (const auto& [code, highlighted] : display.codes)
            if (highlighted && code >= DisplayCode::firstMidiIn && code <= DisplayCode::lastMidiIn)
            {
                // The note lit a light of its own group in its own colour.
                bool lit = false;
                const int first = Light::MS_FIRST_FLASH_LIGHT_INDEX[code];
                for (int i = first; i < first + 3; ++i)
                    lit = lit || (editor->flash_lights[static_cast<size_t>(i)]->isVisible()
                                  && editor->flash_lights[static_cast<size_t>(i)]->getColourIndex() == code);
                EXPECT_TRUE(lit) << "code " << code;
                ++notesLit;
            }
        int lastPosition = -1;
        for (const auto& [code, highlighted] : display.codes)
            if (!highlighted)
                lastPosition = code;
        if (lastPosition >= 0)
        {
            // Exactly one segment plays, the one of the reported position.
            const std::string row = rowColours(*editor, 4);
            EXPECT_EQ(std::count(row.begin(), row.end(), 'C'), 1);
            EXPECT_EQ(row[static_cast<size_t>(lastPosition * 4 / 8)], 'C') << row;
            ++currentSegments;
        }
    }
    EXPECT_GE(currentSegments, 32); // every sixteenth of two bars
    EXPECT_GE(notesLit, 10);
}

// The panel of a processor whose blocks the test runs, started by its Start button.
class StartedPanel : public ::testing::Test
{
protected:
    StartedPanel() : driver(processor, rate, blockSize), editor(processor)
    {
        pumpMessages();
        editor->start_button->setToggleState(true, juce::sendNotificationSync);
        driver.run(blockSize);
    }

    BattoAudioProcessor processor;
    BlockDriver driver;
    EditorSession editor;
};

TEST_F(StartedPanel, HostTransportDisablesTheTransportAndHandsItBackWithTheChosenSubdivision)
{
    ASSERT_TRUE(processor.isRunning());

    driver.playHead.answers = true;
    driver.playHead.play(120.0, 0.0);
    driver.run(blockSize);
    editor->drainDisplayCodes();
    EXPECT_TRUE(editor->stop_button->getToggleState());
    EXPECT_FALSE(editor->start_button->getToggleState());
    for (const juce::Component* control :
         {(juce::Component*)editor->start_button.get(), (juce::Component*)editor->stop_button.get(),
          (juce::Component*)editor->tempo_slider.get()})
        EXPECT_FALSE(control->isEnabled());

    editor->division_combo->setSelectedId(3, juce::sendNotificationSync); // waits: the host plays
    driver.run(blockSize);
    editor->drainDisplayCodes();
    EXPECT_EQ(editor->shownProgressionRow(), 2);

    driver.playHead.stop();
    for (int block = 0; block < 3; ++block)
        driver.run(blockSize);
    editor->drainDisplayCodes();
    EXPECT_TRUE(editor->start_button->isEnabled());
    EXPECT_TRUE(editor->stop_button->isEnabled());
    EXPECT_TRUE(editor->tempo_slider->isEnabled());
    EXPECT_EQ(processor.getDivisionDuTempsSetting(), 4);
    EXPECT_EQ(editor->shownProgressionRow(), 4);
}

TEST_F(StartedPanel, StopDarkensTheBarAndTheGlowingLightsAfterWhatTheLastBlocksReported)
{
    for (int block = 0; block < 100; ++block)
        driver.run(blockSize);
    editor->drainDisplayCodes();
    // A fill counts down (its lights glow) and the last blocks' positions wait in the queue
    // when the user presses Stop.
    editor->setControlHighlight(eventCode(DisplayCode::breakOneToGo + 1));
    for (int block = 0; block < 60; ++block) // more than a half subdivision
        driver.run(blockSize);
    editor->stop_button->setToggleState(true, juce::sendNotificationSync);
    driver.run(blockSize);
    editor->drainDisplayCodes();
    EXPECT_EQ(rowColours(*editor, 2), "........");
    EXPECT_FALSE(editor->flash_lights[20]->isVisible());

    // Lights that glow when the user presses Start go dark too.
    editor->setControlHighlight(eventCode(DisplayCode::breakOneToGo));
    editor->start_button->setToggleState(true, juce::sendNotificationSync);
    driver.run(blockSize);
    editor->drainDisplayCodes();
    EXPECT_FALSE(editor->flash_lights[20]->isVisible());
}
