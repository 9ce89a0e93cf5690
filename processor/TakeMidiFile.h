#pragma once

#include <juce_core/juce_core.h>

#include <cstdint>
#include <optional>
#include <vector>

// What a take states about itself, beside its events: enough for batto-render to play the
// player's part through the drummer again as it played live. Written as a text event of
// the take's first track; the drum track is recognised by its name.
struct TakeSettings
{
    // The track names of a take. A renderer replaces a track of this name by its own answer.
    static constexpr const char* drumTrackName = "Batto drums";
    static constexpr const char* playerTrackName = "Player";
    static constexpr const char* textPrefix = "Batto take:";

    double sampleRate = 48000.0;
    int blockSize = 512;          // the first block's length: the drummer's start latency
    bool externalClock = false;   // the drummer followed a host's transport
    double tempo = 120.0;         // exactly the drummer's (the tempo event holds whole microseconds)
    int divisionDuTemps = 2;
    bool autoKick = true;
    bool autoSnare = true;
    double breakParam1 = 0.5;
    double breakParam2 = 0.5;
    bool gravaEnabled = false;

    juce::String toText() const;
    // The settings of a text written by toText; none when the text is no take's.
    static std::optional<TakeSettings> fromText(const juce::String& text);
};

// A take as a type-1 Standard MIDI File, built up event by event in sample order: a first
// track with the name, the settings and the tempo map, the player's track (every message as
// it came) and the drum track (note-ons on channel 10, each with a short note-off). Ticks
// are chosen per take so that, at the take's first tempo, a tick is at most one sample:
// every event's sample comes back exactly from its tick.
//
// One thread only (the take writer's).
class TakeMidiFile
{
public:
    TakeMidiFile(const juce::String& name, const TakeSettings& settings);

    // Samples count from the take's first sample; each call's sample is not before the
    // previous one of its track.
    void addPlayerMessage(int64_t sample, const juce::uint8* data, int size);
    void addDrumHit(int64_t sample, int status, int note, int velocity);
    void addTempo(int64_t sample, double bpm);
    void addMarker(int64_t sample, const juce::String& text);

    // The whole file as it stands, every track ended at `endSample` (or at its last event).
    juce::MemoryBlock toFile(int64_t endSample) const;

    int ticksPerQuarterNote() const
    {
        return ppq;
    }
    int64_t tickAt(int64_t sample) const;

private:
    struct Track
    {
        juce::MemoryOutputStream bytes;
        int64_t lastTick = 0;
        void add(int64_t tick, const juce::uint8* data, size_t size);
        void addMeta(int64_t tick, int type, const juce::String& text);
    };
    struct TempoSegment
    {
        int64_t sample;
        int64_t tick;
        int microsecondsPerQuarter;
    };

    void closeDrumNotesUpTo(int64_t tick);
    static juce::MemoryBlock endedTrack(const Track& track, int64_t endTick,
                                        const std::vector<std::pair<int64_t, int>>& noteOffs);

    double sampleRate;
    int ppq;
    std::vector<TempoSegment> tempos;
    Track conductor, player, drums;
    int64_t pendingNoteOff[128]; // tick of each note's pending note-off; -1 none
};

// The ticks per quarter note for a take: the smallest multiple of 960 that makes a tick no
// longer than a sample at this tempo, at most 32640 (a tick is then over a sample only below
// about 88 bpm at 48 kHz).
int takeTicksPerQuarterNote(double sampleRate, double bpm);
