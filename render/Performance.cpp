#include "Performance.h"

#include "RenderError.h"

int Performance::countNoteOns() const
{
    int count = 0;
    for (const auto* event : events)
        count += event->message.isNoteOn() ? 1 : 0;
    return count;
}

double Performance::lastNoteOnSeconds() const
{
    double last = 0.0;
    for (const auto* event : events)
        if (event->message.isNoteOn())
            last = std::max(last, event->message.getTimeStamp());
    return last;
}

namespace
{
juce::File fileFromArgument(const std::string& path)
{
    return juce::File::getCurrentWorkingDirectory().getChildFile(juce::String(path));
}

juce::MidiFile loadMidiFile(const std::string& path)
{
    const juce::File file = fileFromArgument(path);
    if (file.isDirectory())
        throw RenderError(path + " is a folder, not a MIDI file");
    if (!file.existsAsFile())
        throw RenderError(path + " does not exist");

    juce::FileInputStream stream(file);
    if (stream.failedToOpen())
        throw RenderError(path + " cannot be read: " + stream.getStatus().getErrorMessage().toStdString());

    juce::MidiFile midiFile;
    // A time format of 0 ticks per beat would make every time infinite.
    if (!midiFile.readFrom(stream) || midiFile.getTimeFormat() == 0)
        throw RenderError(path + " is not a Standard MIDI File");
    return midiFile;
}

std::optional<double> firstTempoOf(const juce::MidiFile& midiFile)
{
    juce::MidiMessageSequence tempoEvents;
    midiFile.findAllTempoEvents(tempoEvents);
    if (tempoEvents.getNumEvents() == 0)
        return std::nullopt;
    const double secondsPerBeat = tempoEvents.getEventPointer(0)->message.getTempoSecondsPerQuarterNote();
    if (secondsPerBeat <= 0.0)
        return std::nullopt;
    return 60.0 / secondsPerBeat;
}
} // namespace

Performance readPerformanceFile(const std::string& path)
{
    juce::MidiFile midiFile = loadMidiFile(path);
    Performance performance;
    performance.firstTempo = firstTempoOf(midiFile);
    midiFile.convertTimestampTicksToSeconds();

    // Channel messages of every track; meta events and system messages mean nothing to
    // the drummer.
    for (int track = 0; track < midiFile.getNumTracks(); ++track)
        for (const auto* event : *midiFile.getTrack(track))
            if (event->message.getChannel() > 0)
                performance.events.addEvent(event->message);
    performance.events.sort();
    performance.events.updateMatchedPairs();

    if (performance.countNoteOns() == 0)
        throw RenderError(path + " holds no note-on");

    performance.name = fileFromArgument(path).getFileNameWithoutExtension().toStdString();
    if (performance.name.empty())
        performance.name = "performance";
    return performance;
}
