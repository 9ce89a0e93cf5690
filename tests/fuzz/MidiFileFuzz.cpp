// The renderer's MIDI file reader fed any bytes, as a user could hand it any file. Either
// the file is refused with a RenderError, or it gives a performance with a note-on, its
// events in time order at finite beats from zero, and tempos from which the renderer's
// tempo map places every event at a finite time.

#include "FuzzInput.h"
#include "Performance.h"
#include "RenderError.h"
#include "TempoMap.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    juce::MemoryInputStream stream(data, size, false);
    Performance performance;
    try
    {
        performance = readPerformance(stream, "fuzz.mid");
    }
    catch (const RenderError&)
    {
        return 0; // refused with a message
    }

    FUZZ_REQUIRE(performance.countNoteOns() > 0);
    double previous = 0.0;
    for (const auto* event : performance.events)
    {
        const double beat = event->message.getTimeStamp();
        FUZZ_REQUIRE(std::isfinite(beat) && beat >= previous);
        previous = beat;
    }
    FUZZ_REQUIRE(std::isfinite(performance.lastNoteOnBeat()));

    // The renderer plays a map only of tempos within the drummer's range.
    std::vector<TempoChange> playable;
    for (const TempoChange& change : performance.tempoChanges)
    {
        FUZZ_REQUIRE(std::isfinite(change.beat) && change.beat >= 0.0);
        if (change.bpm >= 30.0 && change.bpm <= 240.0)
            playable.push_back(change);
    }
    const TempoMap map(playable);
    for (const auto* event : performance.events)
    {
        const double seconds = map.secondsAt(event->message.getTimeStamp());
        FUZZ_REQUIRE(std::isfinite(seconds) && seconds >= 0.0);
        FUZZ_REQUIRE(std::fabs(map.beatsAt(seconds) - event->message.getTimeStamp())
                     <= 1e-6 * (1.0 + seconds));
    }
    return 0;
}
