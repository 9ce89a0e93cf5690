// Plays an embedded keyboard performance through the drummer on a millisecond clock and
// prints what it plays as a drum tab: one line per voice, one column per half
// subdivision, velocities drawn with a character scale.

#include "MillisecondHost.h"

#include <cstdio>
#include <string>
#include <vector>

namespace
{
constexpr double tempoBpm = 100.0;
constexpr int subdivisions = 2;
constexpr int bars = 8;
constexpr int columnsPerBar = 4 * subdivisions * 2;

struct KeyboardNote
{
    int bar;
    double beat; // 0..4 within the bar
    int velocity;
    int offsetMs; // a human player is a little early or late
};

// Soft quarter notes, a louder bar with an accent on beat 1, a fill that ends in a
// crash on the next bar line, a silent bar, then loud playing with off-beat accents.
const KeyboardNote performance[] = {
    {0, 0.0, 52, 0},   {0, 1.0, 48, -8},  {0, 2.0, 50, 5},  {0, 3.0, 46, 0},   {1, 0.0, 60, -5},
    {1, 1.5, 58, 0},   {1, 2.0, 62, 6},   {1, 3.5, 70, -3}, {2, 0.0, 122, -4}, {2, 1.0, 84, 0},
    {2, 2.0, 88, 3},   {2, 2.5, 80, 0},   {2, 3.0, 90, -6}, {3, 0.0, 92, 0},   {3, 1.0, 120, 0},
    {3, 1.5, 96, 2},   {3, 2.0, 98, -3},  {3, 2.5, 100, 4}, {3, 3.0, 104, 0},  {3, 3.5, 110, -2},
    {4, 0.0, 124, -6}, {4, 2.0, 96, 0},   {6, 0.0, 110, 0}, {6, 1.5, 118, 0},  {6, 2.0, 100, 5},
    {6, 3.0, 104, 0},  {6, 3.5, 123, -4}, {7, 0.0, 112, 0}, {7, 1.0, 106, 0},  {7, 2.0, 108, 0},
    {7, 3.0, 110, 0},
};

int msAt(int bar, double beat)
{
    return static_cast<int>((bar * 4 + beat) * 60000.0 / tempoBpm);
}

char velocityMark(int velocity)
{
    static const char scale[] = ".-+oO@"; // quiet to loud
    if (velocity <= 0)
        return '-';
    const int index = velocity * 6 / 128;
    return scale[index < 6 ? index : 5];
}

// The loudest velocity per half subdivision of one line.
using Lane = std::vector<int>;

void markPeak(Lane& lane, int column, int velocity)
{
    if (column >= 0 && column < static_cast<int>(lane.size()) && velocity > lane[static_cast<size_t>(column)])
        lane[static_cast<size_t>(column)] = velocity;
}

void printLine(const char* label, const std::string& cells)
{
    std::printf("%-7s", label);
    for (size_t column = 0; column < cells.size(); ++column)
        std::printf(column % columnsPerBar == 0 ? "|%c" : "%c", cells[column]);
    std::printf("|\n");
}

void printLane(const char* label, const Lane& lane)
{
    std::string cells;
    for (int velocity : lane)
        cells += velocityMark(velocity);
    printLine(label, cells);
}
} // namespace

int main()
{
    std::vector<MillisecondHost::Note> notes;
    Lane keys(bars * columnsPerBar, 0);
    const double halfStepMs = 60000.0 / tempoBpm / subdivisions / 2;
    for (const KeyboardNote& note : performance)
    {
        const int time = msAt(note.bar, note.beat) + note.offsetMs;
        notes.push_back({time, note.velocity});
        markPeak(keys, static_cast<int>(time / halfStepMs + 0.5), note.velocity);
    }

    MillisecondHost host(tempoBpm, subdivisions);
    host.start();
    host.run(notes, msAt(bars, 0.0) - 1);

    static const struct
    {
        const char* label;
        Batto::Percu voice;
    } lines[] = {{"Crash2", Batto::Crash2}, {"Crash", Batto::Crash}, {"Ride", Batto::Ride},
                 {"OpenHH", Batto::OHH},    {"HiHat", Batto::CHH},   {"HTom", Batto::HTom},
                 {"MTom", Batto::MTom},     {"LTom", Batto::LTom},   {"Snare", Batto::Snare},
                 {"Kick", Batto::Kick}};

    std::printf("Batto plays along: %d bars at %.0f beats per minute, eighth-note grid.\n", bars, tempoBpm);
    std::printf("Velocity scale, quiet to loud: . - + o O @\n\n");
    std::string header;
    for (int bar = 0; bar < bars; ++bar)
        header += "1.&.2.&.3.&.4.&.";
    printLine("", header);
    printLane("Player", keys);
    std::printf("\n");
    for (const auto& line : lines)
    {
        Lane lane(bars * columnsPerBar, 0);
        for (const MillisecondHost::Call& call : host.calls)
            if (call.name == "outputJouer" && call.a == line.voice)
                markPeak(lane, call.halfStep, call.b);
        printLane(line.label, lane);
    }

    int fills = 0, crashRolls = 0;
    for (const MillisecondHost::Call& call : host.calls)
    {
        fills += call.name == "displayBreakCreshendo" && call.a == 0;
        crashRolls += call.name == "displayCrashRoulement";
    }
    std::printf("\nFills that ran to the bar line: %d; crash endings: %d; dynamic level at the end: %d\n",
                fills, crashRolls, host.dynamicLevel);
    return 0;
}
