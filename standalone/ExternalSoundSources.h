#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// What the standalone application asks of the sound sources beyond the internal kit: the
// hosted instrument plug-in (its loading at start, its state file, its chooser) and the
// user kit folders (the folder path, loading and recording one). The application calls
// these at start-up, at shut-down and from the menu; everything runs on the message thread.
//
// KeptPathsOnly keeps both paths from start-up to shut-down and plays nothing (the tests'
// stand-in); ProcessorSoundSources is the application's.
class ExternalSoundSources
{
public:
    virtual ~ExternalSoundSources() = default;

    // Start-up: the kit folder's absolute path ("battokitpath"), then the plug-in's path
    // ("externalPluginPath") with the file that holds its state, loaded only when the saved
    // sound choice is the external plug-in (`load`) and remembered in any case.
    virtual void setBattokitPath(const juce::String& absolutePath) = 0;
    virtual void loadExternalPluginAtStart(const juce::String& pluginPath, const juce::File& stateFile,
                                           bool load) = 0;

    // Shut-down: the kit folder's full path, the plug-in's state written to its file (when
    // there is a plug-in), and the path to store (the plug-in's, or the one read at start).
    virtual juce::String getBattokitPath() const = 0;
    virtual void saveExternalPluginState(const juce::File& stateFile) = 0;
    virtual juce::String getExternalPluginPath() const = 0;

    // The menu: "choose a plugin instrument...", "Record a battokit from these settings...
    // (beta)" (enabled while a plug-in is loaded) and "Load battokit... (beta)".
    virtual void chooseExternalPlugin() = 0;
    virtual bool hasExternalPlugin() const = 0;
    virtual void recordBattokit() = 0;
    virtual void loadBattokit() = 0;
};

class KeptPathsOnly : public ExternalSoundSources
{
public:
    void setBattokitPath(const juce::String& absolutePath) override;
    void loadExternalPluginAtStart(const juce::String& pluginPath, const juce::File& stateFile, bool load) override;
    juce::String getBattokitPath() const override;
    void saveExternalPluginState(const juce::File& stateFile) override;
    juce::String getExternalPluginPath() const override;
    void chooseExternalPlugin() override;
    bool hasExternalPlugin() const override;
    void recordBattokit() override;
    void loadBattokit() override;

private:
    juce::String battokitPath;
    juce::String externalPluginPath;
};
