#include "ExternalSoundSources.h"

void KeptPathsOnly::setBattokitPath(const juce::String& absolutePath)
{
    battokitPath = absolutePath;
}

void KeptPathsOnly::loadExternalPluginAtStart(const juce::String& pluginPath, const juce::File&, bool)
{
    externalPluginPath = pluginPath;
}

juce::String KeptPathsOnly::getBattokitPath() const
{
    return battokitPath;
}

void KeptPathsOnly::saveExternalPluginState(const juce::File&)
{
    // No plug-in is loaded here: its state file stays as it is.
}

juce::String KeptPathsOnly::getExternalPluginPath() const
{
    return externalPluginPath;
}

void KeptPathsOnly::chooseExternalPlugin()
{
}

bool KeptPathsOnly::hasExternalPlugin() const
{
    return false;
}

void KeptPathsOnly::recordBattokit()
{
}

void KeptPathsOnly::loadBattokit()
{
}
