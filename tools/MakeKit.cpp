// Makes the ten drum sounds that Batto embeds (resources/<voice>.wav) from a recorded acoustic
// kit: Debian's avldrums.lv2 instrument ("Black Pearl" kit), hosted through JUCE's LV2 hosting
// as the drummer hosts an instrument plug-in.
//
// Usage: batto-make-kit [--check] [folder]   (default folder: resources)
//
// Each voice is struck once, offline at 44 100 Hz, at the velocity of its row in `voices`;
// the answer is trimmed to start at the hit's onset, faded to exact silence where it has
// died away, brought to the kit's level (see kitLevel below) and written as 16-bit stereo
// PCM WAV. The instrument renders the same samples for the same note every time, and
// nothing here depends on time or chance, so the same package version gives byte-identical
// files. --check writes nothing: it compares what it would write with the files in the folder
// and exits 1 when one differs or is missing. Exit status 77: the instrument is not installed.

#include "BattokitRecorder.h"
#include "ExternalPluginLoader.h"
#include "ExternalPluginOwner.h"

#include <juce_audio_formats/juce_audio_formats.h>
#include <juce_audio_processors/juce_audio_processors.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

namespace
{
const char* const instrumentUri = "http://gareus.org/oss/lv2/avldrums#BlackPearl";
const char* const instrumentPackage = "avldrums.lv2";
constexpr double kitRate = 44100.0;
constexpr int blockSize = 512; // a multiple of the instrument's own 64-frame rendering step
constexpr int exitInstrumentMissing = 77;

// One voice of the kit, in Percu order. The drummer plays every hit of a voice from one
// sound at gain velocity / 127, over velocities of about 59 to 122. Each sound is therefore
// struck at the velocity typical of its voice in the drummer's playing (the median of the
// demo's hits of that voice) and scaled by 127 / velocity: a typical hit then sounds as loud
// as the instrument plays it, with the instrument's own colour for that strength, and the
// drummer's softer and louder hits stay within a few decibels of it.
struct Voice
{
    const char* file;
    int note;              // the instrument's note for this drum
    int velocity;          // struck at
    double longestSeconds; // faded out by then at the latest
    int semitones = 0;     // retuned by resampling (the kit has two toms for three voices)
};

const Voice voices[] = {
    {"Snare.wav", 38, 106, 1.2},     // snare, centre of the head
    {"Kick.wav", 36, 106, 1.2},      // kick
    {"CHH.wav", 42, 88, 0.4},        // closed hi-hat
    {"OHH.wav", 46, 94, 1.5},        // open hi-hat (half open, the kit's open hi-hat)
    {"ride.wav", 51, 114, 4.0},      // ride, tip on the bow
    {"crash.wav", 49, 104, 4.0},     // first crash
    {"crash2.wav", 57, 104, 4.0},    // second crash
    {"hTom.wav", 45, 118, 1.8},      // high tom: the rack tom (about 120 Hz)
    {"mTom.wav", 45, 118, 2.2, -4},  // middle tom: the rack tom four semitones lower (about 95 Hz)
    {"lTom.wav", 41, 118, 2.5},      // low tom: the floor tom (about 77 Hz)
};
constexpr int voiceCount = static_cast<int>(std::size(voices));
enum VoiceIndex
{
    snare = 0,
    kick = 1,
    openHat = 3,
    crash = 5,
    crash2 = 6
};

// The onset: the first frame that reaches this far below the sound's peak (-50 dB). What
// comes before it is the recording's own lead-in, not the hit.
const double onsetBelowPeak = std::pow(10.0, -50.0 / 20.0);
// The end: where the sound stays below half a step of 16-bit samples at the kit's level.
constexpr double silence = 0.5 / 32768.0;
// The last part of a sound is faded out with a raised cosine ending in exact silence.
constexpr double longestFadeSeconds = 0.25;

// The kit's level. At volume 1 the loudest hits that fall together in playing, a crash, the
// kick and the snare at velocity 127 with the open hi-hat ringing, may add up peak for peak,
// wherever each is in its sound, to this level and no more; all ten voices struck on one
// sample stay below it too. There is no limiter in the mix: the headroom is in the sounds.
const double kitLevel = std::pow(10.0, -1.0 / 20.0);

using Sound = juce::AudioBuffer<float>;

double peakOf(const Sound& sound, int channel)
{
    return sound.getNumSamples() > 0 ? sound.getMagnitude(channel, 0, sound.getNumSamples()) : 0.0;
}

double peakOf(const Sound& sound)
{
    return std::max(peakOf(sound, 0), peakOf(sound, 1));
}

double frameLevel(const Sound& sound, int frame)
{
    return std::max(std::abs(sound.getSample(0, frame)), std::abs(sound.getSample(1, frame)));
}

// Lets every voice of the instrument die away: "all sound off", then silence until a whole
// block is quiet, so that each voice is recorded from the same quiet state. (The instrument
// never falls exactly silent: a residue of about -160 dBFS stays.)
constexpr float quietLevel = 1.0e-6f; // -120 dBFS, far below a 16-bit step
bool silenceInstrument(juce::AudioPluginInstance& plugin)
{
    juce::AudioBuffer<float> block(juce::jmax(plugin.getTotalNumInputChannels(), plugin.getTotalNumOutputChannels()),
                                   blockSize);
    juce::MidiBuffer midi;
    midi.addEvent(juce::MidiMessage::allSoundOff(10), 0);
    const int longest = static_cast<int>(30.0 * kitRate / blockSize);
    for (int i = 0; i < longest; ++i)
    {
        block.clear();
        plugin.processBlock(block, midi);
        midi.clear();
        bool quiet = true;
        for (int channel = 0; channel < plugin.getTotalNumOutputChannels(); ++channel)
            quiet = quiet && block.getMagnitude(channel, 0, blockSize) < quietLevel;
        if (quiet)
            return true;
    }
    return false;
}

std::unique_ptr<juce::AudioPluginInstance> startInstrument(juce::String& error)
{
    auto plugin = ExternalPluginLoader::create(instrumentUri, kitRate, blockSize, error);
    if (plugin == nullptr)
        return nullptr;
    plugin->setNonRealtime(true);
    plugin->prepareToPlay(kitRate, blockSize);
    // It loads its samples on the host's worker after its first blocks.
    if (!ExternalPluginOwner::driveUntilSounding(*plugin, kitRate, blockSize, 36, 30000))
        error = "the instrument did not sound within 30 s (its samples did not load)";
    else if (!silenceInstrument(*plugin))
        error = "the instrument did not fall silent";
    else
        return plugin;
    return nullptr;
}

// The recording played faster or slower by `semitones`, as a drum tuned higher or lower.
Sound retuned(const Sound& recording, int semitones)
{
    if (semitones == 0)
        return recording;
    const double speed = std::pow(2.0, semitones / 12.0); // recorded frames per frame
    const int margin = 256;                               // the interpolator reads a little ahead
    Sound sound(2, static_cast<int>((recording.getNumSamples() - margin) / speed));
    for (int channel = 0; channel < 2; ++channel)
    {
        juce::WindowedSincInterpolator interpolator;
        interpolator.process(speed, recording.getReadPointer(channel), sound.getWritePointer(channel),
                             sound.getNumSamples());
    }
    return sound;
}

// The recording from the hit's onset to where it has died away at `gain`.
Sound trimmed(const Sound& recording, double gain, double longestSeconds)
{
    const int frames = recording.getNumSamples();
    const double peak = peakOf(recording);
    int first = 0;
    while (first < frames && frameLevel(recording, first) < peak * onsetBelowPeak)
        ++first;
    int end = frames;
    while (end > first && frameLevel(recording, end - 1) * gain < silence)
        --end;
    end = std::min(end, first + static_cast<int>(longestSeconds * kitRate));
    Sound sound(2, std::max(1, end - first));
    sound.clear();
    for (int channel = 0; channel < 2; ++channel)
        if (end > first)
            sound.copyFrom(channel, 0, recording, channel, first, end - first);
    return sound;
}

void fadeOut(Sound& sound)
{
    const int frames = sound.getNumSamples();
    const int fade = std::max(1, std::min(frames / 4, static_cast<int>(longestFadeSeconds * kitRate)));
    for (int i = 0; i < fade; ++i)
    {
        // Weight 1 just before the fade, exactly 0 on the last frame.
        const double weight = 0.5 * (1.0 + std::cos(juce::MathConstants<double>::pi * (i + 1) / fade));
        for (int channel = 0; channel < 2; ++channel)
            sound.setSample(channel, frames - fade + i,
                            static_cast<float>(sound.getSample(channel, frames - fade + i) * weight));
    }
}

// At volume 1 and velocity 127, the most that the loudest coincidence can reach (a crash, the
// kick, the snare and the open hi-hat, peak for peak), and the peak of all ten voices struck
// on one sample.
struct Headroom
{
    double loudestCoincidence = 0.0;
    double allAtOnce = 0.0;
};

Headroom headroomOf(const std::vector<Sound>& sounds)
{
    Headroom headroom;
    for (const int whichCrash : {crash, crash2})
        for (int channel = 0; channel < 2; ++channel)
            headroom.loudestCoincidence =
                std::max(headroom.loudestCoincidence, peakOf(sounds[whichCrash], channel) + peakOf(sounds[kick], channel)
                                                          + peakOf(sounds[snare], channel)
                                                          + peakOf(sounds[openHat], channel));
    int longest = 0;
    for (const auto& sound : sounds)
        longest = std::max(longest, sound.getNumSamples());
    for (int channel = 0; channel < 2; ++channel)
        for (int frame = 0; frame < longest; ++frame)
        {
            double sum = 0.0;
            for (const auto& sound : sounds)
                if (frame < sound.getNumSamples())
                    sum += sound.getSample(channel, frame);
            headroom.allAtOnce = std::max(headroom.allAtOnce, std::abs(sum));
        }
    return headroom;
}

// The gain that brings the sounds, already scaled by 127 / velocity, to the kit's level,
// rounded down to a tenth of a decibel so that it reads as a plain figure.
double kitGainFor(const std::vector<Sound>& scaled)
{
    const Headroom headroom = headroomOf(scaled);
    const double loudest = std::max(headroom.loudestCoincidence, headroom.allAtOnce);
    const double gainDb = std::floor(10.0 * 20.0 * std::log10(kitLevel / loudest)) / 10.0;
    return std::pow(10.0, gainDb / 20.0);
}

double decibels(double gain)
{
    return 20.0 * std::log10(std::max(1.0e-9, gain));
}

// 16-bit stereo PCM WAV of the sound, rounded to the nearest step.
juce::MemoryBlock wavBytes(const Sound& sound)
{
    std::vector<int> channels[2];
    for (int channel = 0; channel < 2; ++channel)
        for (int frame = 0; frame < sound.getNumSamples(); ++frame)
        {
            const double value = std::clamp(static_cast<double>(sound.getSample(channel, frame)), -1.0, 1.0);
            channels[channel].push_back(static_cast<int>(std::lround(value * 32767.0)) * 65536); // left-justified
        }
    juce::MemoryBlock bytes;
    {
        auto* stream = new juce::MemoryOutputStream(bytes, false);
        juce::WavAudioFormat wav;
        std::unique_ptr<juce::AudioFormatWriter> writer(wav.createWriterFor(stream, kitRate, 2, 16, {}, 0));
        const int* data[] = {channels[0].data(), channels[1].data(), nullptr};
        writer->write(data, sound.getNumSamples());
    }
    return bytes;
}

juce::String installedVersion()
{
    juce::ChildProcess dpkg;
    if (!dpkg.start(juce::StringArray{"dpkg-query", "-W", "-f=${Version}", instrumentPackage}))
        return "unknown";
    const juce::String version = dpkg.readAllProcessOutput().trim();
    return dpkg.getExitCode() == 0 && version.isNotEmpty() ? version : juce::String("unknown");
}

struct Options
{
    bool check = false;
    juce::File folder;
};

bool parse(int argc, char* argv[], Options& options)
{
    juce::String folder = "resources";
    for (int i = 1; i < argc; ++i)
    {
        const juce::String arg = juce::String::fromUTF8(argv[i]);
        if (arg == "--check")
            options.check = true;
        else if (arg.startsWith("-"))
            return false;
        else
            folder = arg;
    }
    options.folder = juce::File::getCurrentWorkingDirectory().getChildFile(folder);
    return true;
}

int makeKit(const Options& options)
{
    juce::String error;
    auto plugin = startInstrument(error);
    if (plugin == nullptr)
    {
        std::fprintf(stderr, "batto-make-kit: cannot play %s: %s\n", instrumentUri, error.toRawUTF8());
        return juce::File("/usr/lib/lv2/avldrums.lv2").isDirectory() ? 1 : exitInstrumentMissing;
    }

    std::vector<Sound> scaled;
    for (const Voice& voice : voices)
    {
        Sound recording;
        BattokitRecorder::recordLayer(*plugin, voice.note, voice.velocity, kitRate, blockSize, recording);
        silenceInstrument(*plugin);
        Sound sound = retuned(recording, voice.semitones);
        sound.applyGain(127.0f / static_cast<float>(voice.velocity));
        scaled.push_back(std::move(sound));
    }
    plugin->releaseResources();

    // The level is chosen on the untrimmed sounds: trimming only removes what lies below it.
    const double kitGain = kitGainFor(scaled);
    std::printf("%s %s (%s), kit gain %.1f dB\n", instrumentPackage, installedVersion().toRawUTF8(), instrumentUri,
                decibels(kitGain));
    std::vector<Sound> kit;
    for (int v = 0; v < voiceCount; ++v)
    {
        kit.push_back(trimmed(scaled[static_cast<size_t>(v)], kitGain, voices[v].longestSeconds));
        kit.back().applyGain(static_cast<float>(kitGain));
        fadeOut(kit.back());
    }
    int failures = 0;
    for (int v = 0; v < voiceCount; ++v)
    {
        const Sound& sound = kit[static_cast<size_t>(v)];
        const juce::MemoryBlock bytes = wavBytes(sound);
        const juce::File file = options.folder.getChildFile(voices[v].file);
        const char* outcome = "written";
        if (options.check)
        {
            juce::MemoryBlock committed;
            const bool same = file.loadFileAsData(committed) && committed == bytes;
            outcome = same ? "same" : (file.existsAsFile() ? "DIFFERS" : "MISSING");
            failures += same ? 0 : 1;
        }
        else if (!file.replaceWithData(bytes.getData(), bytes.getSize()))
        {
            outcome = "NOT WRITTEN";
            ++failures;
        }
        std::printf("%-11s note %2d velocity %3d  %6d frames (%5.3f s)  peak %6.2f dBFS  %s\n", voices[v].file,
                    voices[v].note, voices[v].velocity, sound.getNumSamples(), sound.getNumSamples() / kitRate,
                    decibels(peakOf(sound)), outcome);
    }
    const Headroom headroom = headroomOf(kit);
    std::printf("at volume 1 and velocity 127: a crash, the kick, the snare and the open hi-hat peak for peak "
                "%.2f dBFS; all ten voices on one sample %.2f dBFS\n",
                decibels(headroom.loudestCoincidence), decibels(headroom.allAtOnce));
    if (options.check && failures > 0)
        std::fprintf(stderr,
                     "batto-make-kit: %d file(s) in %s differ from what %s %s plays; run batto-make-kit to "
                     "make them again\n",
                     failures, options.folder.getFullPathName().toRawUTF8(), instrumentPackage,
                     installedVersion().toRawUTF8());
    return failures == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    Options options;
    if (!parse(argc, argv, options))
    {
        std::fprintf(stderr, "usage: batto-make-kit [--check] [folder]\n");
        return 2;
    }
    const juce::ScopedJuceInitialiser_GUI juce; // plug-in hosting needs the message manager
    return makeKit(options);
}
