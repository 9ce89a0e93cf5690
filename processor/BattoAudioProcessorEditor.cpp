#include "BattoAudioProcessor.h"
#include "BattoEditor.h"

// The drummer's panel, in both builds. A file of its own, so that a test of the processor
// alone can stand a plain editor in for it.
juce::AudioProcessorEditor* BattoAudioProcessor::createEditor()
{
    return new BattoEditor(*this);
}
