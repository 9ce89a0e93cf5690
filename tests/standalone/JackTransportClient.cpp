// Rolls the JACK transport under a drummer that follows it, and tells where the drummer's
// drum notes fell on the transport's own frames.
//
// One client, "transport". With MODE "master" it is the transport's timebase master at BPM
// beats a minute in 4/4, bar 1 on frame 0, 1920 ticks a beat: every cycle's bar, beat and tick
// are worked out from the cycle's frame (ticks rounded down, as masters do). With MODE
// "frames" there is no timebase master: the transport has frames only, and BPM is the
// drummer's own tempo. Its MIDI input listens to the drummer's MIDI output; JACK runs it after
// the drummer in every cycle, and each event's transport frame is the cycle's transport frame
// (read in the same cycle) plus the event's offset: exact to the frame.
//
// What it does: locates to frame 0 and starts the transport; once 1.25 bars have rolled, it
// locates to LOCATE_FRAME while rolling; once 1.25 bars have rolled from there, it stops the
// transport and listens to 50 more cycles.
//
// What it asserts: every closed hi-hat (note 42) within 1 frame of the eighth grid from frame
// 0; every other drum note within 1 frame of the sixteenth grid; at every bar line that a
// stretch of rolling passed (the start, the locate's stretch), the first drum note of the bar
// on the bar line; after the locate, no drum note before LOCATE_FRAME and the first hi-hat on
// the first eighth at or after it (none skipped); no drum note in a cycle where the transport
// did not roll.
//
// Usage: jack_transport_client master|frames BPM LOCATE_FRAME MIDI_OUT_PORT
// Exits with 0 when every note was where it belongs, 1 otherwise; prints the measurements.
#include "JackPortConnection.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/transport.h>

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
constexpr double ticksPerBeat = 1920.0;
constexpr size_t capacity = 1 << 16;
constexpr long cyclesAfterStop = 50;

struct Heard
{
    long frame;        // on the transport's frames
    bool rolling;      // the transport rolled in the cycle it was heard in
    int stretch;       // the stretch of rolling it was heard in (0: from the start, 1: after the locate)
    unsigned char status, key;
};

struct Session
{
    jack_client_t* client = nullptr;
    jack_port_t* in = nullptr;
    double bpm = 100.0;
    double rate = 48000.0;

    // The process thread; read by the main thread up to heardCount.
    std::vector<Heard> heard; // reserved
    std::atomic<size_t> heardCount{0};
    long expectedFrame = -1; // where the next cycle's transport stands if it rolls on
    int stretch = -1;
    std::atomic<long> lastFrame{0};
    std::atomic<bool> lastRolling{false};
    std::atomic<int> stretches{0};
    std::atomic<long> stretchStart[2] = {{0}, {0}};
    std::atomic<long> stretchEnd[2] = {{0}, {0}}; // the first frame after the stretch's last rolling cycle
    std::atomic<long> cyclesStopped{0};           // cycles not rolling since the last rolling one
};

int process(jack_nframes_t frames, void* arg)
{
    auto& session = *static_cast<Session*>(arg);
    jack_position_t position;
    const bool rolling = jack_transport_query(session.client, &position) == JackTransportRolling;
    const long frame = long(position.frame);
    if (rolling)
    {
        if (frame != session.expectedFrame && session.stretch < 1)
        {
            ++session.stretch; // started, or located while rolling
            session.stretchStart[session.stretch].store(frame);
            session.stretches.store(session.stretch + 1);
        }
        session.stretchEnd[std::max(0, session.stretch)].store(frame + long(frames));
        session.expectedFrame = frame + long(frames);
        session.cyclesStopped.store(0);
    }
    else
    {
        session.expectedFrame = -1;
        session.cyclesStopped.fetch_add(1);
    }

    void* buffer = jack_port_get_buffer(session.in, frames);
    size_t count = session.heardCount.load();
    const jack_nframes_t events = jack_midi_get_event_count(buffer);
    for (jack_nframes_t i = 0; i < events && count < session.heard.capacity(); ++i)
    {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, buffer, i) != 0 || event.size < 3)
            continue;
        session.heard.push_back({frame + long(event.time), rolling, session.stretch, event.buffer[0], event.buffer[1]});
        ++count;
    }
    session.heardCount.store(count);
    session.lastFrame.store(frame);
    session.lastRolling.store(rolling);
    return 0;
}

