#include "BattoAudioProcessor.h"

//==============================================================================
// MIDI clock in: the block's clock bytes, before anything reads its notes

#if !BATTO_PLUGIN_BUILD
void BattoAudioProcessor::takeMidiClockIn(juce::MidiBuffer&, int)
{
}
#endif
