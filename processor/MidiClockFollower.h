#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <array>
#include <cstdint>

// The tempo and the song position of a MIDI clock, as a play head the drummer follows like a
// host's transport: 24 clocks (0xF8) a quarter note, Start (0xFA: the first clock after it is
// the song's first beat), Continue (0xFB: the first clock after it stands on the Song
// Position), Stop (0xFC) and Song Position Pointer (0xF2 lsb msb: sixteenths since the song's
// start).
//
// Each block's MIDI is taken before the drummer asks for the block's position, so the
// position answers for the block's first sample with everything the block holds: a clock that
// starts the song inside the block puts the block's start just before the song's first beat,
// the bar line on the clock's own frame.
//
// Timing. The clock's grid is a straight line through its recent clocks (least squares over up
// to four beats, the clock's frames against their count), so that jitter averages out: a
// filter of the clock's timing over its last 96 clocks, some 0.5 Hz wide at 120 bpm; with
// clocks 1 ms off at random, the grid stays within a fraction of a millisecond. A clock that
// lies off the line by more than the jitter seen so far (at least a tenth of a millisecond),
// twice in a row on the same side, is a tempo change: the line starts again from those two
// clocks, so a change is followed within a few clocks. One clock alone off the line is left
// out of it (a late delivery). Until a second clock gives the tempo (a clock that starts with
// Start), the grid runs at the clock's last tempo, or 120 bpm if it never had one: the song's
// first beat still sounds on the first clock.
//
// Faults it stands against: a clock that stops arriving stops the song (no clock for a
// quarter of a beat at the clock's tempo, and at least 50 ms); clocks faster than 240 or slower
// than 30 beats a minute are not followed (a little beyond is taken as the bound); every
// message costs a bounded amount of work; song positions and clock counts stay far from any
// overflow.
//
// Audio thread only: prepare, then one takeBlock per block, then getPosition for that block.
class MidiClockFollower : public juce::AudioPlayHead
{
public:
    static constexpr int clocksPerQuarterNote = 24;
    static constexpr double slowestBpm = 30.0;
    static constexpr double fastestBpm = 240.0;
    // How far beyond the tempo bounds a clock is still taken (and its tempo held on the bound):
    // a clock of exactly 240 bpm lands on whole frames a little off its ideal period.
    static constexpr double tempoBoundTolerance = 0.02;
    // No clock for this many clock periods (and at least the time below) stops the song.
    static constexpr double clocksMissingBeforeStop = 6.0;
    static constexpr double shortestSilenceBeforeStopSeconds = 0.05;
    // The line's window, and the least distance from it that counts as a tempo change.
    static constexpr int clocksInLine = 96;
    static constexpr double leastChangeSeconds = 0.0001;

    // Forgets every clock and the song (a new device or rate).
    void prepare(double sampleRate);
    // Reads the block's clock messages at their sample positions.
    void takeBlock(const juce::MidiBuffer& midi, int numSamples);
    // The position at the first sample of the last block taken: playing, tempo, position in
    // quarter notes, 4/4.
    juce::Optional<PositionInfo> getPosition() const override;
    // True when a Start, a Continue or a Song Position took effect in the last block: the song
    // stands somewhere new, and the drummer is to be placed again.
    bool relocatedInLastBlock() const;

    // The messages a clock source sends (real-time bytes and the Song Position Pointer), which
    // leave the block's MIDI before anything reads its notes.
    static bool isClockMessage(const juce::uint8* data, int numBytes);

private:
    enum class Transport
    {
        stopped,
        waitingForFirstClock, // after Start or Continue
        rolling
    };

    // The grid: clock number k lies at frame timeAtReference + framesPerClock * (k - reference).
    struct Line
    {
        std::int64_t reference = 0;
        double timeAtReference = 0.0;
        double framesPerClock = 0.0;

        double timeOf(double clock) const;
        double clockAt(double frame) const;
    };

    struct ClockTime
    {
        std::int64_t index = 0;
        double frame = 0.0;
    };

    void takeMessage(const juce::uint8* data, int numBytes, double frame);
    void takeSongPositionBytes(const juce::uint8* data, int numBytes);
    void songPositionArrived(int sixteenths);
    void clockArrived(double frame);
    void timeClock(const ClockTime& clock);
    void restartLine(const ClockTime& first, const ClockTime& second);
    void addToLine(const ClockTime& clock);
    void fitLine();
    void forgetTiming();
    void placeSongOn(std::int64_t index);
    void stopWhenClocksStopped(double blockEnd);
    void reportBlock(double blockStart);
    double framesPerClock() const;
    bool tempoIsFollowed() const;
    double silenceBeforeStop() const;

    double rate = 44100.0;
    double blockStartFrame = 0.0; // frames since prepare at the first sample of the next block

    // The clock's timing.
    std::array<ClockTime, clocksInLine> lineClocks{}; // ring, oldest first from lineStart
    int lineStart = 0;
    int lineCount = 0;
    Line line;                      // valid when lineCount >= 2
    double lastPeriod = 0.0;        // the last line's frames per clock (0: none yet)
    bool clocksMakeSense = true;    // false after clocks on one frame, until a line fits again
    bool hasSuspect = false;        // a clock off the line, left out of it
    ClockTime suspect;
    double suspectOffset = 0.0;     // its distance from the line, frames
    double jitter = 0.0;            // mean size of the clocks' second differences, frames
    double previousFrames[2] = {};  // the two clocks before the last one
    int framesSeen = 0;
    std::int64_t clocksReceived = 0; // the index of the next clock (64 bits: no lifetime reaches the end)
    double lastClockFrame = -1.0;   // < 0: no clock yet

    // The song.
    Transport transport = Transport::stopped;
    std::int64_t nextSongClock = 0;   // the song clock the next clock stands on
    std::int64_t songOffset = 0;      // song clock = clock index + songOffset, while rolling
    bool relocationPending = false;   // a Song Position while rolling waits for the next clock
    bool relocated = false;           // in this block
    int sppBytesWanted = 0;           // a Song Position whose data bytes have not all come
    int sppLsb = 0;

    // The answer for the last block.
    bool reportPlaying = false;
    double reportPpq = 0.0;
    double reportBpm = 120.0;
    double reportTime = 0.0;
};
