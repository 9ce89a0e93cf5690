// Key to sound over JACK: plays notes into Batto's JACK MIDI input at known frames, records
// its drums (output 1) and its metronome (output 3) on the same frame clock, and reports how
// long each note takes to its first sample of sound, for the hits that sound at once.
//
// Two clients of one process: "keys" sends the notes, "ears" records. JACK runs keys before
// Batto and Batto before ears in every cycle, and both read the cycle's frame time, so a note
// and the sound it starts are placed on one clock, to the frame.
//
// Which hits sound at once: the drummer plays a note on the grid instant whose window it falls
// in, at once when that instant has been reached and on the instant itself otherwise. The
// groove plays on meanwhile (its hi-hats, on the grid), so an attack after a note is not
// necessarily the note's. The clicks give the beats: a drum attack on the grid of half
// subdivisions is the groove's or a hit that waited, and is passed over; the first attack off
// the grid after the note is the note answered at once. Run Batto with two subdivisions a beat,
// the metronome on and automatic kick and snare off (bench/key_to_sound.sh does).
//
// Usage: key_to_sound_client MIDI_IN_PORT DRUMS_PORT CLICKS_PORT SECONDS TEMPO
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
// between two instants.
constexpr jack_nframes_t noteSpacing = 14123;

struct Session
{
    jack_client_t* keys = nullptr;
    jack_client_t* ears = nullptr;
    jack_port_t* keysOut = nullptr;
    jack_port_t* drumsIn = nullptr;
    jack_port_t* clicksIn = nullptr;

    // Set by main before activation.
    jack_nframes_t lengthFrames = 0;
    size_t notesToPlay = 0;

    // keys' thread: the frame of the first note, then each note's frame as it left.
    std::atomic<bool> started{false};
    jack_nframes_t firstNote = 0;
    std::vector<jack_nframes_t> noteFrames; // reserved for notesToPlay
    std::atomic<size_t> notesPlayed{0};

