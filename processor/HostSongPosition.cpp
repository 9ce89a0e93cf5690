#include "HostSongPosition.h"

#include <cmath>

double HostSongPosition::atBlockStart(const Report& report, double sampleRate)
{
    lastReport = report;
    lastWasJump = false;
    if (!report.isPlaying)
    {
        anchored = false;
        return report.ppq.orFallback(0.0);
    }

    bool continues = anchored;
    if (anchored && report.timeInSamples.hasValue() && anchorTime.hasValue())
    {
        const auto expectedTime = *anchorTime + samplesSinceAnchor;
        if (std::abs(static_cast<double>(*report.timeInSamples - expectedTime)) > jumpInSeconds * sampleRate)
        {
            continues = false;
            lastWasJump = true;
        }
    }

    const double expected = anchored ? predicted(sampleRate) : 0.0;
    juce::Optional<double> fromSamples;
    if (report.timeInSamples.hasValue())
        fromSamples = static_cast<double>(*report.timeInSamples) * report.bpm / (60.0 * sampleRate);
    const auto isSame = [](double a, double b)
    {
        return std::abs(a - b) <= samePositionInBeats;
    };

    double position;
    if (continues && (!report.ppq.hasValue() || isSame(*report.ppq, expected)))
        position = expected; // the transport rolled on as before
    else if (report.ppq.hasValue())
        position = fromSamples.hasValue() && isSame(*fromSamples, *report.ppq) ? *fromSamples : *report.ppq;
    else if (fromSamples.hasValue())
        position = placedWithoutBeats(report, *fromSamples, sampleRate);
    else
        position = expected;

    if (!continues || position != expected || report.bpm != anchorBpm)
        anchorAt(position, report, sampleRate);
    anchored = true;
    return position;
}

HostSongPosition::Report HostSongPosition::continuation() const
{
    Report next = lastReport;
    if (anchored)
    {
        next.ppq = juce::nullopt;
        next.timeInSamples = juce::nullopt;
        if (anchorTime.hasValue())
            next.timeInSamples = *anchorTime + samplesSinceAnchor;
    }
    return next;
}

bool HostSongPosition::jumped() const
{
    return lastWasJump;
}

void HostSongPosition::blockEnded(int numSamples)
{
    if (anchored)
        samplesSinceAnchor += juce::jmax(0, numSamples);
}

void HostSongPosition::forget()
{
    anchored = false;
    lastWasJump = false;
    lastReport = {};
}

double HostSongPosition::predicted(double sampleRate) const
{
    return anchorPpq + static_cast<double>(samplesSinceAnchor) * anchorBpm / (60.0 * sampleRate);
}

void HostSongPosition::anchorAt(double ppq, const Report& report, double sampleRate)
{
    juce::Optional<juce::int64> time = report.timeInSamples;
    if (!time.hasValue() && anchored && anchorTime.hasValue())
        time = *anchorTime + samplesSinceAnchor;
    anchorPpq = ppq;
    anchorBpm = report.bpm;
    samplesSinceAnchor = 0;
    anchorTime = time;
    if (!report.ppq.hasValue() && time.hasValue())
        learnTempoPoint({*time, ppq, report.bpm}, sampleRate);
}

// A start or a jump in a host that gives no beats. On the stretch of its tempo map where it
// last played at this tempo, the position follows from where that stretch began; otherwise
// from a steady tempo since the song's start. A host that gives its bar has the last word
// between the two.
double HostSongPosition::placedWithoutBeats(const Report& report, double fromSamples, double sampleRate) const
{
    const auto seen = fromTempoMapSeen(*report.timeInSamples, report.bpm, sampleRate);
    const auto inHostsBar = [&](double position)
    {
        const double barStart = 4.0 * static_cast<double>(*report.bar);
        return position > barStart - samePositionInBeats && position < barStart + 4 + samePositionInBeats;
    };
    if (report.bar.hasValue())
    {
        if (seen.hasValue() && inHostsBar(*seen))
            return *seen;
        if (inHostsBar(fromSamples))
            return fromSamples;
    }
    return seen.orFallback(fromSamples);
}

juce::Optional<double> HostSongPosition::fromTempoMapSeen(juce::int64 time, double bpm, double sampleRate) const
{
    if (sampleRate != tempoMapRate)
        return juce::nullopt;
    const TempoPoint* last = nullptr;
    for (int i = 0; i < tempoPointsSeen && tempoMapSeen[static_cast<size_t>(i)].time <= time; ++i)
        last = &tempoMapSeen[static_cast<size_t>(i)];
    if (last == nullptr || last->bpm != bpm)
        return juce::nullopt; // a stretch not played yet, or a tempo map changed since
    return last->ppq + static_cast<double>(time - last->time) * bpm / (60.0 * sampleRate);
}

void HostSongPosition::learnTempoPoint(const TempoPoint& point, double sampleRate)
{
    if (sampleRate != tempoMapRate)
    {
        tempoPointsSeen = 0; // its times were samples at another rate
        tempoMapRate = sampleRate;
    }
    int at = 0;
    while (at < tempoPointsSeen && tempoMapSeen[static_cast<size_t>(at)].time < point.time)
        ++at;
    if (at < tempoPointsSeen && tempoMapSeen[static_cast<size_t>(at)].time == point.time)
    {
        tempoMapSeen[static_cast<size_t>(at)] = point; // played again (a loop), or changed
        return;
    }
    if (tempoPointsSeen == maxTempoPoints)
    {
        tempoPointsSeen = 0; // a long song of many tempos: start again from here
        at = 0;
    }
    for (int i = tempoPointsSeen; i > at; --i)
        tempoMapSeen[static_cast<size_t>(i)] = tempoMapSeen[static_cast<size_t>(i - 1)];
    tempoMapSeen[static_cast<size_t>(at)] = point;
    ++tempoPointsSeen;
}
