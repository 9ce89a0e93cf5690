#pragma once

// The render loop: runs a BattoAudioProcessor block by block over the player's part as a
// host would. It is compiled twice, once against each build of the processor (the
// standalone build in batto-render itself, the plug-in build in its own shared library),
// so it only includes the processor's header, whichever build that is.

#include "AudioPathTiming.h"
#include "BattoAudioProcessor.h"
#include "RenderJob.h"
#include "TransportPlayHead.h"

#include <algorithm>
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
#if !BATTO_PLUGIN_BUILD
// The standalone processor with its hosted instrument's own work timed apart: what the
// instrument costs inside a block is its own affair, not the drummer's.
class InstrumentTimedProcessor : public BattoAudioProcessor
{
public:
    using BattoAudioProcessor::BattoAudioProcessor;

    // The instrument's time since the last call (on the monotonic clock, as BlockMeter).
    double takeInstrumentSeconds()
    {
        const double spent = instrumentSeconds;
        instrumentSeconds = 0.0;
        return spent;
    }

protected:
    void runPluginBlock(juce::AudioPluginInstance& plugin, juce::AudioBuffer<float>& buffer,
                        juce::MidiBuffer& midi) override
    {
        const double started = BlockMeter::monotonicSeconds();
        BattoAudioProcessor::runPluginBlock(plugin, buffer, midi);
        instrumentSeconds += BlockMeter::monotonicSeconds() - started;
    }

private:
    double instrumentSeconds = 0.0;
};
using RenderProcessor = InstrumentTimedProcessor;
#else
using RenderProcessor = BattoAudioProcessor;
#endif

inline std::unique_ptr<RenderProcessor> makePreparedProcessor(const RenderJob& job, TransportPlayHead& playHead,
                                                              const SoundSetUp& setUpSound = {})
{
    auto processor = std::make_unique<RenderProcessor>(processorSettings(job));
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

// The voices that a hit started in the block just processed: a voice started at sample t of
// an n-sample block stands at frame n - t after it, one started earlier further on.
inline uint16_t voicesStartedIn(const BattoAudioProcessor& processor, int numSamples)
{
    uint16_t started = 0;
#if !BATTO_PLUGIN_BUILD
    for (int voice = 0; voice < Batto::numVoices; ++voice)
        if (processor.getVoiceVelocity(voice) != 0 && processor.getVoicePosition(voice) <= numSamples)
            started = static_cast<uint16_t>(started | 1u << voice);
#else
    juce::ignoreUnused(processor, numSamples);
#endif
    return started;
}

// Calls onBlock(firstSample, audio, midi) after every block, with the processor's output;
// the render stops at once when it returns false. With a timing, the processor's
// processBlock calls are timed, and nothing else; every block's cost is kept.
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
    BlockMeter meter;
    if (timing != nullptr)
        timing->blocks.reserve(static_cast<size_t>(job.totalSamples / job.blockSize) + 1);
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
        const int eventsIn = midi.getNumEvents();
        if (timing != nullptr)
            meter.start();
        processor->processBlock(audio, midi);
        if (timing != nullptr)
        {
            BlockCost cost = meter.stop();
#if !BATTO_PLUGIN_BUILD
            cost.instrumentSeconds = static_cast<float>(processor->takeInstrumentSeconds());
#endif
            cost.eventsIn = static_cast<uint16_t>(std::min(eventsIn, 0xFFFF));
            cost.voicesStarted = voicesStartedIn(*processor, job.blockSize);
            timing->blocks.push_back(cost);
        }
        if (!onBlock(blockStart, audio, midi))
            break;
        if (progress != nullptr)
            progress(progressContext, static_cast<double>(blockStart + job.blockSize) / job.totalSamples);
    }
    processor->releaseResources();
}
} // namespace render
