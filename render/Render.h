#pragma once

#include "RenderOptions.h"

#include <string>
#include <vector>

// What one render made, for the summary that batto-render prints.
struct RenderSummary
{
    std::string name;
    std::vector<std::string> files; // as the user named the output folder
    int bars = 0;
    double tempo = 0.0;
    size_t drumHits = 0;
    float peak = 0.0f;
    long long clippedSamples = 0;
    double audioSeconds = 0.0;
};

// Plays the performance (or the demo) through the real processor and writes the four
// files. Throws RenderError with a one-line message on bad input or a failed write.
RenderSummary renderPerformance(const RenderOptions& options);
