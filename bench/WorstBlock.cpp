// The audio path's worst block on the dense performance (120 bars at 160 bpm, sixteenths,
// 64-sample blocks at 48 000 Hz), through the renderer's own loop and timing: per run the
// worst block with its index, time and page faults, the p99.9 and the average, and beside them
// an empty processBlock (a call that does nothing) measured the same way right after every
// block, which shows what the machine and the measurement add on their own. Not a test: a
// machine's noise decides single blocks.
//
//   worst_block [--kit internal|avldrums|FOLDER|URI] [--runs N] [--block-report N] [--dump FILE]
//
// With three runs or more it also prints the median of each block over the runs: the same
// blocks are played every run, so what a block costs every time stays and what landed on it
// once goes.
//   worst_block --write-midi FILE        the dense performance as a MIDI file, for batto-render
//   worst_block --record-kit FOLDER      a kit folder recorded from avldrums.lv2

#include "AudioPathTiming.h"
#include "BattokitRecorder.h"
#include "DensePerformance.h"
#include "ProcessorRun.h"
#include "RenderError.h"
#include "RenderKit.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace
{
constexpr double sampleRate = 48000.0;
constexpr int blockSize = 64;
constexpr double bpm = 160.0;
constexpr int bars = 120;
const char* const avldrums = "http://gareus.org/oss/lv2/avldrums#BlackPearl";

struct Options
{
    std::string kit = "internal";
    int runs = 1;
    int blockReport = 0;
    std::string writeMidi;
    std::string recordKit;
    std::string dump; // every block's figures, one line each, for a closer look
};

std::vector<InputEvent> inputEvents()
{
    std::vector<InputEvent> events;
    for (const TimedMessage& timed : denseSixteenths(sampleRate, bpm, bars))
    {
        InputEvent event{timed.sample, {0, 0, 0}, timed.message.getRawDataSize()};
        std::copy_n(timed.message.getRawData(), event.size, event.bytes);
        events.push_back(event);
    }
    return events;
}

RenderJob denseJob()
{
    RenderJob job{};
    job.sampleRate = sampleRate;
    job.blockSize = blockSize;
    job.hostStart = true;
    job.tempo = bpm;
    job.divisionDuTemps = 4; // a sixteenth hi-hat
    job.velocitySensitivity = job.dynamicSensitivity = 0.5;
    job.autoKick = job.autoSnare = true;
    job.kitGain = 0.25; // the renderer's default volume
    const auto samples = static_cast<int64_t>(bars * 4 * 60.0 / bpm * sampleRate);
    job.totalSamples = (samples + blockSize - 1) / blockSize * blockSize;
    return job;
}

// Called through a pointer the compiler cannot see through, as a host calls processBlock.
void emptyProcessBlock(juce::AudioBuffer<float>&, juce::MidiBuffer&)
{
}
void (*volatile emptyBlock)(juce::AudioBuffer<float>&, juce::MidiBuffer&) = emptyProcessBlock;

struct Run
{
    AudioPathTiming timing;
    std::vector<BlockCost> empty;
    std::vector<BlockCost> busy;
    juce::uint64 audioChecksum = 14695981039346656037ull; // FNV-1a over the output's bits
};

// Work that touches no memory: a chain of multiplications, each waiting for the last.
volatile juce::uint64 spinResult = 1;
void spin(juce::uint64 iterations)
{
    juce::uint64 x = spinResult;
    for (juce::uint64 i = 0; i < iterations; ++i)
        x = x * 6364136223846793005ull + 1442695040888963407ull;
    spinResult = x;
}

// Iterations of spin() per microsecond, at best.
double spinsPerMicrosecond()
{
    constexpr juce::uint64 iterations = 100000;
    double fastest = 1e9;
    for (int attempt = 0; attempt < 20; ++attempt)
    {
        const double started = BlockMeter::monotonicSeconds();
        spin(iterations);
        fastest = std::min(fastest, BlockMeter::monotonicSeconds() - started);
    }
    return static_cast<double>(iterations) / (fastest * 1e6);
}

// The machine's own noise at the audio path's pace: as many blocks of work that touches no
// memory, each as long as the run's average block, measured the same way.
void measureBusyBlocks(Run& run)
{
    const double average = figuresOf(run.timing.blocks).averageSeconds;
    const auto iterations = static_cast<juce::uint64>(average * 1e6 * spinsPerMicrosecond());
    BlockMeter meter;
    run.busy.reserve(run.timing.blocks.size());
    for (size_t block = 0; block < run.timing.blocks.size(); ++block)
    {
        meter.start();
        spin(iterations);
        run.busy.push_back(meter.stop());
    }
}

Run runOnce(RenderKit& kit, const std::vector<InputEvent>& events)
{
    const RenderJob job = denseJob();
    Run run;
    run.empty.reserve(static_cast<size_t>(job.totalSamples / job.blockSize));
    BlockMeter meter;
    juce::MidiBuffer nothing;
    render::runProcessor(
        job, events.data(), events.size(),
        [&](juce::int64, juce::AudioBuffer<float>& audio, const juce::MidiBuffer&)
        {
            meter.start();
            emptyBlock(audio, nothing);
            run.empty.push_back(meter.stop());
            for (int channel = 0; channel < audio.getNumChannels(); ++channel)
                for (int i = 0; i < audio.getNumSamples(); ++i)
                {
                    const float sample = audio.getSample(channel, i);
                    juce::uint32 bits = 0;
                    std::memcpy(&bits, &sample, sizeof bits);
                    run.audioChecksum = (run.audioChecksum ^ bits) * 1099511628211ull;
                }
            return true;
        },
        nullptr, nullptr, &run.timing, [&](BattoAudioProcessor& processor) { kit.setUp(processor); });
    measureBusyBlocks(run);
    return run;
}

void printRun(int number, const std::string& kitName, const Run& run)
{
    const double block = blockSize / sampleRate;
    const AudioPathFigures path = figuresOf(run.timing.blocks);
    const AudioPathFigures empty = figuresOf(run.empty);
    const BlockCost& worst = run.timing.blocks[path.worstBlock];
    std::printf("%s run %d: worst block %.1f us of %.0f us (block %zu at %s, %u minor faults), p99.9 %.2f us, "
                "average %.3f us, %zu blocks with faults",
                kitName.c_str(), number, path.worstBlockSeconds * 1e6, block * 1e6, path.worstBlock,
                minutesAndSeconds(static_cast<double>(path.worstBlock) * block).c_str(), worst.minorFaults,
                path.p999Seconds * 1e6, path.averageSeconds * 1e6, path.blocksWithFaults);
    if (path.instrumentSeconds > 0.0)
        std::printf("; instrument %.0f us of the worst block, %.3f s in all; without it worst %.1f us (block %zu)",
                    path.worstBlockInstrumentSeconds * 1e6, path.instrumentSeconds,
                    path.worstOwnBlockSeconds * 1e6, path.worstOwnBlock);
    // What meeting code and memory for the first time costs: the first block, and the costliest
    // block that struck a voice for the first time.
    double firstStart = 0.0;
    uint16_t startedSoFar = 0;
    for (const BlockCost& b : run.timing.blocks)
    {
        if ((b.voicesStarted & ~startedSoFar) != 0)
            firstStart = std::max(firstStart, static_cast<double>(b.seconds));
        startedSoFar = static_cast<uint16_t>(startedSoFar | b.voicesStarted);
    }
    std::printf("; first block %.1f us, costliest first start of a voice %.1f us",
                run.timing.blocks.front().seconds * 1e6, firstStart * 1e6);
    const AudioPathFigures busy = figuresOf(run.busy);
    std::printf(" | empty processBlock: worst %.1f us (block %zu), p99.9 %.2f us, average %.3f us, %zu blocks "
                "with faults | busy block (no memory) of the average's length: worst %.1f us, p99.9 %.2f us, "
                "average %.3f us | audio %016llx\n",
                empty.worstBlockSeconds * 1e6, empty.worstBlock, empty.p999Seconds * 1e6,
                empty.averageSeconds * 1e6, empty.blocksWithFaults, busy.worstBlockSeconds * 1e6,
                busy.p999Seconds * 1e6, busy.averageSeconds * 1e6, static_cast<unsigned long long>(run.audioChecksum));
}

// index, cost, instrument share, faults, preemptions, events in, voices started, empty call's cost
void dumpBlocks(const Run& run, const juce::File& file)
{
    juce::FileOutputStream out(file);
    out.setPosition(0);
    out.truncate();
    for (size_t i = 0; i < run.timing.blocks.size(); ++i)
    {
        const BlockCost& b = run.timing.blocks[i];
        out << juce::String(static_cast<juce::int64>(i)) << " " << juce::String(b.seconds * 1e6f, 3) << " "
            << juce::String(b.instrumentSeconds * 1e6f, 3) << " " << static_cast<int>(b.minorFaults) << " "
            << static_cast<int>(b.preemptions) << " " << static_cast<int>(b.eventsIn) << " "
            << static_cast<int>(b.voicesStarted) << " "
            << juce::String(i < run.empty.size() ? run.empty[i].seconds * 1e6f : 0.0f, 3) << "\n";
    }
}

// The costliest blocks, and what they have in common.
void printBlockReport(const Run& run, int count)
{
    const auto& blocks = run.timing.blocks;
    std::vector<bool> firstStart(blocks.size());
    uint16_t startedSoFar = 0;
    for (size_t i = 0; i < blocks.size(); ++i)
    {
        firstStart[i] = (blocks[i].voicesStarted & ~startedSoFar) != 0;
        startedSoFar = static_cast<uint16_t>(startedSoFar | blocks[i].voicesStarted);
    }
    int faulted = 0, preempted = 0, withStarts = 0, withFirstStarts = 0;
    const auto costliest = costliestBlocks(blocks, static_cast<size_t>(count));
    for (const size_t index : costliest)
    {
        const BlockCost& block = blocks[index];
        faulted += block.minorFaults + block.majorFaults > 0 ? 1 : 0;
        preempted += block.preemptions > 0 ? 1 : 0;
        withStarts += block.voicesStarted != 0 ? 1 : 0;
        withFirstStarts += firstStart[index] ? 1 : 0;
        std::printf("  %s%s\n", describeBlock(blocks, index, blockSize / sampleRate).c_str(),
                    firstStart[index] ? " (a voice's first start)" : "");
    }
    size_t blocksWithStarts = 0;
    for (const BlockCost& block : blocks)
        blocksWithStarts += block.voicesStarted != 0 ? 1 : 0;
    std::printf("  of these %zu: %d with page faults, %d preempted, %d starting voices (%.0f %% of all blocks "
                "do), %d with a voice's first start\n",
                costliest.size(), faulted, preempted, withStarts,
                100.0 * static_cast<double>(blocksWithStarts) / static_cast<double>(blocks.size()),
                withFirstStarts);
}

// The audio path's own cost, without the machine's noise: every run plays the same blocks, so the
// median of each block over the runs keeps what that block costs every time and drops what
// happened to land on it once (an interrupt, the hypervisor, another thread's cache use).
void printMedianBlocks(const std::vector<std::vector<BlockCost>>& runs)
{
    size_t blockCount = runs.front().size();
    for (const auto& run : runs)
        blockCount = std::min(blockCount, run.size());
    std::vector<BlockCost> medians(blockCount);
    std::vector<float> costs(runs.size()), own(runs.size());
    for (size_t block = 0; block < blockCount; ++block)
    {
        for (size_t run = 0; run < runs.size(); ++run)
        {
            costs[run] = runs[run][block].seconds;
            own[run] = std::max(0.0f, runs[run][block].seconds - runs[run][block].instrumentSeconds);
        }
        const auto middle = static_cast<std::ptrdiff_t>(runs.size() / 2);
        std::nth_element(costs.begin(), costs.begin() + middle, costs.end());
        std::nth_element(own.begin(), own.begin() + middle, own.end());
        medians[block].seconds = costs[static_cast<size_t>(middle)];
        medians[block].instrumentSeconds = costs[static_cast<size_t>(middle)] - own[static_cast<size_t>(middle)];
    }
    const double blockSeconds = blockSize / sampleRate;
    const AudioPathFigures figures = figuresOf(medians);
    std::printf("median of each block over %zu runs: worst block %.1f us (block %zu at %s), p99.9 %.2f us, average "
                "%.3f us",
                runs.size(), figures.worstBlockSeconds * 1e6, figures.worstBlock,
                minutesAndSeconds(static_cast<double>(figures.worstBlock) * blockSeconds).c_str(),
                figures.p999Seconds * 1e6, figures.averageSeconds * 1e6);
    if (figures.instrumentSeconds > 0.0)
    {
        std::vector<BlockCost> ownMedians(medians);
        for (BlockCost& block : ownMedians)
        {
            block.seconds -= block.instrumentSeconds;
            block.instrumentSeconds = 0.0f;
        }
        const AudioPathFigures ownFigures = figuresOf(ownMedians);
        std::printf("; without the instrument: worst block %.1f us (block %zu), p99.9 %.2f us, average %.3f us",
                    ownFigures.worstBlockSeconds * 1e6, ownFigures.worstBlock, ownFigures.p999Seconds * 1e6,
                    ownFigures.averageSeconds * 1e6);
    }
    std::printf("\n");
    const auto costliest = costliestBlocks(medians, 3);
    for (size_t i = 1; i < costliest.size(); ++i)
        std::printf("  then block %zu at %s: %.1f us\n", costliest[i],
                    minutesAndSeconds(static_cast<double>(costliest[i]) * blockSeconds).c_str(),
                    medians[costliest[i]].seconds * 1e6);
}

bool writeMidi(const juce::File& file)
{
    constexpr int ticksPerQuarter = 960;
    juce::MidiMessageSequence track;
    track.addEvent(juce::MidiMessage::tempoMetaEvent(static_cast<int>(60000000.0 / bpm)), 0.0);
    for (const TimedMessage& timed : denseSixteenths(sampleRate, bpm, bars))
    {
        juce::MidiMessage message = timed.message;
        const double ticks = static_cast<double>(timed.sample) / sampleRate * bpm / 60.0 * ticksPerQuarter;
        track.addEvent(message, std::round(ticks));
    }
    track.updateMatchedPairs();
    juce::MidiFile midi;
    midi.setTicksPerQuarterNote(ticksPerQuarter);
    midi.addTrack(track);
    file.deleteFile();
    juce::FileOutputStream out(file);
    return out.openedOk() && midi.writeTo(out, 1);
}

bool recordKit(const juce::File& folder)
{
    const juce::ScopedJuceInitialiser_GUI messageManager; // plug-in hosting wants one
    BattoAudioProcessor processor;
    processor.setRateAndBufferSizeDetails(sampleRate, blockSize);
    processor.prepareToPlay(sampleRate, blockSize);
    if (processor.loadExternalPlugin(avldrums).failed() || !processor.waitUntilExternalPluginSounds(36, 20000))
        return false;
    processor.getExternalPlugin()->setNonRealtime(true);
    int notes[BattokitRecorder::voiceCount];
    for (int voice = 0; voice < BattokitRecorder::voiceCount; ++voice)
        notes[voice] = processor.getDrumNote(voice);
    juce::Result result = juce::Result::fail("no plug-in");
    processor.runWithExternalPluginAlone(
        [&](juce::AudioPluginInstance& plugin, double rate, int size)
        { result = BattokitRecorder::record(plugin, rate, size, notes, folder); });
    if (result.failed())
        std::fprintf(stderr, "worst_block: %s\n", result.getErrorMessage().toRawUTF8());
    return result.wasOk();
}

Options parse(int argc, char* argv[])
{
    Options options;
    for (int i = 1; i + 1 < argc; i += 2)
    {
        const std::string name = argv[i], value = argv[i + 1];
        if (name == "--kit")
            options.kit = value == "avldrums" ? avldrums : value;
        else if (name == "--runs")
            options.runs = std::max(1, std::atoi(value.c_str()));
        else if (name == "--block-report")
            options.blockReport = std::max(0, std::atoi(value.c_str()));
        else if (name == "--write-midi")
            options.writeMidi = value;
        else if (name == "--record-kit")
            options.recordKit = value;
        else if (name == "--dump")
            options.dump = value;
        else
            throw RenderError("unknown option " + name);
    }
    return options;
}
} // namespace

int main(int argc, char* argv[])
{
    try
    {
        const Options options = parse(argc, argv);
        const juce::File here = juce::File::getCurrentWorkingDirectory();
        if (!options.writeMidi.empty())
            return writeMidi(here.getChildFile(juce::String(options.writeMidi))) ? 0 : 1;
        if (!options.recordKit.empty())
            return recordKit(here.getChildFile(juce::String(options.recordKit))) ? 0 : 1;

        const std::vector<InputEvent> events = inputEvents();
        RenderKit kit(options.kit);
        std::vector<std::vector<BlockCost>> runs;
        for (int number = 1; number <= options.runs; ++number)
        {
            Run run = runOnce(kit, events);
            printRun(number, kit.description(), run);
            if (options.blockReport > 0)
                printBlockReport(run, options.blockReport);
            if (!options.dump.empty())
                dumpBlocks(run, here.getChildFile(juce::String(options.dump)));
            std::fflush(stdout);
            runs.push_back(std::move(run.timing.blocks));
        }
        if (runs.size() >= 3)
            printMedianBlocks(runs);
        return 0;
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "worst_block: %s\n", error.what());
        return 2;
    }
}
