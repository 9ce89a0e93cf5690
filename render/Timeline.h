#pragma once

#include <cstdint>

// Where the render's samples, beats and bars fall. Time zero is the first sample of the
// first block; the drummer's grid starts at gridStartSample (0 when the renderer is the
// host, one block later when Start is pressed).
struct Timeline
{
    double sampleRate;
    double tempo; // beats per minute
    int blockSize;
    int64_t gridStartSample;
    int64_t totalSamples; // a whole number of blocks
    int bars;             // whole bars of the grid within the render

    double samplesPerBeat() const
    {
        return sampleRate * 60.0 / tempo;
    }
    double samplesPerBar() const
    {
        return 4.0 * samplesPerBeat();
    }
    // Beats from time zero to a sample (not from the grid start).
    double beatsAt(double sample) const
    {
        return sample / samplesPerBeat();
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
