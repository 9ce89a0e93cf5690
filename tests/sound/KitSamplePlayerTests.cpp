// The kit sample player: velocity tables, where hits land in a block, restarts, the end of
// a sound, odd channel counts, the embedded kit, sounds kept in memory, and the mixing loop's
// real-time rules.

#include "AudioThreadWatch.h"
#include "KitSamplePlayer.h"

#include "BinaryData.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <gtest/gtest.h>

#include <algorithm>

namespace
{
constexpr int voices = KitSamplePlayer::voiceCount;

// Every frame different, so that a test sees which frame lands where.
juce::AudioBuffer<float> rampSound(int frames, int channels = 2)
{
    juce::AudioBuffer<float> sound(channels, frames);
    for (int channel = 0; channel < channels; ++channel)
        for (int frame = 0; frame < frames; ++frame)
            sound.setSample(channel, frame, (channel == 0 ? 1.0f : 0.5f) * (1.0f + frame) / (frames + 1.0f));
    return sound;
}

struct Voices
{
    int velocity[voices] = {};
    int position[voices] = {};

    // What the processor's outputJouer does for a hit at a sample of the current block.
    void hit(KitSamplePlayer& kit, Batto::Percu voice, int sample, int newVelocity)
    {
        kit.rememberCut(voice, velocity[voice], position[voice], sample);
        velocity[voice] = newVelocity;
        position[voice] = -sample;
    }
    // What the processor does after every playing block.
    void advance(int samples)
    {
        for (int v = 0; v < voices; ++v)
            if (velocity[v] != 0)
                position[v] += samples;
    }
};

juce::AudioBuffer<float> silentBlock(int channels, int samples)
{
    juce::AudioBuffer<float> block(channels, samples);
    block.clear();
    return block;
}

float mixed(float before, double gain, float frame)
{
    return static_cast<float>(before + gain * frame);
}
} // namespace

TEST(KitSamplePlayer, VelocityGivesTheGainOfTheInternalKit)
{
    struct Case
    {
        int velocity;
        double gain;
    };
    for (const Case c : {Case{127, 1.0}, Case{64, 64.0 / 127.0}, Case{1, 1.0 / 127.0}, Case{0, 0.0}})
    {
        KitSamplePlayer kit;
        kit.kitBuffers[Batto::Snare][0] = rampSound(100);
        Voices state;
        state.hit(kit, Batto::Snare, 0, c.velocity);
        auto block = silentBlock(2, 64);
        kit.mixVoices(block, 64, state.velocity, state.position, 0.5);

        EXPECT_EQ(kit.velocityToLayer[c.velocity], 0);
        EXPECT_FLOAT_EQ(kit.velocityToGain[c.velocity], static_cast<float>(c.gain)) << c.velocity;
        const float frame = kit.kitBuffers[Batto::Snare][0].getSample(0, 10);
        EXPECT_EQ(block.getSample(0, 10), mixed(0.0f, static_cast<float>(c.gain) * 0.5, frame)) << c.velocity;
        EXPECT_EQ(state.velocity[Batto::Snare] != 0, c.velocity != 0) << "velocity 0 leaves the voice idle";
    }
}

TEST(KitSamplePlayer, AHitLandsOnItsSampleAndLeavesTheSamplesBeforeItAlone)
{
    KitSamplePlayer kit;
    kit.kitBuffers[Batto::Kick][0] = rampSound(1000);
    const auto& sound = kit.kitBuffers[Batto::Kick][0];
    Voices state;
    state.hit(kit, Batto::Kick, 100, 127);
    auto block = silentBlock(2, 512);
    for (int s = 0; s < 512; ++s)
        block.setSample(0, s, 0.25f); // whatever the block held before the kit
    kit.mixVoices(block, 512, state.velocity, state.position, 1.0);

    for (int s = 0; s < 100; ++s)
        ASSERT_EQ(block.getSample(0, s), 0.25f) << s;
    EXPECT_EQ(block.getSample(0, 100), mixed(0.25f, 1.0, sound.getSample(0, 0)));
    EXPECT_EQ(block.getSample(1, 100), mixed(0.0f, 1.0, sound.getSample(1, 0)));
    EXPECT_EQ(block.getSample(1, 511), mixed(0.0f, 1.0, sound.getSample(1, 411)));
}

