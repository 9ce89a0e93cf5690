// The plug-in's editor in a host's window while the host's audio thread keeps processing.
#include "PluginHostTestSupport.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>
#include <thread>

TEST(HostedEditor, OpensAndClosesWhileTheAudioThreadProcesses)
{
    for (const auto format : {Format::vst3, Format::lv2})
    {
        HostedPlugin plugin(format, 48000.0, 256);
        ASSERT_TRUE(plugin.isLoaded()) << nameOf(format);
        ASSERT_TRUE(plugin.get().hasEditor()) << nameOf(format);
        plugin.transport.playFrom(0);

        std::atomic<bool> done{false};
        std::atomic<int> blocks{0};
        std::thread audioThread(
            [&]
            {
                while (!done)
                {
                    plugin.processBlock(256);
                    plugin.transport.advance(256);
                    ++blocks;
                }
            });

        for (int round = 0; round < 3; ++round)
        {
            std::unique_ptr<juce::AudioProcessorEditor> editor(plugin.get().createEditorIfNeeded());
            ASSERT_NE(editor, nullptr) << nameOf(format);
            {
                juce::DocumentWindow window("Batto MIDI FX", juce::Colours::black, 0);
                window.setContentNonOwned(editor.get(), true);
                window.setVisible(true);
                juce::MessageManager::getInstance()->runDispatchLoopUntil(300);
                // The drummer's own panel, not the framework's generic editor.
                EXPECT_EQ(editor->getWidth(), 480) << nameOf(format);
                EXPECT_EQ(editor->getHeight(), 295) << nameOf(format);
                window.clearContentComponent();
            }
            editor.reset();
            juce::MessageManager::getInstance()->runDispatchLoopUntil(50);
        }

        done = true;
        audioThread.join();
        EXPECT_GT(blocks.load(), 10) << nameOf(format);
    }
}
