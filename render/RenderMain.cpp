// batto-render: plays a keyboard performance (a Standard MIDI File, or the embedded demo)
// through the drummer's real audio processor, offline, and writes the drum part as audio,
// MIDI, CSV and a picture.

#include "Render.h"
#include "RenderError.h"

#include <chrono>
#include <cmath>
#include <cstdio>

namespace
{
void printSummary(const RenderSummary& summary, double elapsedSeconds)
{
    std::printf("%s: %d bars at %g bpm, %zu drum hits, peak %.1f dBFS", summary.name.c_str(), summary.bars,
                summary.tempo, summary.drumHits, 20.0 * std::log10(std::max(1e-9f, summary.peak)));
    if (summary.clippedSamples > 0)
        std::printf(" (%lld samples clipped)", summary.clippedSamples);
    std::printf("\n");
    for (const std::string& file : summary.files)
        std::printf("  %s\n", file.c_str());
    std::printf("rendered %.1f s of audio in %.2f s\n", summary.audioSeconds, elapsedSeconds);
}
} // namespace

int main(int argc, char* argv[])
{
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
        return 0;
    }
    catch (const RenderError& error)
    {
        std::fprintf(stderr, "batto-render: %s\n", error.what());
        return 2;
    }
}