TEST(KitSamplePlayer, ANewHitRestartsTheVoiceAtItsOwnSample)
{
    KitSamplePlayer kit;
    kit.kitBuffers[Batto::Kick][0] = rampSound(5000);
    const auto& sound = kit.kitBuffers[Batto::Kick][0];
    Voices state;

    // Two kicks ten samples apart in one block: the first sounds until the second starts.
    state.hit(kit, Batto::Kick, 100, 127);
    state.hit(kit, Batto::Kick, 110, 127);
    auto block = silentBlock(2, 512);
    kit.mixVoices(block, 512, state.velocity, state.position, 1.0);
    EXPECT_EQ(block.getSample(0, 99), 0.0f);
    EXPECT_EQ(block.getSample(0, 109), sound.getSample(0, 9));
    EXPECT_EQ(block.getSample(0, 110), sound.getSample(0, 0));
    EXPECT_EQ(block.getSample(0, 511), sound.getSample(0, 401));
    state.advance(512);

    // A kick that rang through the block boundary is cut at the new hit, not before it.
    state.hit(kit, Batto::Kick, 300, 64);
    block.clear();
    kit.mixVoices(block, 512, state.velocity, state.position, 1.0);
    EXPECT_EQ(block.getSample(0, 0), sound.getSample(0, 402));
    EXPECT_EQ(block.getSample(0, 299), sound.getSample(0, 701));
    EXPECT_EQ(block.getSample(0, 300), mixed(0.0f, 64.0f / 127.0f, sound.getSample(0, 0)));
}

TEST(KitSamplePlayer, ASoundOf5000FramesStartedAtSample300EndsInTheEleventhBlock)
{
    KitSamplePlayer kit;
    kit.kitBuffers[Batto::Ride][0] = rampSound(5000);
    Voices state;
    state.hit(kit, Batto::Ride, 300, 127);
    int lastSoundingBlock = -1, lastSoundingSample = -1;
    for (int blockIndex = 0; blockIndex < 13; ++blockIndex)
    {
        auto block = silentBlock(2, 512);
        kit.mixVoices(block, 512, state.velocity, state.position, 1.0);
        for (int s = 0; s < 512; ++s)
            if (block.getSample(0, s) != 0.0f)
                lastSoundingBlock = blockIndex, lastSoundingSample = s;
        state.advance(512);
        EXPECT_EQ(state.velocity[Batto::Ride] == 0, blockIndex >= 10) << blockIndex;
    }
    EXPECT_EQ(lastSoundingBlock, 10);
    EXPECT_EQ(lastSoundingSample, 179); // frame 4 999 on sample 5 299
    EXPECT_EQ(state.position[Batto::Ride], 0);
}

TEST(KitSamplePlayer, OddChannelCountsStayInsideTheBuffers)
{
    struct Case
    {
        int outputs;
        int soundChannels;
        float expected0; // frame 0's contribution on output channel 0 (and 1 when there is one)
        float expected1;
    };
    // Ramp frame 0: f on the left channel, f / 2 on the right.
    const float f = 1.0f / 1001.0f;
    for (const Case c : {Case{2, 2, f, f / 2}, Case{1, 2, f + f / 2, 0}, Case{2, 1, f, f},
                         Case{1, 1, 2 * f, 0}, Case{4, 2, f, f / 2}, Case{0, 2, 0, 0}})
    {
        KitSamplePlayer kit;
        kit.kitBuffers[Batto::OHH][0] = rampSound(1000, c.soundChannels);
        Voices state;
        state.hit(kit, Batto::OHH, 5, 127);
        auto block = silentBlock(c.outputs, 64);
        kit.mixVoices(block, 64, state.velocity, state.position, 1.0);
        if (c.outputs > 0)
        {
            EXPECT_FLOAT_EQ(block.getSample(0, 5), c.expected0)
                << c.outputs << " outputs, " << c.soundChannels;
        }
        if (c.outputs > 1)
        {
            EXPECT_FLOAT_EQ(block.getSample(1, 5), c.expected1)
                << c.outputs << " outputs, " << c.soundChannels;
        }
        if (c.outputs > 2)
        {
            EXPECT_EQ(block.getMagnitude(2, 0, 64), 0.0f) << "only channels 0 and 1 carry the kit";
        }
    }

    // An empty sound ends the voice at once.
    KitSamplePlayer kit;
    Voices state;
    state.hit(kit, Batto::LTom, 0, 100);
    auto block = silentBlock(2, 64);
    kit.mixVoices(block, 64, state.velocity, state.position, 1.0);
    EXPECT_EQ(state.velocity[Batto::LTom], 0);
    EXPECT_EQ(block.getMagnitude(0, 64), 0.0f);
}

