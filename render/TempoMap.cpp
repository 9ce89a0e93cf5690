#include "TempoMap.h"

#include <algorithm>

TempoMap::TempoMap(double bpm) : TempoMap(std::vector<TempoChange>{{0.0, bpm}})
{
}

TempoMap::TempoMap(const std::vector<TempoChange>& changes)
{
    // Before its first tempo a MIDI file plays at 120 beats per minute.
    if (changes.empty() || changes.front().beat > 0.0)
        tempos.push_back({0.0, defaultTempo});
    for (const TempoChange& change : changes)
    {
        const double beat = std::max(0.0, change.beat);
        if (!tempos.empty() && tempos.back().beat == beat)
            tempos.back().bpm = change.bpm;
        else
            tempos.push_back({beat, change.bpm});
    }

    startSeconds.push_back(0.0);
    for (size_t i = 1; i < tempos.size(); ++i)
        startSeconds.push_back(startSeconds[i - 1]
                               + (tempos[i].beat - tempos[i - 1].beat) * 60.0 / tempos[i - 1].bpm);
}

size_t TempoMap::segmentAtBeat(double beat) const
{
    const auto after = std::upper_bound(tempos.begin(), tempos.end(), beat,
                                        [](double b, const TempoChange& change)
                                        {
                                            return b < change.beat;
                                        });
    return after == tempos.begin() ? 0 : static_cast<size_t>(after - tempos.begin()) - 1;
}

size_t TempoMap::segmentAtSeconds(double seconds) const
{
    const auto after = std::upper_bound(startSeconds.begin(), startSeconds.end(), seconds);
    return after == startSeconds.begin() ? 0 : static_cast<size_t>(after - startSeconds.begin()) - 1;
}

double TempoMap::secondsAt(double beat) const
{
    const size_t i = segmentAtBeat(beat);
    return startSeconds[i] + (beat - tempos[i].beat) * 60.0 / tempos[i].bpm;
}

double TempoMap::beatsAt(double seconds) const
{
    const size_t i = segmentAtSeconds(seconds);
    return tempos[i].beat + (seconds - startSeconds[i]) * tempos[i].bpm / 60.0;
}

double TempoMap::tempoAtBeat(double beat) const
{
    return tempos[segmentAtBeat(beat)].bpm;
}

double TempoMap::tempoAtSeconds(double seconds) const
{
    return tempos[segmentAtSeconds(seconds)].bpm;
}

bool TempoMap::isConstant() const
{
    return slowest() == fastest();
}

double TempoMap::slowest() const
{
    return std::min_element(tempos.begin(), tempos.end(),
                            [](const TempoChange& a, const TempoChange& b)
                            {
                                return a.bpm < b.bpm;
                            })
        ->bpm;
}

double TempoMap::fastest() const
{
    return std::max_element(tempos.begin(), tempos.end(),
                            [](const TempoChange& a, const TempoChange& b)
                            {
                                return a.bpm < b.bpm;
                            })
        ->bpm;
}
