#include "VexMidiInput.h"

void VexMidiInput::setVoiceState(voiceState& s, int note, int velocity, int time, int /*octaveTranspose*/)
{
    s.note = note;
    s.velocity = velocity * (1.0 / 127);
    s.time = time;
    s.state = 1;
}

void VexMidiInput::byPassMidiMessage(const juce::MidiMessage&, int)
{
}