// The mixing step as a loop over samples, then voices: the fast loop must give the very
// same floats.
TEST(KitSamplePlayer, MixingVoiceByVoiceEqualsMixingSampleBySample)
{
    KitSamplePlayer kit;
    for (int v = 0; v < voices; ++v)
        kit.kitBuffers[v][0] = rampSound(300 + 137 * v);
    Voices fast, reference;
    juce::Random random(4);
    for (int blockIndex = 0; blockIndex < 40; ++blockIndex)
    {
        const int v = random.nextInt(voices);
        const int velocity = random.nextInt(128);
        fast.velocity[v] = reference.velocity[v] = velocity;
        fast.position[v] = reference.position[v] = -random.nextInt(256);

        auto block = silentBlock(2, 256);
        kit.mixVoices(block, 256, fast.velocity, fast.position, 0.8);

        auto expected = silentBlock(2, 256);
        for (int s = 0; s < 256; ++s)
            for (int voice = 0; voice < voices; ++voice)
            {
                const int vel = reference.velocity[voice];
                if (vel == 0)
                    continue;
                const auto& sound = kit.kitBuffers[voice][kit.velocityToLayer[vel]];
                const int k = reference.position[voice] + s;
                if (k >= sound.getNumSamples())
                {
                    reference.velocity[voice] = reference.position[voice] = 0;
                    continue;
                }
                if (k < 0)
                    continue;
                const double g = kit.velocityToGain[vel] * 0.8;
                for (int channel = 0; channel < 2; ++channel)
                    expected.setSample(channel, s,
                                       mixed(expected.getSample(channel, s), g, sound.getSample(channel, k)));
            }
        for (int channel = 0; channel < 2; ++channel)
            for (int s = 0; s < 256; ++s)
                ASSERT_EQ(block.getSample(channel, s), expected.getSample(channel, s))
                    << blockIndex << ":" << s;
        for (int voice = 0; voice < voices; ++voice)
        {
            ASSERT_EQ(fast.velocity[voice], reference.velocity[voice]);
            ASSERT_EQ(fast.position[voice], reference.position[voice]);
        }
        fast.advance(256);
        reference.advance(256);
    }
}

TEST(KitSamplePlayer, MixingNeitherAllocatesNorLocks)
{
    KitSamplePlayer kit;
    kit.fillInternalKit(48000.0);
    Voices state;
    for (int v = 0; v < voices; ++v)
        state.hit(kit, static_cast<Batto::Percu>(v), 7 * v, 100);
    auto block = silentBlock(2, 512);
    AudioThreadWatch guard;
    for (int blockIndex = 0; blockIndex < 20; ++blockIndex)
    {
        state.hit(kit, Batto::CHH, 100, 90);
        kit.mixVoices(block, 512, state.velocity, state.position, 1.0);
        state.advance(512);
    }
    EXPECT_EQ(guard.allocations(), 0);
    EXPECT_EQ(guard.locks(), 0);
}

// Every sound is kept in memory for the audio thread (locked, or touched where locking is not
// allowed), and what is kept follows the sounds: a reload keeps the new ones only, a swap moves
// them to the other player.
TEST(KitSamplePlayer, EveryLoadedSoundIsKeptInMemoryAndWhatIsKeptFollowsTheSounds)
{
    const auto kept = [](const KitSamplePlayer& kit) { return kit.lockedSoundBytes() + kit.touchedSoundBytes(); };
    const auto soundBytes = [](const KitSamplePlayer& kit)
    {
        size_t bytes = 0;
        for (const auto& layers : kit.kitBuffers)
            for (const auto& sound : layers)
                bytes += static_cast<size_t>(sound.getNumChannels() * sound.getNumSamples()) * sizeof(float);
        return bytes;
    };
    KitSamplePlayer kit;
    EXPECT_EQ(kept(kit), 0u);
    kit.fillInternalKit(48000.0);
    ASSERT_GT(soundBytes(kit), 0u);
    EXPECT_EQ(kept(kit), soundBytes(kit));
    kit.fillInternalKit(44100.0); // shorter sounds
    EXPECT_EQ(kept(kit), soundBytes(kit));
    kit.fillBufferToPlayInternalDrumKit(96000.0, Batto::Kick); // one sound, longer
    EXPECT_EQ(kept(kit), soundBytes(kit));

    KitSamplePlayer other;
    other.takeSoundsFrom(kit);
    EXPECT_EQ(kept(kit), 0u);
    EXPECT_EQ(kept(other), soundBytes(other));
}

