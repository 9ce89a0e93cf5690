#include "OutputFiles.h"

#include "RenderError.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

OutputFiles::OutputFiles(const juce::File& outputFolder) : folder(outputFolder)
{
}

OutputFiles::~OutputFiles()
{
    for (const Made& file : made)
        std::remove(file.file.getFullPathName().toRawUTF8());
}

juce::File OutputFiles::make(const std::string& name)
{
    // Hidden while it is being written; mkstemp makes it exclusively, so it is new.
    std::string path =
        folder.getChildFile(juce::String("." + name + ".XXXXXX")).getFullPathName().toStdString();
    const int descriptor = mkstemp(path.data());
    if (descriptor < 0)
        throw RenderError("cannot write " + name + " in " + folder.getFullPathName().toStdString() + ": "
                          + std::strerror(errno));
    // mkstemp makes it readable by its owner alone; an output file gets the usual rights.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(descriptor, 0666 & ~mask);
    close(descriptor);
    made.push_back({juce::File(path), folder.getChildFile(juce::String(name))});
    return made.back().file;
}

void OutputFiles::publish()
{
    for (auto file = made.begin(); file != made.end();)
    {
        const std::string from = file->file.getFullPathName().toStdString();
        const std::string to = file->destination.getFullPathName().toStdString();
        // rename replaces the name at once: what that name stood for is not written to.
        if (std::rename(from.c_str(), to.c_str()) != 0)
            throw RenderError("cannot write " + to + ": " + std::strerror(errno));
        file = made.erase(file);
    }
}
