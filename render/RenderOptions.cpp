#include "RenderOptions.h"

#include "RenderError.h"
#include "TakeMidiFile.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>

namespace
{
double parseNumber(const std::string& option, const std::string& text)
{
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(value))
        throw RenderError(option + " needs a number, not \"" + text + "\"");
    return value;
}

std::string shortNumber(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

double parseInRange(const std::string& option, const std::string& text, double low, double high)
{
    const double value = parseNumber(option, text);
    if (value < low || value > high)
        throw RenderError(option + " " + text + " is out of range (" + shortNumber(low) + ".."
                          + shortNumber(high) + ")");
    return value;
}

int parseWholeInRange(const std::string& option, const std::string& text, int low, int high)
{
    const double value = parseNumber(option, text);
    if (value != std::floor(value))
        throw RenderError(option + " needs a whole number, not \"" + text + "\"");
    if (value < low || value > high)
        throw RenderError(option + " " + text + " is out of range (" + std::to_string(low) + ".."
                          + std::to_string(high) + ")");
    return static_cast<int>(value);
}

bool parseOnOff(const std::string& option, const std::string& text)
{
    if (text == "on")
        return true;
    if (text == "off")
        return false;
    throw RenderError(option + " takes on or off, not \"" + text + "\"");
}

int divisionsForHihat(const std::string& text)
{
    if (text == "4")
        return 1;
    if (text == "8")
        return 2;
    if (text == "16")
        return 4;
    throw RenderError("--hihat takes 4, 8 or 16, not \"" + text + "\"");
}

RenderOptions::Start parseStart(const std::string& text)
{
    if (text == "host")
        return RenderOptions::Start::host;
    if (text == "button")
        return RenderOptions::Start::button;
    throw RenderError("--start takes host or button, not \"" + text + "\"");
}

using Setter = std::function<void(RenderOptions&, const std::string& option, const std::string& value)>;

const std::map<std::string, Setter>& valueOptions()
{
    static const std::map<std::string, Setter> setters = {
        {"--out",
         [](RenderOptions& o, const std::string& name, const std::string& v)
         {
             if (v.empty())
                 throw RenderError(name + " needs a folder");
             o.outputFolder = v;
         }},
        {"--tempo",
         [](RenderOptions& o, const std::string& name, const std::string& v)
         {
             o.tempo = parseInRange(name, v, minimumTempo, maximumTempo);
         }},
        {"--hihat",
         [](RenderOptions& o, const std::string&, const std::string& v)
         {
             o.divisionDuTemps = divisionsForHihat(v);
         }},
        {"--velocity-sens",
         [](RenderOptions& o, const std::string& name, const std::string& v)
         {
             o.velocitySensitivity = parseInRange(name, v, 0.0, 1.0);
         }},
        {"--dynamic-sens",
         [](RenderOptions& o, const std::string& name, const std::string& v)
         {
             o.dynamicSensitivity = parseInRange(name, v, 0.0, 1.0);
         }},
        {"--auto-kick",
         [](RenderOptions& o, const std::string& name, const std::string& v)
         {
             o.autoKick = parseOnOff(name, v);
         }},
        {"--auto-snare",
         [](RenderOptions& o, const std::string& name, const std::string& v)
         {
             o.autoSnare = parseOnOff(name, v);
         }},
        {"--bass-follower",
         [](RenderOptions& o, const std::string& name, const std::string& v)
         {
             o.bassFollower = parseOnOff(name, v);
         }},
        {"--kit",
         [](RenderOptions& o, const std::string& name, const std::string& v)
         {
             if (v.empty())
                 throw RenderError(name + " needs internal, a kit folder, a .vst3 bundle or an LV2 plug-in URI");
             o.kit = v; // checked when the render starts
         }},
        {"--metronome",
         [](RenderOptions& o, const std::string& name, const std::string& v)
         {
             o.metronome = parseInRange(name, v, 0.0, 1.0);
         }},
        {"--volume",
         [](RenderOptions& o, const std::string& name, const std::string& v)
         {
             o.volume = parseInRange(name, v, 0.0, 1.0);
         }},
        {"--sample-rate",
         [](RenderOptions& o, const std::string& name, const std::string& v)
         {
             o.sampleRate = parseWholeInRange(name, v, 8000, 192000);
         }},
        {"--block",
         [](RenderOptions& o, const std::string& name, const std::string& v)
         {
             o.blockSize = parseWholeInRange(name, v, 8, 8192);
         }},
        {"--start",
         [](RenderOptions& o, const std::string&, const std::string& v)
         {
             o.start = parseStart(v);
         }},
        {"--bars",
         [](RenderOptions& o, const std::string& name, const std::string& v)
         {
             o.bars = parseWholeInRange(name, v, 1, 10000);
         }},
        {"--block-report",
         [](RenderOptions& o, const std::string& name, const std::string& v)
         {
             o.blockReport = parseWholeInRange(name, v, 0, 1000);
         }},
    };
    return setters;
}
} // namespace

