#include "KitSamplePlayer.h"

#include "BattokitFolder.h"
#include "BinaryData.h"
#include "FillBufferToPlayAux.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <algorithm>
#include <memory>

namespace
{
// The embedded sounds in Percu order.
const char* const internalKitResources[KitSamplePlayer::voiceCount] = {
    "Snare_wav", "Kick_wav",   "CHH_wav",  "OHH_wav",  "ride_wav",
    "crash_wav", "crash2_wav", "hTom_wav", "mTom_wav", "lTom_wav",
};

// Sums in double precision, stored as float. Voices are mixed one after the other, each
// over its contiguous span: every output sample still receives the voices' frames in
// voice order, so the result is the same as mixing sample by sample over all voices.
// The loop is the bulk of the standalone build's audio work: where the processor has AVX2,
// a clone of it handles four doubles at a time (the same operations, so the same floats).
// The clone is chosen by a resolver that runs before ThreadSanitizer's runtime is up, so
// instrumented builds keep the plain loop.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(__SANITIZE_THREAD__)
__attribute__((target_clones("avx2", "default")))
#endif
void addScaled(float* __restrict out, const float* __restrict sound, int firstSample, int endSample,
                      int firstFrame, double gain)
{
    for (int s = firstSample; s < endSample; ++s)
        out[s] = static_cast<float>(out[s] + gain * sound[firstFrame + s]);
}

struct Span
{
    int firstSample;
    int endSample;
    bool soundEnds; // the sound's last frame falls before endLimit
};

// The samples in [0, endLimit) on which frame firstFrame + s of a sound of length frames
// falls on sample s with 0 <= frame < length.
Span spanOf(int length, int firstFrame, int endLimit)
{
    const long long endOfSound = static_cast<long long>(length) - firstFrame;
    const int firstSample = juce::jlimit(0, endLimit, -firstFrame);
    const int endSample = static_cast<int>(juce::jlimit<long long>(firstSample, endLimit, endOfSound));
    return {firstSample, endSample, endOfSound < endLimit};
}

int lengthOf(const juce::AudioBuffer<float>& sound)
{
    return sound.getNumChannels() > 0 ? sound.getNumSamples() : 0;
}

void mixSpan(juce::AudioBuffer<float>& block, const juce::AudioBuffer<float>& sound, int firstFrame,
             double gain, const Span& span)
{
    const int outputs = block.getNumChannels();
    if (span.endSample <= span.firstSample || outputs == 0)
        return;
    const float* left = sound.getReadPointer(0);
    const float* right = sound.getReadPointer(sound.getNumChannels() > 1 ? 1 : 0); // a mono sound feeds both
    float* out0 = block.getWritePointer(0);
    float* out1 = outputs > 1 ? block.getWritePointer(1) : out0; // a mono output takes both
    addScaled(out0, left, span.firstSample, span.endSample, firstFrame, gain);
    addScaled(out1, right, span.firstSample, span.endSample, firstFrame, gain);
}
} // namespace

KitSamplePlayer::KitSamplePlayer()
{
    setInternalKitVelocityTables();
}

void KitSamplePlayer::setInternalKitVelocityTables()
{
    kitLayerCount = 1;
    for (int velocity = 0; velocity < velocities; ++velocity)
    {
        velocityToLayer[velocity] = 0;
        velocityToGain[velocity] = static_cast<float>(velocity) / 127.0f;
    }
}

const char* KitSamplePlayer::internalKitResourceName(Batto::Percu voice)
{
    return voice >= 0 && voice < voiceCount ? internalKitResources[voice] : nullptr;
}

bool KitSamplePlayer::fillBufferToPlayInternalDrumKit(double sampleRate, Batto::Percu voice)
{
    residentSounds.release(); // before the sound's memory changes
    const bool decoded = decodeInternalSound(sampleRate, voice);
    makeReadyForTheAudioThread();
    return decoded;
}

bool KitSamplePlayer::decodeInternalSound(double sampleRate, Batto::Percu voice)
{
    const char* name = internalKitResourceName(voice);
    int size = 0;
    const char* data = name != nullptr ? BinaryData::getNamedResource(name, size) : nullptr;
    if (data == nullptr)
        return false;
    juce::WavAudioFormat wav;
    // The stream reads the embedded bytes in place; the reader that the format makes owns
    // the stream and deletes it.
    return FillBufferToPlayAux(sampleRate, kitBuffers[voice][0], &wav,
                               new juce::MemoryInputStream(data, static_cast<size_t>(size), false));
}

