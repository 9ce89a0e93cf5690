#include "StandaloneTakes.h"

#include "ProcessorTakeSettings.h"

const juce::String StandaloneTakes::TAKES_FOLDER_REF = "takesFolder";
const juce::String StandaloneTakes::TAKE_AUDIO_REF = "takeAudio";

namespace
{
juce::File folderFromSettings(const juce::PropertiesFile& settings)
{
    const juce::String path = settings.getValue(StandaloneTakes::TAKES_FOLDER_REF);
    return juce::File::isAbsolutePath(path) ? juce::File(path) : TakeWriter::defaultFolder();
}
} // namespace

StandaloneTakes::StandaloneTakes(BattoAudioProcessor& processor, juce::PropertiesFile& settingsFile)
    : settings(settingsFile), writer(recorder, folderFromSettings(settingsFile), drummerSettingsOf(processor))
{
    recorder.setAudioOn(settings.getBoolValue(TAKE_AUDIO_REF, false));
    writer.onProblem = [](const juce::String& text)
    {
        juce::MessageManager::callAsync(
            [text] { juce::AlertWindow::showMessageBoxAsync(juce::MessageBoxIconType::WarningIcon, "Take", text); });
    };
}

StandaloneTakes::~StandaloneTakes()
{
    finish();
}

void StandaloneTakes::start()
{
    writer.start();
}

void StandaloneTakes::finish()
{
    writer.finish();
}

juce::File StandaloneTakes::getFolder() const
{
    return writer.getFolder();
}

void StandaloneTakes::setFolder(const juce::File& folder)
{
    writer.setFolder(folder);
    settings.setValue(TAKES_FOLDER_REF, folder.getFullPathName());
}

void StandaloneTakes::chooseFolder()
{
    chooser = std::make_unique<juce::FileChooser>("Takes folder", getFolder());
    chooser->launchAsync(juce::FileBrowserComponent::openMode | juce::FileBrowserComponent::canSelectDirectories,
                         [this](const juce::FileChooser& chosen)
                         {
                             if (chosen.getResult() != juce::File())
                                 setFolder(chosen.getResult());
                         });
}

bool StandaloneTakes::isAudioOn() const
{
    return recorder.isAudioOn();
}

void StandaloneTakes::setAudioOn(bool on)
{
    recorder.setAudioOn(on);
    settings.setValue(TAKE_AUDIO_REF, on);
}

juce::Array<juce::File> StandaloneTakes::recentTakes() const
{
    return TakeWriter::recentTakes(getFolder(), recentCount);
}

void StandaloneTakes::showTake(const juce::File& take)
{
    take.revealToUser();
}

void StandaloneTakes::showFolder()
{
    const juce::File folder = getFolder();
    if (folder.createDirectory().wasOk())
        folder.revealToUser();
}
