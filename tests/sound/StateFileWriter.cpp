// Writes the plug-in state file over and over, as the application does at exit, so that a test
// can kill it in the middle of a write: state-file-writer FILE BYTES. The states alternate
// between BYTES bytes of 'B' and of 'A'; "writing" on the standard output tells that the first
// write is done and the loop runs.
#include "ExternalPluginStateFile.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[])
{
    if (argc != 3)
        return 2;
    const juce::File file(argv[1]);
    const auto size = static_cast<size_t>(std::atoll(argv[2]));
    juce::MemoryBlock states[2] = {juce::MemoryBlock(size), juce::MemoryBlock(size)};
    states[0].fillWith('B');
    states[1].fillWith('A');
    for (long long round = 0;; ++round)
    {
        if (ExternalPluginStateFile::write(file, states[round % 2]).failed())
            return 1;
        if (round == 0)
        {
            std::puts("writing");
            std::fflush(stdout);
        }
    }
}
