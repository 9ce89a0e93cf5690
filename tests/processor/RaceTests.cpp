// Built with ThreadSanitizer: the message thread's actions and the audio thread's blocks
// run at the same time, as they do in a host, and the sanitizer reports any data race.
#include "ProcessorTestSupport.h"

#include <atomic>
#include <thread>

// This test builds the processor without its panel; the framework's plain editor stands in.
juce::AudioProcessorEditor* BattoAudioProcessor::createEditor()
{
    return new juce::GenericAudioProcessorEditor(*this);
}

namespace
{
constexpr double rate = 48000.0;
constexpr int blockSize = 128;
constexpr int blocksToRun = 20000;

// The audio thread of a host: it respects the processor's suspension under its callback
// lock, as the framework's players and plug-in wrappers do.
void runAudioThread(BattoAudioProcessor& processor, FakePlayHead& playHead, std::atomic<bool>& done)
{
    juce::AudioBuffer<float> audio(4, blockSize);
    juce::MidiBuffer midi;
    midi.ensureSize(8192);
    for (int block = 0; block < blocksToRun; ++block)
    {
        midi.clear();
        midi.addEvent(noteOn(36 + block % 40, 30 + block % 90), (block * 29) % blockSize);
        if (block == blocksToRun / 3)
            playHead.answers = true; // the host's transport plays: the processor follows it
        if (block == 2 * blocksToRun / 3)
            playHead.stop();
        const juce::ScopedLock lock(processor.getCallbackLock());
        if (!processor.isSuspended())
            processor.processBlock(audio, midi);
    }
    done = true;
}

void runMessageThread(BattoAudioProcessor& processor, std::atomic<bool>& done)
{
    RecordingDisplay display;
    juce::MemoryBlock state;
    processor.getStateInformation(state);
    for (int round = 0; !done; ++round)
    {
        processor.start();
        processor.chooseDivisionDuTemps(1 << (round % 3));
        processor.previewVoice(static_cast<Batto::Percu>(round % Batto::numVoices), 100);
        processor.setTempo(60.0 + round % 120);
        processor.setVolume(0.5);
        processor.setAutoKick(round % 2 == 0);
        processor.setAutoSnare(round % 3 == 0);
        processor.setBreakParam1(0.3);
        processor.setDrumNote(round % Batto::numVoices, 40 + round % 20);
        processor.setVelocityScale(round % Batto::numVoices, 0.8f);
        processor.setGravaEnabled(round % 4 == 0);
        processor.setStateInformation(state.getData(), static_cast<int>(state.getSize()));
        juce::MemoryBlock written;
        processor.getStateInformation(written);
#if !BATTO_PLUGIN_BUILD
        processor.setClickVolume(round % 5 == 0 ? 0.0 : 0.8);
        processor.channelFilterOn = round % 7 == 0;
        processor.lowestNote = round % 30;
        if (round % 50 == 0)
        {
            // The sound outputs in turn; the kit folder is missing, so that choice keeps the
            // sounds it has (no dialog off the message thread).
            const int kits[] = {BattoAudioProcessor::kitExternalPlugin, BattoAudioProcessor::kitInternal,
                                BattoAudioProcessor::kitBattokitFolder};
            processor.setDrumKit(kits[(round / 50) % 3]);
        }
        if (round % 400 == 7) // the test instrument (a VST3 bundle) swapped in while blocks run
            processor.loadExternalPlugin(juce::File(BATTO_TEST_INSTRUMENT_LIBRARY)
                                             .getParentDirectory()
                                             .getParentDirectory()
                                             .getParentDirectory()
                                             .getFullPathName());
#endif
        processor.displayCodes.drain(display);
        juce::ignoreUnused(processor.isRunning(), processor.isHostSynced(), processor.getTempoSetting(),
                           processor.getDivisionDuTempsSetting(), processor.GetBreakParam2());
        processor.stop();
        std::this_thread::yield();
    }
}
} // namespace

TEST(Races, MessageThreadActionsWhileTheAudioThreadRuns)
{
    BattoAudioProcessor processor;
    processor.setRateAndBufferSizeDetails(rate, blockSize);
    processor.prepareToPlay(rate, blockSize);
    FakePlayHead playHead;
    playHead.play(120.0, 0.0);
    playHead.answers = false; // the host's transport is not playing at first
    processor.setPlayHead(&playHead);
    processor.displayCodes.open();

    std::atomic<bool> done{false};
    std::thread audio(
        [&]
        {
            runAudioThread(processor, playHead, done);
        });
#if !BATTO_PLUGIN_BUILD
    std::thread midiThread(
        [&]
        {
            while (!done)
            {
                processor.requestClickFromMidiThread(true);
                std::this_thread::yield();
            }
        });
#endif
    // A host saves its project from a thread of its own while the user plays.
    std::thread hostSaving(
        [&]
        {
            while (!done)
            {
                juce::MemoryBlock chunk;
                processor.getStateInformation(chunk);
                EXPECT_EQ(chunk.getSize(), BATTO_PLUGIN_BUILD ? 224u : 232u);
                std::this_thread::yield();
            }
        });
    runMessageThread(processor, done);
    hostSaving.join();
    audio.join();
#if !BATTO_PLUGIN_BUILD
    midiThread.join();
#endif
    processor.setPlayHead(nullptr);
    SUCCEED();
}
