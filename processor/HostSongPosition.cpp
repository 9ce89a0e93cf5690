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
        position = *fromSamples; // no beats given: a steady tempo since the song's start
    else
        position = expected;

    if (!continues || position != expected || report.bpm != anchorBpm)
        anchorAt(position, report);
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

void HostSongPosition::anchorAt(double ppq, const Report& report)
{
    juce::Optional<juce::int64> time = report.timeInSamples;
    if (!time.hasValue() && anchored && anchorTime.hasValue())
        time = *anchorTime + samplesSinceAnchor;
    anchorPpq = ppq;
    anchorBpm = report.bpm;
    samplesSinceAnchor = 0;
    anchorTime = time;
}
