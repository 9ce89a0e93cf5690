#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <initializer_list>

// Puts a block's MIDI output into the host's MIDI buffer without allocating on the audio
// thread.
//
// A host's buffer may have less room than the output needs (a host that reserved nothing,
// or little), and writing into it would then grow it on the audio thread. So the output is
// built in storage reserved here, and that storage is lent to the host by exchanging it
// with the host's buffer. A host that keeps its buffer from block to block (the framework's
// plug-in wrappers and players do) brings the lent storage back with its next block, and
// the output is then written straight into it: from the second block on nothing is
// exchanged. Two storages are kept, so a host that alternates two buffers is served too;
// prepareToPlay reserves them again. Only a host that brings a new buffer to every block
// exhausts them; its own buffers then take the output, as they would without this class.
//
// reserve: message thread or prepareToPlay, never while a block runs.
// handOver: audio thread.
class MidiOutputHandOver
{
public:
    MidiOutputHandOver() = default;

    void reserve(size_t bytes);

    // Replaces the contents of hostBuffer with the events of the sources (in order, each at
    // its own position) that lie at position 0 or later.
    void handOver(juce::MidiBuffer& hostBuffer, std::initializer_list<const juce::MidiBuffer*> sources);

private:
    struct Storage
    {
        juce::MidiBuffer buffer;
        size_t capacity = 0;
        bool isFree = false; // holds reserved storage of ours (not the host's)
    };
    struct Loan
    {
        const juce::uint8* data = nullptr;
        size_t capacity = 0;
    };

    static void copyEvents(juce::MidiBuffer& destination,
                           std::initializer_list<const juce::MidiBuffer*> sources);
    bool hasRoomInLoan(const juce::MidiBuffer& hostBuffer, size_t bytes) const;
    Storage* freeStorageWithRoom(size_t bytes);

    static constexpr int storageCount = 2;
    Storage storages[storageCount];
    Loan loans[storageCount]; // the storages that hosts hold now, by the storage they came from

    JUCE_DECLARE_NON_COPYABLE(MidiOutputHandOver)
};
