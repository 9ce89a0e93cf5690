#include "CsvWriter.h"

bool writeDrumCsv(const juce::File& file, const std::vector<DrumHit>& hits)
{
    juce::String text;
    text.preallocateBytes(32 + hits.size() * 24);
    text << "sample,status,note,velocity\n";
    for (const DrumHit& hit : hits)
        text << juce::String(hit.sample) << ',' << hit.status << ',' << hit.note << ',' << hit.velocity
             << '\n';
    juce::FileOutputStream stream(file);
    if (!stream.openedOk() || !stream.setPosition(0) || stream.truncate().failed()
        || !stream.writeText(text, false, false, "\n"))
        return false;
    stream.flush();
    return stream.getStatus().wasOk();
}
