#pragma once

#include "TempoMap.h"

#include <cstdint>

// Where the render's samples, beats and bars fall. Time zero is the first sample of the
// first block; the drummer's grid starts at gridStartSample (0 when the renderer is the
// host, one block later when Start is pressed) and runs on the tempo map (the host's
// transport), or on one tempo (Start).
struct Timeline
{
    double sampleRate;
    TempoMap tempoMap;
    int blockSize;
    int64_t gridStartSample;
    int64_t totalSamples; // a whole number of blocks
    int bars;             // whole bars of the grid within the render

    // Beats from time zero to a sample, and back.
    double beatsAt(double sample) const
    {
        return tempoMap.beatsAt(sample / sampleRate);
    }
    double sampleAt(double beat) const
    {
        return tempoMap.secondsAt(beat) * sampleRate;
    }
    // The drummer's grid beat at a sample (counted from the grid's start).
    double gridBeatAt(double sample) const
    {
        return beatsAt(sample - static_cast<double>(gridStartSample));
    }
};

// One note-on of the drum part as the processor put it out.
struct DrumHit
{
    int64_t sample; // from time zero
    int status;
    int note;
    int velocity;
};
