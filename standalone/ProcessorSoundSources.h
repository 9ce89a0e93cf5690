#pragma once

#include "BattoAudioProcessor.h"
#include "ExternalSoundSources.h"

// The application's sound sources beyond the internal kit, played by the drummer's processor:
// the hosted instrument plug-in (loaded at start with its state, saved at exit, chosen from
// the menu) and user kit folders (loaded from the menu, recorded from the plug-in).
//
// Message thread only. What goes wrong is told in a message box: a plug-in that cannot be
// loaded at start (the drums stay silent until one is chosen), a failed or cancelled
// recording, a kit folder without kit files.
class ProcessorSoundSources : public ExternalSoundSources
{
public:
    explicit ProcessorSoundSources(BattoAudioProcessor& processor);

    void setBattokitPath(const juce::String& absolutePath) override;
    void loadExternalPluginAtStart(const juce::String& pluginPath, const juce::File& stateFile, bool load) override;
    juce::String getBattokitPath() const override;
    void saveExternalPluginState(const juce::File& stateFile) override;
    juce::String getExternalPluginPath() const override;
    void chooseExternalPlugin() override;
    bool hasExternalPlugin() const override;
    void recordBattokit() override;
    void loadBattokit() override;

protected:
    // The dialogs, replaceable where no one can answer them (tests). The save dialog of
    // "Record a battokit..." ("Save battokit...", "*.battokit") gives an empty file when
    // cancelled; the kit folder chooser is the processor's ChooseBattokit.
    virtual juce::File askWhereToRecord();
    virtual bool chooseBattokitFolder();
    virtual void tell(const juce::String& title, const juce::String& message, bool warning = true);

    BattoAudioProcessor& processor;

private:
    juce::String pluginPathToSave;
    bool stateSaved = false;
};
