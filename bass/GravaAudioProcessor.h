#pragma once

#include "AudioProcessorWITHOUTMidiInFilter.h"
#include "ReservedMidiBuffer.h"
#include "VexMidiInput.h"

#include <atomic>
#include <vector>

// The bass follower of the audio path. In every block it reads the player's notes and sustain
// pedal, keeps track of the held keys, lets the lowest key be the bass note, moves it down by
// an octave (or more, within a floor) and writes the bass line back into the block's MIDI in
// place of the player's notes. It makes no sound and has no editor; the drum processor owns
// one and runs it on each block before the drummer reads the MIDI.
//
// Threads: processBlock runs on the audio thread only. The fields shared with other threads
// say who writes and who reads them.
class GravaAudioProcessor : public VexMidiInput, public AudioProcessorWITHOUTMidiInFilter
{
public:
    struct HeldNote
    {
        voiceState voice;  // the key's note, velocity, state and the time of its last event
        int pressTime = 0; // sample of the key press relative to the current block's start
    };

    // Room reserved at construction so that a block allocates nothing: every MIDI key held at
    // once, and more events in one block than a player produces.
    static constexpr int maxHeldNotes = 128;
    static constexpr int reservedVoiceEvents = 1024;
    static constexpr int reservedBassMidiBytes = 16 * 1024;

    GravaAudioProcessor();

    // Room for one block's bass line (message thread or prepareToPlay). processBlock hands
    // the line over by exchanging storage with the buffer it is given, so a caller that wants
    // no block to allocate gives it buffers with at least this much room.
    void reserveBassLine(size_t bytes);

    // VexMidiInput
    void insertNote(int note, int velocity, int time) override;
    void insertNoteWithOctaveTranspose(int note, int velocity, int time, int octaveTranspose) override;
    void removeNote(int note, int time) override;
    void releaseSustainedNotes(int time) override;
    void byPassMidiMessage(const juce::MidiMessage& message, int time) override;

    // juce::AudioProcessor
    const juce::String getName() const override;
    void prepareToPlay(double sampleRate, int maximumExpectedSamplesPerBlock) override;
    void releaseResources() override;
    void processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi) override;
    using juce::AudioProcessor::processBlock;

    bool acceptsMidi() const override;
    bool producesMidi() const override;
    bool silenceInProducesSilenceOut() const override;
    double getTailLengthSeconds() const override;
    bool hasEditor() const override;
    juce::AudioProcessorEditor* createEditor() override;

    int getNumPrograms() override;
    int getCurrentProgram() override;
    void setCurrentProgram(int index) override;
    const juce::String getProgramName(int index) override;
    void changeProgramName(int index, const juce::String& newName) override;

    void getStateInformation(juce::MemoryBlock& destData) override;
    void setStateInformation(const void* data, int sizeInBytes) override;

    // The note the bass plays for an input note, with the current octa and lown.
    int bassOutputNote(int note) const;

    int lastOutputNote = -1; // the input note whose bass note sounds at the output; -1 none
    // The keys now held, ascending by note, one record per note. A vector keeps its reserved
    // storage when records go, where a juce::Array would shrink it and grow it again.
    std::vector<HeldNote> heldNotes;
    // Written by setStateInformation (the host's thread), read by the audio thread.
    std::atomic<int> octa{0};     // largest number of octaves a note moves down, minus one
    std::atomic<int> lown{40};    // lowest note a note may keep before its last octave shift
    // The bass line of the current block (audio thread). Its events' storage is exchanged
    // with the caller's buffer every block, which holds at least the reserved room.
    ReservedMidiBuffer bassMidiOut;
    // Set by the editor's switch (message thread); read and cleared by the audio thread. Losing
    // or repeating a request is harmless.
    std::atomic<bool> allNotesOffRequested{false};

private:
    const voiceState& latestVoice() const;
    void recordHeldNote(const voiceState& pressed);
    void handOverBassIfLegato(int releasedNote, int time, bool releaseWasAppended);
    void releaseEverything();
    void readPlayerMessages(const juce::MidiBuffer& midi);
    void handleSustainController(int value, int time);
    void writeBassLine();
    void writeBassNote(int status, int note, int velocity, int position);
    // Adds an event to the bass line if there is room; never grows it on the audio thread.
    void addToBassLine(const juce::uint8* data, int numBytes, int position);
    void agePressTimes(int blockLength);

};
