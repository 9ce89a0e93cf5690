#pragma once

// Support for the tests of the drummer's sound outputs: the VST3 instrument that the tests
// build (tests/sound/instrument), temporary folders, kit files and a processor whose dialogs
// answer by themselves.

#include "TemporaryFolder.h"
#include "BattoAudioProcessor.h"
#include "ExternalPluginWindowOwner.h"
#include "ProcessorTestSupport.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

// The bundle of the test instrument: its library lies in <bundle>/Contents/<arch>/.
inline juce::File testInstrumentBundle()
{
    return juce::File(BATTO_TEST_INSTRUMENT_LIBRARY).getParentDirectory().getParentDirectory().getParentDirectory();
}

// The test instrument's sound: a note-on of `note` at velocity v starts a ramp from
// v / 127 × gain down to 0 over lengthOf(note) samples; the right channel is half the left.
namespace TestInstrument
{
inline int lengthOf(int note)
{
    return 1000 + 10 * note;
}
inline float sampleOf(int note, int velocity, int frame, float gain = 1.0f)
{
    if (frame < 0 || frame >= lengthOf(note))
        return 0.0f;
    return velocity / 127.0f * gain * (1.0f - static_cast<float>(frame) / static_cast<float>(lengthOf(note)));
}
// Sets one of its parameters, "gain" (0..1) or "drone" (0 or 1: never falls silent), as a
// host does.
inline void setParameter(juce::AudioPluginInstance& instrument, const juce::String& name, float value)
{
    for (auto* parameter : instrument.getParameters())
        if (parameter->getName(32) == name)
        {
            parameter->setValueNotifyingHost(value);
            return;
        }
    ADD_FAILURE() << "the instrument has no parameter " << name;
}
inline float parameter(juce::AudioPluginInstance& instrument, const juce::String& name)
{
    for (auto* parameter : instrument.getParameters())
        if (parameter->getName(32) == name)
            return parameter->getValue();
    ADD_FAILURE() << "the instrument has no parameter " << name;
    return -1.0f;
}
} // namespace TestInstrument

// Writes a WAV file with `channels` channels of `frames` frames; sample s of channel c is
// value(c, s).
inline void writeWav(const juce::File& file, double sampleRate, int channels, int frames,
                     const std::function<float(int, int)>& value, int bits = 24)
{
    juce::AudioBuffer<float> audio(channels, frames);
    for (int c = 0; c < channels; ++c)
        for (int s = 0; s < frames; ++s)
            audio.setSample(c, s, value(c, s));
    file.deleteFile();
    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatWriter> writer(
        wav.createWriterFor(new juce::FileOutputStream(file), sampleRate, static_cast<unsigned>(channels), bits, {}, 0));
    ASSERT_NE(writer, nullptr);
    ASSERT_TRUE(writer->writeFromAudioSampleBuffer(audio, 0, frames));
}

// The plug-in's chooser and window with the dialogs answered by the test: the chooser gives
// `fileToChoose` (cancelled when empty), a bundle's pick is `pick` (-1 cancels), and failures
// are kept.
class TestPluginWindows : public ExternalPluginWindowOwner
{
public:
    using ExternalPluginWindowOwner::ExternalPluginWindowOwner;

    juce::File askForPluginFile() override
    {
        ++fileDialogs;
        return fileToChoose;
    }
    int askWhichPlugin(const std::vector<ExternalPluginLoader::Choice>& choices) override
    {
        offered = static_cast<int>(choices.size());
        return pick;
    }
    void reportPluginLoadFailure(const juce::String& message) override
    {
        failures.add(message);
    }

    juce::File fileToChoose;
    int pick = -1;
    int fileDialogs = 0;
    int offered = 0;
    juce::StringArray failures;
};

// The standalone processor with its dialogs answered by the test: ChooseBattokit picks
// `folderToChoose` (or is cancelled when it is empty); the plug-in's dialogs are
// TestPluginWindows.
class TestProcessor : public BattoAudioProcessor
{
public:
    explicit TestProcessor(int kit = kitInternal) : BattoAudioProcessor(settingsWith(kit)) {}

    bool ChooseBattokit() override
    {
        ++choices;
        if (folderToChoose == juce::File())
            return false;
        setBattokitPath(folderToChoose);
        return true;
    }

    std::unique_ptr<ExternalPluginWindowOwner> createExternalPluginWindowOwner() override
    {
        return std::make_unique<TestPluginWindows>(*this);
    }

    TestPluginWindows& pluginWindows()
    {
        return static_cast<TestPluginWindows&>(*GetExternalPluginWindowOwner());
    }

    juce::File folderToChoose;
    int choices = 0;

private:
    static Settings settingsWith(int kit)
    {
        Settings settings;
        settings.drumKit = kit;
        return settings;
    }
};

// The started drummer's performance over `blocks` blocks of `driver` (already prepared): the
// audio, and the drum note-ons with their samples. The note-ons come from a twin that plays
// the same performance with no plug-in loaded: a plug-in may keep the block's MIDI for itself.
struct Performance
{
    struct NoteOn
    {
        long long sample;
        int note;
        int velocity;
    };
    std::vector<NoteOn> notes;
    juce::AudioBuffer<float> audio;
};

inline Performance playStarted(BattoAudioProcessor& processor, BlockDriver& driver, double rate, int blockSize,
                               int blocks, int channels = 2)
{
    TestProcessor twin(BattoAudioProcessor::kitExternalPlugin);
    BlockDriver twinDriver(twin, rate, blockSize, channels);
    Performance result;
    result.audio.setSize(channels, blocks * blockSize);
    result.audio.clear();
    processor.start();
    twin.start();
    for (int block = 0; block < blocks; ++block)
    {
        driver.run(blockSize);
        for (const auto event : twinDriver.run(blockSize))
            if (event.numBytes == 3 && event.data[0] == 0x99)
                result.notes.push_back({static_cast<long long>(block) * blockSize + event.samplePosition,
                                        event.data[1], event.data[2]});
        for (int c = 0; c < channels; ++c)
            result.audio.copyFrom(c, block * blockSize, driver.audio, c, 0, blockSize);
    }
    processor.stop();
    return result;
}

// Hosts needs JUCE's message manager (VST3 hosting asks for the message thread).
class JuceEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        juce = std::make_unique<juce::ScopedJuceInitialiser_GUI>();
    }
    void TearDown() override
    {
        juce.reset();
    }

private:
    std::unique_ptr<juce::ScopedJuceInitialiser_GUI> juce;
};