void KitSamplePlayer::fillInternalKit(double sampleRate)
{
    residentSounds.release();
    setInternalKitVelocityTables();
    for (int voice = 0; voice < voiceCount; ++voice)
        decodeInternalSound(sampleRate, static_cast<Batto::Percu>(voice));
    makeReadyForTheAudioThread();
}

void KitSamplePlayer::setBattokitVelocityTables()
{
    kitLayerCount = maximumLayers;
    for (int layer = maximumLayers - 1; layer >= 0; --layer)
    {
        const int lowest = layer * velocities / kitLayerCount;
        const int top = layer == maximumLayers - 1 ? velocities - 1 : (layer + 1) * velocities / kitLayerCount - 1;
        for (int velocity = lowest; velocity <= top; ++velocity)
        {
            velocityToLayer[velocity] = layer;
            velocityToGain[velocity] = static_cast<float>(velocity) * (1.0f / static_cast<float>(top));
        }
    }
}

bool KitSamplePlayer::fillBufferToPlayBattoKit(double sampleRate, const juce::File& folder, Batto::Percu voice,
                                               int layer)
{
    residentSounds.release();
    const bool decoded = decodeBattokitSound(sampleRate, folder, voice, layer);
    makeReadyForTheAudioThread();
    return decoded;
}

bool KitSamplePlayer::decodeBattokitSound(double sampleRate, const juce::File& folder, Batto::Percu voice,
                                          int layer)
{
    if (voice < 0 || voice >= voiceCount || layer < 0 || layer >= maximumLayers)
        return false;
    auto stream = std::make_unique<juce::FileInputStream>(BattokitFolder::fileFor(folder, voice, layer));
    if (stream->failedToOpen())
        return false;
    juce::WavAudioFormat wav;
    return FillBufferToPlayAux(sampleRate, kitBuffers[voice][layer], &wav, stream.release());
}

KitSamplePlayer::BattokitLoad KitSamplePlayer::fillBattokit(double sampleRate, const juce::File& folder)
{
    BattokitLoad load;
    residentSounds.release();
    setBattokitVelocityTables();
    bool loaded[voiceCount][maximumLayers] = {};
    for (int layer = maximumLayers - 1; layer >= 0; --layer)
        for (int voice = 0; voice < voiceCount; ++voice)
            if (decodeBattokitSound(sampleRate, folder, static_cast<Batto::Percu>(voice), layer))
            {
                loaded[voice][layer] = true;
                ++load.filesLoaded;
            }

    for (int voice = 0; voice < voiceCount; ++voice)
    {
        for (int layer = 0; layer < maximumLayers; ++layer)
        {
            if (loaded[voice][layer])
                continue;
            // The nearest readable layer, the louder first at equal distance.
            int source = -1;
            for (int distance = 1; distance < maximumLayers && source < 0; ++distance)
                for (const int candidate : {layer + distance, layer - distance})
                    if (source < 0 && candidate >= 0 && candidate < maximumLayers && loaded[voice][candidate])
                        source = candidate;
            if (source >= 0)
            {
                kitBuffers[voice][layer] = kitBuffers[voice][source];
                ++load.layersBorrowed;
            }
            else
                kitBuffers[voice][layer].setSize(0, 0); // no sound of this voice at all: silence
        }
        if (std::none_of(std::begin(loaded[voice]), std::end(loaded[voice]), [](bool found) { return found; }))
            ++load.silentVoices;
    }
    makeReadyForTheAudioThread();
    return load;
}

void KitSamplePlayer::takeSoundsFrom(KitSamplePlayer& other)
{
    for (int voice = 0; voice < voiceCount; ++voice)
        for (int layer = 0; layer < maximumLayers; ++layer)
            std::swap(kitBuffers[voice][layer], other.kitBuffers[voice][layer]);
    std::swap(kitLayerCount, other.kitLayerCount);
    std::swap(velocityToLayer, other.velocityToLayer);
    std::swap(velocityToGain, other.velocityToGain);
    residentSounds.swapWith(other.residentSounds); // what is kept goes with the sounds
}