TEST(InternalKit, EmbeddedSoundsAreStereo16Bit44100AndStartAtOnce)
{
    juce::WavAudioFormat wav;
    for (int v = 0; v < voices; ++v)
    {
        const char* name = KitSamplePlayer::internalKitResourceName(static_cast<Batto::Percu>(v));
        int size = 0;
        const char* data = BinaryData::getNamedResource(name, size);
        ASSERT_TRUE(data != nullptr) << name;
        std::unique_ptr<juce::AudioFormatReader> reader(
            wav.createReaderFor(new juce::MemoryInputStream(data, static_cast<size_t>(size), false), true));
        ASSERT_NE(reader, nullptr) << name;
        EXPECT_EQ(reader->sampleRate, 44100.0) << name;
        EXPECT_EQ(reader->bitsPerSample, 16u) << name;
        EXPECT_EQ(reader->numChannels, 2u) << name;
        EXPECT_FALSE(reader->usesFloatingPointData) << name;

        juce::AudioBuffer<float> sound(2, static_cast<int>(reader->lengthInSamples));
        reader->read(&sound, 0, sound.getNumSamples(), 0, true, true);
        EXPECT_GT(sound.getMagnitude(0, 44), 0.01f) << name << " sounds within its first millisecond";
        const int last = sound.getNumSamples() - 1;
        EXPECT_EQ(sound.getSample(0, last), 0.0f) << name << " fades to exact silence";
        EXPECT_EQ(sound.getSample(1, last), 0.0f) << name << " fades to exact silence";
    }
}

// The mix has no limiter: the sounds' own level keeps the loudest hits below full scale at
// volume 1, also after resampling (which may raise a peak a little).
TEST(InternalKit, TheLoudestHitsTogetherStayBelowFullScaleAtVolumeOne)
{
    for (const double rate : {44100.0, 48000.0, 96000.0})
    {
        KitSamplePlayer kit;
        kit.fillInternalKit(rate);
        // A crash, the kick and the snare with the open hi-hat ringing: wherever each one is
        // in its sound, their peaks together stay below full scale.
        for (const Batto::Percu crash : {Batto::Crash, Batto::Crash2})
            for (int channel = 0; channel < 2; ++channel)
            {
                float peaks = 0.0f;
                for (const Batto::Percu voice : {crash, Batto::Kick, Batto::Snare, Batto::OHH})
                    peaks += kit.kitBuffers[voice][0].getMagnitude(channel, 0, kit.kitBuffers[voice][0].getNumSamples());
                EXPECT_LT(peaks, 1.0f) << rate << " Hz, crash " << crash << ", channel " << channel;
            }

        // The densest case: all ten voices at velocity 127 on one sample.
        Voices state;
        for (int v = 0; v < voices; ++v)
            state.hit(kit, static_cast<Batto::Percu>(v), 0, 127);
        float peak = 0.0f;
        auto block = silentBlock(2, 512);
        for (int blockIndex = 0; blockIndex < 1000 && std::any_of(std::begin(state.velocity), std::end(state.velocity),
                                                                   [](int velocity) { return velocity != 0; });
             ++blockIndex)
        {
            block.clear();
            kit.mixVoices(block, 512, state.velocity, state.position, 1.0);
            state.advance(512);
            peak = std::max({peak, block.getMagnitude(0, 0, 512), block.getMagnitude(1, 0, 512)});
        }
        EXPECT_GT(peak, 0.5f) << rate << " Hz";
        EXPECT_LT(peak, 1.0f) << rate << " Hz: all ten voices at 127 clip";
    }
}

TEST(InternalKit, LoadsEveryVoiceAtTheFileRateOrResampled)
{
    juce::WavAudioFormat wav;
    for (const double rate : {44100.0, 48000.0, 96000.0})
    {
        KitSamplePlayer kit;
        kit.fillInternalKit(rate);
        EXPECT_EQ(kit.kitLayerCount, 1);
        for (int v = 0; v < voices; ++v)
        {
            int size = 0;
            const char* data = BinaryData::getNamedResource(
                KitSamplePlayer::internalKitResourceName(static_cast<Batto::Percu>(v)), size);
            std::unique_ptr<juce::AudioFormatReader> reader(wav.createReaderFor(
                new juce::MemoryInputStream(data, static_cast<size_t>(size), false), true));
            const auto fileLength = reader->lengthInSamples;
            const auto& sound = kit.kitBuffers[v][0];
            const auto expected =
                rate == 44100.0 ? fileLength : static_cast<juce::int64>(fileLength * rate / 44100.0 + 1);
            EXPECT_EQ(sound.getNumSamples(), expected) << v << " at " << rate;
            EXPECT_EQ(sound.getNumChannels(), 2);
            if (rate == 44100.0)
            {
                juce::AudioBuffer<float> file(2, static_cast<int>(fileLength));
                reader->read(&file, 0, file.getNumSamples(), 0, true, true);
                for (int s = 0; s < file.getNumSamples(); s += 97)
                    ASSERT_EQ(sound.getSample(1, s), file.getSample(1, s))
                        << "no resampling at the file's rate";
            }
        }
    }
}
