#include "Render.h"

#include "CsvWriter.h"
#include "DemoPerformance.h"
#include "MidiFileWriter.h"
#include "OutputFiles.h"
#include "PictureWriter.h"
#include "PluginBuildRun.h"
#include "ProcessorRun.h"
#include "ProgressBar.h"
#include "RenderError.h"
#include "RenderKit.h"
#include "WavFileWriter.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <new>

static_assert(!BATTO_PLUGIN_BUILD, "batto-render sounds the standalone build of the processor");

namespace
{
// Without --bars a render ends a bar after the last note; a stray event hours into a file
// would make it run for hours and fill the disk, so the last note must come within this.
constexpr double longestPerformanceSeconds = 3600.0;
// A WAV file states its sizes in 32 bits: its audio stays below 4 GiB, header aside.
constexpr double largestWavAudioBytes = 4294967295.0 - 65536.0;

juce::File fileFromArgument(const std::string& path)
{
    return juce::File::getCurrentWorkingDirectory().getChildFile(juce::String(path));
}

// A number as exactly as it is held, in the fewest digits that say so (240.00096, not 240.0).
std::string exactly(double value)
{
    char text[64];
    const auto written = std::to_chars(text, text + sizeof text, value);
    return std::string(text, written.ptr);
}

std::string clockTime(double seconds)
{
    const auto whole = static_cast<long long>(std::min(seconds, 1e15));
    char text[48];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
    return text;
}

std::string bpmText(double bpm)
{
    return juce::String(bpm, 1).trimCharactersAtEnd("0").trimCharactersAtEnd(".").toStdString();
}

void checkFileTempo(const TempoChange& change)
{
    if (change.bpm >= minimumTempo && change.bpm <= maximumTempo)
        return;
    const std::string where =
        change.beat > 0.0 ? " at bar " + std::to_string(static_cast<long long>(change.beat / 4.0) + 1) : "";
    throw RenderError("the file's tempo of " + exactly(change.bpm) + " bpm" + where + " is outside "
                      + exactly(minimumTempo) + ".." + exactly(maximumTempo) + ": choose one with --tempo");
}

// What the drummer plays to. --tempo forces one tempo on the whole performance, its notes
// keeping their beats; with the host's transport the drummer follows the file's tempo map
// (the changes before `until`, a beat past the render's end); pressing Start plays one
// tempo, the file's first.
TempoMap transportTempoFor(const RenderOptions& options, const Performance& performance, double until)
{
    if (options.tempo)
        return TempoMap(*options.tempo);
    const double first = performance.tempoAtStart();
    checkFileTempo({0.0, first});
    if (options.start == RenderOptions::Start::button)
        return TempoMap(first);
    std::vector<TempoChange> changes;
    for (const TempoChange& change : performance.tempoChanges)
        if (change.beat < until)
        {
            checkFileTempo(change);
            changes.push_back(change);
        }
    return TempoMap(changes);
}

// The folder with links and ".." resolved, so that two names of one folder compare equal.
std::filesystem::path resolved(const juce::File& folder)
{
    const std::filesystem::path path = folder.getFullPathName().toStdString();
    std::error_code error;
    const auto canonical = std::filesystem::weakly_canonical(path, error);
    return error ? path : canonical;
}

bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b)
{
    std::error_code error;
    return std::filesystem::equivalent(a, b, error) && !error;
}

// Never next to the performance, and never over it: the folder is compared with the
// folder the performance is named in and with the one it really lies in (through links),
// and each output name with the performance itself (hard links and links included).
void refuseToWriteOverThePerformance(const juce::File& folder, const std::string& performancePath,
                                     const std::vector<std::string>& outputNames)
{
    if (performancePath.empty())
        return;
    const juce::File performance = fileFromArgument(performancePath);
    const std::filesystem::path real = resolved(performance);
    if (resolved(folder) == resolved(performance.getParentDirectory())
        || resolved(folder) == real.parent_path() || sameFile(resolved(folder), real.parent_path()))
        throw RenderError("will not write next to the performance: choose another folder with --out");
    for (const std::string& name : outputNames)
        if (sameFile(resolved(folder.getChildFile(juce::String(name))), real))
            throw RenderError("will not write over the performance (" + name
                              + " is another name of it): choose another folder with --out");
}

