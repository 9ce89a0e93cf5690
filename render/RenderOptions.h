#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

struct TakeSettings;

// What the user asked batto-render for on the command line.
struct RenderOptions
{
    enum class Start
    {
        host,  // the renderer is the host and its transport plays from time zero
        button // the user presses Start before the first block
    };

    std::string performancePath; // empty: the embedded demo performance
    std::string outputFolder = "out";
    std::optional<double> tempo; // unset: the file's tempo map (one tempo with Start), else 120
    int divisionDuTemps = 2;     // subdivisions per beat: "--hihat 4|8|16" gives 1, 2, 4
    double velocitySensitivity = 0.5;
    double dynamicSensitivity = 0.5;
    bool autoKick = true;
    bool autoSnare = true;
    bool bassFollower = false;
    std::string kit = "internal";
    double metronome = 0.0; // click volume; 0 = no clicks
    // The kit's volume as the editor's slider sets it (the gain is its square). Below the
    // slider's top, because the kit's sounds are each at full scale and hits that fall
    // together would clip the file.
    double volume = 0.5;
    int sampleRate = 48000;
    int blockSize = 512;
    Start start = Start::host;
    std::optional<int> bars; // unset: until one bar after the last note
    int blockReport = 0;     // how many of the costliest blocks the summary describes
    bool showHelp = false;
    std::set<std::string> given; // the options the command line gave ("--tempo", ...)
};

// A take's own settings (Performance::take) for every option the command line left out:
// the take plays again as it was played, unless told otherwise.
RenderOptions withTakeSettings(const RenderOptions& options, const TakeSettings& take);

// Parses the arguments that follow the program name. Throws RenderError with a one-line
// message for an unknown option, a missing or malformed value, or a value out of range.
RenderOptions parseRenderOptions(const std::vector<std::string>& arguments);

// The usage text printed by --help.
const char* renderUsage();

constexpr double minimumTempo = 30.0;
constexpr double maximumTempo = 240.0;
