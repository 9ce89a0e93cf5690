// The plug-in client's entry point: one drummer processor (plug-in build) per instance.
#include "BattoAudioProcessor.h"

juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new BattoAudioProcessor();
}
