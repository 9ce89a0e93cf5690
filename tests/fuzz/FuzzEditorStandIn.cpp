#include "BattoAudioProcessor.h"

// The fuzz targets build the processor without its panel; the framework's plain editor
// stands in (no target opens it).
juce::AudioProcessorEditor* BattoAudioProcessor::createEditor()
{
    return new juce::GenericAudioProcessorEditor(*this);
}
