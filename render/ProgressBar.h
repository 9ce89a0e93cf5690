#pragma once

#include <chrono>

// A progress bar on stderr, drawn only when stderr is a terminal and the work has taken
// more than a moment, so pipes, logs and quick renders stay clean.
class ProgressBar
{
public:
    ProgressBar();
    ~ProgressBar();

    void show(double fraction); // 0..1
    void finish();              // erases the bar

private:
    bool enabled;
    bool drawn = false;
    int lastPercent = -1;
    std::chrono::steady_clock::time_point started;
};
