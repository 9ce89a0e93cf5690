#pragma once

// The render loop: runs a BattoAudioProcessor block by block over the player's part as a
// host would. It is compiled twice, once against each build of the processor (the
// standalone build in batto-render itself, the plug-in build in its own shared library),
// so it only includes the processor's header, whichever build that is.

#include "BattoAudioProcessor.h"
#include "RenderJob.h"
#include "TransportPlayHead.h"

#include <algorithm>
#include <ctime>
#include <functional>
#include <memory>
#include <vector>

namespace render
{
inline BattoAudioProcessor::Settings processorSettings(const RenderJob& job)
{
    BattoAudioProcessor::Settings settings;
    settings.divisionDuTemps = job.divisionDuTemps;
    settings.tempo = job.tempo;
    settings.autoKick = job.autoKick;
    settings.autoSnare = job.autoSnare;
    settings.drumKit = BattoAudioProcessor::kitInternal;
    settings.breakParam1 = job.velocitySensitivity;
    settings.breakParam2 = job.dynamicSensitivity;
    settings.gravaEnabled = job.bassFollower;
    return settings;
}

// Sets the prepared processor's sound up before its first block (standalone build: a kit
// folder or an instrument plug-in).
using SoundSetUp = std::function<void(BattoAudioProcessor&)>;

// A processor set up as a host sets it up before the first block: rate and block size,
// prepareToPlay, its sound, and either its play head or a Start press.
inline std::unique_ptr<BattoAudioProcessor> makePreparedProcessor(const RenderJob& job,
                                                                  TransportPlayHead& playHead,
                                                                  const SoundSetUp& setUpSound = {})
{
    auto processor = std::make_unique<BattoAudioProcessor>(processorSettings(job));
#if !BATTO_PLUGIN_BUILD
    processor->setVolume(job.kitGain);
    processor->setClickVolume(job.clickVolume);
#endif
    processor->setRateAndBufferSizeDetails(job.sampleRate, job.blockSize);
    processor->prepareToPlay(job.sampleRate, job.blockSize);
    if (setUpSound)
        setUpSound(*processor);
    if (job.hostStart)
        processor->setPlayHead(&playHead);
    else
        processor->start(); // pressed before the first block, as a user would
    return processor;
}

inline TempoMap transportTempoMap(const RenderJob& job)
{
    if (job.tempoChangeCount == 0)
        return TempoMap(job.tempo);
    return TempoMap(std::vector<TempoChange>(job.tempoChanges, job.tempoChanges + job.tempoChangeCount));
}

// The CPU time of the calling thread, in seconds.
inline double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9;
}

// Calls onBlock(firstSample, audio, midi) after every block, with the processor's output;
// the render stops at once when it returns false. With a timing, the processor's
// processBlock calls are timed, and nothing else.
template <typename OnBlock>
void runProcessor(const RenderJob& job, const InputEvent* events, size_t eventCount, OnBlock&& onBlock,
                  ProgressSink progress, void* progressContext, AudioPathTiming* timing = nullptr,
                  const SoundSetUp& setUpSound = {})
{
    TransportPlayHead playHead(job.sampleRate, transportTempoMap(job));
    auto processor = makePreparedProcessor(job, playHead, setUpSound);

    juce::AudioBuffer<float> audio(2, job.blockSize);
    juce::MidiBuffer midi;
    midi.ensureSize(4096);
    size_t nextEvent = 0;
    for (juce::int64 blockStart = 0; blockStart < job.totalSamples; blockStart += job.blockSize)
    {
        midi.clear();
        for (; nextEvent < eventCount && events[nextEvent].sample < blockStart + job.blockSize; ++nextEvent)
        {
            const InputEvent& event = events[nextEvent];
            midi.addEvent(event.bytes, event.size, static_cast<int>(event.sample - blockStart));
        }
        playHead.moveTo(blockStart);
        audio.clear();
        const double started = timing != nullptr ? threadCpuSeconds() : 0.0;
        processor->processBlock(audio, midi);
        if (timing != nullptr)
        {
            const double spent = threadCpuSeconds() - started;
            timing->cpuSeconds += spent;
            timing->worstBlockSeconds = std::max(timing->worstBlockSeconds, spent);
        }
        if (!onBlock(blockStart, audio, midi))
            break;
        if (progress != nullptr)
            progress(progressContext, static_cast<double>(blockStart + job.blockSize) / job.totalSamples);
    }
    processor->releaseResources();
}
} // namespace render
