#include "CsvWriter.h"

bool writeDrumCsv(const juce::File& file, const std::vector<DrumHit>& hits)
{
    juce::String text;
    text.preallocateBytes(32 + hits.size() * 24);
    text << "sample,status,note,velocity\n";
    for (const DrumHit& hit : hits)
        text << juce::String(hit.sample) << ',' << hit.status << ',' << hit.note << ',' << hit.velocity
             << '\n';
    return file.replaceWithText(text, false, false, "\n");
}
