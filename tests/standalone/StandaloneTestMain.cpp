// The standalone tests run the application's objects and windows in this process, with the
// framework's message manager, on a display of their own.
#include <juce_gui_basics/juce_gui_basics.h>

#include <gtest/gtest.h>

namespace
{
juce::JUCEApplicationBase* noApplicationToCreate()
{
    return nullptr;
}
} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    // The framework then behaves as in the application itself (its X error handling, for
    // one); the tests create their application objects themselves.
    juce::JUCEApplicationBase::createInstance = noApplicationToCreate;
    juce::ScopedJuceInitialiser_GUI framework;
    return RUN_ALL_TESTS();
}
