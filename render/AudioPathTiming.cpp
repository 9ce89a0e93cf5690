#include "AudioPathTiming.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

namespace
{
// In Percu order.
const char* const voiceNames[] = {"snare", "kick",  "closed-hihat", "open-hihat", "ride",
                                  "crash", "crash2", "high-tom",    "mid-tom",    "low-tom"};
constexpr int voiceCount = static_cast<int>(sizeof voiceNames / sizeof voiceNames[0]);

double ownSeconds(const BlockCost& block)
{
    return std::max(0.0, static_cast<double>(block.seconds) - block.instrumentSeconds);
}
} // namespace

AudioPathFigures figuresOf(const std::vector<BlockCost>& blocks)
{
    AudioPathFigures figures;
    figures.blockCount = blocks.size();
    if (blocks.empty())
        return figures;
    std::vector<float> costs;
    costs.reserve(blocks.size());
    for (size_t i = 0; i < blocks.size(); ++i)
    {
        const BlockCost& block = blocks[i];
        costs.push_back(block.seconds);
        figures.cpuSeconds += block.seconds;
        figures.instrumentSeconds += block.instrumentSeconds;
        figures.minorFaults += block.minorFaults;
        figures.blocksWithFaults += block.minorFaults + block.majorFaults > 0 ? 1 : 0;
        if (block.seconds > figures.worstBlockSeconds)
        {
            figures.worstBlockSeconds = block.seconds;
            figures.worstBlock = i;
            figures.worstBlockInstrumentSeconds = block.instrumentSeconds;
        }
        if (ownSeconds(block) > figures.worstOwnBlockSeconds)
        {
            figures.worstOwnBlockSeconds = ownSeconds(block);
            figures.worstOwnBlock = i;
        }
    }
    figures.averageSeconds = figures.cpuSeconds / static_cast<double>(blocks.size());
    // The block below which 99.9 % of the blocks lie (nearest rank).
    const auto rank = static_cast<size_t>(std::ceil(0.999 * static_cast<double>(costs.size()))) - 1;
    std::nth_element(costs.begin(), costs.begin() + static_cast<std::ptrdiff_t>(rank), costs.end());
    figures.p999Seconds = costs[rank];
    return figures;
}

std::vector<size_t> costliestBlocks(const std::vector<BlockCost>& blocks, size_t n)
{
    std::vector<size_t> order(blocks.size());
    std::iota(order.begin(), order.end(), size_t{0});
    n = std::min(n, order.size());
    std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(n), order.end(),
                      [&](size_t a, size_t b) { return blocks[a].seconds > blocks[b].seconds; });
    order.resize(n);
    return order;
}

std::string minutesAndSeconds(double seconds)
{
    const double whole = std::floor(std::max(0.0, seconds));
    const auto minutes = static_cast<long long>(whole / 60.0);
    char text[48];
    std::snprintf(text, sizeof text, "%lld:%06.3f", minutes, std::max(0.0, seconds) - 60.0 * minutes);
    return text;
}

std::string voicesStartedText(uint16_t voicesStarted)
{
    std::string text;
    for (int voice = 0; voice < voiceCount; ++voice)
        if ((voicesStarted >> voice) & 1)
            text += (text.empty() ? "" : " ") + std::string(voiceNames[voice]);
    return text.empty() ? "none" : text;
}

std::string describeBlock(const std::vector<BlockCost>& blocks, size_t index, double blockSeconds)
{
    if (index >= blocks.size())
        return {};
    const BlockCost& block = blocks[index];
    char text[256];
    std::snprintf(text, sizeof text,
                  "block %zu at %s: %.1f us, %u minor faults, %u major, %u preemptions, %u events in, "
                  "voices started: ",
                  index, minutesAndSeconds(static_cast<double>(index) * blockSeconds).c_str(),
                  block.seconds * 1e6, block.minorFaults, block.majorFaults, block.preemptions,
                  static_cast<unsigned>(block.eventsIn));
    std::string line = text + voicesStartedText(block.voicesStarted);
    if (block.instrumentSeconds > 0.0f)
    {
        std::snprintf(text, sizeof text, " (instrument %.1f us)", block.instrumentSeconds * 1e6);
        line += text;
    }
    return line;
}
