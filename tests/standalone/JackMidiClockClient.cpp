// A MIDI clock source for Batto on JACK, and the ears that judge its drum notes on the same
// frame clock.
//
// Two clients of one process: "clock" writes the clock's messages into Batto's JACK MIDI input
// at exact frames, "ears" listens to Batto's JACK MIDI output. JACK runs the clock before Batto
// and Batto before the ears in every cycle, and both read the cycle's frame time, so a clock
// and the drum note on it are placed on one clock, to the frame.
//
// The song, at 48 kHz: 24 clocks a quarter note at 120 bpm with the song stopped (the tempo is
// known before it starts), a Song Position to bar 3 and Continue; eight beats at 120 bpm, a
// ramp to 140 bpm over two beats, eight beats at 140; then no clock any more (a cable pulled:
// no Stop either).
//
// Batto must play two subdivisions a beat with the automatic kick and snare: every eighth of
// the song then carries a hit, the kicks stand on beats 1 and 3 of the song's bars and the
// snares on 2 and 4. Judged: every hit within a frame of its clock outside the ramp, on an
// eighth of the song from bar 3 on; no eighth without a hit; nothing a quarter of a beat after
// the last clock. Prints the hits' distances from the clock grid (p50 and max, in frames).
//
// Usage: jack_midi_clock_client MIDI_IN_PORT MIDI_OUT_PORT SECONDS
// Exits with 0 when all of it held, 1 otherwise.
#include "JackPortConnection.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace
{
constexpr double rate = 48000.0;
constexpr size_t capacity = 1 << 16;
constexpr long firstSongClock = 32 * 6; // bar 3: 32 sixteenths

struct Message
{
    long frame; // from the song's origin
    unsigned char bytes[3];
    int size;
    long songClock; // a clock of the rolling song: its song clock; otherwise -1
};

struct Heard
{
    long frame; // from the song's origin
    unsigned char status, key;
};

struct Session
{
    jack_client_t* clock = nullptr;
    jack_client_t* ears = nullptr;
    jack_port_t* clockOut = nullptr;
    jack_port_t* earsIn = nullptr;
    std::vector<Message> song; // written before the clients run

    std::atomic<bool> go{false};            // the ports are connected
    std::atomic<bool> originSet{false};     // set by the clock's thread
    std::atomic<jack_nframes_t> origin{0};  // the frame of the song's origin
    size_t nextMessage = 0;                 // the clock's thread

    std::vector<Heard> heard; // reserved; the ears' thread
    std::atomic<size_t> heardCount{0};
    std::atomic<long> earsReached{-1}; // the frame, from the origin, the ears have listened up to
};

// The song's messages. Clocks land on the frame of their ideal time, rounded.
std::vector<Message> makeSong(long& lastClock)
{
    std::vector<Message> song;
    double ideal = 0.0;
    auto clocks = [&](int count, double fromBpm, double toBpm, long songClock)
    {
        for (int i = 0; i < count; ++i)
        {
            const double bpm = count > 1 ? fromBpm + (toBpm - fromBpm) * i / (count - 1) : toBpm;
            ideal += 60.0 * rate / (24.0 * bpm);
            song.push_back({std::lround(ideal), {0xF8, 0, 0}, 1, songClock < 0 ? -1 : songClock + i});
        }
    };
    clocks(24, 120.0, 120.0, -1);
    song.push_back({std::lround(ideal) + 100, {0xF2, 32, 0}, 3, -1});
    song.push_back({std::lround(ideal) + 200, {0xFB, 0, 0}, 1, -1});
    clocks(24 * 8, 120.0, 120.0, firstSongClock);
    clocks(48, 120.0, 140.0, firstSongClock + 24 * 8);
    clocks(24 * 8, 140.0, 140.0, firstSongClock + 24 * 10);
    lastClock = std::lround(ideal);
    return song;
}

// JACK's frame times count around in 32 bits; the song lasts far less than that.
long fromOrigin(const Session& session, jack_nframes_t frame)
{
    return static_cast<long>(static_cast<std::int32_t>(frame - session.origin.load()));
}

int clockProcess(jack_nframes_t frames, void* arg)
{
    auto& session = *static_cast<Session*>(arg);
    void* buffer = jack_port_get_buffer(session.clockOut, frames);
    jack_midi_clear_buffer(buffer);
    if (!session.go.load())
        return 0;
    const jack_nframes_t cycleStart = jack_last_frame_time(session.clock);
    if (!session.originSet.load())
    {
        session.origin.store(cycleStart + 2000);
        session.originSet.store(true);
    }
    const long start = fromOrigin(session, cycleStart);
    while (session.nextMessage < session.song.size() && session.song[session.nextMessage].frame < start + long(frames))
    {
        const auto& message = session.song[session.nextMessage++];
        if (message.frame >= start)
            jack_midi_event_write(buffer, jack_nframes_t(message.frame - start), message.bytes, size_t(message.size));
    }
    return 0;
}

int earsProcess(jack_nframes_t frames, void* arg)
{
    auto& session = *static_cast<Session*>(arg);
    void* buffer = jack_port_get_buffer(session.earsIn, frames);
    if (!session.originSet.load())
        return 0;
    const long start = fromOrigin(session, jack_last_frame_time(session.ears));
    size_t count = session.heardCount.load();
    const jack_nframes_t events = jack_midi_get_event_count(buffer);
    for (jack_nframes_t i = 0; i < events && count < session.heard.capacity(); ++i)
    {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, buffer, i) != 0 || event.size < 3)
            continue;
        session.heard.push_back({start + long(event.time), event.buffer[0], event.buffer[1]});
        ++count;
    }
    session.heardCount.store(count);
    session.earsReached.store(start + long(frames));
    return 0;
}

