#include "MidiFileWriter.h"

#include <cmath>
#include <map>

namespace
{
double ticksAtBeat(double beat)
{
    return std::round(beat * midiTicksPerBeat);
}

double ticksAtSample(int64_t sample, const Timeline& timeline)
{
    return ticksAtBeat(timeline.beatsAt(static_cast<double>(sample)));
}

// The name, the tempo map the drummer played to, and 4/4.
juce::MidiMessageSequence conductorTrack(const Performance& performance, const Timeline& timeline)
{
    juce::MidiMessageSequence track;
    track.addEvent(juce::MidiMessage::textMetaEvent(3, juce::String(performance.name)), 0.0);
    for (const TempoChange& change : timeline.tempoMap.changes())
        track.addEvent(juce::MidiMessage::tempoMetaEvent(juce::roundToInt(60'000'000.0 / change.bpm)),
                       ticksAtBeat(change.beat));
    // 4/4 with the usual 24 MIDI clocks per click and 8 thirty-seconds per beat (JUCE's
    // own time-signature event writes 1 and 96).
    const juce::uint8 fourFour[] = {0xff, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08};
    track.addEvent(juce::MidiMessage(fourFour, static_cast<int>(sizeof fourFour)), 0.0);
    return track;
}

// The player's part at its beats.
juce::MidiMessageSequence playerTrack(const Performance& performance)
{
    juce::MidiMessageSequence track;
    track.addEvent(juce::MidiMessage::textMetaEvent(3, "Player"), 0.0);
    for (const auto* event : performance.events)
    {
        juce::MidiMessage message = event->message;
        message.setTimeStamp(ticksAtBeat(message.getTimeStamp()));
        track.addEvent(message);
    }
    return track;
}
} // namespace

juce::MidiMessageSequence drumTrack(const std::vector<DrumHit>& hits, const Timeline& timeline)
{
    // Where each note next sounds, walking backwards, bounds the note-off of each hit.
    std::map<int, double> nextHitOfNote;
    std::vector<double> noteOffTicks(hits.size());
    for (size_t i = hits.size(); i-- > 0;)
    {
        const double start = ticksAtSample(hits[i].sample, timeline);
        double end = start + drumNoteTicks;
        if (const auto next = nextHitOfNote.find(hits[i].note); next != nextHitOfNote.end())
            end = std::min(end, next->second);
        noteOffTicks[i] = end;
        if (hits[i].velocity > 0)
            nextHitOfNote[hits[i].note] = start;
    }

    juce::MidiMessageSequence track;
    track.addEvent(juce::MidiMessage::textMetaEvent(3, "Drums"), 0.0);
    for (size_t i = 0; i < hits.size(); ++i)
    {
        // A note-on of velocity 0 is a note-off to every DAW, and a hit that the next hit
        // of its note meets on the same tick would have no length: neither has anything
        // to show.
        const double start = ticksAtSample(hits[i].sample, timeline);
        if (hits[i].velocity <= 0 || noteOffTicks[i] <= start)
            continue;
        const int channel = (hits[i].status & 0x0F) + 1;
        track.addEvent(
            juce::MidiMessage::noteOn(channel, hits[i].note, static_cast<juce::uint8>(hits[i].velocity)),
            start);
        track.addEvent(juce::MidiMessage::noteOff(channel, hits[i].note), noteOffTicks[i]);
    }
    // A note-off that meets the next hit of its note must come before it: sort keeps the
    // order of equal times, so put every note-off first among events at its tick.
    track.sort();
    std::stable_sort(track.begin(), track.end(),
                     [](const juce::MidiMessageSequence::MidiEventHolder* a,
                        const juce::MidiMessageSequence::MidiEventHolder* b)
                     {
                         if (a->message.getTimeStamp() != b->message.getTimeStamp())
                             return a->message.getTimeStamp() < b->message.getTimeStamp();
                         return a->message.isNoteOff() && !b->message.isNoteOff();
                     });
    track.updateMatchedPairs();
    return track;
}

bool writeRenderMidiFile(const juce::File& file, const Performance& performance,
                         const std::vector<DrumHit>& hits, const Timeline& timeline)
{
    juce::MidiFile midiFile;
    midiFile.setTicksPerQuarterNote(midiTicksPerBeat);
    midiFile.addTrack(conductorTrack(performance, timeline));
    midiFile.addTrack(playerTrack(performance));
    midiFile.addTrack(drumTrack(hits, timeline));

    juce::FileOutputStream stream(file);
    if (!stream.openedOk() || !stream.setPosition(0) || stream.truncate().failed()
        || !midiFile.writeTo(stream, 1))
        return false;
    stream.flush();
    return stream.getStatus().wasOk();
}
