#include "BattoAudioProcessor.h"

//==============================================================================
// MIDI clock out: the drummer's own beat grid as clock for other gear

#if !BATTO_PLUGIN_BUILD
void BattoAudioProcessor::sendMidiClockOut(juce::MidiBuffer&, int)
{
}
#endif
