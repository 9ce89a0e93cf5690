#include "JackTransportPlayHead.h"

#include <cmath>

namespace
{
// Set and cleared by the JACK thread around the block it runs; other threads read their own.
thread_local const JackTransportReading* readingOfThisThread = nullptr;

// Meters beyond this many beats a bar, or beats shorter than this part of a whole note, are
// no meter anyone plays (and would not fit a time signature's numbers).
constexpr double largestMeterNumber = 1024.0;

bool isPositive(double value)
{
    return std::isfinite(value) && value > 0.0;
}

bool isMeterNumber(double value)
{
    return value >= 1.0 && value <= largestMeterNumber;
}

// Bar, beat and tick name a place in a bar of a meter with a tempo.
bool isPlaceInBar(const jack_position_t& position)
{
    return isPositive(position.beats_per_minute) && isMeterNumber(position.beats_per_bar)
           && isMeterNumber(position.beat_type) && isPositive(position.ticks_per_beat) && position.bar >= 1
           && position.beat >= 1 && position.beat - 1 < position.beats_per_bar && position.tick >= 0
           && position.tick < position.ticks_per_beat;
}

// Quarter notes from frame 0 to the frame at a steady tempo.
double quartersAtFrame(jack_nframes_t frame, double bpm, double quartersPerBeat, double sampleRate)
{
    return frame / sampleRate * bpm / 60.0 * quartersPerBeat;
}

void placeFromBarBeatTick(juce::AudioPlayHead::PositionInfo& info, const jack_position_t& position,
                          double sampleRate)
{
    const double quartersPerBeat = 4.0 / position.beat_type;
    const double barsBefore = position.bar - 1.0;
    const double barStart = barsBefore * position.beats_per_bar * quartersPerBeat;
    double ppq = barStart + (position.beat - 1 + position.tick / position.ticks_per_beat) * quartersPerBeat;
    if ((position.valid & JackBBTFrameOffset) != 0)
    {
        // The master's bar, beat and tick describe a frame that many frames before the cycle.
        ppq += quartersAtFrame(position.bbt_offset, position.beats_per_minute, quartersPerBeat, sampleRate);
    }
    else
    {
        // Ticks are whole: a master rounds (most often down) to one, up to a tick from the
        // cycle's frame, and float noise can take the rounding down a whole tick. Where the
        // frames at the master's tempo from bar 1 on frame 0 lie within a tick of its bar, beat
        // and tick, the master plays a steady tempo from frame 0, and the frames place the
        // cycle exactly.
        const double oneTick = quartersPerBeat / position.ticks_per_beat;
        const double fromFrames =
            quartersAtFrame(position.frame, position.beats_per_minute, quartersPerBeat, sampleRate);
        if (std::abs(fromFrames - ppq) <= oneTick * (1.0 + 1e-6))
            ppq = fromFrames;
    }

    info.setBpm(position.beats_per_minute * quartersPerBeat); // the play head's beats are quarter notes
    info.setTimeSignature(juce::AudioPlayHead::TimeSignature{static_cast<int>(position.beats_per_bar),
                                                             static_cast<int>(position.beat_type)});
    info.setPpqPosition(ppq);
    info.setPpqPositionOfLastBarStart(barStart);
    info.setBarCount(static_cast<juce::int64>(barsBefore));
}

void placeFromFrames(juce::AudioPlayHead::PositionInfo& info, const jack_position_t& position, double bpm,
                     double sampleRate)
{
    const double ppq = quartersAtFrame(position.frame, bpm, 1.0, sampleRate);
    const double bars = std::floor(ppq / 4.0);
    info.setBpm(bpm);
    info.setTimeSignature(juce::AudioPlayHead::TimeSignature{4, 4});
    info.setPpqPosition(ppq);
    info.setPpqPositionOfLastBarStart(bars * 4.0);
    info.setBarCount(static_cast<juce::int64>(bars));
}
} // namespace

juce::AudioPlayHead::PositionInfo jackTransportPosition(jack_transport_state_t state, const jack_position_t& position,
                                                        double ownTempo, double sampleRate)
{
    juce::AudioPlayHead::PositionInfo info;
    info.setIsPlaying(false);
    if (!isPositive(sampleRate))
        return info;
    info.setTimeInSamples(static_cast<juce::int64>(position.frame));
    info.setTimeInSeconds(position.frame / sampleRate);

    bool placed = false;
    if ((position.valid & JackPositionBBT) != 0)
    {
        placed = isPlaceInBar(position);
        if (placed)
            placeFromBarBeatTick(info, position, sampleRate);
    }
    else
    {
        placed = isPositive(ownTempo);
        if (placed)
            placeFromFrames(info, position, ownTempo, sampleRate);
    }
    info.setIsPlaying(placed && state == JackTransportRolling);
    return info;
}

JackTransportPlayHead::JackTransportPlayHead(std::function<double()> ownTempoGetter)
    : ownTempo(std::move(ownTempoGetter))
{
}

juce::Optional<juce::AudioPlayHead::PositionInfo> JackTransportPlayHead::getPosition() const
{
    const auto* reading = current();
    if (reading == nullptr)
    {
        PositionInfo stopped;
        stopped.setIsPlaying(false);
        return stopped; // outside a JACK cycle nothing rolls (an answer, so that no old one lingers)
    }
    return jackTransportPosition(reading->state, reading->position, ownTempo ? ownTempo() : 0.0,
                                 reading->sampleRate);
}

JackTransportPlayHead::Cycle::Cycle(const JackTransportReading& reading)
{
    readingOfThisThread = &reading;
}

JackTransportPlayHead::Cycle::~Cycle()
{
    readingOfThisThread = nullptr;
}

const JackTransportReading* JackTransportPlayHead::current()
{
    return readingOfThisThread;
}