// The output folder, created if needed.
juce::File prepareOutputFolder(const RenderOptions& options, const std::vector<std::string>& outputNames)
{
    const juce::File folder = fileFromArgument(options.outputFolder);
    refuseToWriteOverThePerformance(folder, options.performancePath, outputNames);
    if (folder.existsAsFile())
        throw RenderError(options.outputFolder + " is a file, not a folder");
    if (const juce::Result created = folder.createDirectory(); created.failed())
        throw RenderError("cannot create " + options.outputFolder + ": "
                          + created.getErrorMessage().toStdString());
    return folder;
}

// Unless told how many bars, the render plays on for a bar after the last note-on and stops
// on the drummer's next bar line, so that the drum part ends with a whole bar. It never
// runs longer than a WAV file can hold, nor (without --bars) past an hour.
Timeline timelineFor(const RenderOptions& options, const Performance& performance)
{
    const double lastNoteBeat = performance.lastNoteOnBeat();
    // The render ends before this beat: a bar after the last note's bar, or the bars asked
    // for, with a beat to spare for the grid of Start (a block behind the transport's).
    const double until = options.bars ? 4.0 * *options.bars + 4.0
                         : std::max(lastNoteBeat, performance.endBeat.value_or(0.0)) + 8.0;
    Timeline timeline{static_cast<double>(options.sampleRate),
                      transportTempoFor(options, performance, until),
                      options.blockSize,
                      0,
                      0,
                      0};
    timeline.gridStartSample = options.start == RenderOptions::Start::host ? 0 : options.blockSize;

    const double lastNote = std::round(timeline.sampleAt(lastNoteBeat));
    // A take lasts as long as it was played.
    const bool takeLength = performance.endBeat && !options.bars;
    const double takeEnd = takeLength ? std::max(1.0, std::round(timeline.sampleAt(*performance.endBeat))) : 0.0;
    const double bars =
        options.bars ? *options.bars
        : takeLength ? std::max(1.0, std::ceil(timeline.gridBeatAt(takeEnd) / 4.0))
                     : std::max(1.0, std::ceil((timeline.gridBeatAt(lastNote) + 4.0) / 4.0));
    const double end =
        takeLength ? takeEnd : static_cast<double>(timeline.gridStartSample) + timeline.sampleAt(4.0 * bars);
    const double blocks = std::max(1.0, std::ceil(end / options.blockSize));
    const double seconds = blocks * options.blockSize / timeline.sampleRate;
    const double lastNoteSeconds = lastNote / timeline.sampleRate;
    if (!options.bars && lastNoteSeconds > longestPerformanceSeconds)
        throw RenderError(
            "the performance ends " + clockTime(lastNoteSeconds)
            + " in, beyond the one-hour limit of a render: render its first bars with --bars N");
    const double wavBytes =
        blocks * options.blockSize * WavFileWriter::channels * (WavFileWriter::bitsPerSample / 8);
    if (wavBytes > largestWavAudioBytes)
        throw RenderError(std::to_string(static_cast<long long>(bars)) + " bars (" + clockTime(seconds)
                          + ") at " + std::to_string(options.sampleRate)
                          + " Hz are more than a WAV file can hold (4 GB): choose fewer --bars");
    timeline.bars = static_cast<int>(bars);
    timeline.totalSamples = static_cast<int64_t>(blocks) * options.blockSize;
    return timeline;
}

