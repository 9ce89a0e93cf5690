// Key to sound over JACK: plays notes into Batto's JACK MIDI input at known frames, records
// its drums (output 1) and its metronome (output 3) on the same frame clock, and reports how
// long each note that must be answered at once takes to the first sample of its answer.
//
// Two clients of one process: "keys" sends the notes, "ears" records. JACK runs keys before
// Batto and Batto before ears in every cycle, and both read the cycle's frame time, so a note
// and the sound it starts are placed on one clock, to the frame.
//
// Batto plays a kit of its own here (bench/key_to_sound.sh writes it): the voices that answer
// notes (snare, kick, crashes, toms) are a short block of constant level whose very first
// sample sounds, and the voices the groove plays by itself (hi-hats, ride) are silent, with
// automatic kick and snare off. The drum output is then silent except for the answers, and an
// answer starts on the first non-zero sample after silence: its attack is 0 frames.
//
// Which answers come at once: the drummer judges a note by the grid instant whose window it
// falls in. After the instant is reached, up to the end of its late window, the answer sounds
// at once; in the early window before an instant it waits for the instant; between the two
// windows the note is not answered. The clicks of the metronome (output 3) give the beats;
// the instants lie every half subdivision from them. Every note is judged the way the drummer
// judges it, and each kind is checked: the waited answers must sound on their instants and
// the unanswered notes stay silent, which shows that the grid read from the clicks is the
// drummer's own. Notes within a few frames of a window's edge are left out.
//
// Usage: key_to_sound_client MIDI_IN_PORT DRUMS_PORT CLICKS_PORT SECONDS TEMPO SUBDIVISIONS
#include "JackPortConnection.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace
{
// A note every this many frames: not a multiple of the grid, so notes fall at every place
// between two instants, and far enough apart that each answer is over before the next note.
constexpr jack_nframes_t noteSpacing = 14123;
// Notes this close to the edge of a window are not judged.
constexpr long edgeMargin = 16;

struct Session
{
    jack_client_t* keys = nullptr;
    jack_client_t* ears = nullptr;
    jack_port_t* keysOut = nullptr;
    jack_port_t* drumsIn = nullptr;
    jack_port_t* clicksIn = nullptr;

    // Set by main before activation.
    size_t notesToPlay = 0;

    // keys' thread: the frame of the first note, then each note's frame as it left.
    bool started = false;
    jack_nframes_t firstNote = 0;
    std::vector<jack_nframes_t> noteFrames; // sized notesToPlay
    std::atomic<size_t> notesPlayed{0};

    // ears' thread: the recording, indexed by frame - recordStart (frames of skipped cycles
    // stay silent and are marked in `recorded`).
    bool recording = false;
    jack_nframes_t recordStart = 0;
    std::vector<float> drums, clicks;
    std::vector<char> recorded; // per frame: 0 where the server skipped ears' cycle
    std::atomic<bool> full{false};
};

int keysProcess(jack_nframes_t frames, void* arg)
{
    auto& session = *static_cast<Session*>(arg);
    void* buffer = jack_port_get_buffer(session.keysOut, frames);
    jack_midi_clear_buffer(buffer);
    const jack_nframes_t cycleStart = jack_last_frame_time(session.keys);
    if (!session.started)
    {
        session.firstNote = cycleStart + 48000; // a second for the recording to start
        session.started = true;
    }
    size_t played = session.notesPlayed.load();
    while (played < session.notesToPlay)
    {
        const jack_nframes_t due = session.firstNote + static_cast<jack_nframes_t>(played) * noteSpacing;
        const auto offset = static_cast<jack_nframes_t>(std::max<int32_t>(0, int32_t(due - cycleStart)));
        if (offset >= frames)
            break;
        const unsigned char noteOn[3] = {0x90, 60, 100};
        jack_midi_event_write(buffer, offset, noteOn, 3);
        session.noteFrames[played++] = cycleStart + offset;
    }
    session.notesPlayed.store(played);
    return 0;
}

int earsProcess(jack_nframes_t frames, void* arg)
{
    auto& session = *static_cast<Session*>(arg);
    const jack_nframes_t cycleStart = jack_last_frame_time(session.ears);
    if (!session.recording)
    {
        session.recordStart = cycleStart;
        session.recording = true;
    }
    const auto* drums = static_cast<const float*>(jack_port_get_buffer(session.drumsIn, frames));
    const auto* clicks = static_cast<const float*>(jack_port_get_buffer(session.clicksIn, frames));
    const auto at = static_cast<size_t>(cycleStart - session.recordStart);
    if (at + frames > session.drums.size())
    {
        session.full.store(true);
        return 0;
    }
    std::copy(drums, drums + frames, session.drums.begin() + static_cast<long>(at));
    std::copy(clicks, clicks + frames, session.clicks.begin() + static_cast<long>(at));
    std::fill_n(session.recorded.begin() + static_cast<long>(at), frames, char(1));
    return 0;
}

// The frames where a sound starts: a non-zero sample after `silence` silent ones.
std::vector<long> onsets(const std::vector<float>& sound, long silence)
{
    std::vector<long> found;
    long zeros = silence;
    for (size_t i = 0; i < sound.size(); ++i)
    {
        if (sound[i] == 0.0f)
            ++zeros;
        else
        {
            if (zeros >= silence)
                found.push_back(static_cast<long>(i));
            zeros = 0;
        }
    }
    return found;
}

// The drummer's windows around its grid instants, in frames, with the engine's arithmetic
// (engine/Batto.cpp, getTimeOfNextSomethingToDo): an instant every half subdivision; after an
// instant on a subdivision the late window lasts min(s - 2r, 108r), after one half-way between
// two subdivisions s + min(s - 2r, 105r); the early window before an instant min(s - 2r, 105r);
// s is a sixth of a subdivision and r the frames in a millisecond.
struct Windows
{
    double instantFrames;
    double lateAfterSubdivision, lateAfterHalf, early;

    Windows(double rate, double tempo, int subdivisions)
    {
        const double subdivision = rate * 60.0 / (subdivisions * tempo);
        const double r = std::trunc(rate * 0.001);
        const double s = subdivision / 6.0;
        instantFrames = subdivision / 2.0;
        lateAfterSubdivision = std::min(s - 2 * r, 108.0 * r);
        lateAfterHalf = s + std::min(s - 2 * r, 105.0 * r);
        early = std::min(s - 2 * r, 105.0 * r);
    }
};

enum class Decision
{
    atOnce,
    waits,
    unanswered,
    onAnEdge
};

struct Judgement
{
    Decision decision;
    long instant; // the frame of the instant the note belongs to
};

// How the drummer answers a note `sinceBeat` frames after a beat (instant 0 of the beat).
Judgement judge(const Windows& w, long beat, long sinceBeat)
{
    const long index = static_cast<long>(std::floor(double(sinceBeat) / w.instantFrames));
    const double after = double(sinceBeat) - double(index) * w.instantFrames;
    const double late = index % 2 == 0 ? w.lateAfterSubdivision : w.lateAfterHalf;
    const double earlyOpens = w.instantFrames - w.early;
    const auto instant = [&](long i)
    {
        return beat + std::lround(double(i) * w.instantFrames);
    };
    for (const double edge : {0.0, late, earlyOpens, w.instantFrames})
        if (std::fabs(after - edge) < double(edgeMargin))
            return {Decision::onAnEdge, instant(index)};
    if (after < late)
        return {Decision::atOnce, instant(index)};
    if (after >= earlyOpens)
        return {Decision::waits, instant(index + 1)};
    return {Decision::unanswered, instant(index)};
}

double percentile(const std::vector<long>& sorted, double fraction)
{
    const auto index = static_cast<size_t>(fraction * double(sorted.size() - 1) + 0.5);
    return double(sorted[std::min(index, sorted.size() - 1)]);
}

struct Tally
{
    std::vector<long> atOnce;    // frames from the note to its answer's first sample
    std::vector<long> waitedOff; // frames from the instant to the waited answer's first sample
    int atOnceUnheard = 0, waitedUnheard = 0, unanswered = 0, unansweredHeard = 0;
    int onAnEdge = 0, unmeasured = 0, beforeTheDrummer = 0;
    int anomaliesShown = 0;

    void anomaly(const char* what, long note, long detail)
    {
        if (anomaliesShown++ < 20)
            std::printf("  %s: note at frame %ld (%ld)\n", what, note, detail);
    }
};
} // namespace

