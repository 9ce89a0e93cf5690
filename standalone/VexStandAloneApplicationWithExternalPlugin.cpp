#include "VexStandAloneApplicationWithExternalPlugin.h"

const char* const VexStandAloneApplicationWithExternalPlugin::externalPluginRef = "externalPluginPath";

juce::File VexStandAloneApplicationWithExternalPlugin::GetExternalPluginStateInformationFile() const
{
    auto* settings = getSettings();
    if (settings == nullptr)
        return {};
    return settings->getFile().getSiblingFile("Batto_external_plugin_state_information");
}

ExternalSoundSources* VexStandAloneApplicationWithExternalPlugin::getExternalSoundSources() const
{
    return externalPluginOwner.get();
}

std::unique_ptr<ExternalSoundSources> VexStandAloneApplicationWithExternalPlugin::createExternalSoundSources()
{
    return std::make_unique<KeptPathsOnly>();
}

VexStandAloneApplicationWithExternalPlugin::MainWindowWithExternalPlugin::MainWindowWithExternalPlugin(
    const juce::String& name, VexStandAloneApplication& app, ExternalSoundSources* owner)
    : MainWindow(name, app), externalPluginOwner(owner)
{
}

void VexStandAloneApplicationWithExternalPlugin::MainWindowWithExternalPlugin::addSpecificsItems(
    juce::PopupMenu& menu)
{
    menu.addItem(chooseInstrumentItem, "choose a plugin instrument...", true, false);
}

void VexStandAloneApplicationWithExternalPlugin::MainWindowWithExternalPlugin::menuItemSelected(
    int menuItemID, int topLevelMenuIndex)
{
    if (menuItemID == chooseInstrumentItem)
    {
        if (externalPluginOwner != nullptr)
            externalPluginOwner->chooseExternalPlugin();
        return;
    }
    MainWindow::menuItemSelected(menuItemID, topLevelMenuIndex);
}
