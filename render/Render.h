#pragma once

#include "AudioPathTiming.h"
#include "RenderJob.h"
#include "RenderOptions.h"

#include <string>
#include <vector>

// What one render made, for the summary that batto-render prints.
struct RenderSummary
{
    std::string name;
    std::vector<std::string> files; // as the user named the output folder
    int bars = 0;
    std::string tempo; // "96 bpm", or the range of a tempo map
    std::string kit;   // what sounded the WAV
    size_t drumHits = 0;
    float peak = 0.0f;
    long long clippedSamples = 0;
    double audioSeconds = 0.0;
    double blockSeconds = 0.0; // the length of one block
    AudioPathTiming audioPath; // the standalone build's processBlock calls
};

// Plays the performance (or the demo) through the real processor and writes the four
// files. Throws RenderError with a one-line message on bad input or a failed write, and
// leaves no file of its own behind when it throws anything.
RenderSummary renderPerformance(const RenderOptions& options);
