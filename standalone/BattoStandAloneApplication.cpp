#include "BattoStandAloneApplication.h"

#include "BattoAudioProcessorWithJackMidiIn.h"
#include "BattoMidiProcessor.h"
#include "BattoStandAloneWindows.h"
#include "JackAudioDevice.h"
#include "MainComponent.h"
#include "MyAudioProcessorPlayer.h"
#include "ProcessorSoundSources.h"
#include "SettingsValues.h"
#include "StandaloneTakes.h"

BattoStandAloneApplication::BattoStandAloneApplication() = default;

BattoStandAloneApplication::~BattoStandAloneApplication()
{
    // Normally shutdown has let the devices go already; otherwise they go first, as the
    // processor and the MIDI thread must outlive every device thread that calls them.
    stopFollowingDevices();
    deleteWindowAndDevices();
    metronomeWindow.reset();
    endTakes();
    midiProcessor.reset();
    processor.reset();
}

void BattoStandAloneApplication::endTakes()
{
    if (takes == nullptr)
        return;
    takes->finish(); // the devices are gone: the take in progress ends here
    processor->setTakeRecorder(nullptr);
    takes.reset();
}

const juce::String BattoStandAloneApplication::getApplicationName()
{
    return "Batto";
}

const juce::String BattoStandAloneApplication::getApplicationVersion()
{
    return "2.0.0";
}

int BattoStandAloneApplication::GetNumOutputs()
{
    return 4; // drums on outputs 1 and 2, metronome clicks on 3 and 4
}

AudioProcessorWITHMidiInFilter* BattoStandAloneApplication::GetAudioProcessorWithMidiInFilter()
{
    return processor.get();
}

void BattoStandAloneApplication::createVexProcessor()
{
    auto& settings = *getSettings();
    const SettingsValues values(settings);
    processor = std::make_unique<BattoAudioProcessorWithJackMidiIn>(readProcessorSettings(settings));
    takes = std::make_unique<StandaloneTakes>(*processor, settings);
    processor->setTakeRecorder(&takes->recorder);
    takes->start();

    externalPluginOwner = createExternalSoundSources();
    externalPluginOwner->setBattokitPath(values.getString(BATTOKIT_PATH, {}));
    externalPluginOwner->loadExternalPluginAtStart(values.getString(externalPluginRef, {}),
                                                   GetExternalPluginStateInformationFile(),
                                                   processor->IsExternalPluginSelected());

    midiProcessor = std::make_unique<BattoMidiProcessor>(processor.get());
    processor->midiThread = midiProcessor.get();
    processor->midiThreadEngine = midiProcessor.get();
    deviceManager->addMidiInputDeviceCallback({}, midiProcessor.get());

    processor->setClickVolume(values.getDouble(METRONOMEVOLUME, 0.0));
    auto* clickVolumeOwner = processor.get();
    metronomeWindow = std::make_unique<MetronomeDocumentWindow>(processor->getClickVolume(),
                                                                [clickVolumeOwner](double volume)
                                                                {
                                                                    clickVolumeOwner->setClickVolume(volume);
                                                                });
}

void BattoStandAloneApplication::createMainWindow()
{
    auto window = std::make_unique<BattoMainWindow>(getApplicationName(), *this, externalPluginOwner.get(),
                                                    metronomeWindow.get());
    auto* content = new MainComponent(*processor);
    if (auto* editor = content->getEditor())
        content->setSize(editor->getWidth(),
                         editor->getHeight() + window->getLookAndFeel().getDefaultMenuBarHeight());
    window->showWithContent(content, processor.get());
    mainWindow = std::move(window);

    // Audio flows through the processor from here on. The player prepares it while holding
    // the lock that its audio callback waits for: the processor is prepared for the device
    // first, so that the player's preparation only repeats it and keeps the sounds (a kit
    // folder's decoding, an instrument's preparation) out of the device's audio thread's way.
    if (auto* device = deviceManager->getCurrentAudioDevice())
    {
        const double rate = device->getCurrentSampleRate();
        const int blockSize = device->getCurrentBufferSizeSamples();
        processor->setRateAndBufferSizeDetails(rate, blockSize);
        processor->prepareToPlay(rate, blockSize);
    }
    // The devices are followed from now: where the MIDI comes from and where the drum notes go.
    player->setProcessor(processor.get());
    deviceManager->addChangeListener(this);
    followAudioDevice();
    followDefaultMidiOutput();
}

void BattoStandAloneApplication::shutdown()
{
    if (processor == nullptr)
        return; // start-up never got as far as the processor
    writeProcessorSettings(*getSettings(), *processor, externalPluginOwner->getBattokitPath());
    processor->editorBeingDeleted(processor->getActiveEditor());
    externalPluginOwner->saveExternalPluginState(GetExternalPluginStateInformationFile());
    getSettings()->setValue(externalPluginRef, externalPluginOwner->getExternalPluginPath());

    // The MIDI thread stops playing before its output and input go away with the devices.
    stopFollowingDevices();
    midiProcessor->stopThread(-1);
    midiProcessor->setDrumNoteOutput(nullptr);
    VexStandAloneApplication::shutdown();
    midiDeviceOutput.reset();
    endTakes();

    midiProcessor.reset();
    processor.reset();
}

void BattoStandAloneApplication::writeSettingsValues()
{
    if (processor == nullptr)
        return;
    writeProcessorSettings(*getSettings(), *processor, externalPluginOwner->getBattokitPath());
    // With no plug-in loaded the path read at start stays (shut-down decides what to keep).
    if (const auto pluginPath = externalPluginOwner->getExternalPluginPath(); pluginPath.isNotEmpty())
        getSettings()->setValue(externalPluginRef, pluginPath);
    VexStandAloneApplication::writeSettingsValues();
}

std::unique_ptr<ExternalSoundSources> BattoStandAloneApplication::createExternalSoundSources()
{
    return std::make_unique<ProcessorSoundSources>(*processor);
}

BattoAudioProcessor* BattoStandAloneApplication::getProcessor() const
{
    return processor.get();
}

BattoStandAloneApplication::BattoMidiProcessor* BattoStandAloneApplication::getMidiProcessor() const
{
    return midiProcessor.get();
}

BattoStandAloneApplication::MetronomeDocumentWindow* BattoStandAloneApplication::getMetronomeWindow() const
{
    return metronomeWindow.get();
}

StandaloneTakes* BattoStandAloneApplication::getTakes() const
{
    return takes.get();
}
