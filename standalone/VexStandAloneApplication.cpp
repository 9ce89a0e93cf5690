#include "VexStandAloneApplication.h"

#include "AudioProcessorWITHMidiInFilter.h"
#include "JackAudioDevice.h"
#include "MainComponent.h"
#include "MyAudioProcessorPlayer.h"
#include "QuitSignals.h"
#include "SettingsValues.h"
#include "VexStandAloneApplicationMainWindow.h"

#include <cstdio>

const char* const VexStandAloneApplication::filterMidiChannelKey = "filter_midi_chanel";
const char* const VexStandAloneApplication::midiChannelKey = "midi_chanel";
const char* const VexStandAloneApplication::filterMidiRangeKey = "filter_midi_range";
const char* const VexStandAloneApplication::highestNoteKey = "highest_note";
const char* const VexStandAloneApplication::lowestNoteKey = "lowest_note";
const char* const VexStandAloneApplication::audioDeviceStateKey = "audioDeviceState";

// Asks the application for its settings' values a few times a second (message thread).
class VexStandAloneApplication::SettingsFollower : private juce::Timer
{
public:
    static constexpr int intervalMs = 250;

    explicit SettingsFollower(VexStandAloneApplication& applicationToFollow) : application(applicationToFollow)
    {
        startTimer(intervalMs);
    }

    ~SettingsFollower() override
    {
        stopTimer();
    }

private:
    void timerCallback() override
    {
        application.writeSettingsValues();
    }

    VexStandAloneApplication& application;
};

VexStandAloneApplication::VexStandAloneApplication() = default;

VexStandAloneApplication::~VexStandAloneApplication()
{
    settingsFollower.reset();
    // Normally shutdown has let everything go already. Otherwise the devices close before
    // the player they call goes.
    deleteWindowAndDevices();
    appProperties.reset();
}

bool VexStandAloneApplication::moreThanOneInstanceAllowed()
{
    return true;
}

juce::PropertiesFile::Options
VexStandAloneApplication::settingsFileOptions(const juce::String& applicationName)
{
    juce::PropertiesFile::Options options;
    options.applicationName = applicationName;
    options.filenameSuffix = "settings";
    options.folderName = {};
    options.osxLibrarySubFolder = "Preferences";
    options.commonToAllUsers = false;
    options.ignoreCaseOfKeyNames = false;
    options.doNotSave = false;
    // Saved this long after the last change of a key: the changes of a slider's drag are
    // written once, and little is lost when the program does not end normally.
    options.millisecondsBeforeSaving = 1000;
    options.storageFormat = juce::PropertiesFile::storeAsXML;
    options.processLock = nullptr;
    return options;
}

void VexStandAloneApplication::initialise(const juce::String&)
{
    if (juce::Desktop::getInstance().getDisplays().getPrimaryDisplay() == nullptr)
    {
        std::fprintf(stderr, "%s needs a graphical display, and none was found (is DISPLAY set?).\n",
                     getApplicationName().toRawUTF8());
        setApplicationReturnValue(1);
        quit();
        return;
    }
    // Ctrl+C, a closed terminal or the end of the session quit as "Exit" does.
    quitSignals = std::make_unique<QuitSignals>(
        [this]
        {
            systemRequestedQuit();
        });

    appProperties = std::make_unique<juce::ApplicationProperties>();
    appProperties->setStorageParameters(settingsFileOptions(getApplicationName()));
    deviceManager = std::make_unique<StandaloneDeviceManager>(getApplicationName());
    prepareDeviceManager(*deviceManager);
    openAudioDevice();

    player = std::make_unique<MyAudioProcessorPlayer>();
    deviceManager->addAudioCallback(player.get());
    enableEveryMidiInput();

    createVexProcessor();
    readMidiInFilterSettings();
    createMainWindow();
    connectMidiInput();
    registerCommands();
    settingsFollower = std::make_unique<SettingsFollower>(*this);
}

void VexStandAloneApplication::prepareDeviceManager(juce::AudioDeviceManager&)
{
}

void VexStandAloneApplication::openAudioDevice()
{
    const auto savedState = getSettings()->getValue(audioDeviceStateKey);
    const auto parsed = juce::parseXML(savedState);
    const bool usable = parsed != nullptr && parsed->getTagName().equalsIgnoreCase("DEVICESETUP");
    // Falls back to the default device when the saved one cannot be opened; a machine with
    // no device at all starts with none, and the device window says so.
    deviceOpeningError = deviceManager->initialise(0, GetNumOutputs(), usable ? parsed.get() : nullptr, true);
}

