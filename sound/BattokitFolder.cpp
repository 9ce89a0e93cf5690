#include "BattokitFolder.h"

namespace BattokitFolder
{
juce::String fileName(int voice, int layer)
{
    return "sample" + juce::String(voice) + "_" + juce::String(layer) + ".wav";
}

juce::File fileFor(const juce::File& folder, int voice, int layer)
{
    return folder.getChildFile(fileName(voice, layer));
}

int recordedVelocity(int layer)
{
    return 8 * layer + 7;
}

namespace
{
bool isKitFileName(const juce::String& name)
{
    for (int voice = 0; voice < voiceCount; ++voice)
        for (int layer = 0; layer < layerCount; ++layer)
            if (name == fileName(voice, layer))
                return true;
    return false;
}
} // namespace

bool holdsKitFiles(const juce::File& folder)
{
    if (!folder.isDirectory())
        return false;
    for (const auto& entry : juce::RangedDirectoryIterator(folder, false, "*", juce::File::findFiles))
        if (isKitFileName(entry.getFile().getFileName()))
            return true;
    return false;
}

bool holdsOnlyKitFiles(const juce::File& folder)
{
    if (!folder.isDirectory())
        return false;
    for (const auto& entry : juce::RangedDirectoryIterator(folder, false, "*", juce::File::findFilesAndDirectories))
        if (entry.isDirectory() || !isKitFileName(entry.getFile().getFileName()))
            return false;
    return true;
}
} // namespace BattokitFolder
