// How far each drum note of the standalone MIDI thread leaves from its grid time, on the real
// clock and the real thread "MidiBatto", with the MIDI-output sound choice. A player's notes
// arrive from a thread of their own meanwhile (as a MIDI input thread delivers them), so the
// engine's lock is contended as it is when someone plays.
//
// A note's grid time is the clock time the thread waited for before the engine step that
// sent it; the lateness is the clock's reading when the note was handed to the output minus
// that time. The thread's own wake-up after each wait is shown beside it: what the machine's
// scheduler adds before the engine does anything. Notes that answer the player at once leave
// from the input thread and have no grid time: they are counted apart.
//
// Usage: midi_thread_timing [SECONDS=180] [TEMPO=120] [SUBDIVISIONS=4]
#include "BattoMidiProcessor.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

namespace
{
using MidiThread = BattoStandAloneApplication::BattoMidiProcessor;

// The real MIDI thread, which remembers the time it last waited for (its own thread only).
class TimedMidiThread : public MidiThread
{
public:
    using MidiThread::MidiThread;
    using MidiThread::millisecondsNow;

    double lastDue = 0.0;              // its own thread only
    std::vector<double> wakeLateness;  // ms after the time waited for; its own thread only

protected:
    void waitUntil(double milliseconds) override
    {
        lastDue = milliseconds;
        MidiThread::waitUntil(milliseconds);
        if (!threadShouldExit()) // a stop request ends the last wait early
            wakeLateness.push_back(millisecondsNow() - milliseconds);
    }
};

// Sent notes, with their lateness when they left from the MIDI thread itself.
class LatenessRecorder : public DrumNoteOutput
{
public:
    explicit LatenessRecorder(TimedMidiThread& threadToWatch) : thread(threadToWatch)
    {
    }

    void sendNow(const juce::MidiMessage&) override
    {
        const double now = thread.millisecondsNow();
        if (juce::Thread::getCurrentThread() == &thread)
            lateness.push_back(now - thread.lastDue);
        else
            ++answeredFromInput;
    }

    std::vector<double> lateness; // ms; under the thread's engine lock
    long answeredFromInput = 0;

private:
    TimedMidiThread& thread;
};

double percentile(const std::vector<double>& sorted, double fraction)
{
    const auto index = static_cast<size_t>(fraction * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(index, sorted.size() - 1)];
}

void report(const char* what, std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    std::printf("%s: min %.3f  p50 %.3f  p99 %.3f  max %.3f\n", what, values.front(), percentile(values, 0.5),
                percentile(values, 0.99), values.back());
}
} // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 180.0;
    const double tempo = argc > 2 ? std::atof(argv[2]) : 120.0;
    const int subdivisions = argc > 3 ? std::atoi(argv[3]) : 4;
    const juce::ScopedJuceInitialiser_GUI juce;

    BattoAudioProcessor processor;
    TimedMidiThread thread(&processor);
    LatenessRecorder output(thread);
    thread.setDrumNoteOutput(&output);
    processor.midiThread = &thread;
    processor.midiThreadEngine = &thread;
    processor.setDrumKit(BattoAudioProcessor::kitMidiOut);
    processor.setTempo(tempo);
    processor.chooseDivisionDuTemps(subdivisions);
    processor.start();

    // The player: a note every 100 to 400 ms, louder and softer.
    std::atomic<bool> done{false};
    std::thread player(
        [&]
        {
            juce::Random random(1234);
            while (!done)
            {
                const auto velocity = static_cast<juce::uint8>(40 + random.nextInt(87));
                thread.handleIncomingMidiMessage(nullptr, juce::MidiMessage::noteOn(1, 60, velocity));
                std::this_thread::sleep_for(std::chrono::milliseconds(100 + random.nextInt(300)));
            }
        });

    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    done = true;
    player.join();
    thread.setDrumNoteOutput(nullptr); // the step a stop request takes early is not measured
    processor.stop();
    processor.midiThread = nullptr;
    processor.midiThreadEngine = nullptr;

    if (output.lateness.empty())
    {
        std::fprintf(stderr, "no note left the MIDI thread\n");
        return 1;
    }
    std::printf("MIDI thread, %.0f s at %.0f beats a minute, %d subdivisions a beat: %zu grid notes, "
                "%ld notes answered at once from the input thread\n",
                seconds, tempo, subdivisions, output.lateness.size(), output.answeredFromInput);
    report("notes leave after their grid time (ms)", output.lateness);
    report("the thread wakes after the time it waited for (ms)", thread.wakeLateness);
    return 0;
}
