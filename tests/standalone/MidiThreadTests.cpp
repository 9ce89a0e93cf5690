#include "BattoMidiProcessor.h"
#include "StandaloneTestSupport.h"

#include <atomic>
#include <functional>
#include <thread>

namespace
{
using MidiThread = BattoStandAloneApplication::BattoMidiProcessor;

struct SentNote
{
    double time;
    int note;
    int velocity;
};

// Keeps every drum note with the clock's reading when it left.
struct RecordingOutput : DrumNoteOutput
{
    explicit RecordingOutput(std::function<double()> clockToRead) : clock(std::move(clockToRead))
    {
    }
    void sendNow(const juce::MidiMessage& message) override
    {
        EXPECT_EQ(message.getRawData()[0], 0x99) << "note-ons on channel 10";
        sent.push_back({clock(), message.getRawData()[1], message.getRawData()[2]});
    }
    std::vector<SentNote> timesOf(int note) const
    {
        std::vector<SentNote> found;
        for (const auto& one : sent)
            if (one.note == note)
                found.push_back(one);
        return found;
    }
    std::function<double()> clock;
    std::vector<SentNote> sent;
};

// The MIDI thread on a simulated clock: its waits move the clock on at once, and the
// script's events happen on the way, in time order, on the thread itself (as a MIDI input
// thread would deliver them while the engine waits). The clock never passes `endAt`: there
// the thread parks until the test moves endAt on or stops it.
class SimulatedMidiThread : public MidiThread
{
public:
    SimulatedMidiThread(BattoAudioProcessor* processor, double startAt)
        : MidiThread(processor), now(startAt), endAt(startAt)
    {
    }
    ~SimulatedMidiThread() override
    {
        stopThread(-1);
    }

    void at(double time, std::function<void()> action)
    {
        script.push_back({time, std::move(action)});
        std::stable_sort(script.begin(), script.end(),
                         [](const auto& a, const auto& b)
                         {
                             return a.first < b.first;
                         });
    }
    void noteAt(double time, int velocity, int channel = 1, int note = 60)
    {
        at(time,
           [this, velocity, channel, note]
           {
               handleIncomingMidiMessage(nullptr,
                                         juce::MidiMessage::noteOn(channel, note, juce::uint8(velocity)));
           });
    }
    void setRebaseAfter(int milliseconds)
    {
        rebaseAfterTicks = static_cast<int>(std::min<std::int64_t>(std::int64_t{milliseconds} * ticksPerMillisecond, 1 << 30));
    }
    // Lets the clock run to `end` (starting the thread if it is not running) and waits until
    // the thread parks there.
    void advanceTo(double end)
    {
        endAt = end;
        if (!isThreadRunning())
            startThread();
        while (isThreadRunning() && parkedAt.load() != end)
            juce::Thread::sleep(1);
    }

    std::atomic<double> now;
    std::atomic<double> endAt;
    std::atomic<double> parkedAt{-1.0};

protected:
    double millisecondsNow() override
    {
        return now.load();
    }
    void waitUntil(double milliseconds) override
    {
        for (;;)
        {
            const double end = endAt.load();
            while (nextEvent < script.size() && script[nextEvent].first <= std::min(milliseconds, end))
            {
                now = std::max(now.load(), script[nextEvent].first);
                script[nextEvent++].second();
            }
            if (milliseconds <= end)
            {
                now = std::max(now.load(), milliseconds);
                return;
            }
            now = std::max(now.load(), end);
            parkedAt = end;
            while (!threadShouldExit() && endAt.load() == end)
                juce::Thread::sleep(1);
            if (threadShouldExit())
                return; // a stop request ends the wait early
        }
    }

private:
    std::vector<std::pair<double, std::function<void()>>> script;
    size_t nextEvent = 0;
};

// A processor with the MIDI output chosen, its MIDI thread on a simulated clock and the
// thread's notes recorded.
struct MidiOutFixture
{
    explicit MidiOutFixture(double startAt = 10000.0) : thread(&processor, startAt)
    {
        processor.midiThread = &thread;
        processor.midiThreadEngine = &thread;
        thread.setDrumNoteOutput(&output);
        processor.setDrumKit(BattoAudioProcessor::kitMidiOut);
        processor.setAutoKick(false);
        processor.setAutoSnare(false);
        processor.displayCodes.open();
    }
    ~MidiOutFixture()
    {
        thread.stopThread(-1);
        processor.midiThread = nullptr;
        processor.midiThreadEngine = nullptr;
    }
    // Display codes 0..5: a note that the engine analysed.
    int notesAnalysed()
    {
        struct Count : DisplayCodeListener
        {
            void
            displayCodeArrived(const juce::AudioProcessorEditor::ParameterControlHighlightInfo& info) override
            {
                if (info.isHighlighted && info.parameterIndex >= 0 && info.parameterIndex <= 5)
                    ++count;
            }
            int count = 0;
        } counter;
        processor.displayCodes.drain(counter);
        return counter.count;
    }

