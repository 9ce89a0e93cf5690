// processBlock on a dense four-minute performance at 48 kHz: the engine, MIDI in and out
// and metronome clicks (standalone build); no kit sound. One benchmark iteration is one
// block; "x_realtime" is how many times faster than real time the blocks are processed.
#include "BattoAudioProcessor.h"
#include "DensePerformance.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace
{
constexpr double rate = 48000.0;

void processBlocks(benchmark::State& state)
{
    const int blockSize = static_cast<int>(state.range(0));
    const auto performance = densePerformance(rate, blockSize);
    BattoAudioProcessor processor;
    processor.setRateAndBufferSizeDetails(rate, blockSize);
    processor.prepareToPlay(rate, blockSize);
    processor.chooseDivisionDuTemps(4);
#if !BATTO_PLUGIN_BUILD
    processor.setDrumKit(BattoAudioProcessor::kitExternalPlugin); // the hits leave as MIDI
    processor.setClickVolume(0.8);
#endif
    juce::AudioBuffer<float> audio(BATTO_PLUGIN_BUILD ? 2 : 4, blockSize);
    juce::MidiBuffer midi;
    midi.ensureSize(64 * 1024);

    size_t block = performance.size();
    int64_t notesOut = 0;
    for (auto _ : state)
    {
        if (block == performance.size())
        {
            processor.stop();
            processor.start();
            block = 0;
        }
        midi.clear();
        midi.addEvents(performance[block++], 0, -1, 0);
        processor.processBlock(audio, midi);
        notesOut += midi.getNumEvents();
        benchmark::DoNotOptimize(audio.getReadPointer(0));
    }
    const double blockSeconds = blockSize / rate;
    state.counters["x_realtime"] = benchmark::Counter(blockSeconds * static_cast<double>(state.iterations()),
                                                      benchmark::Counter::kIsRate);
    state.counters["notes_out_per_block"] =
        benchmark::Counter(static_cast<double>(notesOut) / static_cast<double>(state.iterations()));
}
} // namespace

BENCHMARK(processBlocks)->Arg(64)->Arg(512)->Unit(benchmark::kNanosecond);
BENCHMARK_MAIN();
