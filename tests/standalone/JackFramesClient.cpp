// Frames of Batto's MIDI output choice on JACK: plays notes into Batto's JACK MIDI input at
// known frames and listens to its JACK MIDI output on the same frame clock, then tells where
// every drum note fell.
//
// Two clients of one process: "keys" sends the notes, "ears" listens. JACK runs keys before
// Batto and Batto before ears in every cycle, and both read the cycle's frame time, so a note
// and the drum note that answers it are placed on one clock, to the frame.
//
// Batto must play at 120 beats a minute, two subdivisions a beat, at 48 kHz, automatic kick
// and snare off: its closed hi-hats (note 42) then mark the grid of eighths (12 000 frames),
// whose instants are every 6000 frames; its kicks and snares (36, 38) answer the notes, each
// either at once, on the note's own frame, or on the grid instant whose window the note fell
// in. Anything else is a fault.
//
// Usage: jack_frames_client MIDI_IN_PORT MIDI_OUT_PORT HATS SECONDS
// Listens until HATS hi-hats have come after the first one, or SECONDS have passed; prints
// what it found; exits with 0 when every note was on its frame, 1 otherwise.
#include "JackPortConnection.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace
{
// A note every this many frames: not a multiple of the grid, so notes fall at every place
// between two instants, and into every place of a cycle.
constexpr jack_nframes_t noteSpacing = 7001;
constexpr long instantFrames = 6000;
constexpr size_t capacity = 1 << 16;

struct Heard
{
    jack_nframes_t frame;
    unsigned char status, key;
};

struct Session
{
    jack_client_t* keys = nullptr;
    jack_client_t* ears = nullptr;
    jack_port_t* keysOut = nullptr;
    jack_port_t* earsIn = nullptr;

    // keys' thread.
    bool started = false;
    jack_nframes_t nextNote = 0;
    std::vector<jack_nframes_t> notes; // reserved
    std::atomic<size_t> notesPlayed{0};

    // ears' thread.
    std::vector<Heard> heard; // reserved
    std::atomic<size_t> heardCount{0};
};

int keysProcess(jack_nframes_t frames, void* arg)
{
    auto& session = *static_cast<Session*>(arg);
    void* buffer = jack_port_get_buffer(session.keysOut, frames);
    jack_midi_clear_buffer(buffer);
    const jack_nframes_t cycleStart = jack_last_frame_time(session.keys);
    if (!session.started)
    {
        session.nextNote = cycleStart + 1000;
        session.started = true;
    }
    size_t played = session.notesPlayed.load();
    while (played < session.notes.capacity() && jack_nframes_t(session.nextNote - cycleStart) < frames)
    {
        const unsigned char noteOn[3] = {0x90, 60, 100};
        jack_midi_event_write(buffer, session.nextNote - cycleStart, noteOn, 3);
        session.notes.push_back(session.nextNote); // within the reserved room
        session.nextNote += noteSpacing;
        ++played;
    }
    session.notesPlayed.store(played);
    return 0;
}

int earsProcess(jack_nframes_t frames, void* arg)
{
    auto& session = *static_cast<Session*>(arg);
    void* buffer = jack_port_get_buffer(session.earsIn, frames);
    const jack_nframes_t cycleStart = jack_last_frame_time(session.ears);
    size_t count = session.heardCount.load();
    const jack_nframes_t events = jack_midi_get_event_count(buffer);
    for (jack_nframes_t i = 0; i < events && count < session.heard.capacity(); ++i)
    {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, buffer, i) != 0 || event.size < 3)
            continue;
        session.heard.push_back({cycleStart + event.time, event.buffer[0], event.buffer[1]});
        ++count;
    }
    session.heardCount.store(count);
    return 0;
}

long distanceToGrid(long frame, long origin)
{
    const long phase = ((frame - origin) % instantFrames + instantFrames) % instantFrames;
    return std::min(phase, instantFrames - phase);
}
} // namespace

