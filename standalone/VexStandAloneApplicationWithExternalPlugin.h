#pragma once

#include "ExternalSoundSources.h"
#include "VexStandAloneApplicationMainWindow.h"

#include <memory>

// The shell with an instrument plug-in hosted beside the processor: the setting
// "externalPluginPath", the file that keeps the plug-in's state between runs, and the menu
// item "choose a plugin instrument...". The plug-in itself, its window and its state live
// behind ExternalSoundSources.
class VexStandAloneApplicationWithExternalPlugin : public VexStandAloneApplication
{
public:
    class MainWindowWithExternalPlugin;

    enum ItemIds
    {
        chooseInstrumentItem = 4
    };

    static const char* const externalPluginRef; // "externalPluginPath"

    // The file beside the settings file that holds the external plug-in's state.
    juce::File GetExternalPluginStateInformationFile() const;

    ExternalSoundSources* getExternalSoundSources() const;

protected:
    // Made by createVexProcessor once the processor exists; replaces the sources held.
    virtual std::unique_ptr<ExternalSoundSources> createExternalSoundSources();

    // Not owned by the processor: the application keeps them as long as the processor.
    std::unique_ptr<ExternalSoundSources> externalPluginOwner;
};

class VexStandAloneApplicationWithExternalPlugin::MainWindowWithExternalPlugin
    : public VexStandAloneApplication::MainWindow
{
public:
    MainWindowWithExternalPlugin(const juce::String& name, VexStandAloneApplication& application,
                                 ExternalSoundSources* externalPluginOwner);

    void addSpecificsItems(juce::PopupMenu& menu) override;
    void menuItemSelected(int menuItemID, int topLevelMenuIndex) override;

    ExternalSoundSources* externalPluginOwner;
};
