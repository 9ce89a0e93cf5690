// The test program's main thread is the host's message thread, as in a DAW.
#include <juce_events/juce_events.h>

#include <gtest/gtest.h>

#include <cstdlib>

void installHostXErrorHandler();

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    // No display named means none: JUCE would otherwise try :0, which may be somebody
    // else's (see tests/plugin/CMakeLists.txt).
    setenv("DISPLAY", "", 0);
    installHostXErrorHandler();
    juce::ScopedJuceInitialiser_GUI messageThread;
    return RUN_ALL_TESTS();
}
