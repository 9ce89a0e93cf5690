#pragma once

#include <juce_core/juce_core.h>

// The number rules that every host of the drummer's engine shares.

// Every conversion of a double to an engine int truncates toward zero.
inline int truncated(double value)
{
    return static_cast<int>(value);
}

// The velocity of a drum note-on: the engine's velocity times the voice's velocity scale, in
// single precision on purpose (100 x 0.7f is 70, not 69), truncated and limited to 0..127.
// A negative scale (or one that is not a number) sends 0 rather than a byte that is no MIDI
// data; the product is limited before it becomes an int, which it could not hold with a
// scale as a stored file may give it.
inline int drumNoteVelocity(int velocity, float scale)
{
    const float scaled = static_cast<float>(velocity) * scale;
    if (!(scaled > 0.0f))
        return 0;
    return static_cast<int>(juce::jmin(127.0f, scaled));
}
