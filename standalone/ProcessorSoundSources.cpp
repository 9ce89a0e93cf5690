#include "ProcessorSoundSources.h"

#include "BattoEditor.h"
#include "BattokitRecorder.h"

namespace
{
BattoEditor* editorOf(BattoAudioProcessor& processor)
{
    return dynamic_cast<BattoEditor*>(processor.getActiveEditor());
}
} // namespace

ProcessorSoundSources::ProcessorSoundSources(BattoAudioProcessor& processorToPlay) : processor(processorToPlay)
{
}

void ProcessorSoundSources::setBattokitPath(const juce::String& absolutePath)
{
    processor.setBattokitPath(juce::File::isAbsolutePath(absolutePath) ? juce::File(absolutePath) : juce::File());
}

void ProcessorSoundSources::loadExternalPluginAtStart(const juce::String& pluginPath, const juce::File& stateFile,
                                                      bool load)
{
    const juce::Result restored = processor.restoreExternalPlugin(pluginPath, stateFile, load);
    if (restored.failed())
        tell("The drum instrument was not loaded",
             restored.getErrorMessage()
                 + "\n\nThe drums are silent until you choose an instrument (\"choose a plugin instrument...\") "
                   "or another sound. The instrument's saved settings are kept.");
}

juce::String ProcessorSoundSources::getBattokitPath() const
{
    return processor.getBattokitPath().getFullPathName();
}

void ProcessorSoundSources::saveExternalPluginState(const juce::File& stateFile)
{
    // The application is quitting: a failed write leaves the previous state file whole.
    pluginPathToSave = processor.saveExternalPluginState(stateFile);
    stateSaved = true;
}

juce::String ProcessorSoundSources::getExternalPluginPath() const
{
    return stateSaved ? pluginPathToSave : processor.getExternalPluginPath();
}

void ProcessorSoundSources::chooseExternalPlugin()
{
    if (auto* editor = editorOf(processor))
    {
        editor->SetToneIsExternalPlugin();
        return;
    }
    processor.setDrumKit(BattoAudioProcessor::kitExternalPlugin);
    processor.chooseExternalPlugin({});
}

bool ProcessorSoundSources::hasExternalPlugin() const
{
    return processor.hasExternalPlugin();
}

void ProcessorSoundSources::recordBattokit()
{
    if (!processor.hasExternalPlugin())
        return;
    const juce::File target = askWhereToRecord();
    if (target == juce::File())
        return;
    if (const juce::Result checked = BattokitRecorder::checkTarget(target); checked.failed())
    {
        tell("The battokit was not recorded", checked.getErrorMessage());
        return;
    }
    int drumNotes[BattokitRecorder::voiceCount];
    for (int voice = 0; voice < BattokitRecorder::voiceCount; ++voice)
        drumNotes[voice] = processor.getDrumNote(voice);
    const juce::Result recorded = BattokitRecorder::recordWithProgressWindow(processor, drumNotes, target);
    if (recorded.failed())
        tell("The battokit was not recorded", recorded.getErrorMessage());
    else
        tell("Battokit recorded",
             target.getFullPathName() + " holds the new kit. Load it with \"Load battokit... (beta)\".", false);
}

void ProcessorSoundSources::loadBattokit()
{
    if (!chooseBattokitFolder())
        return; // cancelled: the sound box and the kit stay as they were
    if (auto* editor = editorOf(processor))
    {
        editor->drum_kit_combo->setSelectedId(BattoAudioProcessor::kitBattokitFolder, juce::dontSendNotification);
        editor->comboBoxChanged(editor->drum_kit_combo.get());
    }
    else
        processor.setDrumKit(BattoAudioProcessor::kitBattokitFolder);
    if (processor.getLastBattokitLoad().filesLoaded == 0)
        tell("No battokit there", processor.getBattokitPath().getFullPathName()
                                      + " holds no kit files (sample<voice>_<layer>.wav): the drums are silent.");
}

juce::File ProcessorSoundSources::askWhereToRecord()
{
    juce::FileChooser chooser("Save battokit...", juce::File(), "*.battokit", true);
    const int flags = juce::FileBrowserComponent::saveMode | juce::FileBrowserComponent::canSelectFiles
                      | juce::FileBrowserComponent::warnAboutOverwriting;
    if (!chooser.showDialog(flags, nullptr))
        return {};
    return chooser.getResult();
}

bool ProcessorSoundSources::chooseBattokitFolder()
{
    return processor.ChooseBattokit();
}

void ProcessorSoundSources::tell(const juce::String& title, const juce::String& message, bool warning)
{
    juce::AlertWindow::showMessageBoxAsync(warning ? juce::MessageBoxIconType::WarningIcon
                                                   : juce::MessageBoxIconType::InfoIcon,
                                           title, message);
}
