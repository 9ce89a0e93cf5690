#include <juce_gui_basics/juce_gui_basics.h>

#include <gtest/gtest.h>

// Every test runs on this thread, which is JUCE's message thread: components are built,
// driven and painted here, with no display needed.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    int result = 0;
    {
        juce::ScopedJuceInitialiser_GUI gui;
        result = RUN_ALL_TESTS();
    }
    return result;
}
