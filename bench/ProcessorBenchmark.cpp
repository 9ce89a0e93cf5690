// processBlock on a dense four-minute performance at 48 kHz: the engine, MIDI in and out
// and metronome clicks (standalone build); no kit sound. One benchmark iteration is one
// block; "x_realtime" is how many times faster than real time the blocks are processed.
#include "BattoAudioProcessor.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace
{
constexpr double rate = 48000.0;
constexpr double minutes = 4.0;

// A busy player at 120 bpm: a note on every sixteenth with shifting velocities, chords on
// the beats, accents, and runs of thirty-second notes every fourth bar; note-offs and
// pedal messages as a keyboard sends them.
std::vector<juce::MidiBuffer> densePerformance(int blockSize)
{
    const int totalSamples = static_cast<int>(rate * 60.0 * minutes);
    const int sixteenth = static_cast<int>(rate * 60.0 / 120.0 / 4);
    std::vector<juce::MidiBuffer> blocks(static_cast<size_t>(totalSamples / blockSize));
    auto add = [&](int at, const juce::MidiMessage& message)
    {
        const auto block = static_cast<size_t>(at / blockSize);
        if (block < blocks.size())
            blocks[block].addEvent(message, at % blockSize);
    };
    for (int step = 0; step * sixteenth < totalSamples; ++step)
    {
        const int at = step * sixteenth + (step * 37) % 200; // a human's timing
        const int bar = step / 16;
        const int velocity = 40 + (step * 23) % 80 + (step % 16 == 0 ? 7 : 0);
        add(at, juce::MidiMessage::noteOn(1, 40 + step % 24, static_cast<juce::uint8>(velocity)));
        add(at + sixteenth / 2, juce::MidiMessage::noteOff(1, 40 + step % 24));
        if (step % 4 == 0)
            for (int voice = 1; voice <= 2; ++voice)
                add(at + voice * 30,
                    juce::MidiMessage::noteOn(1, 52 + 4 * voice, static_cast<juce::uint8>(velocity)));
        if (bar % 4 == 3 && step % 16 >= 8)
            add(at + sixteenth / 2,
                juce::MidiMessage::noteOn(1, 45, static_cast<juce::uint8>(100 + step % 27)));
        if (step % 16 == 15)
            add(at, juce::MidiMessage::controllerEvent(1, 64, bar % 2 ? 127 : 0));
    }
    return blocks;
}

void processBlocks(benchmark::State& state)
{
    const int blockSize = static_cast<int>(state.range(0));
    const auto performance = densePerformance(blockSize);
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