struct Spread
{
    double median = 0, largest = 0;
};

Spread spreadOf(std::vector<long> distances)
{
    Spread spread;
    if (distances.empty())
        return spread;
    for (auto& d : distances)
        d = std::labs(d);
    std::sort(distances.begin(), distances.end());
    spread.median = double(distances[distances.size() / 2]);
    spread.largest = double(distances.back());
    return spread;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc != 4)
    {
        std::fprintf(stderr, "usage: %s MIDI_IN_PORT MIDI_OUT_PORT SECONDS\n", argv[0]);
        return 2;
    }
    const std::string midiIn = argv[1], midiOut = argv[2];
    const double seconds = std::atof(argv[3]);

    Session session;
    long lastClock = 0;
    session.song = makeSong(lastClock);
    session.heard.reserve(capacity);
    session.clock = jack_client_open("clock", JackNoStartServer, nullptr);
    session.ears = jack_client_open("ears", JackNoStartServer, nullptr);
    if (session.clock == nullptr || session.ears == nullptr)
    {
        std::fprintf(stderr, "no JACK server\n");
        return 1;
    }
    const jack_nframes_t period = jack_get_buffer_size(session.ears);
    session.clockOut = jack_port_register(session.clock, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    session.earsIn = jack_port_register(session.ears, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(session.clock, clockProcess, &session);
    jack_set_process_callback(session.ears, earsProcess, &session);
    if (jack_activate(session.ears) != 0 || jack_activate(session.clock) != 0
        || !connectJackPorts(session.ears, midiOut, jack_port_name(session.earsIn))
        || !connectJackPorts(session.clock, jack_port_name(session.clockOut), midiIn))
        return 1;
    session.go.store(true);

    // Listens until the ears have heard half a second past the last clock.
    const long quarterBeatAt140 = std::lround(0.25 * 60.0 * rate / 140.0);
    const long listenUntil = lastClock + long(rate / 2);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (session.earsReached.load() < listenUntil && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const bool listenedToTheEnd = session.earsReached.load() >= listenUntil;
    jack_deactivate(session.clock);
    jack_deactivate(session.ears);
    const size_t heardCount = session.heardCount.load();
    std::vector<Heard> heard(session.heard.begin(), session.heard.begin() + long(heardCount));
    jack_client_close(session.clock);
    jack_client_close(session.ears);

    // The grid the hits are judged on: the rolling song's clocks, and where the next few would
    // have come (the drummer plays on for a while before it takes the clock for gone).
    std::vector<const Message*> rolling;
    for (const auto& message : session.song)
        if (message.songClock >= 0)
            rolling.push_back(&message);
    std::vector<Message> wouldHaveCome;
    for (int i = 1; i <= 6; ++i)
        wouldHaveCome.push_back({lastClock + std::lround(i * 60.0 * rate / (24.0 * 140.0)), {0xF8, 0, 0}, 1,
                                 rolling.back()->songClock + i});
    const size_t clocksSent = rolling.size();
    for (const auto& message : wouldHaveCome)
        rolling.push_back(&message);
    const long rampFrom = rolling[24 * 8]->frame, rampSettled = rolling[24 * 11]->frame; // a beat after the ramp

    size_t faults = 0, hits = 0;
    std::vector<long> steady, inRamp;
    std::vector<bool> eighthPlayed(rolling.size(), false);
    long firstHit = -1;
    for (const auto& h : heard)
    {
        if (h.status != 0x99)
        {
            std::printf("not a channel-10 note-on: %02x %02x at %ld\n", h.status, h.key, h.frame);
            ++faults;
            continue;
        }
        ++hits;
        if (firstHit < 0)
            firstHit = h.frame;
        if (h.frame > lastClock + quarterBeatAt140)
        {
            std::printf("note %d at %ld, %ld frames after the last clock\n", h.key, h.frame, h.frame - lastClock);
            ++faults;
            continue;
        }
        const auto nearest = std::min_element(rolling.begin(), rolling.end(), [&](const Message* a, const Message* b)
                                              { return std::labs(a->frame - h.frame) < std::labs(b->frame - h.frame); });
        const long distance = h.frame - (*nearest)->frame;
        const long songClock = (*nearest)->songClock;
        const bool ramp = h.frame >= rampFrom && h.frame < rampSettled;
        (ramp ? inRamp : steady).push_back(distance);
        const long inBar = songClock % 96;
        const bool placeOk = songClock % 12 == 0 && (h.key != 36 || inBar == 0 || inBar == 48)
                             && (h.key != 38 || inBar == 24 || inBar == 72);
        if (!placeOk || (!ramp && std::labs(distance) > 1) || (ramp && std::labs(distance) > 96))
        {
            std::printf("note %d at %ld: %ld frames from song clock %ld\n", h.key, h.frame, distance, songClock);
            ++faults;
            continue;
        }
        eighthPlayed[size_t(nearest - rolling.begin())] = true;
    }
    size_t eighthsMissed = 0;
    for (size_t i = 0; i + 12 < clocksSent; ++i)
        if (rolling[i]->songClock % 12 == 0 && !eighthPlayed[i])
            ++eighthsMissed;
    const auto steadySpread = spreadOf(steady), rampSpread = spreadOf(inRamp);
    std::printf("MIDI clock in on JACK, %u frames a period: %zu hits; the first %ld frames from bar 3's first "
                "clock; from the clock grid at a steady tempo p50 %.0f, max %.0f frames; in the ramp to 140 bpm and "
                "the beat after it p50 %.0f, max %.0f frames; %zu eighths without a hit; %zu faults%s\n",
                period, hits, firstHit - rolling.front()->frame, steadySpread.median, steadySpread.largest,
                rampSpread.median, rampSpread.largest, eighthsMissed, faults,
                listenedToTheEnd ? "" : "; the song did not play to its end in time");
    const bool passed = listenedToTheEnd && hits > 0 && firstHit == rolling.front()->frame && faults == 0
                        && eighthsMissed == 0;
    return passed ? 0 : 1;
}
