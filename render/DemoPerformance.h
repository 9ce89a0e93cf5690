#pragma once

#include "Performance.h"

// The embedded demo: sixteen bars of a keyboard part at 100 beats per minute that shows
// what the drummer does: a pick-up, quiet and loud passages, accents on beat 1 and on
// off-beats, fills that end in a crash, and a silent bar that lets the phrase move.
// Always the same notes: nothing in it is random.
Performance makeDemoPerformance();

constexpr double demoTempo = 100.0;
