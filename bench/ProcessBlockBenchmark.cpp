// The standalone processor with the internal kit over a dense four-minute performance at
// 48 000 Hz: the whole processBlock (engine, kit mixing, clicks) at 64- and 512-sample
// blocks, the same without the kit to show the kit mixing's share, the same with Debian's
// avldrums.lv2 hosted as the external plug-in, the internal kit with every performance kept
// as a take (with and without the drums' sound), and the mixing loop alone against the
// sample-by-sample loop it replaced.

#include "BattoAudioProcessor.h"
#include "KitSamplePlayer.h"
#include "ProcessorTakeSettings.h"
#include "TakeRecorder.h"
#include "TakeWriter.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

namespace
{
constexpr double sampleRate = 48000.0;
constexpr double tempo = 132.0;
constexpr double performanceSeconds = 240.0;

struct TimedNote
{
    long long sample;
    int velocity;
};

// Sixteenths with accents everywhere, so that crashes, toms and the open hi-hat ring on
// top of each other, and a run into almost every bar line.
const std::vector<TimedNote>& densePerformance()
{
    static const std::vector<TimedNote> notes = []
    {
        std::vector<TimedNote> result;
        juce::Random random(7);
        const double sixteenth = sampleRate * 60.0 / tempo / 4.0;
        const int sixteenths = static_cast<int>(performanceSeconds * sampleRate / sixteenth);
        for (int i = 0; i < sixteenths; ++i)
        {
            const bool runToBarLine = i % 16 >= 10;
            if (!runToBarLine && random.nextInt(3) == 0)
                continue;
            const int velocity =
                i % 4 == 0 || random.nextInt(4) == 0 ? 110 + random.nextInt(18) : 60 + random.nextInt(50);
            result.push_back({static_cast<long long>(i * sixteenth) + random.nextInt(200), velocity});
        }
        return result;
    }();
    return notes;
}

// The performance cut into blocks beforehand, so that only processBlock is timed.
std::vector<juce::MidiBuffer> blocksOf(int blockSize)
{
    const auto blockCount = static_cast<size_t>(performanceSeconds * sampleRate / blockSize);
    std::vector<juce::MidiBuffer> blocks(blockCount);
    for (const TimedNote& note : densePerformance())
    {
        const auto block = static_cast<size_t>(note.sample / blockSize);
        if (block < blockCount)
            blocks[block].addEvent(juce::MidiMessage::noteOn(1, 60, static_cast<juce::uint8>(note.velocity)),
                                   static_cast<int>(note.sample % blockSize));
    }
    return blocks;
}

// The hosted instrument of the external plug-in choice, when one is named.
const char* const avldrums = "http://gareus.org/oss/lv2/avldrums#BlackPearl";

enum class Takes
{
    off,
    midi,         // every performance kept as a MIDI take
    midiAndSound, // and the drums' sound beside it
};

double threadCpuNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

// How often the file says that the writer fell behind (events or sound lost).
int lossesNoted(const juce::File& folder)
{
    int losses = 0;
    for (const auto& take : folder.findChildFiles(juce::File::findFiles, false, "*.mid"))
    {
        juce::MemoryBlock bytes;
        take.loadFileAsData(bytes);
        const std::string text(static_cast<const char*>(bytes.getData()), bytes.getSize());
        for (size_t at = text.find("lost"); at != std::string::npos; at = text.find("lost", at + 1))
            ++losses;
    }
    return losses;
}

void runPerformance(benchmark::State& state, int drumKit, const char* externalPlugin = nullptr,
                    Takes takes = Takes::off)
{
    const int blockSize = static_cast<int>(state.range(0));
    const std::vector<juce::MidiBuffer> blocks = blocksOf(blockSize);
    juce::AudioBuffer<float> audio(2, blockSize);
    juce::MidiBuffer midi;
    midi.ensureSize(4096);
    long long hits = 0;
    double audioThreadNanoseconds = 0.0;
    long long blocksRun = 0;
    int losses = 0;
    const juce::File takesFolder =
        juce::File::getSpecialLocation(juce::File::tempDirectory).getNonexistentChildFile("batto-bench-takes", "");

    for (auto _ : state)
    {
        state.PauseTiming();
        TakeRecorder recorder;
        recorder.setAudioOn(takes == Takes::midiAndSound);
        BattoAudioProcessor::Settings settings;
        settings.tempo = tempo;
        settings.divisionDuTemps = 4;
        settings.drumKit = drumKit;
        auto processor = std::make_unique<BattoAudioProcessor>(settings);
        processor->setClickVolume(0.7);
        processor->setRateAndBufferSizeDetails(sampleRate, blockSize);
        processor->prepareToPlay(sampleRate, blockSize);
        if (externalPlugin != nullptr)
        {
            const juce::Result loaded = processor->loadExternalPlugin(externalPlugin);
            if (loaded.failed() || !processor->waitUntilExternalPluginSounds(36, 20000))
            {
                state.SkipWithError(loaded.failed() ? loaded.getErrorMessage().toRawUTF8() : "it stays silent");
                break;
            }
        }
        std::unique_ptr<TakeWriter> writer;
        if (takes != Takes::off)
        {
            writer = std::make_unique<TakeWriter>(recorder, takesFolder, drummerSettingsOf(*processor));
            processor->setTakeRecorder(&recorder);
            writer->start();
        }
        processor->start();
        state.ResumeTiming();

        // In runs of blocks; between them, with takes on, the writer is let catch up (untimed),
        // so that nothing is dropped: a device plays no faster than real time.
        constexpr size_t blocksPerRun = 256;
        for (size_t first = 0; first < blocks.size(); first += blocksPerRun)
        {
            if (takes != Takes::off)
                while (!recorder.hasRoomFor(static_cast<int>(blocksPerRun) * blockSize))
                    std::this_thread::yield();
            const double started = threadCpuNanoseconds();
            for (size_t i = first; i < std::min(blocks.size(), first + blocksPerRun); ++i)
            {
                midi.clear();
                midi.addEvents(blocks[i], 0, blockSize, 0);
                processor->processBlock(audio, midi);
                hits += midi.getNumEvents();
            }
            audioThreadNanoseconds += threadCpuNanoseconds() - started;
        }
        blocksRun += static_cast<long long>(blocks.size());
        benchmark::DoNotOptimize(audio.getReadPointer(0));

        state.PauseTiming();
        if (writer != nullptr)
        {
            writer->finish();
            processor->setTakeRecorder(nullptr);
            losses += lossesNoted(takesFolder);
            takesFolder.deleteRecursively();
        }
        state.ResumeTiming();
    }
    // The audio thread's own CPU time per block: what processBlock costs that thread, the
    // hand-over to the take writer included, its thread's work not.
    state.counters["audio_thread_ns_per_block"] = audioThreadNanoseconds / static_cast<double>(std::max(1LL, blocksRun));
    if (takes != Takes::off)
        state.counters["takes_noting_losses"] = losses;
    state.counters["x_realtime"] = benchmark::Counter(
        performanceSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["midi_hits"] = static_cast<double>(hits) / static_cast<double>(state.iterations());
}

void ProcessBlockWithInternalKit(benchmark::State& state)
{
    runPerformance(state, BattoAudioProcessor::kitInternal);
}

// The same performance with no kit to mix (the external plug-in choice with none loaded):
// the difference from the run above is the kit mixing's share.
void ProcessBlockWithoutKit(benchmark::State& state)
{
    runPerformance(state, BattoAudioProcessor::kitExternalPlugin);
}

// The same performance through Debian's avldrums.lv2, hosted: the whole processBlock, with the
// instrument rendering every block, beside the internal kit above.
void ProcessBlockWithAvldrumsHosted(benchmark::State& state)
{
    static const juce::ScopedJuceInitialiser_GUI messageManager; // plug-in hosting wants one
    runPerformance(state, BattoAudioProcessor::kitExternalPlugin, avldrums);
}

// The internal kit with every performance kept as a take (MIDI, then MIDI and sound), the
// real writer's thread writing it: the audio thread's cost beside the run without takes.
void ProcessBlockWithInternalKitAndTakes(benchmark::State& state)
{
    runPerformance(state, BattoAudioProcessor::kitInternal, nullptr, Takes::midi);
}

void ProcessBlockWithInternalKitAndTakesWithSound(benchmark::State& state)
{
    runPerformance(state, BattoAudioProcessor::kitInternal, nullptr, Takes::midiAndSound);
}

// Ten voices ringing at once, hit at staggered samples, mixed into 64-sample blocks.
struct RingingKit
{
    KitSamplePlayer kit;
    int velocity[KitSamplePlayer::voiceCount];
    int position[KitSamplePlayer::voiceCount];

    RingingKit()
    {
        kit.fillInternalKit(sampleRate);
        restart();
    }
    void restart()
    {
        for (int v = 0; v < KitSamplePlayer::voiceCount; ++v)
        {
            velocity[v] = 100;
            position[v] = -5 * v;
        }
    }
    void advance(int samples)
    {
        for (int v = 0; v < KitSamplePlayer::voiceCount; ++v)
            if (velocity[v] != 0)
                position[v] += samples;
    }
};

void KitMixingVoiceByVoice(benchmark::State& state)
{
    RingingKit ringing;
    juce::AudioBuffer<float> block(2, 64);
    for (auto _ : state)
    {
        block.clear();
        ringing.kit.mixVoices(block, 64, ringing.velocity, ringing.position, 1.0);
        ringing.advance(64);
        if (ringing.velocity[KitSamplePlayer::voiceCount - 1] == 0)
            ringing.restart();
        benchmark::DoNotOptimize(block.getReadPointer(0));
    }
    state.SetItemsProcessed(state.iterations() * 64);
}

// The loop as first described: every sample, every voice, two multiply-adds.
void KitMixingSampleBySample(benchmark::State& state)
{
    RingingKit ringing;
    juce::AudioBuffer<float> block(2, 64);
    const KitSamplePlayer& kit = ringing.kit;
    for (auto _ : state)
    {
        block.clear();
        float* out0 = block.getWritePointer(0);
        float* out1 = block.getWritePointer(1);
        for (int s = 0; s < 64; ++s)
            for (int v = 0; v < KitSamplePlayer::voiceCount; ++v)
            {
                const int vel = ringing.velocity[v];
                if (vel == 0)
                    continue;
                const auto& sound = kit.kitBuffers[v][kit.velocityToLayer[vel]];
                const int k = ringing.position[v] + s;
                if (k >= sound.getNumSamples())
                {
                    ringing.velocity[v] = ringing.position[v] = 0;
                    continue;
                }
                if (k < 0)
                    continue;
                const double g = kit.velocityToGain[vel] * 1.0;
                out0[s] = static_cast<float>(out0[s] + g * sound.getSample(0, k));
                out1[s] = static_cast<float>(out1[s] + g * sound.getSample(1, k));
            }
        ringing.advance(64);
        if (ringing.velocity[KitSamplePlayer::voiceCount - 1] == 0)
            ringing.restart();
        benchmark::DoNotOptimize(block.getReadPointer(0));
    }
    state.SetItemsProcessed(state.iterations() * 64);
}
} // namespace

BENCHMARK(ProcessBlockWithInternalKit)->Arg(64)->Arg(512)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(ProcessBlockWithoutKit)->Arg(64)->Arg(512)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(ProcessBlockWithInternalKitAndTakes)->Arg(64)->Arg(512)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(ProcessBlockWithInternalKitAndTakesWithSound)->Arg(64)->Arg(512)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(ProcessBlockWithAvldrumsHosted)->Arg(64)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(KitMixingVoiceByVoice);
BENCHMARK(KitMixingSampleBySample);
