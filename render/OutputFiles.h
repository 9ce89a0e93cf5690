#pragma once

#include <juce_core/juce_core.h>

#include <string>
#include <vector>

// The files that a render writes into its output folder. Each is written into a new file of
// its own, made by this render in that folder, and takes its name only when every file of
// the render is complete: a render that fails leaves the folder as it was, with nothing
// half-written, and no file that the render did not create is ever opened for writing (an
// earlier render's file of the same name is replaced as a name, never written through).
class OutputFiles
{
public:
    explicit OutputFiles(const juce::File& folder);
    ~OutputFiles(); // removes every file that was made and not published
    OutputFiles(const OutputFiles&) = delete;
    OutputFiles& operator=(const OutputFiles&) = delete;

    // A new, empty file in the folder, to become `name` at publish(). Throws RenderError.
    juce::File make(const std::string& name);
    // Gives every made file its name. Throws RenderError.
    void publish();

private:
    struct Made
    {
        juce::File file;
        juce::File destination;
    };

    juce::File folder;
    std::vector<Made> made;
};