    // Plays until `end` and stops the drummer there; the step that a stop request takes
    // early leaves its notes at `end` itself, after every note before it.
    void playUntil(double end)
    {
        thread.advanceTo(end);
        notesBeforeTheEnd = output.sent.size();
        processor.stop();
        output.sent.resize(notesBeforeTheEnd);
    }

    BattoAudioProcessor processor;
    SimulatedMidiThread thread;
    size_t notesBeforeTheEnd = 0;
    RecordingOutput output{[this]
                           {
                               return thread.now.load();
                           }};
};

constexpr int closedHiHat = 42;

// The times between successive closed hi-hats.
std::vector<double> hiHatGaps(const RecordingOutput& output)
{
    const auto hits = output.timesOf(closedHiHat);
    std::vector<double> gaps;
    for (size_t i = 1; i < hits.size(); ++i)
        gaps.push_back(hits[i].time - hits[i - 1].time);
    return gaps;
}
} // namespace

TEST(MidiThread, PlaysTheGridOnItsMillisecondClockAndTakesTempoChangesOnTheNextTurn)
{
    MidiOutFixture fixture;
    // 120 bpm, 2 subdivisions: a subdivision every 250 ms, a hi-hat on each.
    fixture.thread.at(12010.0,
                      [&]
                      {
                          fixture.processor.setTempo(60.0);
                      });
    fixture.processor.start();
    fixture.playUntil(15010.0);
    EXPECT_EQ(fixture.thread.divisionDuration, 500.0 * MidiThread::ticksPerMillisecond);

    // Every 250 ms up to 12 000; the half instant then scheduled (12 125) keeps its time,
    // and from there on a half subdivision is 250 ms: hi-hats every 500 ms.
    std::vector<double> expected;
    for (double time = 10000.0; time <= 12000.0; time += 250.0)
        expected.push_back(time);
    for (double time = 12375.0; time < 15010.0; time += 500.0)
        expected.push_back(time);
    std::vector<double> played;
    for (const auto& hit : fixture.output.timesOf(closedHiHat))
        played.push_back(hit.time);
    EXPECT_EQ(played, expected);
}

// Half a subdivision that is no whole number of milliseconds (53.57 ms for sixteenths at
// 140 bpm) is cut to whole ticks of the engine's clock at every step, as the audio engine
// cuts it to whole samples: a tick a step at most (a 48th of a millisecond), where whole
// milliseconds cost up to one a step (1 % fast at 140 bpm). A minute of hi-hats.
TEST(MidiThread, KeepsTheTempoWhenHalfASubdivisionIsNoWholeMillisecond)
{
    struct Case
    {
        double tempo;
        int subdivisions;
    };
    for (const auto& c : {Case{140.0, 4}, Case{97.0, 2}, Case{133.0, 1}, Case{59.3, 4}})
    {
        MidiOutFixture fixture;
        fixture.processor.setTempo(c.tempo);
        fixture.processor.chooseDivisionDuTemps(c.subdivisions);
        fixture.processor.start();
        fixture.playUntil(70010.0);
        const auto hats = fixture.output.timesOf(closedHiHat);
        ASSERT_GT(hats.size(), 50u) << c.tempo;
        const double subdivision = 60000.0 / (c.tempo * c.subdivisions);
        double worstExcess = -1.0;
        for (const auto& hat : hats)
        {
            const double sinceFirst = hat.time - hats.front().time;
            const double steps = 2.0 * std::round(sinceFirst / subdivision);
            const double allowed = 1.0 + steps / 48.0;
            const double offGrid = std::abs(sinceFirst - steps * 0.5 * subdivision);
            worstExcess = std::max(worstExcess, offGrid - allowed);
        }
        EXPECT_LE(worstExcess, 0.0) << c.tempo << " bpm, " << c.subdivisions
                                    << " subdivisions: more than a tick a step off the grid";
    }
}

TEST(MidiThread, ANoteOnIsAnsweredTheMomentItArrives)
{
    MidiOutFixture fixture;
    // 30 ms after the second beat (10 500): its instant is reached, the snare answers at once,
    // not at the engine's next step.
    fixture.thread.noteAt(10530.0, 100);
    fixture.processor.start();
    fixture.playUntil(11010.0);
    const auto snares = fixture.output.timesOf(38);
    ASSERT_EQ(snares.size(), 1u);
    EXPECT_EQ(snares[0].time, 10530.0);
}

