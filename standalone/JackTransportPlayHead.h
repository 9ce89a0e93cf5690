#pragma once

#include <jack/transport.h>
#include <juce_audio_basics/juce_audio_basics.h>

#include <functional>

// The JACK transport where one cycle starts, as the JACK client's process callback read it
// before it ran the cycle's block.
struct JackTransportReading
{
    jack_transport_state_t state = JackTransportStopped;
    jack_position_t position{};
    double sampleRate = 0.0;
};

// The transport of a JACK position in the terms of a play head: where the transport stands
// at the cycle's first frame, in quarter notes, its tempo in quarter notes a minute (a JACK
// tempo counts the meter's beats), and whether it rolls.
//
// With a timebase master's bar, beat and tick (JackPositionBBT) the tempo, the time signature
// and the place come from them; the BBT of a master that gives a frame offset describes a
// frame that many frames before the cycle, and the place moves on by those frames. A master
// without the offset rounds to whole ticks: where its place is within a tick of the frames at
// its tempo from bar 1 on frame 0, the frames give the place, exactly. Without BBT, the
// transport has frames only: the place is the frames at ownTempo, bar 1 on frame 0, in 4/4.
// The time in samples is always the transport's frame.
//
// A transport that is stopped or starting does not roll, and neither does one whose BBT is
// no place in a bar (no tempo, no beats or ticks in a bar, a bar before the first, a beat or
// tick outside its bar or beat) or whose rate is none: following it would put the drummer on
// a bar nobody plays. So does a meter of more than 1024 beats a bar, or of beats shorter than
// 1/1024 of a whole note.
juce::AudioPlayHead::PositionInfo jackTransportPosition(jack_transport_state_t state, const jack_position_t& position,
                                                        double ownTempo, double sampleRate);

// The play head that the drummer follows on "JACK transport": asked inside a JACK cycle, it
// answers the transport at that cycle's first frame (JackTransportPlayHead::Cycle); asked
// anywhere else (a block of another audio device), it answers that nothing rolls.
//
// Threads: getPosition() on the thread that runs the block; the own tempo's getter is called
// there and must neither lock nor allocate.
class JackTransportPlayHead : public juce::AudioPlayHead
{
public:
    explicit JackTransportPlayHead(std::function<double()> ownTempo);

    juce::Optional<PositionInfo> getPosition() const override;

    // The calling thread is in a cycle whose transport is this reading while the scope lives
    // (the JACK client's process callback holds one around the cycle's block).
    class Cycle
    {
    public:
        explicit Cycle(const JackTransportReading& reading);
        ~Cycle();
        JUCE_DECLARE_NON_COPYABLE(Cycle)
    };

    // The reading of the cycle that the calling thread is in, or null.
    static const JackTransportReading* current();

private:
    std::function<double()> ownTempo;
};