int main(int argc, char** argv)
{
    if (argc != 5)
    {
        std::fprintf(stderr, "usage: %s MIDI_IN_PORT MIDI_OUT_PORT HATS SECONDS\n", argv[0]);
        return 2;
    }
    const std::string midiIn = argv[1], midiOut = argv[2];
    const size_t hatsWanted = static_cast<size_t>(std::atol(argv[3]));
    const double seconds = std::atof(argv[4]);

    Session session;
    session.notes.reserve(capacity);
    session.heard.reserve(capacity);
    session.keys = jack_client_open("keys", JackNoStartServer, nullptr);
    session.ears = jack_client_open("ears", JackNoStartServer, nullptr);
    if (session.keys == nullptr || session.ears == nullptr)
    {
        std::fprintf(stderr, "no JACK server\n");
        return 1;
    }
    const jack_nframes_t period = jack_get_buffer_size(session.ears);
    session.keysOut = jack_port_register(session.keys, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    session.earsIn = jack_port_register(session.ears, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(session.keys, keysProcess, &session);
    jack_set_process_callback(session.ears, earsProcess, &session);
    if (jack_activate(session.ears) != 0 || jack_activate(session.keys) != 0
        || !connectJackPorts(session.ears, midiOut, jack_port_name(session.earsIn))
        || !connectJackPorts(session.keys, jack_port_name(session.keysOut), midiIn))
        return 1;

    // Listens until enough hi-hats have come; the heard events are read only up to the count
    // the ears' thread published.
    auto hats = [&]
    {
        const size_t count = session.heardCount.load();
        return static_cast<size_t>(std::count_if(session.heard.begin(), session.heard.begin() + long(count),
                                                 [](const Heard& h)
                                                 {
                                                     return h.status == 0x99 && h.key == 42;
                                                 }));
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (hats() < hatsWanted + 1 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    jack_deactivate(session.keys);
    jack_deactivate(session.ears);
    const size_t heardCount = session.heardCount.load();
    const size_t played = session.notesPlayed.load();
    std::vector<Heard> heard(session.heard.begin(), session.heard.begin() + long(heardCount));
    std::vector<long> notes(session.notes.begin(), session.notes.begin() + long(played));
    jack_client_close(session.keys);
    jack_client_close(session.ears);

    long origin = -1;
    for (const auto& h : heard)
        if (h.status == 0x99 && h.key == 42)
        {
            origin = long(h.frame);
            break;
        }
    if (origin < 0)
    {
        std::fprintf(stderr, "no hi-hat heard: did the drummer start?\n");
        return 1;
    }

    long worstHat = 0;
    size_t hatCount = 0, atOnce = 0, onInstant = 0, faults = 0;
    for (const auto& h : heard)
    {
        if (h.status != 0x99)
        {
            std::printf("not a channel-10 note-on: %02x %02x at %u\n", h.status, h.key, h.frame);
            ++faults;
            continue;
        }
        if (h.key == 42)
        {
            ++hatCount;
            worstHat = std::max(worstHat, distanceToGrid(long(h.frame), origin));
            continue;
        }
        if (h.key != 36 && h.key != 38)
            continue;
        // The note it answers: the last one played at or before it.
        const auto after = std::upper_bound(notes.begin(), notes.end(), long(h.frame));
        if (after == notes.begin() || long(h.frame) < origin)
            continue; // before the drummer played: not ours to judge
        if (*(after - 1) == long(h.frame))
            ++atOnce;
        else if (distanceToGrid(long(h.frame), origin) == 0)
            ++onInstant;
        else
        {
            std::printf("drum note %d at %u: neither on its note's frame (%ld) nor on the grid\n", h.key,
                        h.frame, *(after - 1));
            ++faults;
        }
    }
    std::printf("JACK MIDI output, %u frames a period: %zu hi-hats, the farthest %ld frames from its grid "
                "frame; %zu notes played, %zu answered at once on their own frame, %zu on their grid instant, "
                "%zu faults\n",
                period, hatCount, worstHat, played, atOnce, onInstant, faults);
    const bool passed = hatCount >= hatsWanted && worstHat <= 1 && atOnce >= 2 && faults == 0;
    return passed ? 0 : 1;
}