TEST(MidiThread, VelocityIsScaledPerVoiceAndCapped)
{
    BattoAudioProcessor processor;
    MidiThread thread(&processor);
    RecordingOutput output(
        []
        {
            return 0.0;
        });
    const std::pair<float, int> cases[] = {{0.5f, 50}, {1.0f, 100}, {3.0f, 127}, {0.3f, 30}, {-1.0f, 0}};
    for (const auto& [scale, sent] : cases)
    {
        processor.setVelocityScale(Batto::Snare, scale);
        processor.setDrumNote(Batto::Snare, 38 + 128); // only its low seven bits leave
        output.sent.clear();
        thread.outputJouer(Batto::Snare, 100);
        EXPECT_TRUE(output.sent.empty()) << "no output chosen: nothing is sent";
        thread.setDrumNoteOutput(&output);
        thread.outputJouer(Batto::Snare, 100);
        thread.setDrumNoteOutput(nullptr);
        ASSERT_EQ(output.sent.size(), 1u);
        EXPECT_EQ(output.sent[0].note, 38);
        EXPECT_EQ(output.sent[0].velocity, sent) << "scale " << scale;
    }
}

TEST(MidiThread, TheFilterRejectsByTheChannelTheNoteCameOn)
{
    MidiOutFixture fixture;
    fixture.processor.channelFilterOn = true;
    fixture.processor.midiInChannel = 2;
    fixture.thread.noteAt(10520.0, 90, 1);
    fixture.thread.noteAt(10770.0, 90, 2);
    fixture.thread.noteAt(11020.0, 90, 16);
    fixture.processor.start();
    fixture.playUntil(11510.0);
    EXPECT_EQ(fixture.notesAnalysed(), 1);
}

TEST(MidiThread, WithTheBassFollowerOnlyTheBassLineReachesTheDrummer)
{
    for (const bool follower : {false, true})
    {
        MidiOutFixture fixture;
        fixture.processor.setGravaEnabled(follower);
        // A low key held, then a higher one: with the follower the higher key is not bass.
        fixture.thread.at(10520.0,
                          [&]
                          {
                              fixture.thread.handleIncomingMidiMessage(
                                  nullptr, juce::MidiMessage::noteOn(1, 40, juce::uint8(90)));
                          });
        fixture.thread.at(10770.0,
                          [&]
                          {
                              fixture.thread.handleIncomingMidiMessage(
                                  nullptr, juce::MidiMessage::noteOn(1, 64, juce::uint8(90)));
                          });
        fixture.processor.start();
        fixture.playUntil(11510.0);
        EXPECT_EQ(fixture.notesAnalysed(), follower ? 1 : 2) << (follower ? "follower on" : "follower off");
    }
}

TEST(MidiThread, TimesStaySoundPastTheCountersWrapAndWhenTheyAreRebased)
{
    struct Case
    {
        double startAt;
        int rebaseAfter;
    };
    const Case cases[] = {{2147483648.0 - 1000.0, 1 << 30}, // 2^31 ms
                          {4294967296.0 - 1000.0, 1 << 30}, // 2^32 ms: the 32-bit counter wraps
                          {10000.0, 700}};                  // times moved back every 700 ms
    for (const auto& c : cases)
    {
        MidiOutFixture fixture(c.startAt);
        fixture.thread.setRebaseAfter(c.rebaseAfter);
        fixture.processor.start();
        fixture.playUntil(c.startAt + 3010.0);
        const auto gaps = hiHatGaps(fixture.output);
        ASSERT_GE(gaps.size(), 11u) << c.startAt;
        for (double gap : gaps)
            EXPECT_NEAR(gap, 250.0, 1.0) << "starting at " << c.startAt;
    }
}

TEST(MidiThread, WithNoOutputNothingIsSentAndAWaitingSubdivisionWaits)
{
    MidiOutFixture fixture;
    fixture.thread.setDrumNoteOutput(nullptr);
    fixture.processor.start();
    fixture.processor.chooseDivisionDuTemps(4);
    fixture.thread.advanceTo(12010.0);
    EXPECT_EQ(fixture.thread.divisionDuration, 250.0 * MidiThread::ticksPerMillisecond) << "still two subdivisions";
    EXPECT_EQ(fixture.processor.getWaitForTheTimeToUpdateProgressionBarDisplay(), 4);

    fixture.thread.setDrumNoteOutput(&fixture.output);
    fixture.thread.advanceTo(13010.0);
    EXPECT_EQ(fixture.thread.divisionDuration, 125.0 * MidiThread::ticksPerMillisecond) << "applied on a beat once there is an output";
    EXPECT_EQ(fixture.processor.getWaitForTheTimeToUpdateProgressionBarDisplay(), 0);
    EXPECT_FALSE(fixture.output.sent.empty());
}

