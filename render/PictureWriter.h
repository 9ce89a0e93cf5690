#pragma once

#include "Performance.h"
#include "Timeline.h"

#include <juce_graphics/juce_graphics.h>

#include <string>
#include <vector>

// The performance on the drummer's bar grid: rows of bars, each with the player's notes
// (a piano roll, velocity as shade) above ten drum lanes that show every hit (height and
// shade by velocity), bar, beat and subdivision lines, and a band over every fill.
struct PictureCaption
{
    std::string title;    // the performance's name
    std::string subtitle; // the render's settings
    int divisionDuTemps;  // subdivision lines per beat
};

juce::Image drawPerformancePicture(const Performance& performance, const std::vector<DrumHit>& hits,
                                   const Timeline& timeline, const PictureCaption& caption);

// Returns false when the file cannot be written.
bool writePerformancePicture(const juce::File& file, const juce::Image& picture);
