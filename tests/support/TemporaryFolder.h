#pragma once

#include <juce_core/juce_core.h>

#include <stdexcept>
#include <stdlib.h>
#include <string>

// A fresh folder, deleted with everything in it at the end of the test.
class TemporaryFolder
{
public:
    TemporaryFolder() : folder(createUniqueFolder()) {}
    ~TemporaryFolder()
    {
        folder.deleteRecursively();
    }
    juce::File file(const juce::String& name) const
    {
        return folder.getChildFile(name);
    }
    const juce::File folder;

private:
    // Created atomically: test processes that CTest runs side by side never share a folder.
    static juce::File createUniqueFolder()
    {
        std::string path = juce::File::getSpecialLocation(juce::File::tempDirectory)
                               .getChildFile("batto-test-XXXXXX")
                               .getFullPathName()
                               .toStdString();
        if (mkdtemp(path.data()) == nullptr)
            throw std::runtime_error("cannot create a temporary folder in " + path);
        return juce::File(path);
    }
};