size_t KitSamplePlayer::lockedSoundBytes() const
{
    return residentSounds.lockedBytes();
}

size_t KitSamplePlayer::touchedSoundBytes() const
{
    return residentSounds.touchedBytes();
}

void KitSamplePlayer::makeReadyForTheAudioThread()
{
    keepSoundsResident();
    warmVoices();
}

void KitSamplePlayer::keepSoundsResident()
{
    residentSounds.release();
    for (auto& layers : kitBuffers)
        for (const auto& sound : layers)
            residentSounds.keep(sound);
}

// Every voice struck at once, at the lowest velocity of every layer, mixed for one block from
// the first frame of its sound into a scratch block: the mixing code and the first frames of
// every sound are met here rather than in the block of a voice's first hit. The voices that
// sound, and the cuts of the present block, stay as they were.
void KitSamplePlayer::warmVoices()
{
    constexpr int warmBlock = 64;
    juce::AudioBuffer<float> scratch(2, warmBlock);
    const int pendingCuts = cutCount;
    cutCount = 0;
    for (int layer = 0; layer < maximumLayers; ++layer)
    {
        // Velocity 0 is silence: the lowest velocity above it that plays the layer.
        const int* found = std::find(std::begin(velocityToLayer) + 1, std::end(velocityToLayer), layer);
        if (found == std::end(velocityToLayer))
            continue;
        int velocities[voiceCount];
        int positions[voiceCount];
        std::fill(std::begin(velocities), std::end(velocities),
                  static_cast<int>(found - std::begin(velocityToLayer)));
        std::fill(std::begin(positions), std::end(positions), 0);
        scratch.clear();
        mixVoices(scratch, warmBlock, velocities, positions, 1.0);
    }
    cutCount = pendingCuts;
}

void KitSamplePlayer::rememberCut(int voice, int velocity, int position, int cutSample)
{
    if (voice < 0 || voice >= voiceCount || velocity == 0 || cutSample <= 0
        || cutCount == maximumCutsPerBlock)
        return;
    cuts[cutCount++] = {voice, velocity, position, cutSample};
}

void KitSamplePlayer::forgetCuts()
{
    cutCount = 0;
}

const juce::AudioBuffer<float>& KitSamplePlayer::soundFor(int voice, int velocity) const
{
    // Velocities come from the engine (0..122) and from previews limited to 0..127; the
    // limits keep a stray value from indexing outside the tables.
    const int layer =
        juce::jlimit(0, maximumLayers - 1, velocityToLayer[juce::jlimit(0, velocities - 1, velocity)]);
    return kitBuffers[voice][layer];
}

double KitSamplePlayer::gainFor(int velocity, double volume) const
{
    return static_cast<double>(velocityToGain[juce::jlimit(0, velocities - 1, velocity)]) * volume;
}

void KitSamplePlayer::mixVoices(juce::AudioBuffer<float>& block, int numSamples,
                                int (&voiceVelocity)[voiceCount], int (&voicePosition)[voiceCount],
                                double volume)
{
    numSamples = juce::jlimit(0, block.getNumSamples(), numSamples);
    for (int voice = 0; voice < voiceCount; ++voice)
    {
        // What new hits cut in this block plays up to each new hit, in the order played.
        for (int i = 0; i < cutCount; ++i)
            if (cuts[i].voice == voice)
            {
                const auto& sound = soundFor(voice, cuts[i].velocity);
                const int end = juce::jmin(cuts[i].endSample, numSamples);
                mixSpan(block, sound, cuts[i].position, gainFor(cuts[i].velocity, volume),
                        spanOf(lengthOf(sound), cuts[i].position, end));
            }

        if (voiceVelocity[voice] == 0)
            continue;
        const auto& sound = soundFor(voice, voiceVelocity[voice]);
        const Span span = spanOf(lengthOf(sound), voicePosition[voice], numSamples);
        mixSpan(block, sound, voicePosition[voice], gainFor(voiceVelocity[voice], volume), span);
        if (span.soundEnds)
        {
            voiceVelocity[voice] = 0;
            voicePosition[voice] = 0;
        }
    }
    cutCount = 0;
}
