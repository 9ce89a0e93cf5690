#include "PluginBuildRun.h"

#include "ProcessorRun.h"

#include <new>

static_assert(BATTO_PLUGIN_BUILD, "this library runs the plug-in build of the processor");

int battoRunPluginBuildProcessor(const RenderJob* job, const InputEvent* events, size_t eventCount,
                                 OutputEventSink onEvent, void* eventContext, ProgressSink progress,
                                 void* progressContext)
{
    if (job == nullptr || onEvent == nullptr || job->blockSize <= 0)
        return pluginBuildRunRefused;
    // No exception crosses the library's C interface.
    try
    {
        render::runProcessor(
            *job, events, eventCount,
            [&](juce::int64 blockStart, const juce::AudioBuffer<float>&, const juce::MidiBuffer& midi)
            {
                for (const auto metadata : midi)
                    onEvent(eventContext, blockStart + metadata.samplePosition, metadata.data,
                            metadata.numBytes);
                return true;
            },
            progress, progressContext);
        return pluginBuildRunDone;
    }
    catch (const std::bad_alloc&)
    {
        return pluginBuildRunOutOfMemory;
    }
    catch (...)
    {
        return pluginBuildRunFailed;
    }
}
