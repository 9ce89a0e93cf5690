#include "ExternalPluginLoader.h"

#include <lilv/lilv.h>

#include <cstdlib>

namespace
{
bool isVst3Bundle(const juce::File& file)
{
    return file.hasFileExtension(".vst3");
}

bool isLv2Bundle(const juce::File& folder)
{
    return folder.isDirectory() && folder.getChildFile("manifest.ttl").existsAsFile();
}

juce::String quoted(const juce::String& text)
{
    return "\"" + text + "\"";
}

juce::FileSearchPath lv2PathFromEnvironment()
{
    const char* path = std::getenv("LV2_PATH");
    return juce::FileSearchPath(path != nullptr ? juce::String(path).replaceCharacter(':', ';') : juce::String());
}

// JUCE's LV2 format with every bundle of its usual folders and of LV2_PATH loaded.
std::unique_ptr<juce::LV2PluginFormat> makeLv2Format()
{
    auto format = std::make_unique<juce::LV2PluginFormat>();
    if (const auto extra = lv2PathFromEnvironment(); extra.getNumPaths() > 0)
        format->searchPathsForPlugins(extra, true, false);
    return format;
}

// The plug-ins that an LV2 bundle folder declares, read with a world of their own so that
// nothing else on the search path mixes in.
std::vector<ExternalPluginLoader::Choice> lv2PluginsInBundle(const juce::File& bundle)
{
    std::vector<ExternalPluginLoader::Choice> choices;
    LilvWorld* world = lilv_world_new();
    const juce::String path = juce::File::addTrailingSeparator(bundle.getFullPathName());
    LilvNode* bundleUri = lilv_new_file_uri(world, nullptr, path.toRawUTF8());
    lilv_world_load_bundle(world, bundleUri);
    const LilvPlugins* plugins = lilv_world_get_all_plugins(world);
    LILV_FOREACH(plugins, i, plugins)
    {
        const LilvPlugin* plugin = lilv_plugins_get(plugins, i);
        LilvNode* name = lilv_plugin_get_name(plugin);
        const juce::String uri = juce::String::fromUTF8(lilv_node_as_uri(lilv_plugin_get_uri(plugin)));
        choices.push_back({uri, name != nullptr ? juce::String::fromUTF8(lilv_node_as_string(name)) : uri});
        lilv_node_free(name);
    }
    lilv_node_free(bundleUri);
    lilv_world_free(world);
    return choices;
}

std::unique_ptr<juce::AudioPluginInstance> checkedInstrument(std::unique_ptr<juce::AudioPluginInstance> instance,
                                                             const juce::String& identifier, juce::String& error)
{
    if (instance == nullptr)
        return nullptr;
    if (instance->getTotalNumOutputChannels() == 0)
        error = "cannot play " + quoted(identifier) + ": the plug-in has no audio output";
    else if (!instance->acceptsMidi())
        error = "cannot play " + quoted(identifier) + ": the plug-in takes no MIDI notes";
    else
        return instance;
    return nullptr;
}

std::unique_ptr<juce::AudioPluginInstance> createVst3(const juce::String& path, double rate, int blockSize,
                                                      juce::String& error)
{
    const juce::File file(path);
    if (!file.exists())
    {
        error = "cannot load " + quoted(path) + ": there is no such file";
        return nullptr;
    }
    juce::VST3PluginFormat format;
    juce::OwnedArray<juce::PluginDescription> found;
    format.findAllTypesForFile(found, path);
    if (found.isEmpty())
    {
        error = "cannot load " + quoted(path) + ": it is not a VST3 plug-in that this machine can run";
        return nullptr;
    }
    // A bundle with several plug-ins plays its first instrument, so the path names one plug-in.
    const juce::PluginDescription* chosen = found.getFirst();
    for (const auto* description : found)
        if (description->isInstrument)
        {
            chosen = description;
            break;
        }
    juce::String reason;
    auto instance = format.createInstanceFromDescription(*chosen, rate, blockSize, reason);
    if (instance == nullptr)
        error = "cannot load " + quoted(path) + ": " + (reason.isNotEmpty() ? reason : "the plug-in did not start");
    return checkedInstrument(std::move(instance), path, error);
}

std::unique_ptr<juce::AudioPluginInstance> createLv2(const juce::String& uri, double rate, int blockSize,
                                                     juce::String& error)
{
    auto format = makeLv2Format();
    juce::OwnedArray<juce::PluginDescription> found;
    format->findAllTypesForFile(found, uri);
    if (found.isEmpty())
    {
        error = "cannot load " + quoted(uri) + ": no LV2 plug-in has this URI in "
                + ExternalPluginLoader::lv2SearchPathDescription();
        return nullptr;
    }
    juce::String reason;
    auto instance = format->createInstanceFromDescription(*found.getFirst(), rate, blockSize, reason);
    if (instance == nullptr)
        error = "cannot load " + quoted(uri) + ": " + (reason.isNotEmpty() ? reason : "the plug-in did not start");
    return checkedInstrument(std::move(instance), uri, error);
}

juce::String notAPluginReason(const juce::File& file)
{
    if (!file.exists())
        return "there is no such file or folder";
    if (file.hasFileExtension(".so"))
        return "VST2 plug-ins cannot be hosted here; choose a VST3 bundle (.vst3) or an LV2 bundle (.lv2)";
    return "it is neither a VST3 bundle (.vst3) nor an LV2 bundle (a folder with a manifest.ttl)";
}
} // namespace

