// The plug-in's cost in a host: the same dense performance, with a host's transport playing
// from bar 1 at 120 bpm, through the bare processor (plug-in build), and through the built
// BattoMidiFx bundles loaded by JUCE's VST3 and LV2 hosting, so the wrappers' share shows.
// One benchmark iteration is one block; "x_realtime" is how many times faster than real time.
#include "BattoAudioProcessor.h"
#include "DensePerformance.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace
{
constexpr double rate = 48000.0;

class Transport : public juce::AudioPlayHead
{
public:
    juce::Optional<PositionInfo> getPosition() const override
    {
        PositionInfo info;
        info.setIsPlaying(true);
        info.setBpm(120.0);
        info.setTimeSignature(TimeSignature{4, 4});
        info.setTimeInSamples(now);
        info.setPpqPosition(static_cast<double>(now) * 120.0 / (60.0 * rate));
        return info;
    }

    juce::int64 now = 0;
};

std::unique_ptr<juce::AudioPluginInstance> loadBundle(juce::AudioPluginFormat& format,
                                                      const juce::String& identifier, int blockSize)
{
    juce::OwnedArray<juce::PluginDescription> types;
    format.findAllTypesForFile(types, identifier);
    juce::String error;
    return types.isEmpty() ? nullptr
                           : format.createInstanceFromDescription(*types[0], rate, blockSize, error);
}

void runPerformance(benchmark::State& state, juce::AudioProcessor& processor, int blockSize)
{
    const auto performance = densePerformance(rate, blockSize);
    Transport transport;
    processor.setPlayHead(&transport);
    processor.setRateAndBufferSizeDetails(rate, blockSize);
    processor.prepareToPlay(rate, blockSize);
    juce::AudioBuffer<float> audio(2, blockSize);
    juce::MidiBuffer midi;
    size_t block = 0;
    int64_t notesOut = 0;
    for (auto _ : state)
    {
        if (block == performance.size())
            block = 0; // the host loops back to bar 1
        transport.now = static_cast<juce::int64>(block) * blockSize;
        midi = performance[block++];
        processor.processBlock(audio, midi);
        notesOut += midi.getNumEvents();
        benchmark::DoNotOptimize(audio.getReadPointer(0));
    }
    processor.releaseResources();
    processor.setPlayHead(nullptr);
    state.counters["x_realtime"] = benchmark::Counter(
        blockSize / rate * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["notes_out_per_block"] =
        benchmark::Counter(static_cast<double>(notesOut) / static_cast<double>(state.iterations()));
}

void bareProcessor(benchmark::State& state)
{
    BattoAudioProcessor processor;
    runPerformance(state, processor, static_cast<int>(state.range(0)));
}

void throughVst3(benchmark::State& state)
{
    juce::VST3PluginFormat format;
    const int blockSize = static_cast<int>(state.range(0));
    auto plugin = loadBundle(format, BATTO_VST3_BUNDLE, blockSize);
    if (plugin == nullptr)
        return state.SkipWithError("the VST3 bundle did not load");
    runPerformance(state, *plugin, blockSize);
}

void throughLv2(benchmark::State& state)
{
    juce::LV2PluginFormat format;
    format.searchPathsForPlugins(
        juce::FileSearchPath(juce::File(BATTO_LV2_BUNDLE).getParentDirectory().getFullPathName()), false,
        false);
    const int blockSize = static_cast<int>(state.range(0));
    auto plugin = loadBundle(format, BATTO_LV2_URI, blockSize);
    if (plugin == nullptr)
        return state.SkipWithError("the LV2 bundle did not load");
    runPerformance(state, *plugin, blockSize);
}
} // namespace

BENCHMARK(bareProcessor)->Arg(64)->Unit(benchmark::kNanosecond);
BENCHMARK(throughVst3)->Arg(64)->Unit(benchmark::kNanosecond);
BENCHMARK(throughLv2)->Arg(64)->Unit(benchmark::kNanosecond);

int main(int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI messageThread; // the hosts load plug-ins on it
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
