// batto-render: plays a keyboard performance (a Standard MIDI File, or the embedded demo)
// through the drummer's real audio processor, offline, and writes the drum part as audio,
// MIDI, CSV and a picture.

#include "Render.h"
#include "RenderError.h"

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <new>
#include <string>

namespace
{
void printSummary(const RenderSummary& summary, double elapsedSeconds)
{
    std::printf("%s: %d bars at %s, %zu drum hits, peak %.1f dBFS", summary.name.c_str(), summary.bars,
                summary.tempo.c_str(), summary.drumHits, 20.0 * std::log10(std::max(1e-9f, summary.peak)));
    if (summary.clippedSamples > 0)
        std::printf(" (%lld samples clipped)", summary.clippedSamples);
    std::printf("\n");
    std::printf("sounded by the %s\n", summary.kit.c_str());
    for (const std::string& file : summary.files)
        std::printf("  %s\n", file.c_str());
    std::printf("rendered %.1f s of audio in %.2f s\n", summary.audioSeconds, elapsedSeconds);
    // The audio path's own cost, for users and for comparison with other players: the
    // processBlock calls of the standalone build alone, in CPU time. A live player is judged
    // by its worst block, so that block is named (its index and time) beside the p99.9.
    const AudioPathFigures path = figuresOf(summary.audioPath.blocks);
    std::printf("audio path: %.3f s CPU, %.0fx real time, worst block %.0f us of %.0f us (block %zu at %s), "
                "p99.9 %.1f us, average %.2f us",
                path.cpuSeconds, summary.audioSeconds / std::max(path.cpuSeconds, 1e-9),
                path.worstBlockSeconds * 1e6, summary.blockSeconds * 1e6, path.worstBlock,
                minutesAndSeconds(static_cast<double>(path.worstBlock) * summary.blockSeconds).c_str(),
                path.p999Seconds * 1e6, path.averageSeconds * 1e6);
    if (path.instrumentSeconds > 0.0)
        std::printf("; the instrument plug-in's share %.3f s CPU, %.0f us of the worst block; without it the "
                    "worst block %.0f us (block %zu)",
                    path.instrumentSeconds, path.worstBlockInstrumentSeconds * 1e6, path.worstOwnBlockSeconds * 1e6,
                    path.worstOwnBlock);
    std::printf("\n");
}

// The costliest blocks, costliest first, with what happened in each.
void printBlockReport(const RenderSummary& summary, int count)
{
    const auto& blocks = summary.audioPath.blocks;
    for (const size_t index : costliestBlocks(blocks, static_cast<size_t>(count)))
        std::printf("  %s\n", describeBlock(blocks, index, summary.blockSeconds).c_str());
}

int fail(const std::string& message, int status)
{
    std::fprintf(stderr, "batto-render: %s\n", message.c_str());
    return status;
}
} // namespace

// Every failure ends in one line on stderr and a non-zero status: 2 for what the user gave
// or asked for (and for files that cannot be written), 1 for running out of memory or any
// other failure. The render removes what it left half-written on its way out.
int main(int argc, char* argv[])
{
    // Past a file-size limit a write fails like any other (instead of the signal ending the
    // program without a word).
    std::signal(SIGXFSZ, SIG_IGN);
    const auto started = std::chrono::steady_clock::now();
    try
    {
        const RenderOptions options = parseRenderOptions(std::vector<std::string>(argv + 1, argv + argc));
        if (options.showHelp)
        {
            std::fputs(renderUsage(), stdout);
            return 0;
        }
        const RenderSummary summary = renderPerformance(options);
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
        printSummary(summary, elapsed.count());
        if (options.blockReport > 0)
            printBlockReport(summary, options.blockReport);
        return 0;
    }
    catch (const RenderError& error)
    {
        return fail(error.what(), 2);
    }
    catch (const std::bad_alloc&)
    {
        return fail("out of memory", 1);
    }
    catch (const std::exception& error)
    {
        return fail(std::string("failed: ") + error.what(), 1);
    }
    catch (...)
    {
        return fail("failed for an unknown reason", 1);
    }
}
