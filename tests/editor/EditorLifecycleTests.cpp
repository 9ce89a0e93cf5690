#include "AudioThreadWatch.h"
#include "EditorTestSupport.h"
#include "WatchedProcessor.h"

#include <malloc.h>

#include <atomic>
#include <thread>

namespace
{
constexpr double rate = 48000.0;
constexpr int blockSize = 256;

// A note of the player now and then, so that lights flash.
std::vector<std::pair<int, juce::MidiMessage>> playing(int block)
{
    if (block % 23 != 5)
        return {};
    return {{(block * 37) % blockSize, noteOn(48 + block % 30, 30 + (block * 7) % 97)}};
}

using WatchedProcessor = Watched<BattoAudioProcessor>;
} // namespace

TEST(EditorLifecycle, ProcessBlockStaysRealTimeSafeWithTheEditorOpenAndLightsFlashing)
{
    WatchedProcessor processor;
    BlockDriver driver(processor, rate, blockSize);
    EditorSession editor(processor);
    editor->start_button->setToggleState(true, juce::sendNotificationSync);

    int lightsSeen = 0;
    for (int block = 0; block < 800; ++block)
    {
        if (block == 300)
            editor->division_combo->setSelectedId(3, juce::sendNotificationSync);
        if (block == 500)
            editor->midi_drum_map_component->scale_sliders[0]->setValue(0.3, juce::sendNotificationSync);
        driver.run(blockSize, playing(block));
        if (block % 8 == 0)
        {
            pumpMessages(1); // the editor's own timers drain the codes and count the lights down
            for (const auto& light : editor->flash_lights)
                lightsSeen += light->isVisible() ? 1 : 0;
        }
    }
    EXPECT_GT(lightsSeen, 0);
    EXPECT_EQ(processor.allocations, 0);
    EXPECT_EQ(processor.frees, 0);
    EXPECT_EQ(processor.locks, 0);
    EXPECT_EQ(processor.threads, 0);
}

TEST(EditorLifecycle, OpeningAndClosingWhileTheDrummerPlaysLeaksNothingAndNeverCrashes)
{
    BattoAudioProcessor processor;
    processor.setRateAndBufferSizeDetails(rate, blockSize);
    processor.prepareToPlay(rate, blockSize);
    processor.start();

    // The audio thread plays on while editors come and go, as in a host.
    std::atomic<bool> playingOn{true};
    std::thread audio(
        [&]
        {
            juce::AudioBuffer<float> buffer(2, blockSize);
            juce::MidiBuffer midi;
            midi.ensureSize(4096);
            for (int block = 0; playingOn.load(); ++block)
            {
                midi.clear();
                for (const auto& [position, message] : playing(block % 4 == 0 ? 5 : block))
                    midi.addEvent(message, position);
                buffer.clear();
                processor.processBlock(buffer, midi);
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });

    const auto openAndClose = [&processor](int times)
    {
        for (int i = 0; i < times; ++i)
        {
            EditorSession editor(processor);
            EXPECT_TRUE(processor.displayCodes.isOpen());
            pumpMessages(15); // lights flash and count down while it is open
            if (i % 3 == 0)
                editor->buttonClicked(editor->midi_drum_map_button.get());
        }
    };
    openAndClose(5); // caches (pictures, fonts) fill once
    const size_t before = mallinfo2().uordblks;
    openAndClose(40);
    pumpMessages(50); // what the last editor left pending is delivered, or dropped with it
    const size_t after = mallinfo2().uordblks;

    playingOn.store(false);
    audio.join();
    EXPECT_FALSE(processor.displayCodes.isOpen()); // no editor, no display codes
    // An editor with its windows takes far more than this; forty of them leaked would show.
    EXPECT_LT(after, before + 256 * 1024) << before << " -> " << after;
}

TEST(EditorLifecycle, AHostThatBuildsTheNextEditorFirstKeepsItsDisplayCodes)
{
    BattoAudioProcessor processor;
    auto* first = processor.createEditor();
    auto* second = dynamic_cast<BattoEditor*>(processor.createEditorIfNeeded());
    ASSERT_NE(second, nullptr);
    delete first; // never the active one
    EXPECT_TRUE(processor.displayCodes.isOpen());
    processor.editorBeingDeleted(second);
    delete second;
    EXPECT_FALSE(processor.displayCodes.isOpen());
}
