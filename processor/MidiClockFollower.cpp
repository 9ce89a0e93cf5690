#include "MidiClockFollower.h"

#include <cmath>

namespace
{
constexpr juce::uint8 timingClock = 0xF8;
constexpr juce::uint8 startMessage = 0xFA;
constexpr juce::uint8 continueMessage = 0xFB;
constexpr juce::uint8 stopMessage = 0xFC;
constexpr juce::uint8 songPositionPointer = 0xF2;
constexpr int clocksPerSixteenth = 6;

double framesPerClockAt(double bpm, double rate)
{
    return 60.0 * rate / (bpm * MidiClockFollower::clocksPerQuarterNote);
}
} // namespace

double MidiClockFollower::Line::timeOf(double clock) const
{
    return timeAtReference + framesPerClock * (clock - static_cast<double>(reference));
}

double MidiClockFollower::Line::clockAt(double frame) const
{
    return static_cast<double>(reference) + (frame - timeAtReference) / framesPerClock;
}

bool MidiClockFollower::isClockMessage(const juce::uint8* data, int numBytes)
{
    return numBytes > 0 && (data[0] >= timingClock || data[0] == songPositionPointer);
}

void MidiClockFollower::prepare(double sampleRate)
{
    *this = MidiClockFollower();
    if (std::isfinite(sampleRate) && sampleRate > 0.0)
        rate = sampleRate;
}

void MidiClockFollower::takeBlock(const juce::MidiBuffer& midi, int numSamples)
{
    const int length = juce::jmax(0, numSamples);
    const double blockStart = blockStartFrame;
    relocated = false;
    for (const auto event : midi)
    {
        // A position outside the block (a host's mistake) is taken at the block's nearest end.
        const int position = juce::jlimit(0, juce::jmax(0, length - 1), event.samplePosition);
        takeMessage(event.data, event.numBytes, blockStart + position);
    }
    stopWhenClocksStopped(blockStart + length);
    reportBlock(blockStart);
    blockStartFrame = blockStart + length;
}

void MidiClockFollower::takeMessage(const juce::uint8* data, int numBytes, double frame)
{
    if (numBytes <= 0)
        return;
    const juce::uint8 status = data[0];
    if (status < 0x80)
    {
        takeSongPositionBytes(data, numBytes); // the rest of a Song Position cut off in transit
        return;
    }
    if (status < timingClock)
        sppBytesWanted = 0; // any other message ends an unfinished Song Position
    switch (status)
    {
    case timingClock:
        clockArrived(frame);
        break;
    case startMessage:
        nextSongClock = 0;
        if (transport == Transport::rolling)
            relocationPending = true; // the next clock starts the song again, without a gap
        else
            transport = Transport::waitingForFirstClock;
        break;
    case continueMessage:
        // While rolling, the song goes on where it stands, or moves to a Song Position that came.
        if (transport != Transport::rolling)
            transport = Transport::waitingForFirstClock;
        break;
    case stopMessage:
        transport = Transport::stopped;
        relocationPending = false;
        break;
    case songPositionPointer:
        sppBytesWanted = 2;
        takeSongPositionBytes(data + 1, numBytes - 1);
        break;
    default:
        break; // active sensing, reset, and the undefined real-time bytes
    }
}

void MidiClockFollower::takeSongPositionBytes(const juce::uint8* data, int numBytes)
{
    for (int i = 0; i < numBytes && sppBytesWanted > 0; ++i)
    {
        if (data[i] >= 0x80)
        {
            sppBytesWanted = 0; // not a Song Position after all
            return;
        }
        if (sppBytesWanted == 2)
            sppLsb = data[i];
        else
            songPositionArrived(sppLsb | (data[i] << 7));
        --sppBytesWanted;
    }
}