int main(int argc, char** argv)
{
    if (argc != 7)
    {
        std::fprintf(stderr, "usage: %s MIDI_IN_PORT DRUMS_PORT CLICKS_PORT SECONDS TEMPO SUBDIVISIONS\n",
                     argv[0]);
        return 2;
    }
    const std::string midiIn = argv[1], drumsPort = argv[2], clicksPort = argv[3];
    const double seconds = std::atof(argv[4]);
    const double tempo = std::atof(argv[5]);
    const int subdivisions = std::atoi(argv[6]);

    Session session;
    session.keys = jack_client_open("keys", JackNoStartServer, nullptr);
    session.ears = jack_client_open("ears", JackNoStartServer, nullptr);
    if (session.keys == nullptr || session.ears == nullptr)
    {
        std::fprintf(stderr, "no JACK server\n");
        return 1;
    }
    const double rate = jack_get_sample_rate(session.ears);
    const jack_nframes_t period = jack_get_buffer_size(session.ears);
    const auto lengthFrames = static_cast<size_t>(seconds * rate);
    session.notesToPlay = (lengthFrames - 2 * 48000) / noteSpacing;
    session.noteFrames.resize(session.notesToPlay);
    session.drums.resize(lengthFrames);
    session.clicks.resize(lengthFrames);
    session.recorded.resize(lengthFrames);
    session.keysOut = jack_port_register(session.keys, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    session.drumsIn = jack_port_register(session.ears, "drums", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    session.clicksIn =
        jack_port_register(session.ears, "clicks", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(session.keys, keysProcess, &session);
    jack_set_process_callback(session.ears, earsProcess, &session);
    if (jack_activate(session.ears) != 0 || jack_activate(session.keys) != 0
        || !connectJackPorts(session.ears, drumsPort, jack_port_name(session.drumsIn))
        || !connectJackPorts(session.ears, clicksPort, jack_port_name(session.clicksIn))
        || !connectJackPorts(session.keys, jack_port_name(session.keysOut), midiIn))
        return 1;

    while (!session.full.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    jack_deactivate(session.keys);
    jack_deactivate(session.ears);
    const size_t played = session.notesPlayed.load();
    jack_client_close(session.keys);
    jack_client_close(session.ears);

    // A click's first sample is silent: its beat is the sample before the first that sounds.
    std::vector<long> beats = onsets(session.clicks, 200);
    for (long& beat : beats)
        --beat;
    const std::vector<long> answers = onsets(session.drums, 1);
    if (beats.size() < 2)
    {
        std::fprintf(stderr, "no metronome clicks recorded: did the drummer start?\n");
        return 1;
    }
    const Windows windows(rate, tempo, subdivisions);
    const double beatFrames = 2 * subdivisions * windows.instantFrames;

    // A skipped cycle leaves a hole in the recording and moves Batto's grid against the frame
    // clock: from the beat before a note to the end of its answer's search, the recording
    // must be whole.
    std::vector<long> holesBefore(session.recorded.size() + 1, 0);
    for (size_t i = 0; i < session.recorded.size(); ++i)
        holesBefore[i + 1] = holesBefore[i] + (session.recorded[i] ? 0 : 1);

    Tally tally;
    const long end = long(session.drums.size());
    for (size_t i = 0; i < played; ++i)
    {
        const long note = long(session.noteFrames[i] - session.recordStart);
        // An answer, at once or on its instant, is over before the next note.
        const long until = std::min(note + long(noteSpacing), end);
        const auto beatAfter = std::upper_bound(beats.begin(), beats.end(), note);
        if (beatAfter == beats.begin() || beatAfter == beats.end())
        {
            ++tally.beforeTheDrummer; // before the first click, or after the last one recorded
            continue;
        }
        const long beat = *(beatAfter - 1);
        if (holesBefore[size_t(until)] != holesBefore[size_t(beat)]
            || double(*beatAfter - beat) > beatFrames + 1.0)
        {
            ++tally.unmeasured; // a hole, or a click missing
            continue;
        }
        const Judgement judgement = judge(windows, beat, note - beat);
        const auto answer = std::lower_bound(answers.begin(), answers.end(), note);
        const bool heard = answer != answers.end() && *answer < until;
        switch (judgement.decision)
        {
        case Decision::onAnEdge:
            ++tally.onAnEdge;
            break;
        case Decision::atOnce:
            if (heard)
                tally.atOnce.push_back(*answer - note);
            else
            {
                ++tally.atOnceUnheard;
                tally.anomaly("no answer to a note that must be answered at once", note, note - beat);
            }
            break;
        case Decision::waits:
            if (heard)
                tally.waitedOff.push_back(*answer - judgement.instant);
            else
            {
                ++tally.waitedUnheard;
                tally.anomaly("no answer to a note that waits for its instant", note, judgement.instant);
            }
            break;
        case Decision::unanswered:
            ++tally.unanswered;
            if (heard)
            {
                ++tally.unansweredHeard;
                tally.anomaly("a sound after a note between two windows", note, *answer - note);
            }
            break;
        }
    }

    const size_t judged = tally.atOnce.size() + size_t(tally.atOnceUnheard);
    std::printf("key to sound over JACK, %.0f Hz, %u frames a period (%.3f ms), %.0f s, %zu notes: "
                "%zu to answer at once, %zu waited for their instant, %d between two windows "
                "(not answered), %d on a window's edge (not judged), %d not measured (a skipped cycle "
                "or a missing click), %d outside the drummer's play\n",
                rate, period, 1000.0 * period / rate, seconds, played, judged,
                tally.waitedOff.size() + size_t(tally.waitedUnheard), tally.unanswered, tally.onAnEdge,
                tally.unmeasured, tally.beforeTheDrummer);
    std::printf(
        "the grid checked: waited answers on their instant within %ld frames (%zu heard, %d missing); "
        "sounds after unanswered notes: %d\n",
        tally.waitedOff.empty()
            ? 0L
            : std::max(std::labs(*std::min_element(tally.waitedOff.begin(), tally.waitedOff.end())),
                       std::labs(*std::max_element(tally.waitedOff.begin(), tally.waitedOff.end()))),
        tally.waitedOff.size(), tally.waitedUnheard, tally.unansweredHeard);
    if (tally.atOnce.empty())
    {
        std::fprintf(stderr, "no note to answer at once was answered (%d unheard)\n", tally.atOnceUnheard);
        return 1;
    }
    std::sort(tally.atOnce.begin(), tally.atOnce.end());
    const auto inOnePeriod = std::count_if(tally.atOnce.begin(), tally.atOnce.end(),
                                           [&](long frames)
                                           {
                                               return frames < long(period);
                                           });
    std::printf(
        "key to sound, answers at once, frames from the note's frame to the first sample of its answer "
        "(the kit's attack: 0 frames): %zu measured, min %ld  p50 %.0f  max %ld (%.3f ms); "
        "%ld within the note's own period; %d notes to answer at once with no answer found\n",
        tally.atOnce.size(), tally.atOnce.front(), percentile(tally.atOnce, 0.5), tally.atOnce.back(),
        1000.0 * double(tally.atOnce.back()) / rate, long(inOnePeriod), tally.atOnceUnheard);
    return 0;
}