RenderJob jobFor(const RenderOptions& options, const Timeline& timeline)
{
    RenderJob job{};
    job.sampleRate = timeline.sampleRate;
    job.blockSize = timeline.blockSize;
    job.hostStart = options.start == RenderOptions::Start::host;
    job.tempo = timeline.tempoMap.tempoAtBeat(0.0);
    job.tempoChanges = timeline.tempoMap.changes().data();
    job.tempoChangeCount = timeline.tempoMap.changes().size();
    job.divisionDuTemps = options.divisionDuTemps;
    job.velocitySensitivity = options.velocitySensitivity;
    job.dynamicSensitivity = options.dynamicSensitivity;
    job.autoKick = options.autoKick;
    job.autoSnare = options.autoSnare;
    job.bassFollower = options.bassFollower;
    job.kitGain = options.volume * options.volume; // as the editor's volume slider
    job.clickVolume = options.metronome;
    job.totalSamples = timeline.totalSamples;
    return job;
}

// A note at t seconds (its beat on the transport's tempo map) lands on sample lround(t × rate);
// the render ends before the last.
std::vector<InputEvent> inputEventsFor(const Performance& performance, const Timeline& timeline)
{
    std::vector<InputEvent> events;
    for (const auto* event : performance.events)
    {
        const juce::MidiMessage& message = event->message;
        const auto sample = static_cast<int64_t>(std::llround(timeline.sampleAt(message.getTimeStamp())));
        if (sample >= timeline.totalSamples || message.getRawDataSize() > 3)
            continue;
        InputEvent input{sample, {0, 0, 0}, message.getRawDataSize()};
        std::copy_n(message.getRawData(), input.size, input.bytes);
        events.push_back(input);
    }
    return events;
}

// The MIDI pass does no audio: the audio pass, with the WAV file, takes most of the time.
struct TwoPassProgress
{
    ProgressBar bar;
    double passStart = 0.0;
    double passShare = 0.0;

    void startPass(double start, double share)
    {
        passStart = start;
        passShare = share;
    }
    static void report(void* context, double fraction)
    {
        auto* self = static_cast<TwoPassProgress*>(context);
        self->bar.show(self->passStart + fraction * self->passShare);
    }
};

std::vector<DrumHit> drumHitsFromPluginBuild(const RenderJob& job, const std::vector<InputEvent>& events,
                                             TwoPassProgress& progress)
{
    std::vector<DrumHit> hits;
    const auto collect = [](void* context, int64_t sample, const uint8_t* bytes, int size)
    {
        if (size == 3 && (bytes[0] & 0xF0) == 0x90)
            static_cast<std::vector<DrumHit>*>(context)->push_back({sample, bytes[0], bytes[1], bytes[2]});
    };
    progress.startPass(0.0, 0.2);
    const int result = battoRunPluginBuildProcessor(&job, events.data(), events.size(), collect, &hits,
                                                    TwoPassProgress::report, &progress);
    if (result == pluginBuildRunOutOfMemory)
        throw std::bad_alloc();
    if (result != pluginBuildRunDone)
        throw RenderError("the plug-in build's processor could not run");
    return hits;
}

// The audio pass: the standalone build with its kit (the internal one, a kit folder or an
// instrument plug-in), straight into the WAV file. A write that fails stops the render at once.
void renderAudio(const RenderJob& job, const std::vector<InputEvent>& events, RenderKit& kit,
                 const juce::File& file, const std::string& shownName, RenderSummary& summary,
                 TwoPassProgress& progress)
{
    WavFileWriter wav;
    if (!wav.open(file, job.sampleRate))
        throw RenderError("cannot write " + shownName + ": " + wav.errorMessage());
    bool written = true;
    progress.startPass(0.2, 0.8);
    render::runProcessor(
        job, events.data(), events.size(),
        [&](juce::int64, const juce::AudioBuffer<float>& audio, const juce::MidiBuffer&)
        {
            written = wav.write(audio, job.blockSize);
            return written;
        },
        TwoPassProgress::report, &progress, &summary.audioPath,
        [&](BattoAudioProcessor& processor) { kit.setUp(processor); });
    summary.kit = kit.description();
    if (!written || !wav.close())
        throw RenderError("cannot write " + shownName + ": " + wav.errorMessage());
    summary.peak = wav.peak();
    summary.clippedSamples = wav.clippedSamples();
}