// Bar, beat and tick of the next cycle's frame, at a steady tempo from bar 1 on frame 0.
void timebase(jack_transport_state_t, jack_nframes_t, jack_position_t* position, int, void* arg)
{
    const auto& session = *static_cast<Session*>(arg);
    const double beats = position->frame / session.rate * session.bpm / 60.0;
    const long wholeBeats = long(std::floor(beats));
    position->valid = JackPositionBBT;
    position->beats_per_bar = 4;
    position->beat_type = 4;
    position->ticks_per_beat = ticksPerBeat;
    position->beats_per_minute = session.bpm;
    position->bar = int32_t(wholeBeats / 4 + 1);
    position->beat = int32_t(wholeBeats % 4 + 1);
    position->tick = std::min(int32_t(ticksPerBeat - 1), int32_t((beats - double(wholeBeats)) * ticksPerBeat));
    position->bar_start_tick = double(wholeBeats / 4) * 4 * ticksPerBeat;
}

// Waits until the condition holds; false after the seconds (a busy machine slows the
// dummy driver's frames, so the limit is generous).
template <typename Condition> bool waitFor(Condition&& condition, double seconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition())
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

long distanceToGrid(long frame, double grid)
{
    const double steps = std::round(double(frame) / grid);
    return long(std::llround(std::abs(double(frame) - steps * grid)));
}

struct Spread
{
    std::vector<long> values;
    long p50() const
    {
        if (values.empty())
            return -1;
        auto sorted = values;
        std::sort(sorted.begin(), sorted.end());
        return sorted[sorted.size() / 2];
    }
    long max() const
    {
        return values.empty() ? -1 : *std::max_element(values.begin(), values.end());
    }
};
} // namespace

