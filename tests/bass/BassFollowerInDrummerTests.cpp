// The bass follower inside the drummer's processor: what the drummer hears with it on.

#include "GravaMidiProcessor.h"
#include "ProcessorTestSupport.h"

#include <algorithm>

namespace
{
constexpr double sampleRate = 48000.0;
constexpr int blockSize = 512;

struct TimedMessage
{
    int time; // samples from the start of the performance
    juce::MidiMessage message;
};
using Performance = std::vector<TimedMessage>;

void add(Performance& performance, int time, const juce::MidiMessage& message)
{
    performance.push_back({time, message});
}

// Left hand: a moving bass, one note every 12000 samples, each released before the next.
// Right hand: chords above it, lowest key first, struck just after a bass note and held
// across the next one. A pedal holds some bass notes, and once the left hand hands over
// from one key to a higher one within the legato time. `bassOnly` gets the same
// performance reduced to the notes of its bass line.
void writePerformance(Performance& full, Performance& bassOnly)
{
    const int bassNotes[] = {36, 43, 41, 38, 45, 40, 47, 36, 43, 38, 41, 45, 40, 36, 47, 43};
    for (int k = 0; k < 16; ++k)
    {
        const int onset = 2000 + k * 12000 + (k * 337) % 500;
        const int bass = bassNotes[k];
        const int velocity = 40 + (k * 23) % 80;
        const int bassRelease = onset + 9000;
        for (auto* performance : {&full, &bassOnly})
        {
            add(*performance, onset, noteOn(bass, velocity));
            add(*performance, bassRelease, juce::MidiMessage::noteOff(1, bass));
        }

        if (k % 2 == 0)
        {
            const int lowest = 55 + k % 5;
            const int chord[] = {lowest, lowest + 4, lowest + 7};
            const int spread[] = {40 + 13 * k, 77 + 13 * k, 191 + 13 * k};
            for (int key = 0; key < 3; ++key)
            {
                add(full, onset + spread[key], noteOn(chord[key], 127 - 20 * key - k));
                // Released during the next bass note, top key first or lowest first.
                const int order = k % 4 == 0 ? 2 - key : key;
                add(full, onset + 15000 + order, juce::MidiMessage::noteOff(1, chord[key]));
            }
        }
        if (k % 4 == 1 || k % 4 == 2)
        {
            add(full, onset + 100, juce::MidiMessage::controllerEvent(1, 64, 127));
            add(full, onset + 11000, juce::MidiMessage::controllerEvent(1, 64, 0));
        }
        if (k == 7)
        {
            // A higher key struck 1000 samples before the bass key goes up takes the bass over.
            add(full, bassRelease - 1000, noteOn(bass + 2, 99));
            add(full, bassRelease + 2000, juce::MidiMessage::noteOff(1, bass + 2));
            add(bassOnly, bassRelease, noteOn(bass + 2, 99));
        }
    }
    for (auto* performance : {&full, &bassOnly})
        std::stable_sort(performance->begin(), performance->end(),
                         [](const TimedMessage& a, const TimedMessage& b)
                         {
                             return a.time < b.time;
                         });
}

// Plays a performance into a running drummer; returns the MIDI output of every block.
std::vector<std::vector<Event>> play(BattoAudioProcessor& processor, const Performance& performance,
                                     bool followerOn)
{
#if !BATTO_PLUGIN_BUILD
    processor.setDrumKit(BattoAudioProcessor::kitExternalPlugin); // hits come out as MIDI
#endif
    processor.setGravaEnabled(followerOn);
    BlockDriver driver(processor, sampleRate, blockSize);
    processor.start();

    std::vector<std::vector<Event>> output;
    auto next = performance.begin();
    for (int blockStart = 0; blockStart < 16 * 12000 + 24000; blockStart += blockSize)
    {
        std::vector<std::pair<int, juce::MidiMessage>> in;
        for (; next != performance.end() && next->time < blockStart + blockSize; ++next)
            in.emplace_back(next->time - blockStart, next->message);
        output.push_back(eventsOf(driver.run(blockSize, in)));
    }
    return output;
}

size_t countHits(const std::vector<std::vector<Event>>& blocks)
{
    size_t hits = 0;
    for (const auto& block : blocks)
        hits += block.size();
    return hits;
}

TEST(BassFollowerInDrummer, ChordsOverAMovingBassDriveTheDrummerLikeTheBassLineAlone)
{
    Performance full, bassOnly;
    writePerformance(full, bassOnly);

    BattoAudioProcessor following, hearingTheBass, hearingEverything;
    const auto withFollower = play(following, full, true);
    const auto fromBassLine = play(hearingTheBass, bassOnly, false);
    const auto withoutFollower = play(hearingEverything, full, false);

    ASSERT_EQ(withFollower.size(), fromBassLine.size());
    for (size_t block = 0; block < withFollower.size(); ++block)
        EXPECT_EQ(withFollower[block], fromBassLine[block]) << "block " << block;
    EXPECT_GT(countHits(withFollower), 16u);
    EXPECT_NE(withoutFollower, withFollower) << "the chords alone would change the drummer";
}

TEST(BassFollowerInDrummer, SwitchingTheFollowerReleasesTheBassAtTheNextBlock)
{
    BattoAudioProcessor processor;
    processor.setGravaEnabled(true);
    BlockDriver driver(processor, sampleRate, blockSize);
    driver.run(blockSize, {{10, noteOn(48, 100)}, {20, juce::MidiMessage::controllerEvent(1, 64, 127)}});
    ASSERT_EQ(processor.getGravaProcessor().lastOutputNote, 48);

    processor.setGravaEnabled(false); // the drummer no longer runs the follower ...
    driver.run(blockSize);
    processor.setGravaEnabled(true); // ... and when it comes back, its first block starts clean
    driver.run(blockSize, {{0, noteOn(52, 100)}});
    EXPECT_EQ(processor.getGravaProcessor().lastOutputNote, 52);
    EXPECT_FALSE(processor.getGravaProcessor().sustainPedal);
    ASSERT_EQ(processor.getGravaProcessor().heldNotes.size(), 1u);
    EXPECT_EQ(processor.getGravaProcessor().heldNotes.front().voice.note, 52);
}

#if !BATTO_PLUGIN_BUILD
// The live follower consults the drummer's own MIDI-in filter.
class RecordingBass : public GravaMidiProcessor
{
public:
    RecordingBass(int* settings, AudioProcessorWITHOUTMidiInFilter* filter)
        : GravaMidiProcessor(&noDevice, &noDevice, settings, settings, &octa, &lown, settings, filter)
    {
    }
    void GravaSendMessageNow(const juce::MidiMessage& message) override
    {
        sent.push_back(message.getNoteNumber());
    }
    bool HaveToSendGravaMessage() override
    {
        return true;
    }
    bool HasToHandleIncomingMessage() override
    {
        return true;
    }

    juce::MidiOutput* noDevice = nullptr;
    int octa = 0;
    int lown = 40;
    std::vector<int> sent;
};

TEST(BassFollowerInDrummer, TheLiveFollowerIgnoresWhatTheDrummersFilterRejects)
{
    BattoAudioProcessor drummer;
    drummer.channelFilterOn = true;
    drummer.midiInChannel = 2;
    int channelOne = 1;
    RecordingBass follower(&channelOne, &drummer);

    follower.handleIncomingMidiMessage(nullptr, noteOn(48, 100, 1));
    follower.handleIncomingMidiMessage(nullptr, noteOn(50, 100, 2));
    EXPECT_EQ(follower.sent, std::vector<int>{38});
}
#endif
} // namespace
