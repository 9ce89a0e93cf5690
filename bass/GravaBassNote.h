#pragma once

#include <cstdint>

// The note mapping that both bass followers share. `octa` is the largest number of octaves a
// note is moved down, minus one; `lown` is the lowest note a note may keep before its last
// octave shift.

// The largest t in 0..octa with note - 12 t >= lown, or -1 when there is none. Computed without
// a loop because both settings come from stored state and may hold any value.
inline int gravaOctaveShift(int note, int octa, int lown)
{
    const auto reach = (std::int64_t)note - lown;
    if (octa < 0 || reach < 0)
        return -1;
    const auto fits = reach / 12;
    return (int)(fits < octa ? fits : octa);
}

// The note the bass plays for an input note: moved down by one octave more than the shift,
// keeping the low 7 bits, so a very low `lown` can wrap to the top of the MIDI range.
inline int gravaBassOutputNote(int note, int octa, int lown)
{
    const auto moved = (std::int64_t)note - 12 * ((std::int64_t)gravaOctaveShift(note, octa, lown) + 1);
    return (int)(moved & 0x7F);
}