int main(int argc, char** argv)
{
    if (argc != 5 || (std::string(argv[1]) != "master" && std::string(argv[1]) != "frames"))
    {
        std::fprintf(stderr, "usage: %s master|frames BPM LOCATE_FRAME MIDI_OUT_PORT\n", argv[0]);
        return 2;
    }
    const bool master = std::string(argv[1]) == "master";
    Session session;
    session.bpm = std::atof(argv[2]);
    const long locateFrame = std::atol(argv[3]);
    const std::string midiOut = argv[4];
    session.heard.reserve(capacity);

    session.client = jack_client_open("transport", JackNoStartServer, nullptr);
    if (session.client == nullptr)
    {
        std::fprintf(stderr, "no JACK server\n");
        return 1;
    }
    session.rate = double(jack_get_sample_rate(session.client));
    const double eighth = session.rate * 60.0 / session.bpm / 2;
    const double bar = 8 * eighth;
    session.in = jack_port_register(session.client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(session.client, process, &session);
    if (master && jack_set_timebase_callback(session.client, 0, timebase, &session) != 0)
    {
        std::fprintf(stderr, "cannot be the timebase master\n");
        return 1;
    }
    if (jack_activate(session.client) != 0 || !connectJackPorts(session.client, midiOut, jack_port_name(session.in)))
        return 1;

    const auto rolledTo = [&](long frame)
    {
        return [&session, frame]
        {
            return session.lastRolling.load() && session.lastFrame.load() >= frame;
        };
    };
    jack_transport_locate(session.client, 0);
    bool inTime = waitFor(
        [&]
        {
            jack_position_t position;
            return jack_transport_query(session.client, &position) == JackTransportStopped && position.frame == 0;
        },
        30);
    jack_transport_start(session.client);
    inTime = inTime && waitFor(rolledTo(long(1.25 * bar)), 60);
    jack_transport_locate(session.client, jack_nframes_t(locateFrame));
    inTime = inTime && waitFor([&] { return session.stretches.load() == 2; }, 30);
    inTime = inTime && waitFor(rolledTo(locateFrame + long(1.25 * bar)), 60);
    jack_transport_stop(session.client);
    inTime = inTime && waitFor([&] { return session.cyclesStopped.load() >= cyclesAfterStop; }, 60);
    jack_deactivate(session.client);
    if (!inTime)
    {
        std::fprintf(stderr, "the transport did not get through start, locate and stop in time\n");
        return 1;
    }

    const size_t count = session.heardCount.load();
    const std::vector<Heard> heard(session.heard.begin(), session.heard.begin() + long(count));
    jack_client_close(session.client);

    size_t faults = 0;
    Spread hats, barLines, afterLocate;
    for (const auto& h : heard)
    {
        if (h.status != 0x99)
        {
            std::printf("not a channel-10 note-on: %02x %02x at %ld\n", h.status, h.key, h.frame);
            ++faults;
        }
        else if (!h.rolling)
        {
            std::printf("drum note %d at %ld while the transport did not roll\n", h.key, h.frame);
            ++faults;
        }
        else if (h.key == 42)
            hats.values.push_back(distanceToGrid(h.frame, eighth));
        else if (distanceToGrid(h.frame, eighth / 2) > 1)
        {
            std::printf("drum note %d at %ld: off the sixteenth grid\n", h.key, h.frame);
            ++faults;
        }
    }

    // The first note of a stretch, and of each bar whose line the stretch passed with at
    // least an eighth to go.
    const auto firstNoteFrom = [&](int stretch, long from) -> long
    {
        for (const auto& h : heard)
            if (h.stretch == stretch && h.rolling && h.frame >= from)
                return h.frame;
        return -1;
    };
    for (int stretch = 0; stretch < 2; ++stretch)
    {
        const long start = session.stretchStart[stretch].load(), end = session.stretchEnd[stretch].load();
        for (long line = long(std::ceil(start / bar) * bar); line + eighth <= end; line = long(line + bar))
        {
            const long first = firstNoteFrom(stretch, line - 1);
            barLines.values.push_back(first < 0 ? long(bar) : std::abs(first - line));
            std::printf("stretch %d, bar line at %ld: first drum note at %ld\n", stretch, line, first);
        }
    }
    // After the locate: no note before LOCATE_FRAME, the first hi-hat on the first eighth at or
    // after it (none skipped), and the hi-hats of the bar that follows on the grid.
    const long gridAfterLocate = long(std::ceil(locateFrame / eighth - 1e-9) * eighth);
    long firstAfterLocate = -1, firstHatAfterLocate = -1;
    for (const auto& h : heard)
        if (h.stretch == 1 && h.rolling)
        {
            if (firstAfterLocate < 0)
                firstAfterLocate = h.frame;
            if (h.key == 42 && firstHatAfterLocate < 0)
                firstHatAfterLocate = h.frame;
            if (h.key == 42 && h.frame < locateFrame + long(bar))
                afterLocate.values.push_back(distanceToGrid(h.frame, eighth));
        }
    afterLocate.values.push_back(firstHatAfterLocate < 0 ? long(bar) : std::abs(firstHatAfterLocate - gridAfterLocate));
    if (firstAfterLocate >= 0 && firstAfterLocate < locateFrame)
    {
        std::printf("drum note at %ld, before the locate's frame\n", firstAfterLocate);
        ++faults;
    }
    size_t hatsInStretch[2] = {0, 0};
    for (const auto& h : heard)
        if (h.key == 42 && h.rolling && h.stretch >= 0)
            ++hatsInStretch[h.stretch];

    std::printf("JACK transport (%s, %.0f bpm, locate to %ld): stretches from %ld to %ld and from %ld to %ld; "
                "%zu and %zu hi-hats\n",
                master ? "timebase master" : "frames only", session.bpm, locateFrame,
                session.stretchStart[0].load(), session.stretchEnd[0].load(), session.stretchStart[1].load(),
                session.stretchEnd[1].load(), hatsInStretch[0], hatsInStretch[1]);
    std::printf("after the locate: first drum note at %ld, first hi-hat at %ld, its eighth at %ld\n",
                firstAfterLocate, firstHatAfterLocate, gridAfterLocate);
    std::printf("frames from the grid, p50 / max: hi-hats %ld / %ld; bar lines %ld / %ld; after the locate %ld / %ld; "
                "%zu faults\n",
                hats.p50(), hats.max(), barLines.p50(), barLines.max(), afterLocate.p50(), afterLocate.max(), faults);
    const bool passed = faults == 0 && hatsInStretch[0] >= 8 && hatsInStretch[1] >= 8 && hats.max() <= 1
                        && barLines.values.size() >= 2 && barLines.max() <= 1 && afterLocate.max() <= 1;
    return passed ? 0 : 1;
}