TEST(MidiThread, HandOverContinuesTheSameBarAndBeatBothWays)
{
    constexpr double rate = 48000.0;
    constexpr int block = 480; // 10 ms
    BattoAudioProcessor processor;
    processor.setRateAndBufferSizeDetails(rate, block);
    processor.prepareToPlay(rate, block);
    juce::AudioBuffer<float> audio(2, block);
    juce::MidiBuffer midi;
    auto runBlocks = [&](int count)
    {
        for (int i = 0; i < count; ++i)
        {
            midi.clear();
            const juce::ScopedLock lock(processor.getCallbackLock()); // as the player does
            processor.processBlock(audio, midi);
        }
    };

    SimulatedMidiThread thread(&processor, 50000.0);
    RecordingOutput output(
        [&]
        {
            return thread.now.load();
        });
    thread.setDrumNoteOutput(&output);
    processor.midiThread = &thread;
    processor.midiThreadEngine = &thread;

    processor.start();
    runBlocks(230); // 2.3 s at 120 bpm: bar 1, beat 0, past its middle
    const Batto::instantRythmique before = processor.nextInstant;
    EXPECT_EQ(before.bar, 1);

    processor.setDrumKit(BattoAudioProcessor::kitMidiOut);
    thread.advanceTo(50000.0); // the thread has taken over and waits for its next step
    EXPECT_TRUE(thread.isPlaying());
    EXPECT_EQ(thread.nextInstant.bar, before.bar);
    EXPECT_EQ(thread.nextInstant.beat, before.beat);
    EXPECT_EQ(thread.nextInstant.division, before.division);
    EXPECT_EQ(thread.nextInstant.half, before.half);
    EXPECT_EQ(thread.nextInstant.time, static_cast<int>(before.time * 1000.0 * MidiThread::ticksPerMillisecond / rate))
        << "samples to ticks";

    // Half a second more on the thread's clock: two subdivisions, then back to the audio.
    thread.advanceTo(50500.0);
    const int barsAndBeatsOnTheThread = thread.nextInstant.bar * 4 + thread.nextInstant.beat;
    EXPECT_GT(barsAndBeatsOnTheThread, before.bar * 4 + before.beat);
    processor.setDrumKit(BattoAudioProcessor::kitInternal);
    const Batto::instantRythmique played = thread.nextInstant;
    EXPECT_EQ(processor.nextInstant.bar, played.bar);
    EXPECT_EQ(processor.nextInstant.beat, played.beat);
    EXPECT_EQ(processor.nextInstant.division, played.division);
    EXPECT_EQ(processor.nextInstant.half, played.half);
    EXPECT_EQ(processor.nextInstant.time,
              static_cast<int>((played.time - thread.engineTimeAt(50500.0)) * rate * 0.001
                               / MidiThread::ticksPerMillisecond))
        << "ticks back to samples from now";
    EXPECT_FALSE(output.sent.empty());
    EXPECT_TRUE(processor.isRunning());
    runBlocks(100);
    EXPECT_GT(processor.nextInstant.bar * 4 + processor.nextInstant.beat, played.bar * 4 + played.beat);
    processor.midiThread = nullptr;
    processor.midiThreadEngine = nullptr;
}

TEST(MidiThread, NotesFromInputThreadsAndPreviewsFromTheMessageThreadAreSerialised)
{
    // The real clock and real threads: two input threads play notes while the message thread
    // previews voices; every note-on is analysed and nothing breaks.
    BattoAudioProcessor processor;
    MidiThread thread(&processor);
    struct CountingOutput : DrumNoteOutput
    {
        void sendNow(const juce::MidiMessage&) override
        {
            ++sent;
        }
        int sent = 0; // under the thread's lock
    } output;
    thread.setDrumNoteOutput(&output);
    processor.midiThread = &thread;
    processor.midiThreadEngine = &thread;
    processor.setDrumKit(BattoAudioProcessor::kitMidiOut);
    processor.setTempo(240.0);
    processor.start();
    while (!thread.isPlaying())
        juce::Thread::sleep(1);

    std::atomic<bool> done{false};
    auto player = [&](int channel)
    {
        while (!done)
        {
            thread.handleIncomingMidiMessage(nullptr,
                                             juce::MidiMessage::noteOn(channel, 60, juce::uint8(100)));
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
    };
    std::thread left(player, 1), right(player, 2);
    for (int preview = 0; preview < 300; ++preview)
    {
        processor.previewVoice(static_cast<Batto::Percu>(preview % Batto::numVoices), 100);
        juce::Thread::sleep(1);
    }
    done = true;
    left.join();
    right.join();
    processor.stop();
    EXPECT_FALSE(thread.isThreadRunning());
    EXPECT_GE(output.sent, 300) << "every preview left, besides the hits";
    processor.midiThread = nullptr;
    processor.midiThreadEngine = nullptr;
}
