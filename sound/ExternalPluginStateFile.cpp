#include "ExternalPluginStateFile.h"

namespace ExternalPluginStateFile
{
juce::Result write(const juce::File& file, const juce::MemoryBlock& state)
{
    if (file.isDirectory())
        return juce::Result::fail(file.getFullPathName() + " is a folder");
    if (state.isEmpty())
    {
        if (file.existsAsFile() && !file.deleteFile())
            return juce::Result::fail("cannot remove " + file.getFullPathName());
        return juce::Result::ok();
    }

    juce::TemporaryFile temporary(file, juce::TemporaryFile::useHiddenFile);
    {
        juce::FileOutputStream out(temporary.getFile(), 8192);
        if (out.failedToOpen())
            return juce::Result::fail("cannot write " + temporary.getFile().getFullPathName() + ": "
                                      + out.getStatus().getErrorMessage());
        const bool written = out.write(state.getData(), state.getSize());
        out.flush(); // also syncs the file to the disk
        if (!written || out.getStatus().failed())
            return juce::Result::fail("cannot write " + temporary.getFile().getFullPathName() + ": "
                                      + out.getStatus().getErrorMessage());
    }
    if (!temporary.overwriteTargetFileWithTemporary())
        return juce::Result::fail("cannot replace " + file.getFullPathName());
    return juce::Result::ok();
}

bool read(const juce::File& file, juce::MemoryBlock& state)
{
    state.reset();
    if (!file.existsAsFile())
        return false;
    if (!file.loadFileAsData(state))
    {
        state.reset();
        return false;
    }
    return true;
}
} // namespace ExternalPluginStateFile
