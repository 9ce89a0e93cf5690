// The test program's main thread is the host's message thread, as in a DAW.
#include <juce_events/juce_events.h>

#include <gtest/gtest.h>

#include <cstdlib>

void installHostXErrorHandler();

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    // No display named means none: JUCE would otherwise try :0, which may be somebody
    // else's Xvfb that goes away mid-test and takes the host with it.
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == 0)
        setenv("DISPLAY", "none", 1);
    installHostXErrorHandler();
    juce::ScopedJuceInitialiser_GUI messageThread;
    return RUN_ALL_TESTS();
}