    // ears' thread: the recording, indexed by frame - recordStart (frames of skipped cycles
    // stay silent).
    std::atomic<bool> recording{false};
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
    if (!session.started.load())
    {
        session.firstNote = cycleStart + 48000; // a second for the recording to start
        session.started.store(true);
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
    if (!session.recording.load())
    {
        session.recordStart = cycleStart;
        session.recording.store(true);
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

// A click starts on the first sample after silence; its beat is the sample before (a click's
// first sample is silent).
std::vector<long> beats(const std::vector<float>& clicks)
{
    std::vector<long> found;
    long zeros = 0;
    for (size_t i = 0; i < clicks.size(); ++i)
    {
        if (clicks[i] == 0.0f)
            ++zeros;
        else
        {
            if (zeros >= 200)
                found.push_back(static_cast<long>(i) - 1);
            zeros = 0;
        }
    }
    return found;
}

// How much the sound moves over `length` frames from `start`.
double movement(const std::vector<float>& sound, long start, long length)
{
    double sum = 0.0;
    for (long i = std::max(1L, start); i < start + length && i < static_cast<long>(sound.size()); ++i)
        sum += std::fabs(sound[size_t(i)] - sound[size_t(i - 1)]);
    return sum;
}

// The first drum attack at or after `from`, before `until`: where the sound starts to move
// more than three times as fast over 64 frames as over the 64 before, and faster than a quiet
// closed hi-hat does (the recorded kit's attacks rise within a millisecond or two, the tails of
// drums and the ringing of cymbals do not), taken to the first frame whose step stands out
// from the steps just before it. A cycle that the server skipped (an xrun) leaves a hole of
// silence in the recording; an attack cannot be told from a hole's edge, so a hole before the
// attack makes the note unmeasured.
struct Attack
{
    enum Kind { found, none, afterAHole } kind;
    long frame;
};

Attack firstAttack(const std::vector<float>& drums, const std::vector<char>& recorded, long from, long until)
{
    constexpr long window = 64;
    constexpr double quietestStep = 10.0 / 32768.0; // a quiet closed hi-hat's ten levels a frame
    for (long p = std::max(from, 5 * window); p < until; ++p)
    {
        for (long i = p - 4 * window; i <= p + window; ++i)
            if (!recorded[size_t(i)])
                return {Attack::afterAHole, i};
        const double now = movement(drums, p, window);
        const double before = movement(drums, p - window, window);
        if (now <= 3.0 * before + quietestStep * window)
            continue;
        double quiet = 0.0;
        for (long i = p - 4 * window; i < p; ++i)
            quiet = std::max(quiet, double(std::fabs(drums[size_t(i)] - drums[size_t(i - 1)])));
        for (long q = p; q <= p + window; ++q)
            if (std::fabs(drums[size_t(q)] - drums[size_t(q - 1)]) > 2.0 * quiet + quietestStep)
                return {Attack::found, q};
        return {Attack::found, p};
    }
    return {Attack::none, -1};
}

double percentile(const std::vector<double>& sorted, double fraction)
{
    const auto index = static_cast<size_t>(fraction * double(sorted.size() - 1) + 0.5);
    return sorted[std::min(index, sorted.size() - 1)];
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 6)
    {
        std::fprintf(stderr, "usage: %s MIDI_IN_PORT DRUMS_PORT CLICKS_PORT SECONDS TEMPO\n", argv[0]);
        return 2;
    }
    const std::string midiIn = argv[1], drumsPort = argv[2], clicksPort = argv[3];
    const double seconds = std::atof(argv[4]);
    const double tempo = std::atof(argv[5]);

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
    session.lengthFrames = static_cast<jack_nframes_t>(seconds * rate);
    session.notesToPlay = (session.lengthFrames - 2 * 48000) / noteSpacing;
    session.noteFrames.resize(session.notesToPlay);
    session.drums.resize(session.lengthFrames);
    session.clicks.resize(session.lengthFrames);
    session.recorded.resize(session.lengthFrames);
    session.keysOut = jack_port_register(session.keys, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    session.drumsIn = jack_port_register(session.ears, "drums", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    session.clicksIn = jack_port_register(session.ears, "clicks", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(session.keys, keysProcess, &session);
    jack_set_process_callback(session.ears, earsProcess, &session);
    if (jack_activate(session.ears) != 0 || jack_activate(session.keys) != 0
        || !connectJackPorts(session.ears, drumsPort, jack_port_name(session.drumsIn))
        || !connectJackPorts(session.ears, clicksPort, jack_port_name(session.clicksIn))
        || !connectJackPorts(session.keys, jack_port_name(session.keysOut), midiIn))
        return 1;

    while (!session.full.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    jack_client_close(session.keys);
    jack_client_close(session.ears);

    // The grid of half subdivisions (two subdivisions a beat), counted from the beat before.
    const auto beatFrames = beats(session.clicks);
    if (beatFrames.size() < 2)
    {
        std::fprintf(stderr, "no metronome clicks recorded\n");
        return 1;
    }
    const double grid = 60.0 * rate / tempo / 4.0;
    auto beatBefore = [&](long frame)
    {
        const auto next = std::upper_bound(beatFrames.begin(), beatFrames.end(), frame);
        return next == beatFrames.begin() ? -1L : *(next - 1);
    };
    auto onTheGrid = [&](long frame)
    {
        const double phase = std::fmod(double(frame - beatBefore(frame)), grid);
        return std::min(phase, grid - phase) <= 4.0;
    };
    // A skipped cycle moves Batto's grid against the frame clock (the drummer counts the
    // samples it plays): from the beat before up to the sound, the grid must be whole.
    std::vector<long> holesBefore(session.recorded.size() + 1, 0);
    for (size_t i = 0; i < session.recorded.size(); ++i)
        holesBefore[i + 1] = holesBefore[i] + (session.recorded[i] ? 0 : 1);
    auto skippedBetween = [&](long from, long to)
    {
        return from < 0 || holesBefore[size_t(to)] != holesBefore[size_t(from)];
    };

    std::vector<double> atOnce;
    int waited = 0, unheard = 0, afterAHole = 0;
    const size_t played = session.notesPlayed.load();
    const long end = long(session.drums.size()) - 64;
    for (size_t i = 0; i < played; ++i)
    {
        const long note = long(session.noteFrames[i] - session.recordStart);
        // An answer at once starts within two periods of its note even when it comes a period
        // late; what starts later is the groove's or waited for its instant.
        const long until = std::min(note + 2 * long(period) + 128, end);
        // Attacks on the grid (the groove's, or hits that waited) are passed over.
        bool sawOneOnTheGrid = false;
        auto attack = firstAttack(session.drums, session.recorded, note, until);
        while (attack.kind == Attack::found && onTheGrid(attack.frame))
        {
            sawOneOnTheGrid = true;
            attack = firstAttack(session.drums, session.recorded, attack.frame + 64, until);
        }
        if (attack.kind == Attack::afterAHole
            || (attack.kind == Attack::found && skippedBetween(beatBefore(note), attack.frame)))
            ++afterAHole;
        else if (attack.kind == Attack::found)
            atOnce.push_back(double(attack.frame - note));
        else if (sawOneOnTheGrid)
            ++waited;
        else
            ++unheard;
    }
    if (atOnce.empty())
    {
        std::fprintf(stderr, "no note was answered at once (%d waited, %d unheard, %d after a hole)\n",
                     waited, unheard, afterAHole);
        return 1;
    }
    std::sort(atOnce.begin(), atOnce.end());
    std::printf("key to sound over JACK, %.0f Hz, %u frames a period (%.3f ms), %.0f s: %zu notes, "
                "%zu answered at once, %d with only attacks on the grid within two periods, %d with none, "
                "%d not measured (a skipped cycle between the beat before and the sound)\n",
                rate, period, 1000.0 * period / rate, seconds, played, atOnce.size(), waited, unheard,
                afterAHole);
    const auto inOnePeriod = std::count_if(atOnce.begin(), atOnce.end(),
                                           [&](double frames)
                                           {
                                               return frames < double(period);
                                           });
    std::printf("key to sound, hits at once, frames from the note's frame to the first sample of its sound: "
                "min %.0f  p50 %.0f  p99 %.0f  max %.0f (max %.3f ms); %ld of %zu within the note's own period\n",
                atOnce.front(), percentile(atOnce, 0.5), percentile(atOnce, 0.99), atOnce.back(),
                1000.0 * atOnce.back() / rate, long(inOnePeriod), atOnce.size());
    return 0;
}