RenderOptions parseRenderOptions(const std::vector<std::string>& arguments)
{
    RenderOptions options;
    for (size_t i = 0; i < arguments.size(); ++i)
    {
        std::string argument = arguments[i];
        if (argument == "--help" || argument == "-h")
        {
            options.showHelp = true;
            continue;
        }
        if (argument.size() < 2 || argument[0] != '-')
        {
            if (!options.performancePath.empty())
                throw RenderError("only one performance file, please: \"" + options.performancePath
                                  + "\" and \"" + argument + "\"");
            options.performancePath = argument;
            continue;
        }

        // Both "--tempo 96" and "--tempo=96".
        std::string value;
        bool valueAttached = false;
        if (const auto equals = argument.find('='); equals != std::string::npos)
        {
            value = argument.substr(equals + 1);
            argument = argument.substr(0, equals);
            valueAttached = true;
        }
        const auto setter = valueOptions().find(argument);
        if (setter == valueOptions().end())
            throw RenderError("unknown option " + argument + " (see --help)");
        if (!valueAttached)
        {
            if (i + 1 >= arguments.size())
                throw RenderError(argument + " needs a value");
            value = arguments[++i];
        }
        setter->second(options, argument, value);
        options.given.insert(argument);
    }
    return options;
}

RenderOptions withTakeSettings(const RenderOptions& options, const TakeSettings& take)
{
    RenderOptions result = options;
    const auto unless = [&](const char* option, auto apply)
    {
        if (options.given.count(option) == 0)
            apply();
    };
    unless("--start", [&] { result.start = take.externalClock ? RenderOptions::Start::host : RenderOptions::Start::button; });
    unless("--sample-rate",
           [&]
           {
               if (take.sampleRate >= 8000 && take.sampleRate <= 192000 && take.sampleRate == std::floor(take.sampleRate))
                   result.sampleRate = static_cast<int>(take.sampleRate);
           });
    unless("--block", [&] { result.blockSize = std::clamp(take.blockSize, 8, 8192); });
    unless("--hihat",
           [&]
           {
               if (take.divisionDuTemps == 1 || take.divisionDuTemps == 2 || take.divisionDuTemps == 4)
                   result.divisionDuTemps = take.divisionDuTemps;
           });
    unless("--velocity-sens", [&] { result.velocitySensitivity = std::clamp(take.breakParam1, 0.0, 1.0); });
    unless("--dynamic-sens", [&] { result.dynamicSensitivity = std::clamp(take.breakParam2, 0.0, 1.0); });
    unless("--auto-kick", [&] { result.autoKick = take.autoKick; });
    unless("--auto-snare", [&] { result.autoSnare = take.autoSnare; });
    unless("--bass-follower", [&] { result.bassFollower = take.gravaEnabled; });
    return result;
}

const char* renderUsage()
{
    return R"(usage: batto-render [PERFORMANCE.mid] [options]

Plays a keyboard performance (a Standard MIDI File; without one, the embedded demo)
through the drummer and writes NAME.wav, NAME.mid, NAME.csv and NAME.png.

  --out DIR               output folder (default out); created if needed
  --tempo BPM             30..240, one tempo for the whole file, every note kept on
                          its beat (default: the file's tempo map, else 120)
  --hihat 4|8|16          hi-hat grid (default 8)
  --velocity-sens X       velocity sensitivity 0..1 (default 0.5)
  --dynamic-sens X        dynamic sensitivity 0..1 (default 0.5)
  --auto-kick on|off      automatic kick on beats 1 and 3 (default on)
  --auto-snare on|off     automatic snare on beats 2 and 4 (default on)
  --bass-follower on|off  follow the lowest held key only (default off)
  --kit KIT               what sounds the WAV (default internal): internal, a kit
                          folder (sample<voice>_<layer>.wav files), a VST3 instrument
                          (path of a .vst3 bundle) or an LV2 instrument (its URI)
  --volume X              kit volume 0..1, as the volume slider (default 0.5)
  --metronome X           click volume 0..1 in the WAV (default 0: no clicks)
  --sample-rate N         8000..192000 (default 48000)
  --block N               block size in samples, 8..8192 (default 512)
  --start host|button     follow a host transport from time zero, or press Start
                          before the first block (default host)
  --bars N                render N bars (default: until one bar after the last note,
                          which must come within an hour)
  --block-report N        after the summary, describe the N costliest audio blocks:
                          time, CPU cost, page faults, events in, voices started
                          (default 0)

A take that Batto kept (its drum track is named "Batto drums") plays again with the
settings it was played with, for as long as it lasted; its drum track is replaced by the
drummer's answer. Options given on the command line replace the take's own.
)";
}
