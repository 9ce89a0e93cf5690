#include "Render.h"

#include "CsvWriter.h"
#include "DemoPerformance.h"
#include "MidiFileWriter.h"
#include "PictureWriter.h"
#include "PluginBuildRun.h"
#include "ProcessorRun.h"
#include "ProgressBar.h"
#include "RenderError.h"
#include "WavFileWriter.h"

#include <cmath>
#include <filesystem>

static_assert(!BATTO_PLUGIN_BUILD, "batto-render sounds the standalone build of the processor");

namespace
{
constexpr double defaultTempo = 120.0;

juce::File fileFromArgument(const std::string& path)
{
    return juce::File::getCurrentWorkingDirectory().getChildFile(juce::String(path));
}

// The folder with links and ".." resolved, so that two names of one folder compare equal.
std::filesystem::path resolved(const juce::File& folder)
{
    const std::filesystem::path path = folder.getFullPathName().toStdString();
    std::error_code error;
    const auto canonical = std::filesystem::weakly_canonical(path, error);
    return error ? path : canonical;
}

bool sameFolder(const juce::File& a, const juce::File& b)
{
    return resolved(a) == resolved(b);
}

double tempoFor(const RenderOptions& options, const Performance& performance)
{
    if (options.tempo)
        return *options.tempo;
    if (!performance.firstTempo)
        return defaultTempo;
    const double tempo = *performance.firstTempo;
    if (tempo < minimumTempo || tempo > maximumTempo)
        throw RenderError("the file's tempo of " + juce::String(tempo, 1).toStdString() + " bpm is outside "
                          + juce::String(minimumTempo, 0).toStdString() + ".."
                          + juce::String(maximumTempo, 0).toStdString() + ": choose one with --tempo");
    return tempo;
}

// The output folder, created if needed; never the performance's own folder.
juce::File prepareOutputFolder(const RenderOptions& options)
{
    const juce::File folder = fileFromArgument(options.outputFolder);
    if (!options.performancePath.empty()
        && sameFolder(folder, fileFromArgument(options.performancePath).getParentDirectory()))
        throw RenderError("will not write next to the performance: choose another folder with --out");
    if (folder.existsAsFile())
        throw RenderError(options.outputFolder + " is a file, not a folder");
    if (const juce::Result created = folder.createDirectory(); created.failed())
        throw RenderError("cannot create " + options.outputFolder + ": "
                          + created.getErrorMessage().toStdString());
    return folder;
}

Timeline timelineFor(const RenderOptions& options, const Performance& performance, double tempo)
{
    Timeline timeline{};
    timeline.sampleRate = options.sampleRate;
    timeline.tempo = tempo;
    timeline.blockSize = options.blockSize;
    timeline.gridStartSample = options.start == RenderOptions::Start::host ? 0 : options.blockSize;
    // Unless told how many bars, play on for a bar after the last note-on and stop on the
    // drummer's next bar line, so that the drum part ends with a whole bar.
    const double barSamples = timeline.samplesPerBar();
    const double lastNote = std::round(performance.lastNoteOnSeconds() * timeline.sampleRate);
    timeline.bars = options.bars
                        ? *options.bars
                        : std::max(1, static_cast<int>(std::ceil(
                                          (lastNote + barSamples - timeline.gridStartSample) / barSamples)));
    const double end = timeline.gridStartSample + timeline.bars * barSamples;
    const auto blocks = static_cast<int64_t>(std::ceil(end / options.blockSize));
    timeline.totalSamples = std::max<int64_t>(1, blocks) * options.blockSize;
    return timeline;
}

RenderJob jobFor(const RenderOptions& options, const Timeline& timeline)
{
    RenderJob job{};
    job.sampleRate = timeline.sampleRate;
    job.blockSize = timeline.blockSize;
    job.hostStart = options.start == RenderOptions::Start::host;
    job.tempo = timeline.tempo;
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

// A note at t seconds lands on sample lround(t × rate); the render ends before the last.
std::vector<InputEvent> inputEventsFor(const Performance& performance, const Timeline& timeline)
{
    std::vector<InputEvent> events;
    for (const auto* event : performance.events)
    {
        const juce::MidiMessage& message = event->message;
        const auto sample = static_cast<int64_t>(std::llround(message.getTimeStamp() * timeline.sampleRate));
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
    if (!battoRunPluginBuildProcessor(&job, events.data(), events.size(), collect, &hits,
                                      TwoPassProgress::report, &progress))
        throw RenderError("the plug-in build's processor could not run");
    return hits;
}

void renderAudio(const RenderJob& job, const std::vector<InputEvent>& events, const juce::File& file,
                 RenderSummary& summary, TwoPassProgress& progress)
{
    WavFileWriter wav;
    if (!wav.open(file, job.sampleRate))
        throw RenderError("cannot write " + file.getFullPathName().toStdString());
    bool written = true;
    progress.startPass(0.2, 0.8);
    render::runProcessor(
        job, events.data(), events.size(),
        [&](juce::int64, const juce::AudioBuffer<float>& audio, const juce::MidiBuffer&)
        {
            written = wav.write(audio, job.blockSize) && written;
        },
        TwoPassProgress::report, &progress);
    if (!wav.close() || !written)
        throw RenderError("cannot write " + file.getFullPathName().toStdString());
    summary.peak = wav.peak();
    summary.clippedSamples = wav.clippedSamples();
}

std::string settingsLine(const RenderOptions& options, const Timeline& timeline, int bars)
{
    static const char* const hihat[] = {"", "quarter", "eighth", "", "sixteenth"};
    juce::String line;
    line << bars << " bars at "
         << juce::String(timeline.tempo, 1).trimCharactersAtEnd("0").trimCharactersAtEnd(".")
         << " bpm  |  hi-hat in " << hihat[options.divisionDuTemps] << " notes  |  sensitivity "
         << juce::String(options.velocitySensitivity, 2) << " velocity, "
         << juce::String(options.dynamicSensitivity, 2) << " dynamic  |  auto kick "
         << (options.autoKick ? "on" : "off") << ", auto snare " << (options.autoSnare ? "on" : "off")
         << "  |  " << (options.start == RenderOptions::Start::host ? "host transport" : "Start button")
         << "  |  " << static_cast<int>(timeline.sampleRate) << " Hz";
    return line.toStdString();
}

void writeOrFail(bool written, const juce::File& file)
{
    if (!written)
        throw RenderError("cannot write " + file.getFullPathName().toStdString());
}
} // namespace

RenderSummary renderPerformance(const RenderOptions& options)
{
    const Performance performance = options.performancePath.empty()
                                        ? makeDemoPerformance()
                                        : readPerformanceFile(options.performancePath);
    const double tempo = tempoFor(options, performance);
    const juce::File folder = prepareOutputFolder(options);
    const Timeline timeline = timelineFor(options, performance, tempo);
    const RenderJob job = jobFor(options, timeline);
    const std::vector<InputEvent> events = inputEventsFor(performance, timeline);

    RenderSummary summary;
    summary.name = performance.name;
    summary.tempo = tempo;
    summary.audioSeconds = static_cast<double>(timeline.totalSamples) / timeline.sampleRate;
    summary.bars = timeline.bars;

    TwoPassProgress progress;
    const std::vector<DrumHit> hits = drumHitsFromPluginBuild(job, events, progress);
    summary.drumHits = hits.size();

    // The files as the user named the folder, for the summary.
    std::string shownFolder = options.outputFolder;
    while (shownFolder.size() > 1 && shownFolder.back() == '/')
        shownFolder.pop_back();
    const auto output = [&](const char* extension)
    {
        summary.files.push_back(shownFolder + "/" + performance.name + extension);
        return folder.getChildFile(juce::String(performance.name) + extension);
    };
    renderAudio(job, events, output(".wav"), summary, progress);
    progress.bar.finish();

    const juce::File midiFile = output(".mid");
    writeOrFail(writeRenderMidiFile(midiFile, performance, hits, timeline), midiFile);
    const juce::File csvFile = output(".csv");
    writeOrFail(writeDrumCsv(csvFile, hits), csvFile);
    const juce::File pictureFile = output(".png");
    const PictureCaption caption{performance.name, settingsLine(options, timeline, summary.bars),
                                 options.divisionDuTemps};
    writeOrFail(
        writePerformancePicture(pictureFile, drawPerformancePicture(performance, hits, timeline, caption)),
        pictureFile);
    return summary;
}
