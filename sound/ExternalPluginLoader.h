#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <memory>
#include <vector>

// Finds and creates the instrument plug-ins that the drummer can play through. A plug-in is
// named by one text, its identifier, which reloads exactly that plug-in: the full path of a
// VST3 bundle (".vst3"), or the URI of an LV2 plug-in found on the LV2 search path (JUCE's
// usual folders "~/.lv2", "/usr/lib/lv2", "/usr/local/lib/lv2", and the folders of the
// LV2_PATH environment variable). VST2 plug-ins cannot be hosted: their SDK is not available.
//
// Message thread only (plug-in formats expect it).
class ExternalPluginLoader
{
public:
    // One plug-in that a chosen file or folder holds.
    struct Choice
    {
        juce::String identifier;
        juce::String name;
    };

    // What the user picked in the file chooser: a .vst3 bundle gives one choice (its path);
    // an LV2 bundle folder gives one choice per plug-in in it, identified by its URI.
    // Returns an empty list and sets `error` (naming the file and the reason) when it holds
    // nothing that can be loaded.
    static std::vector<Choice> pluginsIn(const juce::File& chosen, juce::String& error);

    // Creates an instance from an identifier; an LV2 bundle folder that holds exactly one
    // plug-in is accepted too. Returns null and sets `error` (naming the identifier and the
    // reason) when no instrument results.
    static std::unique_ptr<juce::AudioPluginInstance> create(const juce::String& identifier,
                                                             double initialSampleRate, int initialBlockSize,
                                                             juce::String& error);

    // True for texts that name an LV2 plug-in by URI ("http://...", "urn:...").
    static bool looksLikeUri(const juce::String& identifier);

    // The folders searched for LV2 plug-ins named by URI, for messages.
    static juce::String lv2SearchPathDescription();
};
