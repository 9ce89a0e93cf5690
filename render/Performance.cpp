#include "Performance.h"

#include "RenderError.h"

#include <algorithm>
#include <cmath>

int Performance::countNoteOns() const
{
    int count = 0;
    for (const auto* event : events)
        count += event->message.isNoteOn() ? 1 : 0;
    return count;
}

double Performance::lastNoteOnBeat() const
{
    double last = 0.0;
    for (const auto* event : events)
        if (event->message.isNoteOn())
            last = std::max(last, event->message.getTimeStamp());
    return last;
}

double Performance::tempoAtStart() const
{
    if (tempoChanges.empty() || tempoChanges.front().beat > 0.0)
        return TempoMap::defaultTempo;
    double tempo = tempoChanges.front().bpm;
    for (const TempoChange& change : tempoChanges)
        if (change.beat <= 0.0)
            tempo = change.bpm; // the last of several at time zero holds
    return tempo;
}

namespace
{
juce::File fileFromArgument(const std::string& path)
{
    return juce::File::getCurrentWorkingDirectory().getChildFile(juce::String(path));
}

// Ticks per beat, or frames per second and ticks per frame; none of them 0, which would
// make every time infinite.
bool hasUsableTimeFormat(int timeFormat)
{
    if (timeFormat > 0)
        return true;
    const int framesPerSecond = -(timeFormat >> 8);
    const int ticksPerFrame = timeFormat & 0xff;
    return timeFormat < 0 && framesPerSecond > 0 && ticksPerFrame > 0;
}

juce::MidiFile readMidiFile(juce::InputStream& stream, const std::string& name)
{
    juce::MidiFile midiFile;
    if (!midiFile.readFrom(stream) || !hasUsableTimeFormat(midiFile.getTimeFormat()))
        throw RenderError(name + " is not a Standard MIDI File");
    return midiFile;
}

double bpmOf(const juce::MidiMessage& tempoEvent)
{
    return 60.0 / tempoEvent.getTempoSecondsPerQuarterNote(); // 0 microseconds a beat: infinite
}

// The tempo events of every track, at their beats. Ticks count beats in a file with
// ticks per beat; a file that counts time in frames states no beats, and its first tempo
// (if any) stands for the whole file.
std::vector<TempoChange> tempoChangesOf(const juce::MidiFile& midiFile)
{
    juce::MidiMessageSequence tempoEvents;
    midiFile.findAllTempoEvents(tempoEvents);
    std::vector<TempoChange> changes;
    const int timeFormat = midiFile.getTimeFormat();
    for (const auto* event : tempoEvents)
    {
        if (timeFormat < 0)
        {
            changes.push_back({0.0, bpmOf(event->message)});
            break;
        }
        changes.push_back({event->message.getTimeStamp() / timeFormat, bpmOf(event->message)});
    }
    return changes;
}

// Beats per tick: ticks per beat give them; a file that counts frames plays at its one tempo.
double beatsPerTick(const juce::MidiFile& midiFile, double tempoAtStart)
{
    const int timeFormat = midiFile.getTimeFormat();
    if (timeFormat > 0)
        return 1.0 / timeFormat;
    const double ticksPerSecond = -(timeFormat >> 8) * (timeFormat & 0xff);
    const bool usable = std::isfinite(tempoAtStart) && tempoAtStart > 0.0;
    return (usable ? tempoAtStart : TempoMap::defaultTempo) / 60.0 / ticksPerSecond;
}
bool isTakeDrumTrack(const juce::MidiMessageSequence& track)
{
    for (const auto* event : track)
        if (event->message.isTrackNameEvent())
            return event->message.getTextFromTextMetaEvent() == TakeSettings::drumTrackName;
    return false;
}

std::optional<TakeSettings> takeSettingsOf(const juce::MidiFile& midiFile)
{
    if (midiFile.getNumTracks() == 0 || midiFile.getTimeFormat() <= 0)
        return std::nullopt;
    for (const auto* event : *midiFile.getTrack(0))
        if (event->message.isTextMetaEvent() && event->message.getMetaEventType() == 0x01)
            if (auto settings = TakeSettings::fromText(event->message.getTextFromTextMetaEvent()))
                return settings;
    return std::nullopt;
}

bool allTemposUsable(const std::vector<TempoChange>& changes)
{
    for (const TempoChange& change : changes)
        if (!std::isfinite(change.bpm) || change.bpm <= 0.0)
            return false;
    return true;
}

// A take on the drummer's own clock, from the beats of its tempo map to those of the
// drummer's exact tempo (the file's tempo holds whole microseconds a beat): each event comes
// back to the sample it was kept at.
void placeAtTheDrummersTempo(Performance& performance)
{
    const TempoMap fileMap(performance.tempoChanges);
    const double beatsPerSecond = performance.take->tempo / 60.0;
    const auto toDrummersBeat = [&](double beat) { return fileMap.secondsAt(beat) * beatsPerSecond; };
    for (auto* event : performance.events)
        event->message.setTimeStamp(toDrummersBeat(event->message.getTimeStamp()));
    if (performance.endBeat)
        performance.endBeat = toDrummersBeat(*performance.endBeat);
    performance.tempoChanges = {{0.0, performance.take->tempo}};
}
} // namespace

