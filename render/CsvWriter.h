#pragma once

#include "Timeline.h"

#include <juce_core/juce_core.h>

#include <vector>

// Writes "sample,status,note,velocity" and one line per drum note-on, in time order.
// Returns false when the file cannot be written.
bool writeDrumCsv(const juce::File& file, const std::vector<DrumHit>& hits);
