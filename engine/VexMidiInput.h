#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

// One event of a monophonic voice.
struct voiceState
{
    int time = 0;          // sample position of the event inside the current audio block
    int state = 0;         // 0 idle, 1 sounding, 2 held by the sustain pedal only, 3 released
    double velocity = 0.0; // note-on velocity / 127
    int note = 0;          // MIDI note as played
};

// Abstract base of a MIDI-driven one-voice instrument. Used on one thread at a time
// (the thread that feeds it MIDI).
class VexMidiInput
{
public:
    virtual ~VexMidiInput() = default;

    virtual void setVoiceState(voiceState& s, int note, int velocity, int time, int octaveTranspose);
    virtual void byPassMidiMessage(const juce::MidiMessage& message, int time);
    virtual void releaseSustainedNotes(int time) = 0;
    virtual void insertNote(int note, int velocity, int time) = 0;
    virtual void insertNoteWithOctaveTranspose(int note, int velocity, int time, int octaveTranspose) = 0;
    virtual void removeNote(int note, int time) = 0;

    voiceState currentVoice; // the voice after the last event that was output
    bool sustainPedal = false;
    juce::Array<voiceState> voiceEvents; // the events of the current block, in order
};