void MidiClockFollower::songPositionArrived(int sixteenths)
{
    // 14 bits: at most 16383 sixteenths, 98 298 clocks.
    nextSongClock = static_cast<std::int64_t>(juce::jlimit(0, 0x3FFF, sixteenths)) * clocksPerSixteenth;
    if (transport == Transport::rolling)
        relocationPending = true; // the song moves there at the next clock
}

void MidiClockFollower::clockArrived(double frame)
{
    const ClockTime clock{clocksReceived++, frame};
    timeClock(clock);
    lastClockFrame = frame;

    if (transport == Transport::waitingForFirstClock || (transport == Transport::rolling && relocationPending))
    {
        placeSongOn(clock.index);
        transport = Transport::rolling;
        relocationPending = false;
        relocated = true;
    }
    if (transport == Transport::rolling)
        nextSongClock = clock.index + songOffset + 1;
}

void MidiClockFollower::placeSongOn(std::int64_t index)
{
    songOffset = nextSongClock - index;
}

//==============================================================================
// The clock's grid

void MidiClockFollower::timeClock(const ClockTime& clock)
{
    // After a silence longer than the slowest clock's period twice over, the clock starts afresh.
    if (lastClockFrame >= 0.0 && clock.frame - lastClockFrame > 2.0 * framesPerClockAt(slowestBpm, rate))
        forgetTiming();

    // The jitter, from second differences, which a steady tempo or a ramp leaves near zero.
    if (framesSeen >= 2)
    {
        const double secondDifference = std::abs(clock.frame - 2.0 * previousFrames[1] + previousFrames[0]);
        const double least = leastChangeSeconds * rate;
        jitter += 0.05 * (juce::jmin(secondDifference, 4.0 * jitter + least) - jitter);
    }
    previousFrames[0] = previousFrames[1];
    previousFrames[1] = clock.frame;
    framesSeen = juce::jmin(framesSeen + 1, 2);

    if (lineCount < 2)
    {
        addToLine(clock);
        return;
    }
    const double offset = clock.frame - line.timeOf(static_cast<double>(clock.index));
    // Farther from the line than jitter explains, with room for a short line's uncertainty.
    const double threshold = juce::jmax(leastChangeSeconds * rate,
                                        2.0 * jitter * std::sqrt(1.0 + 4.0 / lineCount));
    if (std::abs(offset) <= threshold)
    {
        hasSuspect = false;
        addToLine(clock);
        return;
    }
    if (hasSuspect && suspect.index == clock.index - 1 && (suspectOffset > 0.0) == (offset > 0.0))
    {
        restartLine(suspect, clock); // twice on the same side: the tempo changed
        return;
    }
    hasSuspect = true;
    suspect = clock;
    suspectOffset = offset;
}

void MidiClockFollower::restartLine(const ClockTime& first, const ClockTime& second)
{
    hasSuspect = false;
    lineStart = 0;
    lineCount = 0;
    addToLine(first);
    addToLine(second);
}

void MidiClockFollower::addToLine(const ClockTime& clock)
{
    if (lineCount == clocksInLine)
    {
        lineStart = (lineStart + 1) % clocksInLine;
        --lineCount;
    }
    lineClocks[static_cast<size_t>((lineStart + lineCount) % clocksInLine)] = clock;
    ++lineCount;
    if (lineCount >= 2)
        fitLine();
}

