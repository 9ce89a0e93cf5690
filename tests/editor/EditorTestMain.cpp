#include <juce_gui_basics/juce_gui_basics.h>

#include <gtest/gtest.h>

#include <cstdlib>

// Every test runs on this thread, which is JUCE's message thread: components are built,
// driven and painted here, with no display needed.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // No display named means none: JUCE would otherwise try :0, which may be another
    // test's Xvfb that goes away mid-test.
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == 0)
        setenv("DISPLAY", "none", 1);
    int result = 0;
    {
        juce::ScopedJuceInitialiser_GUI gui;
        result = RUN_ALL_TESTS();
    }
    return result;
}
