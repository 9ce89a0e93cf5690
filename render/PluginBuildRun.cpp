#include "PluginBuildRun.h"

#include "ProcessorRun.h"

static_assert(BATTO_PLUGIN_BUILD, "this library runs the plug-in build of the processor");

bool battoRunPluginBuildProcessor(const RenderJob* job, const InputEvent* events, size_t eventCount,
                                  OutputEventSink onEvent, void* eventContext, ProgressSink progress,
                                  void* progressContext)
{
    if (job == nullptr || onEvent == nullptr || job->blockSize <= 0)
        return false;
    render::runProcessor(
        *job, events, eventCount,
        [&](juce::int64 blockStart, const juce::AudioBuffer<float>&, const juce::MidiBuffer& midi)
        {
            for (const auto metadata : midi)
                onEvent(eventContext, blockStart + metadata.samplePosition, metadata.data, metadata.numBytes);
        },
        progress, progressContext);
    return true;
}