void MidiClockFollower::fitLine()
{
    // Least squares, counted from the newest clock so that the sums stay small.
    const auto& newest = lineClocks[static_cast<size_t>((lineStart + lineCount - 1) % clocksInLine)];
    double meanIndex = 0.0, meanFrame = 0.0;
    for (int i = 0; i < lineCount; ++i)
    {
        const auto& c = lineClocks[static_cast<size_t>((lineStart + i) % clocksInLine)];
        meanIndex += static_cast<double>(c.index - newest.index);
        meanFrame += c.frame - newest.frame;
    }
    meanIndex /= lineCount;
    meanFrame /= lineCount;
    double sxx = 0.0, sxy = 0.0;
    for (int i = 0; i < lineCount; ++i)
    {
        const auto& c = lineClocks[static_cast<size_t>((lineStart + i) % clocksInLine)];
        const double di = static_cast<double>(c.index - newest.index) - meanIndex;
        sxx += di * di;
        sxy += di * (c.frame - newest.frame - meanFrame);
    }
    const double slope = sxy / sxx; // sxx > 0: the indices differ
    if (!(slope > 0.0))
    {
        // Clocks on one frame (a flood): no tempo until they make sense again.
        clocksMakeSense = false;
        lineStart = 0;
        lineCount = 0;
        addToLine(newest);
        return;
    }
    clocksMakeSense = true;
    line.reference = newest.index;
    line.timeAtReference = newest.frame + meanFrame - slope * meanIndex;
    line.framesPerClock = slope;
    lastPeriod = slope;
}

void MidiClockFollower::forgetTiming()
{
    lineStart = 0;
    lineCount = 0;
    hasSuspect = false;
    framesSeen = 0;
    clocksMakeSense = true;
}

double MidiClockFollower::framesPerClock() const
{
    if (lineCount >= 2)
        return line.framesPerClock;
    return lastPeriod > 0.0 ? lastPeriod : framesPerClockAt(120.0, rate); // until a second clock
}

bool MidiClockFollower::tempoIsFollowed() const
{
    if (!clocksMakeSense)
        return false;
    const double period = framesPerClock();
    return period >= framesPerClockAt(fastestBpm, rate) * (1.0 - tempoBoundTolerance)
           && period <= framesPerClockAt(slowestBpm, rate) * (1.0 + tempoBoundTolerance);
}

double MidiClockFollower::silenceBeforeStop() const
{
    const double period = tempoIsFollowed() ? framesPerClock() : framesPerClockAt(slowestBpm, rate);
    return juce::jmax(clocksMissingBeforeStop * period, shortestSilenceBeforeStopSeconds * rate);
}

void MidiClockFollower::stopWhenClocksStopped(double blockEnd)
{
    if (transport == Transport::rolling && blockEnd - lastClockFrame > silenceBeforeStop())
    {
        // The song stands where the last clock left it: a Continue goes on from there.
        transport = Transport::stopped;
        relocationPending = false;
    }
}

//==============================================================================
// The answer

void MidiClockFollower::reportBlock(double blockStart)
{
    const bool wasPlaying = reportPlaying;
    reportTime = blockStart;
    reportBpm = juce::jlimit(slowestBpm, fastestBpm, 60.0 * rate / (clocksPerQuarterNote * framesPerClock()));
    reportPlaying = transport == Transport::rolling && tempoIsFollowed();
    if (!reportPlaying)
    {
        reportPpq = static_cast<double>(nextSongClock) / clocksPerQuarterNote;
        return;
    }

    // Until a second clock gives the tempo, the grid runs from the last clock at the assumed one.
    const Line grid = lineCount >= 2 ? line : Line{clocksReceived - 1, lastClockFrame, framesPerClock()};
    const double ppq = (grid.clockAt(blockStart) + static_cast<double>(songOffset)) / clocksPerQuarterNote;
    // A new clock can move the line back by a little; the song never moves back unless it was
    // placed anew.
    reportPpq = wasPlaying && !relocated ? juce::jmax(ppq, reportPpq) : ppq;
}

juce::Optional<juce::AudioPlayHead::PositionInfo> MidiClockFollower::getPosition() const
{
    PositionInfo position;
    position.setIsPlaying(reportPlaying);
    position.setBpm(reportBpm);
    position.setTimeSignature(TimeSignature{4, 4});
    position.setPpqPosition(reportPpq);
    position.setPpqPositionOfLastBarStart(4.0 * std::floor(reportPpq / 4.0));
    position.setTimeInSamples(static_cast<juce::int64>(reportTime));
    position.setTimeInSeconds(reportTime / rate);
    return position;
}

bool MidiClockFollower::relocatedInLastBlock() const
{
    return relocated;
}
