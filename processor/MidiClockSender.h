#pragma once

#include "ReservedMidiBuffer.h"

#include <cstdint>

// MIDI clock for other gear, taken from the drummer's own beat grid: Song Position Pointer 0
// and Start just before the first clock, then 24 clocks a quarter note, each on its own
// sample, and Stop when the drummer stops.
//
// The clocks stand on the engine's grid instants, not on a tempo of their own: the engine
// moves half a subdivision at a time, a whole number of samples each (its tempo can differ
// from the nominal one by a fraction of a sample per step), and a clock that counted the
// nominal tempo would drift away from the drummer's hits. Every half step carries a whole
// number of clocks (12, 6 or 3 for 1, 2 or 4 subdivisions a beat), the first on the instant
// itself, the others shared out exactly between the instant and the next one. Since the
// engine knows the next instant's sample as soon as it reaches one, each clock is known
// before its block plays, and a tempo change moves the clocks with the instants.
//
// The first clock is always on a bar line: the drummer's first downbeat after Start, or the
// next bar line when the clock is switched on while the drummer already plays, so that the
// other gear's bar 1 is one of the drummer's bars.
//
// Threads: one at a time, the thread that runs the engine (reserved at construction). Its
// unit is the engine's: samples in the audio path, milliseconds on the MIDI thread.
class MidiClockSender
{
public:
    static constexpr int clocksPerQuarter = 24;
    static constexpr int clocksPerBar = 4 * clocksPerQuarter;

    // One instant of the engine's grid: its place in clocks since the performance began, and
    // the sample it falls on, counted from the first sample of the current block.
    struct GridPoint
    {
        std::int64_t clock = 0;
        std::int64_t sample = 0;
    };

    MidiClockSender();

    // One block, after the engine ran it. `sending`: the drummer runs on its own grid and
    // the clock is wanted. `reached` is the instant the engine reached last, `next` the one it
    // reaches next; while nothing has been reached since the performance began, both stand on
    // the same clock. A grid that starts again from an earlier place (a new performance)
    // stops the clock and starts it again.
    void runBlock(bool sending, const GridPoint& reached, const GridPoint& next, int numSamples);

    // Forgets the clock, without a Stop, and counts the next block from `start`: a new time
    // line (a thread that takes the performance over, on a clock of its own).
    void restartTimeLine(std::int64_t start);
    std::int64_t getBlockStart() const;
    // The engine's times all moved by `by` (a clock whose times are moved back towards zero).
    void moveTimeLine(std::int64_t by);

    // An engine instant's place in clocks since bar 0: each half subdivision is a whole
    // number of clocks (12, 6 or 3 for 1, 2 or 4 subdivisions a beat).
    static std::int64_t clockOfInstant(int bar, int beat, int division, int half, int divisionsPerBeat);

    // What the last block sends, at its samples (audio thread, between blocks).
    const juce::MidiBuffer& getBlockOutput() const;
    // True between Start and Stop.
    bool isClockRunning() const;

    static constexpr juce::uint8 clockByte = 0xF8, startByte = 0xFA, stopByte = 0xFC, songPositionByte = 0xF2;

private:
    void stopClock();
    void restartIfGridWentBack(const GridPoint& next);
    void learnGrid(const GridPoint& reached, const GridPoint& next);
    void writeClocksOfBlock();
    // The sample of a clock (absolute), by the stretch of the grid it lies in.
    std::int64_t sampleOfClock(std::int64_t clock) const;
    static std::int64_t sampleBetween(const GridPoint& from, const GridPoint& to, std::int64_t clock);
    void add(const juce::uint8* bytes, int numBytes, std::int64_t absoluteSample);

    ReservedMidiBuffer output;
    std::int64_t blockStart = 0; // absolute sample of the current block's first sample
    int blockLength = 0;

    // What the sender knows of the grid, in absolute samples: the instant reached last
    // (`reached`), the next one (`next`) and, when the engine reached several instants in one
    // block, the first of them (`between`, so that the clocks of the steps in between are
    // shared out evenly from it). `known`: a grid instant has been reached.
    bool known = false;
    bool firstInstantAhead = false; // not known yet, and `next` is the first instant to come
    GridPoint earlier, between, reached, next;
    bool started = false;          // Start was sent
    std::int64_t nextClock = 0;    // the next clock to send, once started
};