bool ExternalPluginLoader::looksLikeUri(const juce::String& identifier)
{
    const int colon = identifier.indexOfChar(':');
    if (colon < 2 || juce::File::isAbsolutePath(identifier))
        return false;
    return identifier.substring(0, colon).containsOnly("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+-.");
}

juce::String ExternalPluginLoader::lv2SearchPathDescription()
{
    juce::StringArray folders;
    const auto defaults = juce::LV2PluginFormat().getDefaultLocationsToSearch();
    for (int i = 0; i < defaults.getNumPaths(); ++i)
        folders.add(defaults[i].getFullPathName());
    const auto extra = lv2PathFromEnvironment();
    for (int i = 0; i < extra.getNumPaths(); ++i)
        folders.add(extra[i].getFullPathName());
    return folders.joinIntoString(", ");
}

std::vector<ExternalPluginLoader::Choice> ExternalPluginLoader::pluginsIn(const juce::File& chosen,
                                                                          juce::String& error)
{
    const juce::String path = chosen.getFullPathName();
    if (isVst3Bundle(chosen) && chosen.exists())
        return {{path, chosen.getFileNameWithoutExtension()}};
    if (!isLv2Bundle(chosen))
    {
        error = "cannot load " + quoted(path) + ": " + notAPluginReason(chosen);
        return {};
    }

    auto choices = lv2PluginsInBundle(chosen);
    if (choices.empty())
    {
        error = "cannot load " + quoted(path) + ": the LV2 bundle declares no plug-in";
        return {};
    }
    // A URI reloads its plug-in only from the search path: a bundle elsewhere would be lost
    // at the next start.
    auto format = makeLv2Format();
    juce::OwnedArray<juce::PluginDescription> found;
    format->findAllTypesForFile(found, choices.front().identifier);
    if (found.isEmpty())
    {
        error = "cannot load " + quoted(path) + ": LV2 plug-ins are found again at the next start only in "
                + lv2SearchPathDescription() + "; install the bundle into one of these folders";
        return {};
    }
    return choices;
}

std::unique_ptr<juce::AudioPluginInstance> ExternalPluginLoader::create(const juce::String& identifier,
                                                                        double initialSampleRate,
                                                                        int initialBlockSize, juce::String& error)
{
    error.clear();
    if (identifier.trim().isEmpty())
    {
        error = "no plug-in was named";
        return nullptr;
    }
    if (looksLikeUri(identifier))
        return createLv2(identifier, initialSampleRate, initialBlockSize, error);

    const juce::File file = juce::File::getCurrentWorkingDirectory().getChildFile(identifier);
    if (isVst3Bundle(file))
        return createVst3(file.getFullPathName(), initialSampleRate, initialBlockSize, error);
    if (isLv2Bundle(file))
    {
        const auto choices = pluginsIn(file, error);
        if (choices.size() > 1)
        {
            juce::StringArray uris;
            for (const auto& choice : choices)
                uris.add(choice.identifier);
            error = "cannot load " + quoted(identifier) + ": the bundle holds " + juce::String(choices.size())
                    + " plug-ins; name one by its URI: " + uris.joinIntoString(", ");
            return nullptr;
        }
        if (choices.empty())
            return nullptr;
        return createLv2(choices.front().identifier, initialSampleRate, initialBlockSize, error);
    }
    error = "cannot load " + quoted(identifier) + ": " + notAPluginReason(file);
    return nullptr;
}