void VexStandAloneApplication::enableEveryMidiInput()
{
    // Each device by its own identifier, so that two keyboards of the same make both play.
    for (const auto& device : juce::MidiInput::getAvailableDevices())
        deviceManager->setMidiInputDeviceEnabled(device.identifier, true);
}

void VexStandAloneApplication::readMidiInFilterSettings()
{
    auto* filter = GetAudioProcessorWithMidiInFilter();
    if (filter == nullptr)
        return;
    const SettingsValues values(*getSettings());
    filter->channelFilterOn = values.getBool(filterMidiChannelKey, false);
    filter->midiInChannel = values.getInt(midiChannelKey, 1);
    filter->noteRangeFilterOn = values.getBool(filterMidiRangeKey, false);
    filter->highestNote = values.getNote(highestNoteKey, 127);
    filter->lowestNote = values.getNote(lowestNoteKey, 0);
}

void VexStandAloneApplication::writeMidiInFilterSettings()
{
    auto* filter = GetAudioProcessorWithMidiInFilter();
    if (filter == nullptr)
        return;
    auto& settings = *getSettings();
    settings.setValue(filterMidiChannelKey, filter->channelFilterOn.load());
    settings.setValue(midiChannelKey, filter->midiInChannel.load());
    settings.setValue(filterMidiRangeKey, filter->noteRangeFilterOn.load());
    settings.setValue(highestNoteKey, filter->highestNote.load());
    settings.setValue(lowestNoteKey, filter->lowestNote.load());
}

void VexStandAloneApplication::connectMidiInput()
{
    auto* content = getMainComponent();
    auto* callback = content != nullptr ? content->GetMidiInputCallbackIfAny() : nullptr;
    deviceManager->addMidiInputDeviceCallback({}, callback != nullptr ? callback : player.get());
}

void VexStandAloneApplication::registerCommands()
{
    mainWindow->setApplicationCommandManagerToWatch(this);
    registerAllCommandsForTarget(mainWindow.get());
    getKeyMappings()->resetToDefaultMappings();
}

void VexStandAloneApplication::shutdown()
{
    settingsFollower.reset();
    if (appProperties == nullptr)
        return; // start-up never got as far as the settings
    VexStandAloneApplication::writeSettingsValues();
    saveSettingsFile();
    deleteWindowAndDevices();
    appProperties.reset();
    quitSignals.reset();
}

void VexStandAloneApplication::writeSettingsValues()
{
    writeMidiInFilterSettings();
    const auto deviceState = deviceManager->createStateXml();
    getSettings()->setValue(audioDeviceStateKey,
                            deviceState != nullptr ? deviceState->toString(
                                juce::XmlElement::TextFormat().singleLine().withoutHeader())
                                                   : juce::String());
}

void VexStandAloneApplication::saveSettingsFile()
{
    // Written to a temporary file beside it that then replaces it: a failed or interrupted
    // write leaves the previous settings whole.
    if (!appProperties->saveIfNeeded())
        std::fprintf(stderr, "Batto: the settings could not be saved to %s\n",
                     getSettings()->getFile().getFullPathName().toRawUTF8());
}

void VexStandAloneApplication::deleteWindowAndDevices()
{
    mainWindow.reset();
    if (deviceManager != nullptr && player != nullptr)
    {
        deviceManager->removeMidiInputDeviceCallback({}, player.get());
        deviceManager->removeAudioCallback(player.get());
    }
    deviceManager.reset();
    player.reset();
}

void VexStandAloneApplication::anotherInstanceStarted(const juce::String&)
{
}

void VexStandAloneApplication::systemRequestedQuit()
{
    quit();
}

juce::ApplicationCommandTarget* VexStandAloneApplication::getNextCommandTarget()
{
    return mainWindow.get();
}

int VexStandAloneApplication::GetNumOutputs()
{
    return 2;
}

juce::AudioDeviceManager* VexStandAloneApplication::getDeviceManager() const
{
    return deviceManager.get();
}

const juce::String& VexStandAloneApplication::getDeviceOpeningError() const
{
    return deviceOpeningError;
}

VexStandAloneApplication::MainWindow* VexStandAloneApplication::getMainWindow() const
{
    return mainWindow.get();
}

juce::PropertiesFile* VexStandAloneApplication::getSettings() const
{
    return appProperties != nullptr ? appProperties->getUserSettings() : nullptr;
}

MyAudioProcessorPlayer* VexStandAloneApplication::getPlayer() const
{
    return player.get();
}

MainComponent* VexStandAloneApplication::getMainComponent() const
{
    return mainWindow != nullptr ? dynamic_cast<MainComponent*>(mainWindow->getContentComponent()) : nullptr;
}