std::string tempoText(const TempoMap& map)
{
    if (map.isConstant())
        return bpmText(map.tempoAtBeat(0.0)) + " bpm";
    return bpmText(map.slowest()) + ".." + bpmText(map.fastest()) + " bpm (tempo map)";
}

std::string settingsLine(const RenderOptions& options, const Timeline& timeline, int bars)
{
    static const char* const hihat[] = {"", "quarter", "eighth", "", "sixteenth"};
    juce::String line;
    line << bars << " bars at " << tempoText(timeline.tempoMap) << "  |  hi-hat in "
         << hihat[options.divisionDuTemps] << " notes  |  sensitivity "
         << juce::String(options.velocitySensitivity, 2) << " velocity, "
         << juce::String(options.dynamicSensitivity, 2) << " dynamic  |  auto kick "
         << (options.autoKick ? "on" : "off") << ", auto snare " << (options.autoSnare ? "on" : "off")
         << "  |  " << (options.start == RenderOptions::Start::host ? "host transport" : "Start button")
         << "  |  " << static_cast<int>(timeline.sampleRate) << " Hz";
    return line.toStdString();
}

} // namespace

RenderSummary renderPerformance(const RenderOptions& givenOptions)
{
    const Performance performance = givenOptions.performancePath.empty()
                                        ? makeDemoPerformance()
                                        : readPerformanceFile(givenOptions.performancePath);
    const RenderOptions options =
        performance.take ? withTakeSettings(givenOptions, *performance.take) : givenOptions;
    const Timeline timeline = timelineFor(options, performance);
    const RenderJob job = jobFor(options, timeline);
    const std::vector<InputEvent> events = inputEventsFor(performance, timeline);
    RenderKit kit(options.kit);

    std::vector<std::string> names;
    for (const char* extension : {".wav", ".mid", ".csv", ".png"})
        names.push_back(performance.name + extension);
    const juce::File folder = prepareOutputFolder(options, names);
    OutputFiles outputs(folder);

    RenderSummary summary;
    summary.name = performance.name;
    summary.tempo = tempoText(timeline.tempoMap);
    summary.audioSeconds = static_cast<double>(timeline.totalSamples) / timeline.sampleRate;
    summary.blockSeconds = timeline.blockSize / timeline.sampleRate;
    summary.bars = timeline.bars;
    // The files as the user named the folder, for the summary and the messages.
    std::string shownFolder = options.outputFolder;
    while (shownFolder.size() > 1 && shownFolder.back() == '/')
        shownFolder.pop_back();
    for (const std::string& name : names)
        summary.files.push_back(shownFolder + "/" + name);

    TwoPassProgress progress;
    const std::vector<DrumHit> hits = drumHitsFromPluginBuild(job, events, progress);
    summary.drumHits = hits.size();
    renderAudio(job, events, kit, outputs.make(names[0]), summary.files[0], summary, progress);
    progress.bar.finish();

    const auto writeOrFail = [&](bool written, size_t index)
    {
        if (!written)
            throw RenderError("cannot write " + summary.files[index]);
    };
    writeOrFail(writeRenderMidiFile(outputs.make(names[1]), performance, hits, timeline), 1);
    writeOrFail(writeDrumCsv(outputs.make(names[2]), hits), 2);
    const PictureCaption caption{performance.name, settingsLine(options, timeline, summary.bars),
                                 options.divisionDuTemps};
    writeOrFail(writePerformancePicture(outputs.make(names[3]),
                                        drawPerformancePicture(performance, hits, timeline, caption)),
                3);
    outputs.publish();
    return summary;
}
