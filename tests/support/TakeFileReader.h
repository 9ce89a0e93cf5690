#pragma once

#include "TakeMidiFile.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <cmath>
#include <optional>
#include <vector>

// A take file read back with JUCE's own MIDI file reader: its tracks by name, each event at
// the sample its tick stands for (through the file's tempo map).
struct TakeFileContents
{
    struct Event
    {
        int64_t sample;
        std::vector<int> bytes;
        bool operator==(const Event& other) const
        {
            return sample == other.sample && bytes == other.bytes;
        }
    };

    bool readable = false;
    int tracks = 0;
    int ticksPerQuarterNote = 0;
    std::optional<TakeSettings> settings;
    std::vector<double> tempos; // bpm of each tempo event
    std::vector<Event> player, drumNoteOns;
    std::vector<juce::String> markers;
    int64_t endSample = 0; // where the drum track ends

    static TakeFileContents read(const juce::File& file)
    {
        TakeFileContents contents;
        juce::MidiFile midi;
        juce::FileInputStream stream(file);
        if (!stream.openedOk() || !midi.readFrom(stream, false) || midi.getTimeFormat() <= 0)
            return contents;
        contents.readable = true;
        contents.tracks = midi.getNumTracks();
        contents.ticksPerQuarterNote = midi.getTimeFormat();

        struct Segment
        {
            double tick, sample, microseconds;
        };
        std::vector<Segment> segments{{0.0, 0.0, 500000.0}};
        double rate = 48000.0;
        for (const auto* event : *midi.getTrack(0))
            if (event->message.isTextMetaEvent() && event->message.getMetaEventType() == 1)
                if ((contents.settings = TakeSettings::fromText(event->message.getTextFromTextMetaEvent())))
                    rate = contents.settings->sampleRate;
        const double ppq = contents.ticksPerQuarterNote;
        for (const auto* event : *midi.getTrack(0))
        {
            const auto& message = event->message;
            if (message.isTempoMetaEvent())
            {
                const double tick = message.getTimeStamp();
                const Segment& last = segments.back();
                const double sample = last.sample + (tick - last.tick) * last.microseconds * rate / (ppq * 1e6);
                const double microseconds = message.getTempoSecondsPerQuarterNote() * 1e6;
                if (tick == 0.0)
                    segments.back().microseconds = microseconds;
                else
                    segments.push_back({tick, sample, microseconds});
                contents.tempos.push_back(60.0 / message.getTempoSecondsPerQuarterNote());
            }
            else if (message.isMetaEvent() && message.getMetaEventType() == 6)
                contents.markers.push_back(message.getTextFromTextMetaEvent());
        }
        const auto sampleAt = [&](double tick)
        {
            const Segment* segment = &segments.front();
            for (const Segment& candidate : segments)
                if (candidate.tick <= tick)
                    segment = &candidate;
            return std::llround(segment->sample
                                + (tick - segment->tick) * segment->microseconds * rate / (ppq * 1e6));
        };
        for (int track = 1; track < midi.getNumTracks(); ++track)
        {
            juce::String name;
            for (const auto* event : *midi.getTrack(track))
                if (event->message.isTrackNameEvent())
                    name = event->message.getTextFromTextMetaEvent();
            for (const auto* event : *midi.getTrack(track))
            {
                const auto& message = event->message;
                const int64_t sample = sampleAt(message.getTimeStamp());
                if (message.isEndOfTrackMetaEvent() && name == TakeSettings::drumTrackName)
                    contents.endSample = sample;
                if (message.isMetaEvent())
                    continue;
                Event copy{sample, std::vector<int>(message.getRawData(),
                                                    message.getRawData() + message.getRawDataSize())};
                if (name == TakeSettings::playerTrackName)
                    contents.player.push_back(copy);
                else if (name == TakeSettings::drumTrackName && message.isNoteOn(true))
                    contents.drumNoteOns.push_back(copy);
            }
        }
        return contents;
    }
};

inline std::ostream& operator<<(std::ostream& out, const TakeFileContents::Event& event)
{
    out << "@" << event.sample << ":";
    for (int byte : event.bytes)
        out << " " << byte;
    return out;
}
