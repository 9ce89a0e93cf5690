#include "BattoMidiProcessor.h"
#include "StandaloneTestSupport.h"

#include <algorithm>
#include <mutex>

// The MIDI clock on a MIDI output device: sent from the relay thread at the times the audio
// thread's blocks or the MIDI thread's engine gave it. The relay stamps each message with its
// due time, so what the clock says is judged exactly, whatever the machine's load; only
// "never before its time" is judged against the real clock.

namespace
{
using MidiThread = BattoStandAloneApplication::BattoMidiProcessor;

struct Sent
{
    double sentAt;
    double dueAt;
    std::vector<int> bytes;
};

// Keeps what reaches the device; the relay's thread writes, the test reads.
struct DeviceRecorder : DrumNoteOutput
{
    void sendNow(const juce::MidiMessage& message) override
    {
        const std::lock_guard<std::mutex> lock(mutex);
        const auto* data = message.getRawData();
        if (data[0] >= 0xF0)
            sent.push_back({juce::Time::getMillisecondCounterHiRes(), message.getTimeStamp(),
                            std::vector<int>(data, data + message.getRawDataSize())});
    }
    std::vector<Sent> copy()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        return sent;
    }
    // Waits (up to ten seconds) until a message with this first byte has come.
    bool waitFor(int firstByte, size_t count = 1)
    {
        const double deadline = juce::Time::getMillisecondCounterHiRes() + 10000.0;
        while (juce::Time::getMillisecondCounterHiRes() < deadline)
        {
            const auto now = copy();
            if (std::count_if(now.begin(), now.end(),
                              [firstByte](const Sent& s)
                              {
                                  return s.bytes[0] == firstByte;
                              })
                >= long(count))
                return true;
            juce::Thread::sleep(5);
        }
        return false;
    }
    std::mutex mutex;
    std::vector<Sent> sent;
};

std::vector<Sent> clocksOf(const std::vector<Sent>& sent)
{
    std::vector<Sent> clocks;
    for (const auto& one : sent)
        if (one.bytes == std::vector<int>{0xF8})
            clocks.push_back(one);
    return clocks;
}
} // namespace

TEST(MidiClockRelay, SendsTheBlocksClocksAtTheirTimesInOrderAndNeverEarly)
{
    BattoAudioProcessor processor;
    MidiThread midiThread(&processor);
    DeviceRecorder device;
    midiThread.setDrumNoteOutput(&device);
    EXPECT_TRUE(processor.sendsMidiClockToDevice());

    const double first = juce::Time::getMillisecondCounterHiRes() + 50.0;
    for (int i = 0; i < 12; ++i)
    {
        BattoAudioProcessor::TimedMidiClock clock;
        clock.milliseconds = first + 10.0 * i;
        clock.bytes[0] = i == 0 ? 0xFA : 0xF8;
        clock.size = 1;
        ASSERT_TRUE(processor.midiClockForDevice.push(clock));
    }
    ASSERT_TRUE(device.waitFor(0xF8, 11));
    const auto sent = device.copy();
    ASSERT_EQ(sent.size(), 12u);
    double worstLateness = 0.0;
    for (size_t i = 0; i < sent.size(); ++i)
    {
        EXPECT_EQ(sent[i].dueAt, first + 10.0 * double(i)) << i;
        EXPECT_GE(sent[i].sentAt, sent[i].dueAt) << "clock " << i << " went out before its time";
        worstLateness = std::max(worstLateness, sent[i].sentAt - sent[i].dueAt);
    }
    EXPECT_EQ(sent.front().bytes, std::vector<int>{0xFA});
    std::printf("relay: the latest of 12 clocks went out %.3f ms after its time\n", worstLateness);

    // Without a device the clock goes back to the blocks' own output (JACK's).
    midiThread.setDrumNoteOutput(nullptr);
    EXPECT_FALSE(processor.sendsMidiClockToDevice());
}

TEST(MidiClockRelay, TheMidiThreadsEngineSends24ClocksAQuarterOnItsGridThenStop)
{
    BattoAudioProcessor processor;
    processor.setDrumKit(BattoAudioProcessor::kitMidiOut);
    processor.setTempo(120.0);
    processor.setMidiClockOutput(true);
    MidiThread midiThread(&processor);
    processor.midiThread = &midiThread;
    processor.midiThreadEngine = &midiThread;
    DeviceRecorder device;
    midiThread.setDrumNoteOutput(&device);

    processor.start(); // starts the MIDI thread, the MIDI output being chosen
    ASSERT_TRUE(device.waitFor(0xF8, 2 * 24 + 1)) << "two beats of clocks";
    processor.stop();
    ASSERT_TRUE(device.waitFor(0xFC));
    midiThread.setDrumNoteOutput(nullptr);

    const auto sent = device.copy();
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(sent[0].bytes, (std::vector<int>{0xF2, 0, 0}));
    EXPECT_EQ(sent[1].bytes, std::vector<int>{0xFA});
    EXPECT_EQ(sent[2].bytes, std::vector<int>{0xF8});
    EXPECT_EQ(sent[0].dueAt, sent[2].dueAt);
    EXPECT_EQ(sent.back().bytes, std::vector<int>{0xFC});
    // 120 bpm: a beat is 500 ms of the engine's clock, a clock every 20.83 ms, each due on its
    // millisecond (the engine counts whole milliseconds).
    const auto clocks = clocksOf(sent);
    for (size_t n = 0; n < clocks.size(); ++n)
        EXPECT_LE(std::abs(clocks[n].dueAt - (clocks[0].dueAt + double(n) * 500.0 / 24)), 0.5) << n;
    std::vector<double> lateness;
    for (const auto& one : sent)
    {
        EXPECT_GE(one.sentAt, one.dueAt);
        lateness.push_back(one.sentAt - one.dueAt);
    }
    std::sort(lateness.begin(), lateness.end());
    std::printf("relay: %zu messages of the MIDI thread's clock went out after their time by p50 %.3f ms, "
                "max %.3f ms\n",
                lateness.size(), lateness[lateness.size() / 2], lateness.back());
}
