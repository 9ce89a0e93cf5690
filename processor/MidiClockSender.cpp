#include "MidiClockSender.h"

namespace
{
// A block rarely holds more than a few clocks (one every 500 samples at 240 bpm and
// 48 kHz); this room takes thousands, with Start and Stop, whatever the block size.
constexpr size_t reservedEvents = 4096;
} // namespace

MidiClockSender::MidiClockSender()
{
    output.reserve(reservedEvents * (ReservedMidiBuffer::eventOverhead + 3));
}

const juce::MidiBuffer& MidiClockSender::getBlockOutput() const
{
    return output.events;
}

void MidiClockSender::restartTimeLine(std::int64_t start)
{
    output.clear();
    started = known = firstInstantAhead = false;
    blockStart = start;
    blockLength = 0;
}

std::int64_t MidiClockSender::getBlockStart() const
{
    return blockStart;
}

void MidiClockSender::moveTimeLine(std::int64_t by)
{
    blockStart += by;
    for (auto* point : {&earlier, &between, &reached, &next})
        point->sample += by;
}

std::int64_t MidiClockSender::clockOfInstant(int bar, int beat, int division, int half, int divisionsPerBeat)
{
    const std::int64_t clocksPerHalf = clocksPerQuarter / (2 * juce::jlimit(1, 4, divisionsPerBeat));
    const std::int64_t beats = 4 * static_cast<std::int64_t>(bar) + beat;
    return beats * clocksPerQuarter + (2 * static_cast<std::int64_t>(division) + half) * clocksPerHalf;
}

bool MidiClockSender::isClockRunning() const
{
    return started;
}

void MidiClockSender::runBlock(bool sending, const GridPoint& reachedNow, const GridPoint& nextNow,
                               int numSamples)
{
    output.clear();
    blockLength = juce::jmax(0, numSamples);
    const GridPoint reachedAbsolute{reachedNow.clock, reachedNow.sample + blockStart};
    const GridPoint nextAbsolute{nextNow.clock, nextNow.sample + blockStart};

    if (!sending)
        stopClock();
    else
    {
        restartIfGridWentBack(nextAbsolute);
        learnGrid(reachedAbsolute, nextAbsolute);
        if (known)
            writeClocksOfBlock();
    }
    blockStart += blockLength;
}

void MidiClockSender::stopClock()
{
    if (started)
    {
        const juce::uint8 stop = stopByte;
        add(&stop, 1, blockStart); // the block the drummer stops in
    }
    started = false;
    known = false;
    firstInstantAhead = false;
}

void MidiClockSender::restartIfGridWentBack(const GridPoint& nextNow)
{
    // The engine's grid only moves on; an earlier place is a new performance.
    if (known && nextNow.clock < next.clock)
        stopClock();
}

void MidiClockSender::learnGrid(const GridPoint& reachedNow, const GridPoint& nextNow)
{
    if (!known)
    {
        if (reachedNow.clock >= nextNow.clock)
        {
            // Nothing reached yet: the grid's first instant is still ahead.
            next = nextNow;
            firstInstantAhead = true;
            return;
        }
        known = true;
        // The instant that was ahead in the last block, when this block reached it (with
        // more after it, in a long block); otherwise the last one reached, long ago.
        const bool firstReachedInThisBlock = firstInstantAhead && next.clock <= reachedNow.clock;
        const GridPoint first = firstReachedInThisBlock ? next : reachedNow;
        earlier = between = first;
        reached = reachedNow;
        next = nextNow;
        // The first clock: the next bar line that has not passed.
        std::int64_t barLine = (first.clock + clocksPerBar - 1) / clocksPerBar * clocksPerBar;
        if (barLine == first.clock && first.sample < blockStart)
            barLine += clocksPerBar;
        nextClock = barLine;
        return;
    }
    // The stretch known before this block, the instants reached in it and the next one: the
    // clocks of every step the block passed are shared out between them.
    earlier = reached;
    between = next;
    reached = reachedNow;
    next = nextNow;
}

void MidiClockSender::writeClocksOfBlock()
{
    const std::int64_t blockEnd = blockStart + blockLength;
    while (nextClock < next.clock)
    {
        const std::int64_t sample = sampleOfClock(nextClock);
        if (sample >= blockEnd)
            break;
        if (!started)
        {
            // Song position 0 (in sixteenths, 7 bits a byte), then Start, just before the
            // first clock.
            const juce::uint8 songPosition[] = {songPositionByte, 0, 0};
            const juce::uint8 start = startByte;
            add(songPosition, 3, sample);
            add(&start, 1, sample);
            started = true;
        }
        const juce::uint8 clock = clockByte;
        add(&clock, 1, sample);
        ++nextClock;
    }
}

std::int64_t MidiClockSender::sampleOfClock(std::int64_t clock) const
{
    if (clock < between.clock)
        return sampleBetween(earlier, between, clock);
    if (clock < reached.clock)
        return sampleBetween(between, reached, clock);
    return sampleBetween(reached, next, clock);
}

std::int64_t MidiClockSender::sampleBetween(const GridPoint& from, const GridPoint& to, std::int64_t clock)
{
    const std::int64_t clocks = to.clock - from.clock;
    const std::int64_t samples = juce::jmax<std::int64_t>(0, to.sample - from.sample);
    if (clocks <= 0)
        return from.sample;
    // Rounded to the nearest sample, in integers: no error builds up from clock to clock.
    return from.sample + (2 * (clock - from.clock) * samples + clocks) / (2 * clocks);
}

void MidiClockSender::add(const juce::uint8* bytes, int numBytes, std::int64_t absoluteSample)
{
    // A clock whose instant the engine reached late (a sample before this block) goes out
    // on the block's first sample: late, never lost.
    const auto position =
        juce::jlimit<std::int64_t>(0, juce::jmax(0, blockLength - 1), absoluteSample - blockStart);
    output.add(bytes, numBytes, static_cast<int>(position));
}
