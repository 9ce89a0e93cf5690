#include "RenderKit.h"

#include "BattokitFolder.h"
#include "ExternalPluginLoader.h"
#include "RenderError.h"

namespace
{
// A plug-in that has not sounded after this long is taken as it is.
constexpr int longestWaitForSamplesMs = 60000;

bool namesAPlugin(const std::string& text, const juce::File& file)
{
    return ExternalPluginLoader::looksLikeUri(text) || file.hasFileExtension(".vst3")
           || file.getChildFile("manifest.ttl").existsAsFile();
}
} // namespace

RenderKit::RenderKit(const std::string& kit) : text(kit)
{
    if (kit == "internal")
        return;
    const juce::File file = juce::File::getCurrentWorkingDirectory().getChildFile(juce::String(kit));
    if (namesAPlugin(kit, file))
    {
        kind = Kind::plugin;
        juce = std::make_unique<juce::ScopedJuceInitialiser_GUI>();
        return;
    }
    if (!file.isDirectory())
        throw RenderError("--kit " + kit
                          + ": no such folder; give internal, a kit folder, a .vst3 bundle or an LV2 plug-in URI");
    if (!BattokitFolder::holdsKitFiles(file))
        throw RenderError("--kit " + kit + " holds no kit files (sample<voice>_<layer>.wav)");
    kind = Kind::folder;
    folder = file;
}

RenderKit::~RenderKit() = default;

void RenderKit::setUp(BattoAudioProcessor& processor)
{
    if (kind == Kind::folder)
    {
        processor.setBattokitPath(folder);
        processor.setDrumKit(BattoAudioProcessor::kitBattokitFolder);
        const auto load = processor.getLastBattokitLoad();
        described = "kit folder " + text + " (" + std::to_string(load.filesLoaded) + " of 160 files";
        if (load.layersBorrowed > 0)
            described += "; " + std::to_string(load.layersBorrowed) + " missing layers play their neighbours";
        if (load.silentVoices > 0)
            described += "; " + std::to_string(load.silentVoices) + " voices silent";
        described += ")";
    }
    else if (kind == Kind::plugin)
    {
        const juce::Result loaded = processor.loadExternalPlugin(juce::String(text));
        if (loaded.failed())
            throw RenderError("--kit: " + loaded.getErrorMessage().toStdString());
        processor.getExternalPlugin()->setNonRealtime(true); // offline: work it defers is done at once
        processor.setDrumKit(BattoAudioProcessor::kitExternalPlugin);
        described = "plug-in " + text;
        // A sampler may load its sounds in the background: the first note waits until it sounds.
        const int probeNote = processor.getDrumNote(Batto::Kick);
        if (!processor.waitUntilExternalPluginSounds(probeNote, longestWaitForSamplesMs))
            described += " (it stayed silent for a test note " + std::to_string(probeNote) + ")";
    }
}

const std::string& RenderKit::description() const
{
    return described;
}
