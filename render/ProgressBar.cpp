#include "ProgressBar.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace
{
constexpr auto quietPeriod = std::chrono::milliseconds(300);
constexpr int barWidth = 40;
} // namespace

ProgressBar::ProgressBar() : enabled(isatty(STDERR_FILENO) == 1), started(std::chrono::steady_clock::now())
{
}

ProgressBar::~ProgressBar()
{
    finish();
}

void ProgressBar::show(double fraction)
{
    if (!enabled || std::chrono::steady_clock::now() - started < quietPeriod)
        return;
    const int percent = std::clamp(static_cast<int>(fraction * 100.0), 0, 100);
    if (percent == lastPercent)
        return;
    lastPercent = percent;
    const int filled = percent * barWidth / 100;
    std::fprintf(stderr, "\rrendering [%.*s%*s] %3d%%", filled, "########################################",
                 barWidth - filled, "", percent);
    std::fflush(stderr);
    drawn = true;
}

void ProgressBar::finish()
{
    if (!drawn)
        return;
    std::fprintf(stderr, "\r%*s\r", barWidth + 20, "");
    std::fflush(stderr);
    drawn = false;
}