Performance readPerformance(juce::InputStream& stream, const std::string& name)
{
    const juce::MidiFile midiFile = readMidiFile(stream, name);
    Performance performance;
    performance.tempoChanges = tempoChangesOf(midiFile);
    performance.take = takeSettingsOf(midiFile);
    const double tickLength = beatsPerTick(midiFile, performance.tempoAtStart());

    // Channel messages of every track; meta events and system messages mean nothing to
    // the drummer. The tracks are merged by one sort (events at the same time keep the
    // order of their tracks), not by inserting each event in place, which takes time
    // proportional to the square of a long file's length.
    std::vector<juce::MidiMessage> messages;
    for (int track = 0; track < midiFile.getNumTracks(); ++track)
    {
        if (performance.take && isTakeDrumTrack(*midiFile.getTrack(track)))
            continue;
        for (const auto* event : *midiFile.getTrack(track))
            if (event->message.getChannel() > 0)
            {
                messages.push_back(event->message);
                messages.back().setTimeStamp(event->message.getTimeStamp() * tickLength);
            }
    }
    std::stable_sort(messages.begin(), messages.end(),
                     [](const juce::MidiMessage& a, const juce::MidiMessage& b)
                     {
                         return a.getTimeStamp() < b.getTimeStamp();
                     });
    for (const juce::MidiMessage& message : messages)
        performance.events.addEvent(message);
    performance.events.updateMatchedPairs();
    if (performance.take)
    {
        performance.endBeat = midiFile.getLastTimestamp() * tickLength;
        const bool drummersClock = !performance.take->externalClock && std::isfinite(performance.take->tempo)
                                   && performance.take->tempo > 0.0 && allTemposUsable(performance.tempoChanges);
        if (drummersClock)
            placeAtTheDrummersTempo(performance);
    }

    if (performance.countNoteOns() == 0)
        throw RenderError(name + " holds no note-on");
    return performance;
}

Performance readPerformanceFile(const std::string& path)
{
    const juce::File file = fileFromArgument(path);
    if (file.isDirectory())
        throw RenderError(path + " is a folder, not a MIDI file");
    if (!file.existsAsFile())
        throw RenderError(path + " does not exist");

    juce::FileInputStream stream(file);
    if (stream.failedToOpen())
        throw RenderError(path + " cannot be read: " + stream.getStatus().getErrorMessage().toStdString());

    Performance performance = readPerformance(stream, path);
    performance.name = file.getFileNameWithoutExtension().toStdString();
    if (performance.name.empty())
        performance.name = "performance";
    return performance;
}
