#include "DemoPerformance.h"

#include <algorithm>
#include <array>

namespace
{
struct DemoNote
{
    int bar;
    double beat; // 0..4 within the bar
    int velocity;
    int offsetMs; // a human player is a little early or late
};

// The drummer listens to loudness and timing only; the pitches given below just make the
// part a bass line over A minor, F, C and G when the file is opened in a DAW.
const DemoNote demoNotes[] = {
    // Bar 0: the drummer grooves alone, then a soft pick-up into bar 1.
    {0, 3.0, 50, 0},
    {0, 3.5, 58, -4},
    // Bars 1-3: quiet quarter notes, a little busier each bar.
    {1, 0.0, 60, -6},
    {1, 1.0, 46, 3},
    {1, 2.0, 52, 0},
    {1, 3.0, 44, 5},
    {2, 0.0, 54, -3},
    {2, 1.0, 46, 2},
    {2, 1.5, 42, -8},
    {2, 2.0, 50, 4},
    {2, 3.0, 48, 0},
    {2, 3.5, 52, -5},
    {3, 0.0, 62, 3},
    {3, 1.0, 56, 0},
    {3, 2.0, 60, -4},
    {3, 2.5, 58, 6},
    {3, 3.0, 66, -2},
    {3, 3.5, 74, 0},
    // Bar 4: an accent on beat 1; bar 5: accents on the off-beats.
    {4, 0.0, 122, -5},
    {4, 1.0, 84, 2},
    {4, 2.0, 88, 0},
    {4, 3.0, 86, 4},
    {4, 3.5, 90, -3},
    {5, 0.0, 92, 0},
    {5, 1.0, 84, -4},
    {5, 1.5, 118, 3},
    {5, 2.0, 88, 0},
    {5, 3.0, 86, -6},
    {5, 3.5, 120, 2},
    // Bar 6: building. Bar 7: a loud note on beat 2 starts a fill; steady eighths make it a
    // snare roll that falls to the toms on beat 4 and ends in a crash on the bar line.
    {6, 0.0, 94, 3},
    {6, 1.0, 88, -2},
    {6, 2.0, 92, 0},
    {6, 3.0, 96, 5},
    {6, 3.5, 98, -3},
    {7, 0.0, 100, 0},
    {7, 1.0, 124, -3},
    {7, 1.5, 110, 2},
    {7, 2.0, 114, -2},
    {7, 2.5, 118, 3},
    {7, 3.0, 125, 0},
    {7, 3.5, 108, -2},
    {8, 0.0, 126, -4},
    {8, 1.0, 104, 2},
    {8, 2.0, 106, 0},
    {8, 3.0, 104, 3},
    // Bar 9: loud, with off-beat accents; bar 10 is silent.
    {9, 0.0, 110, 0},
    {9, 1.0, 106, -3},
    {9, 1.5, 123, 2},
    {9, 2.0, 98, 0},
    {9, 3.0, 110, 4},
    {9, 3.5, 124, -2},
    // Bars 11-13: quiet again, then a crescendo with an accent on beat 1.
    {11, 0.0, 64, -4},
    {11, 1.0, 50, 3},
    {11, 2.0, 56, 0},
    {11, 3.0, 52, -3},
    {12, 0.0, 70, 2},
    {12, 1.0, 62, -5},
    {12, 2.0, 68, 0},
    {12, 2.5, 64, 4},
    {12, 3.0, 74, -2},
    {12, 3.5, 80, 0},
    {13, 0.0, 120, -3},
    {13, 1.0, 92, 3},
    {13, 2.0, 96, 0},
    {13, 3.0, 94, -4},
    {13, 3.5, 100, 2},
    // Bar 14: a second fill, played loosely (the second note 45 ms late), so the drummer
    // answers on the toms from high to low; bar 15: the final crash.
    {14, 0.0, 100, 0},
    {14, 1.0, 124, -2},
    {14, 1.5, 112, 45},
    {14, 2.0, 114, 0},
    {14, 2.5, 116, -3},
    {14, 3.0, 125, 2},
    {14, 3.5, 108, 0},
    {15, 0.0, 127, -2},
    {15, 2.0, 96, 3},
};

// Roots of A minor, F, C and G, one chord a bar, with a root-fifth-octave figure.
constexpr std::array<int, 4> barRoots = {45, 41, 48, 43};
constexpr std::array<int, 4> figure = {0, 7, 12, 7};

constexpr int demoChannel = 1;

double beatAt(int bar, double beat)
{
    return bar * 4 + beat;
}

int pitchOf(const DemoNote& note, size_t index)
{
    return barRoots[static_cast<size_t>(note.bar) % barRoots.size()] + figure[index % figure.size()];
}

// A note sounds until just before the next one, for at most a beat.
double lengthOf(size_t index)
{
    constexpr size_t count = std::size(demoNotes);
    const double start = beatAt(demoNotes[index].bar, demoNotes[index].beat);
    double end = start + 1.0;
    if (index + 1 < count)
        end = std::min(end, beatAt(demoNotes[index + 1].bar, demoNotes[index + 1].beat));
    return (end - start) * 0.9;
}
} // namespace

Performance makeDemoPerformance()
{
    Performance performance;
    performance.name = "demo";
    performance.tempoChanges = {{0.0, demoTempo}};
    for (size_t i = 0; i < std::size(demoNotes); ++i)
    {
        const DemoNote& note = demoNotes[i];
        const double start = beatAt(note.bar, note.beat) + note.offsetMs * 0.001 * demoTempo / 60.0;
        const int pitch = pitchOf(note, i);
        // Time zero is the first beat, so the earliest note must not fall before it.
        const double onTime = std::max(0.0, start);
        performance.events.addEvent(
            juce::MidiMessage::noteOn(demoChannel, pitch, static_cast<juce::uint8>(note.velocity)), onTime);
        performance.events.addEvent(juce::MidiMessage::noteOff(demoChannel, pitch), onTime + lengthOf(i));
    }
    performance.events.updateMatchedPairs();
    return performance;
}
