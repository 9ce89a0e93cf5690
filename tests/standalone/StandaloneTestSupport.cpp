#include "StandaloneTestSupport.h"

#include "AudioProcessorWITHMidiInFilter.h"
#include "VexStandAloneApplicationMainWindow.h"

#include <cstdlib>

namespace
{
std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

void restore(const char* name, const std::string& value)
{
    if (value.empty())
        unsetenv(name);
    else
        setenv(name, value.c_str(), 1);
}
} // namespace

TemporaryHome::TemporaryHome()
    : previousHome(environment("HOME")), previousConfig(environment("XDG_CONFIG_HOME"))
{
    char path[] = "/tmp/batto-standalone-test-XXXXXX";
    if (mkdtemp(path) == nullptr)
        throw std::runtime_error("no temporary folder");
    folder = juce::File(path);
    setenv("HOME", path, 1);
    setenv("XDG_CONFIG_HOME", folder.getChildFile(".config").getFullPathName().toRawUTF8(), 1);
}

TemporaryHome::~TemporaryHome()
{
    restore("HOME", previousHome);
    restore("XDG_CONFIG_HOME", previousConfig);
    folder.deleteRecursively();
}

juce::File TemporaryHome::settingsFile() const
{
    return VexStandAloneApplication::settingsFileOptions("Batto").getDefaultFile();
}

//==============================================================================
TestAudioDevice* TestAudioDevice::current = nullptr;

TestAudioDevice::TestAudioDevice() : juce::AudioIODevice("Test outputs", "Test")
{
}

TestAudioDevice::~TestAudioDevice()
{
    close();
    if (current == this)
        current = nullptr;
}

juce::StringArray TestAudioDevice::getOutputChannelNames()
{
    return {"out 1", "out 2", "out 3", "out 4"};
}

juce::StringArray TestAudioDevice::getInputChannelNames()
{
    return {};
}

juce::Array<double> TestAudioDevice::getAvailableSampleRates()
{
    return {rate};
}

juce::Array<int> TestAudioDevice::getAvailableBufferSizes()
{
    return {blockSize};
}

int TestAudioDevice::getDefaultBufferSize()
{
    return blockSize;
}

juce::String TestAudioDevice::open(const juce::BigInteger&, const juce::BigInteger& outputsWanted, double,
                                   int)
{
    activeOutputs = outputsWanted;
    activeOutputs.setRange(outputs, 64, false);
    opened = true;
    current = this;
    return {};
}

void TestAudioDevice::close()
{
    stop();
    opened = false;
}

bool TestAudioDevice::isOpen()
{
    return opened;
}

void TestAudioDevice::start(juce::AudioIODeviceCallback* newCallback)
{
    if (newCallback != nullptr)
        newCallback->audioDeviceAboutToStart(this);
    callback = newCallback;
}

void TestAudioDevice::stop()
{
    if (auto* old = std::exchange(callback, nullptr))
        old->audioDeviceStopped();
}

bool TestAudioDevice::isPlaying()
{
    return callback != nullptr;
}

juce::String TestAudioDevice::getLastError()
{
    return {};
}

int TestAudioDevice::getCurrentBufferSizeSamples()
{
    return blockSize;
}

double TestAudioDevice::getCurrentSampleRate()
{
    return rate;
}

int TestAudioDevice::getCurrentBitDepth()
{
    return 32;
}

juce::BigInteger TestAudioDevice::getActiveOutputChannels() const
{
    return activeOutputs;
}

juce::BigInteger TestAudioDevice::getActiveInputChannels() const
{
    return {};
}

int TestAudioDevice::getOutputLatencyInSamples()
{
    return 0;
}

int TestAudioDevice::getInputLatencyInSamples()
{
    return 0;
}

void TestAudioDevice::runBlock()
{
    const int channels = activeOutputs.countNumberOfSetBits();
    output.setSize(outputs, blockSize);
    output.clear();
    std::vector<float*> pointers;
    for (int channel = 0; channel < channels; ++channel)
        pointers.push_back(output.getWritePointer(channel));
    if (callback != nullptr)
        callback->audioDeviceIOCallbackWithContext(nullptr, 0, pointers.data(), channels, blockSize, {});
}

//==============================================================================
TestAudioDeviceType::TestAudioDeviceType() : juce::AudioIODeviceType("Test")
{
}

void TestAudioDeviceType::scanForDevices()
{
}

juce::StringArray TestAudioDeviceType::getDeviceNames(bool wantInputNames) const
{
    return wantInputNames ? juce::StringArray() : juce::StringArray{"Test outputs"};
}

int TestAudioDeviceType::getDefaultDeviceIndex(bool forInput) const
{
    return forInput ? -1 : 0;
}

int TestAudioDeviceType::getIndexOfDevice(juce::AudioIODevice* device, bool asInput) const
{
    return device != nullptr && !asInput ? 0 : -1;
}

bool TestAudioDeviceType::hasSeparateInputsAndOutputs() const
{
    return false;
}

juce::AudioIODevice* TestAudioDeviceType::createDevice(const juce::String& outputName, const juce::String&)
{
    return outputName == "Test outputs" || outputName.isEmpty() ? new TestAudioDevice() : nullptr;
}

//==============================================================================
TestApplication::TestApplication(bool offer, bool real) : offerTestDevice(offer), realSoundSources(real)
{
}

void TestApplication::systemRequestedQuit()
{
    ++quitRequests;
}

void TestApplication::start()
{
    initialise({});
}

void TestApplication::finish()
{
    shutdown();
}

std::unique_ptr<ExternalSoundSources> TestApplication::createExternalSoundSources()
{
    if (realSoundSources)
    {
        auto made = std::make_unique<AnsweringSoundSources>(*getProcessor());
        realSources = made.get();
        return made;
    }
    auto made = std::make_unique<RecordingSoundSources>();
    sources = made.get();
    return made;
}

void TestApplication::prepareDeviceManager(juce::AudioDeviceManager& manager)
{
    if (offerTestDevice)
        manager.addAudioDeviceType(std::make_unique<TestAudioDeviceType>());
}

void writeTestDeviceState(const juce::File& settingsFile)
{
    writeSettings(settingsFile,
                  {{"audioDeviceState", "<DEVICESETUP deviceType=\"Test\" audioOutputDeviceName=\"Test "
                                        "outputs\" audioDeviceRate=\"48000.0\" "
                                        "audioDeviceBufferSize=\"64\"/>"}});
}

void writeSettings(const juce::File& settingsFile,
                   const std::vector<std::pair<juce::String, juce::String>>& values)
{
    auto options = VexStandAloneApplication::settingsFileOptions("Batto");
    juce::PropertiesFile file(settingsFile, options);
    for (const auto& [key, value] : values)
        file.setValue(key, value);
    file.saveIfNeeded();
}

juce::PropertiesFile readSettings(const juce::File& settingsFile)
{
    return juce::PropertiesFile(settingsFile, VexStandAloneApplication::settingsFileOptions("Batto"));
}

RunningApplication::RunningApplication(bool offerTestDevice, bool realSoundSources)
    : application(offerTestDevice, realSoundSources)
{
    application.start();
}

RunningApplication::~RunningApplication()
{
    if (!finished)
        finish();
}

void RunningApplication::finish()
{
    application.finish();
    finished = true;
}

BattoAudioProcessor& RunningApplication::processor()
{
    return *application.getProcessor();
}

AudioProcessorWITHMidiInFilter& RunningApplication::filter()
{
    return *application.GetAudioProcessorWithMidiInFilter();
}

VexStandAloneApplication::MainWindow& RunningApplication::mainWindow()
{
    return *application.getMainWindow();
}
