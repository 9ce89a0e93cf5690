#pragma once

#include "RenderJob.h"

// The plug-in build of BattoAudioProcessor cannot share a program with the standalone
// build (the two builds are one class compiled twice), so it lives in a shared library
// that exports this one function and keeps every other symbol, JUCE included, to itself.
//
// Runs the plug-in build's processor over the job as a host would and hands each MIDI
// event of its output to onEvent, in time order. Returns one of the results below.
enum PluginBuildRunResult
{
    pluginBuildRunDone = 0,
    pluginBuildRunRefused = 1, // the job cannot be run
    pluginBuildRunOutOfMemory = 2,
    pluginBuildRunFailed = 3
};

extern "C" __attribute__((visibility("default"))) int
battoRunPluginBuildProcessor(const RenderJob* job, const InputEvent* events, size_t eventCount,
                             OutputEventSink onEvent, void* eventContext, ProgressSink progress,
                             void* progressContext);
