#pragma once

#include "TempoMap.h"

#include <cstddef>
#include <cstdint>

// One render as plain values. The plug-in build's processor runs in its own shared
// library (see PluginBuildRun.h), so everything that crosses to it is a plain struct.
struct RenderJob
{
    double sampleRate;
    int blockSize;
    bool hostStart;                  // true: a playing host transport from time zero; false: Start pressed
    double tempo;                    // the processor's tempo setting (what Start plays), beats per minute
    const TempoChange* tempoChanges; // the transport's tempo map, in beat order (host start)
    size_t tempoChangeCount;
    int divisionDuTemps; // 1, 2 or 4
    double velocitySensitivity;
    double dynamicSensitivity;
    bool autoKick;
    bool autoSnare;
    bool bassFollower;
    double kitGain;       // standalone build only: the processor's volume
    double clickVolume;   // standalone build only; 0 = no clicks
    int64_t totalSamples; // a whole number of blocks
};

// A message of the player's part at its sample from time zero.
struct InputEvent
{
    int64_t sample;
    uint8_t bytes[3];
    int size;
};

// A MIDI event that the processor put out, at its sample from time zero.
using OutputEventSink = void (*)(void* context, int64_t sample, const uint8_t* bytes, int size);
// The share of the render done so far, 0..1, reported once a block.
using ProgressSink = void (*)(void* context, double fraction);
