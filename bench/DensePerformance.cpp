#include "DensePerformance.h"

#include <algorithm>

namespace
{
// Calls add(sample, message) for every message of the busy player at `bpm` until `totalSamples`.
template <typename Add>
void playDensely(double sampleRate, double bpm, juce::int64 totalSamples, Add&& add)
{
    const int sixteenth = static_cast<int>(sampleRate * 60.0 / bpm / 4);
    for (int step = 0; static_cast<juce::int64>(step) * sixteenth < totalSamples; ++step)
    {
        const int at = step * sixteenth + (step * 37) % 200; // a human's timing
        const int bar = step / 16;
        const int velocity = 40 + (step * 23) % 80 + (step % 16 == 0 ? 7 : 0);
        add(at, juce::MidiMessage::noteOn(1, 40 + step % 24, static_cast<juce::uint8>(velocity)));
        add(at + sixteenth / 2, juce::MidiMessage::noteOff(1, 40 + step % 24));
        if (step % 4 == 0)
            for (int voice = 1; voice <= 2; ++voice)
                add(at + voice * 30,
                    juce::MidiMessage::noteOn(1, 52 + 4 * voice, static_cast<juce::uint8>(velocity)));
        if (bar % 4 == 3 && step % 16 >= 8)
            add(at + sixteenth / 2,
                juce::MidiMessage::noteOn(1, 45, static_cast<juce::uint8>(100 + step % 27)));
        if (step % 16 == 15)
            add(at, juce::MidiMessage::controllerEvent(1, 64, bar % 2 ? 127 : 0));
    }
}
} // namespace

std::vector<juce::MidiBuffer> densePerformance(double sampleRate, int blockSize)
{
    constexpr double minutes = 4.0;
    const int totalSamples = static_cast<int>(sampleRate * 60.0 * minutes);
    std::vector<juce::MidiBuffer> blocks(static_cast<size_t>(totalSamples / blockSize));
    playDensely(sampleRate, 120.0, totalSamples,
                [&](int at, const juce::MidiMessage& message)
                {
                    const auto block = static_cast<size_t>(at / blockSize);
                    if (block < blocks.size())
                        blocks[block].addEvent(message, at % blockSize);
                });
    return blocks;
}

std::vector<TimedMessage> denseSixteenths(double sampleRate, double bpm, int bars)
{
    const auto totalSamples = static_cast<juce::int64>(bars * 4 * 60.0 / bpm * sampleRate);
    std::vector<TimedMessage> messages;
    playDensely(sampleRate, bpm, totalSamples,
                [&](int at, const juce::MidiMessage& message)
                {
                    if (at < totalSamples)
                        messages.push_back({at, message});
                });
    std::stable_sort(messages.begin(), messages.end(),
                     [](const TimedMessage& a, const TimedMessage& b) { return a.sample < b.sample; });
    return messages;
}
