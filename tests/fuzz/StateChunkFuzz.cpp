// The state chunk reader fed any bytes, as a host could hand back a damaged or foreign
// project. Built once per build of the processor. After loading: no crash, no sanitizer
// report, every setting in its valid range, the chunk written again reads back to itself,
// and the drummer (with the bass follower, whose own state gets the same bytes) plays a few
// blocks with what was loaded.

#include "BattoAudioProcessor.h"
#include "FuzzInput.h"
#include "GravaAudioProcessor.h"

#include <cmath>

namespace
{
void checkSettings(BattoAudioProcessor& processor)
{
    FUZZ_REQUIRE(BattoAudioProcessor::isUsableTempo(processor.getTempoSetting()));
    FUZZ_REQUIRE(BattoAudioProcessor::isUsableDivisionDuTemps(processor.getDivisionDuTempsSetting()));
    FUZZ_REQUIRE(std::isfinite(processor.getVolume()));
    FUZZ_REQUIRE(std::isfinite(processor.GetBreakParam1()) && std::isfinite(processor.GetBreakParam2()));
    for (int voice = 0; voice < Batto::numVoices; ++voice)
        FUZZ_REQUIRE(std::isfinite(processor.getVelocityScale(voice)));
}

juce::MemoryBlock stateOf(BattoAudioProcessor& processor)
{
    juce::MemoryBlock state;
    processor.getStateInformation(state);
    return state;
}

void playAFewBlocks(BattoAudioProcessor& processor)
{
    juce::AudioBuffer<float> audio(2, 512);
    juce::MidiBuffer midi;
    processor.start();
    for (int block = 0; block < 8; ++block)
    {
        midi.clear();
        midi.addEvent(juce::MidiMessage::noteOn(1, 30 + block * 9, static_cast<juce::uint8>(40 + block * 11)),
                      block * 60);
        midi.addEvent(juce::MidiMessage::noteOff(1, 30 + block * 9), 500);
        processor.processBlock(audio, midi);
        for (const auto event : midi)
            if (event.numBytes == 3)
                FUZZ_REQUIRE(event.data[1] < 128 && event.data[2] < 128);
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    BattoAudioProcessor processor;
    processor.setStateInformation(data, static_cast<int>(std::min<size_t>(size, 1 << 20)));
    checkSettings(processor);

    // Whatever was loaded is written as a whole chunk that reads back to itself. A whole
    // chunk sets every setting, so one processor serves every input (the fuzzing runs
    // twice as fast without building a second one each time).
    const juce::MemoryBlock written = stateOf(processor);
    static BattoAudioProcessor reloaded;
    reloaded.setStateInformation(written.getData(), static_cast<int>(written.getSize()));
    FUZZ_REQUIRE(stateOf(reloaded) == written);

    GravaAudioProcessor follower;
    follower.setStateInformation(data, static_cast<int>(std::min<size_t>(size, 1 << 20)));
    juce::AudioBuffer<float> audio(2, 256);
    juce::MidiBuffer midi;
    for (int note = 0; note < 128; note += 5)
        midi.addEvent(juce::MidiMessage::noteOn(1, note, static_cast<juce::uint8>(100)), note);
    follower.processBlock(audio, midi);
    for (const auto event : midi)
        FUZZ_REQUIRE(event.numBytes != 3 || (event.data[1] < 128 && event.data[2] < 128));

    playAFewBlocks(processor);
    return 0;
}
