// Listens to Batto's JACK MIDI output on JACK's frame clock and judges the MIDI clock on it:
// Song Position Pointer 0, then Start, then 24 clocks a quarter note, each on its ideal frame,
// then Stop.
//
// One client, "clock_ears", that JACK runs after Batto in every cycle; every event is placed at
// the cycle's frame time plus its offset, so frames are exact. Batto must play at 120 beats a
// minute at 48 kHz: 24 000 frames a quarter note, a clock every 1000 frames. When the drum
// notes leave on the same port (the MIDI output choice), every closed hi-hat (note 42) must
// have a clock on its own frame: the clock stands on the drummer's grid.
//
// Usage: jack_clock_listener MIDI_OUT_PORT CLOCKS READY_FILE SECONDS
// Once CLOCKS clocks have come it creates READY_FILE (the check then presses STOP), and it
// listens on until a Stop has come or SECONDS have passed since it began; prints what it
// found, with the distances of the clocks from their ideal frames (p50 and max); exits with 0
// when all is as it must be, 1 otherwise.
#include "JackPortConnection.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace
{
constexpr long framesPerClock = 1000; // 120 bpm at 48 kHz
constexpr size_t capacity = 1 << 16;

struct Heard
{
    jack_nframes_t frame;
    unsigned char bytes[3];
    size_t size;
};

struct Session
{
    jack_client_t* client = nullptr;
    jack_port_t* in = nullptr;
    std::vector<Heard> heard; // reserved; written by the JACK thread
    std::atomic<size_t> heardCount{0};
    std::atomic<size_t> clockCount{0};
    std::atomic<bool> stopped{false};
};

int process(jack_nframes_t frames, void* arg)
{
    auto& session = *static_cast<Session*>(arg);
    void* buffer = jack_port_get_buffer(session.in, frames);
    const jack_nframes_t cycleStart = jack_last_frame_time(session.client);
    size_t count = session.heardCount.load();
    size_t clocks = session.clockCount.load();
    const jack_nframes_t events = jack_midi_get_event_count(buffer);
    for (jack_nframes_t i = 0; i < events && count < session.heard.capacity(); ++i)
    {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, buffer, i) != 0 || event.size == 0)
            continue;
        Heard heard{cycleStart + event.time, {0, 0, 0}, std::min<size_t>(event.size, 3)};
        std::copy(event.buffer, event.buffer + heard.size, heard.bytes);
        session.heard.push_back(heard); // within the reserved room
        ++count;
        if (heard.bytes[0] == 0xF8)
            ++clocks;
        if (heard.bytes[0] == 0xFC)
            session.stopped.store(true);
    }
    session.heardCount.store(count);
    session.clockCount.store(clocks);
    return 0;
}

long percentile(std::vector<long> values, double fraction)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(fraction * double(values.size() - 1) + 0.5)];
}
} // namespace

int main(int argc, char** argv)
{
    if (argc != 5)
    {
        std::fprintf(stderr, "usage: %s MIDI_OUT_PORT CLOCKS READY_FILE SECONDS\n", argv[0]);
        return 2;
    }
    const std::string midiOut = argv[1];
    const size_t clocksWanted = static_cast<size_t>(std::atol(argv[2]));
    const std::string readyFile = argv[3];
    const double seconds = std::atof(argv[4]);

    Session session;
    session.heard.reserve(capacity);
    session.client = jack_client_open("clock_ears", JackNoStartServer, nullptr);
    if (session.client == nullptr)
    {
        std::fprintf(stderr, "no JACK server\n");
        return 1;
    }
    const jack_nframes_t period = jack_get_buffer_size(session.client);
    session.in = jack_port_register(session.client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(session.client, process, &session);
    if (jack_activate(session.client) != 0
        || !connectJackPorts(session.client, midiOut, jack_port_name(session.in)))
        return 1;
    std::printf("listening\n");
    std::fflush(stdout);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    bool ready = false;
    while (!session.stopped.load() && std::chrono::steady_clock::now() < deadline)
    {
        if (!ready && session.clockCount.load() >= clocksWanted)
        {
            std::ofstream(readyFile) << "ready\n";
            ready = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    jack_deactivate(session.client);
    const size_t count = session.heardCount.load();
    std::vector<Heard> heard(session.heard.begin(), session.heard.begin() + long(count));
    jack_client_close(session.client);

    int faults = 0;
    auto fault = [&faults](const std::string& what)
    {
        std::printf("fault: %s\n", what.c_str());
        ++faults;
    };
    std::vector<long> clocks, hats;
    long songPositionAt = -1, startAt = -1, stopAt = -1;
    size_t songPositionIndex = 0, startIndex = 0;
    for (size_t i = 0; i < heard.size(); ++i)
    {
        const Heard& h = heard[i];
        const long frame = long(h.frame);
        switch (h.bytes[0])
        {
        case 0xF8:
            if (stopAt >= 0)
                fault("a clock after Stop, at " + std::to_string(frame));
            clocks.push_back(frame);
            break;
        case 0xF2:
            if (h.size != 3 || h.bytes[1] != 0 || h.bytes[2] != 0)
                fault("a song position other than 0");
            songPositionAt = frame;
            songPositionIndex = i;
            break;
        case 0xFA:
            startAt = frame;
            startIndex = i;
            break;
        case 0xFC:
            stopAt = frame;
            break;
        case 0x99:
            if (h.size == 3 && h.bytes[1] == 42)
                hats.push_back(frame);
            break;
        default:
            break;
        }
    }
    if (clocks.empty())
        fault("no clock heard: did the drummer start?");
    if (startAt < 0 || songPositionAt < 0 || songPositionIndex > startIndex)
        fault("no Song Position Pointer before Start");
    if (!clocks.empty() && (startAt < 0 || startAt > clocks.front()))
        fault("Start does not come before the first clock");
    if (stopAt < 0)
        fault("no Stop after STOP");

    // Each clock's distance from its ideal frame: the first clock's frame plus its count of
    // clock periods.
    std::vector<long> distances;
    for (size_t n = 0; n < clocks.size(); ++n)
        distances.push_back(std::labs(clocks[n] - (clocks.front() + long(n) * framesPerClock)));
    const long p50 = percentile(distances, 0.5),
               worst = distances.empty() ? -1 : *std::max_element(distances.begin(), distances.end());
    if (worst > 1)
        fault("a clock " + std::to_string(worst) + " frames from its ideal frame");
    if (clocks.size() < clocksWanted)
        fault("only " + std::to_string(clocks.size()) + " clocks");

    // With the drum notes on the same port: every hi-hat of the drummer's has its clock.
    size_t hatsOnAClock = 0;
    for (long hat : hats)
        if (std::binary_search(clocks.begin(), clocks.end(), hat))
            ++hatsOnAClock;
        else if (stopAt < 0 || hat < stopAt)
            fault("a hi-hat at " + std::to_string(hat) + " with no clock on its frame");
    if (!hats.empty() && !clocks.empty() && hats.front() != clocks.front())
        fault("the first clock is not on the drummer's first downbeat");

    std::printf(
        "MIDI clock on JACK, %u frames a period: %zu clocks, distance from the ideal frame p50 %ld, max %ld "
        "frames; song position at %ld, Start at %ld, first clock at %ld, Stop at %ld; %zu of %zu hi-hats "
        "on a clock; %d faults\n",
        period, clocks.size(), p50, worst, songPositionAt, startAt, clocks.empty() ? -1 : clocks.front(),
        stopAt, hatsOnAClock, hats.size(), faults);
    return faults == 0 ? 0 : 1;
}
