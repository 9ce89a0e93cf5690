#pragma once

#include "BattoStandAloneApplication.h"
#include "ProcessorSoundSources.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

// A home folder of the test's own (HOME and XDG_CONFIG_HOME point into it while it lives),
// so that the application's settings never touch the real ones.
class TemporaryHome
{
public:
    TemporaryHome();
    ~TemporaryHome();

    juce::File settingsFile() const; // where the application keeps its settings
    juce::File folder;

private:
    std::string previousHome, previousConfig;
};

// An audio device that plays only when the test asks: each runBlock calls the device
// manager's callback on the test's thread with four outputs at 48 kHz, 64 frames a block.
class TestAudioDevice : public juce::AudioIODevice
{
public:
    static constexpr double rate = 48000.0;
    static constexpr int blockSize = 64;
    static constexpr int outputs = 4;

    TestAudioDevice();
    ~TestAudioDevice() override;

    juce::StringArray getOutputChannelNames() override;
    juce::StringArray getInputChannelNames() override;
    juce::Array<double> getAvailableSampleRates() override;
    juce::Array<int> getAvailableBufferSizes() override;
    int getDefaultBufferSize() override;
    juce::String open(const juce::BigInteger& inputs, const juce::BigInteger& outputs, double sampleRate,
                      int bufferSize) override;
    void close() override;
    bool isOpen() override;
    void start(juce::AudioIODeviceCallback* callback) override;
    void stop() override;
    bool isPlaying() override;
    juce::String getLastError() override;
    int getCurrentBufferSizeSamples() override;
    double getCurrentSampleRate() override;
    int getCurrentBitDepth() override;
    juce::BigInteger getActiveOutputChannels() const override;
    juce::BigInteger getActiveInputChannels() const override;
    int getOutputLatencyInSamples() override;
    int getInputLatencyInSamples() override;

    // One block through the callback; the outputs are in `output` afterwards.
    void runBlock();
    juce::AudioBuffer<float> output{outputs, blockSize};

    static TestAudioDevice* current; // the device the manager opened last

private:
    juce::BigInteger activeOutputs;
    bool opened = false;
    juce::AudioIODeviceCallback* callback = nullptr;
};

class TestAudioDeviceType : public juce::AudioIODeviceType
{
public:
    TestAudioDeviceType();
    void scanForDevices() override;
    juce::StringArray getDeviceNames(bool wantInputNames) const override;
    int getDefaultDeviceIndex(bool forInput) const override;
    int getIndexOfDevice(juce::AudioIODevice* device, bool asInput) const override;
    bool hasSeparateInputsAndOutputs() const override;
    juce::AudioIODevice* createDevice(const juce::String& outputName, const juce::String& inputName) override;
};

// Sound sources that record what the application asks of them.
struct RecordingSoundSources : KeptPathsOnly
{
    void chooseExternalPlugin() override
    {
        calls.push_back("choose");
    }
    bool hasExternalPlugin() const override
    {
        return pluginLoaded;
    }
    void recordBattokit() override
    {
        calls.push_back("record");
    }
    void loadBattokit() override
    {
        calls.push_back("load");
    }
    std::vector<std::string> calls;
    bool pluginLoaded = false;
};

// The application's own sound sources, with the dialogs answered by the test: the folder to
// record a kit into and the kit folder to load (empty: the user cancels). What the user would
// be told is kept.
struct AnsweringSoundSources : ProcessorSoundSources
{
    using ProcessorSoundSources::ProcessorSoundSources;
    juce::File askWhereToRecord() override
    {
        return recordInto;
    }
    bool chooseBattokitFolder() override
    {
        if (kitToLoad == juce::File())
            return false;
        processor.setBattokitPath(kitToLoad);
        return true;
    }
    void tell(const juce::String& title, const juce::String& message, bool) override
    {
        told.add(title + ": " + message);
    }
    juce::File recordInto, kitToLoad;
    juce::StringArray told;
};

// Cancels every modal dialog that opens while it lives (the plug-in chooser that the editor
// opens for the external sound with no plug-in), and counts them.
struct DialogCanceller : juce::Timer
{
    DialogCanceller()
    {
        startTimer(20);
    }
    ~DialogCanceller() override
    {
        stopTimer();
    }
    void timerCallback() override
    {
        if (juce::ModalComponentManager::getInstance()->cancelAllModalComponents())
            ++cancelled;
    }
    int cancelled = 0;
};

// The application as the tests run it: in this process, with the test device offered,
// recording sound sources, and quit requests counted instead of ending the message loop.
class TestApplication : public BattoStandAloneApplication
{
public:
    // With realSoundSources, the application's own (the processor plays the instrument plug-in
    // and kit folders) instead of recording ones.
    explicit TestApplication(bool offerTestDevice = true, bool realSoundSources = false);

    void systemRequestedQuit() override;
    int quitRequests = 0;

    void start();  // initialise
    void finish(); // shutdown

    RecordingSoundSources* sources = nullptr;
    AnsweringSoundSources* realSources = nullptr; // with realSoundSources

protected:
    void prepareDeviceManager(juce::AudioDeviceManager& manager) override;
    std::unique_ptr<ExternalSoundSources> createExternalSoundSources() override;

private:
    bool offerTestDevice;
    bool realSoundSources;
};

// Starts an application on the settings file as it is, and shuts it down at the end.
struct RunningApplication
{
    explicit RunningApplication(bool offerTestDevice = true, bool realSoundSources = false);
    ~RunningApplication();
    void finish();
    BattoAudioProcessor& processor();
    AudioProcessorWITHMidiInFilter& filter();
    VexStandAloneApplication::MainWindow& mainWindow();

    TestApplication application;
    bool finished = false;
};

// Settings that open the test device.
void writeTestDeviceState(const juce::File& settingsFile);
// Adds these values to the settings file (made if missing).
void writeSettings(const juce::File& settingsFile,
                   const std::vector<std::pair<juce::String, juce::String>>& values);
juce::PropertiesFile readSettings(const juce::File& settingsFile);
