#pragma once

#include <juce_core/juce_core.h>

// The file that keeps the hosted instrument plug-in's state between runs: exactly the bytes
// of the plug-in's getStateInformation, no header. A new state is written to a hidden
// temporary file beside it, flushed to the disk, and only then renamed over the old file, so
// that a crash, a full disk or a kill during the write leaves the previous state whole.
namespace ExternalPluginStateFile
{
// Writes `state`; an empty state removes the file (the plug-in has nothing to keep). On
// failure the previous file is left as it was and the result names the reason.
juce::Result write(const juce::File& file, const juce::MemoryBlock& state);

// Reads the whole file into `state`; false (and `state` empty) when it is missing, is a
// folder or cannot be read.
bool read(const juce::File& file, juce::MemoryBlock& state);
} // namespace ExternalPluginStateFile
