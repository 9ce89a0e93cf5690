#pragma once

#include "BattoAudioProcessor.h"

#include <memory>
#include <string>

// What sounds the WAV of a render (--kit): the internal kit, a user kit folder, or an
// instrument plug-in (a .vst3 bundle or an LV2 plug-in URI).
class RenderKit
{
public:
    // Reads the --kit text and checks what can be checked before rendering. Throws RenderError
    // with one line for a folder that holds no kit, or a text that names no plug-in.
    explicit RenderKit(const std::string& kit);
    ~RenderKit();

    // Sets the prepared processor's sound up before its first block: loads the folder's sounds,
    // or loads the plug-in and waits until it has loaded its own samples (it must sound).
    // Throws RenderError when the plug-in cannot be loaded.
    void setUp(BattoAudioProcessor& processor);

    // One line for the summary, once set up: "internal kit", "kit folder drums.battokit (160
    // files)", "plug-in http://..." with what was noticed.
    const std::string& description() const;

private:
    enum class Kind
    {
        internal,
        folder,
        plugin
    };

    Kind kind = Kind::internal;
    std::string text;
    juce::File folder;
    std::string described = "internal kit";
    std::unique_ptr<juce::ScopedJuceInitialiser_GUI> juce; // plug-in hosting wants a message manager
};
