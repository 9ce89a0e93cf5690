// The standalone processor with the internal kit, in blocks long enough to hold several
// hits of one voice: every hit sounds from its own sample until the next hit of its voice.

#include "BattoAudioProcessor.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
constexpr double rate = 48000.0;
constexpr int blockSize = 8192; // at 240 bpm in sixteenths, a hi-hat every 3 000 samples

struct Hit
{
    long long sample;
    int voice;
    int velocity;
};

std::unique_ptr<BattoAudioProcessor> startedProcessor(int drumKit)
{
    BattoAudioProcessor::Settings settings;
    settings.tempo = 240.0;
    settings.divisionDuTemps = 4;
    settings.drumKit = drumKit;
    auto processor = std::make_unique<BattoAudioProcessor>(settings);
    processor->setVolume(0.5);
    processor->setRateAndBufferSizeDetails(rate, blockSize);
    processor->prepareToPlay(rate, blockSize);
    processor->start();
    return processor;
}

int voiceOfNote(int note)
{
    for (int v = 0; v < Batto::numVoices; ++v)
        if (Batto::drumNoteByDefault[v] == note)
            return v;
    return -1;
}
} // namespace

TEST(KitInProcessor, EveryHitSoundsUntilTheNextHitOfItsVoiceEvenWithinOneBlock)
{
    constexpr int blocks = 6;
    // The same performance twice: once as MIDI to learn the hits, once through the kit.
    auto hitsOut = startedProcessor(BattoAudioProcessor::kitExternalPlugin);
    auto kit = startedProcessor(BattoAudioProcessor::kitInternal);
    std::vector<Hit> hits;
    juce::AudioBuffer<float> audio(2, blockSize), rendered(2, blocks * blockSize);
    for (int block = 0; block < blocks; ++block)
    {
        juce::MidiBuffer midi;
        hitsOut->processBlock(audio, midi);
        for (const auto event : midi)
            hits.push_back(
                {block * blockSize + event.samplePosition, voiceOfNote(event.data[1]), event.data[2]});
        midi.clear();
        kit->processBlock(audio, midi);
        for (int channel = 0; channel < 2; ++channel)
            rendered.copyFrom(channel, block * blockSize, audio, channel, 0, blockSize);
    }
    int hatsSharingABlock = 0;
    for (size_t i = 1; i < hits.size(); ++i)
        hatsSharingABlock +=
            hits[i].voice == Batto::CHH && hits[i - 1].sample / blockSize == hits[i].sample / blockSize;
    ASSERT_GT(hatsSharingABlock, 3);

    const KitSamplePlayer& sounds = kit->getKit();
    for (int channel = 0; channel < 2; ++channel)
        for (int s = 0; s < blocks * blockSize; ++s)
        {
            double expected = 0.0;
            for (int voice = 0; voice < Batto::numVoices; ++voice)
            {
                const Hit* latest = nullptr;
                for (const Hit& hit : hits)
                    if (hit.voice == voice && hit.sample <= s)
                        latest = &hit;
                const auto& sound = sounds.kitBuffers[voice][0];
                if (latest != nullptr && s - latest->sample < sound.getNumSamples())
                    expected += latest->velocity / 127.0 * 0.5
                                * sound.getSample(channel, static_cast<int>(s - latest->sample));
            }
            ASSERT_NEAR(rendered.getSample(channel, s), expected, 1e-6)
                << "channel " << channel << ", sample " << s;
        }
}
