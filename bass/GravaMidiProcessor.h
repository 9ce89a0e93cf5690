#pragma once

#include <juce_audio_devices/juce_audio_devices.h>

#include <vector>

class AudioProcessorWITHOUTMidiInFilter;

// The bass follower for live MIDI. It answers each message of an input device at once and
// splits the player's part into two streams: the bass line (the lowest key, moved down as
// gravaBassOutputNote says) and the thru stream (everything else, with the bass notes taken
// out). A subclass decides where the bass line goes through the three virtual operations.
//
// Threads: every call comes from the MIDI input thread of the device, except
// removeAllNotesMidiProc, which the owner calls from its own thread while no callback runs.
// The settings are addresses of the owner's values, written by the owner on the message
// thread and read here at every use.
class GravaMidiProcessor : public juce::MidiInputCallback
{
public:
    struct HeldKey
    {
        int note = 0;
        juce::uint8 velocity = 0;
        int time = 0; // millisecond counter at the key press
    };

    enum BassState
    {
        noBass = 0,
        bassSounds = 1,
        bassHeldByPedalOnly = 2
    };

    GravaMidiProcessor(juce::MidiOutput** bassOutput, juce::MidiOutput** thruOutput, int* bassChannel,
                       int* thruChannel, int* octa, int* lown, int* handleSwitch,
                       AudioProcessorWITHOUTMidiInFilter* inputFilter);
    ~GravaMidiProcessor() override = default;

    void handleIncomingMidiMessage(juce::MidiInput* source, const juce::MidiMessage& message) override;

    virtual void GravaSendMessageNow(const juce::MidiMessage& message);
    virtual bool HaveToSendGravaMessage();
    virtual bool HasToHandleIncomingMessage();

    void remove(int note);
    void byPassAnyMidiMessage(const juce::MidiMessage& message);
    void removeAllNotesMidiProc();

    int bassOutputNote(int note) const;

    // Settings: addresses of the owner's values (a null address reads as "no device",
    // channel 1, octa 0, lown 40 and a handle switch that is off).
    juce::MidiOutput** bassOutput;
    juce::MidiOutput** thruOutput;
    int* bassChannel;
    int* thruChannel;

    bool sustainPedal = false;
    int bassState = noBass;
    HeldKey currentBass; // the key that is the bass note, valid while bassState != noBass
    // Keys physically held, ascending by note, one record per note. Room for every MIDI note
    // is reserved; a vector keeps it when records go.
    std::vector<HeldKey> heldKeys;

    int* octa;
    int* lown;
    int* handleSwitch;
    AudioProcessorWITHOUTMidiInFilter* inputFilter; // the drum processor's MIDI-in filter, or null

protected:
    // Where the thru stream goes: the device that thruOutput holds, if any. Tests and owners
    // without a device listen here.
    virtual void ThruSendMessageNow(const juce::MidiMessage& message);
    // The time base of the 64 ms windows: the system millisecond counter.
    virtual juce::uint32 getMillisecondCounter();

private:
    void pressKey(int note, juce::uint8 velocity, juce::uint32 now);
    void recordHeldKey(const HeldKey& key);
    void releaseKey(int note, juce::uint32 now);
    void handleSustain(const juce::MidiMessage& message, juce::uint32 now);
    void takeOverBassIfRecent(juce::uint32 now);
    void startBass(const HeldKey& key);

    void sendToBass(const juce::MidiMessage& message);
    void sendToThru(const juce::MidiMessage& message);
    juce::MidiMessage bassNoteOn(int note, int velocity) const;
    juce::MidiMessage bassNoteOff(int note) const;
    juce::MidiMessage thruNoteOn(int note, int velocity) const;
    juce::MidiMessage thruNoteOff(int note) const;

    static bool pressedWithinLegatoWindow(int pressTime, juce::uint32 now);
};
