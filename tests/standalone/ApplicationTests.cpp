#include "AudioProcessorWITHMidiInFilter.h"
#include "BattoMidiProcessor.h"
#include "BattoStandAloneWindows.h"
#include "MainComponent.h"
#include "MyAudioProcessorPlayer.h"
#include "StandaloneTestSupport.h"
#include "VexStandAloneApplicationMainWindow.h"

#include <csignal>

namespace
{
// Runs the message loop for a while (signals and asynchronous messages arrive there).
void pumpMessages(int milliseconds)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil(milliseconds);
}

float peakOf(const juce::AudioBuffer<float>& audio, int channel)
{
    return audio.getMagnitude(channel, 0, audio.getNumSamples());
}

// The four outputs of `blocks` blocks, one after another.
std::vector<juce::AudioBuffer<float>> play(int blocks)
{
    std::vector<juce::AudioBuffer<float>> played;
    for (int block = 0; block < blocks; ++block)
    {
        TestAudioDevice::current->runBlock();
        played.push_back(TestAudioDevice::current->output);
    }
    return played;
}
} // namespace

TEST(Application, StartUpBuildsEveryObjectAndHandsTheProcessorToThePlayerLast)
{
    TemporaryHome home;
    writeTestDeviceState(home.settingsFile());
    writeSettings(home.settingsFile(),
                  {{"filter_midi_chanel", "1"}, {"midi_chanel", "7"}, {"lowest_note", "12"}});
    RunningApplication app;
    auto& application = app.application;
    auto& processor = app.processor();

    EXPECT_EQ(application.getApplicationName(), "Batto");
    EXPECT_EQ(application.getApplicationVersion(), "2.0.0");
    EXPECT_TRUE(application.moreThanOneInstanceAllowed());
    EXPECT_EQ(application.GetNumOutputs(), 4);
    EXPECT_EQ(application.getDeviceManager()
                  ->getCurrentAudioDevice()
                  ->getActiveOutputChannels()
                  .countNumberOfSetBits(),
              4);

    // The MIDI thread belongs to the processor's controls; it is not started.
    auto* midiThread = application.getMidiProcessor();
    ASSERT_NE(midiThread, nullptr);
    EXPECT_EQ(processor.midiThread, midiThread);
    EXPECT_EQ(processor.midiThreadEngine, midiThread);
    EXPECT_EQ(midiThread->getThreadName(), "MidiBatto");
    EXPECT_FALSE(midiThread->isThreadRunning());

    EXPECT_TRUE(app.filter().channelFilterOn);
    EXPECT_EQ(app.filter().midiInChannel, 7);
    EXPECT_EQ(app.filter().lowestNote, 12);

    auto* content = dynamic_cast<MainComponent*>(app.mainWindow().getContentComponent());
    ASSERT_NE(content, nullptr);
    ASSERT_NE(content->getEditor(), nullptr);
    EXPECT_EQ(processor.getActiveEditor(), content->getEditor());
    EXPECT_EQ(content->GetMidiInputCallbackIfAny(), nullptr);
    EXPECT_EQ(content->getWidth(), content->getEditor()->getWidth());
    // The window made room for the menu bar above the whole editor.
    EXPECT_EQ(content->getHeight(), content->getEditor()->getHeight());
    EXPECT_EQ(app.mainWindow().getMenuBarComponent()->getHeight(),
              app.mainWindow().getLookAndFeel().getDefaultMenuBarHeight());
    EXPECT_EQ(application.getPlayer()->getCurrentProcessor(), &processor);
    EXPECT_FALSE(application.getMetronomeWindow()->isVisible());
}

TEST(Application, ShutsDownWhileTheAudioPlaysAndTheMidiThreadRuns)
{
    TemporaryHome home;
    writeTestDeviceState(home.settingsFile());
    RunningApplication app;
    auto& processor = app.processor();
    processor.setDrumKit(BattoAudioProcessor::kitMidiOut);
    processor.start();
    EXPECT_TRUE(app.application.getMidiProcessor()->isThreadRunning());
    play(100);
    processor.setTempo(133.0);
    app.finish();
    EXPECT_EQ(readSettings(home.settingsFile()).getDoubleValue("tempo"), 133.0);
}

TEST(Application, QuitSignalsEndItLikeExit)
{
    TemporaryHome home;
    RunningApplication app;
    int expected = 0;
    for (int signalNumber : {SIGINT, SIGHUP, SIGTERM})
    {
        std::raise(signalNumber);
        pumpMessages(100);
        EXPECT_EQ(app.application.quitRequests, ++expected) << "signal " << signalNumber;
    }
}

TEST(AudioPath, ClicksSoundOnOutputsThreeAndFourAndLeaveTheDrumsAlone)
{
    std::vector<juce::AudioBuffer<float>> runs[2];
    for (int run = 0; run < 2; ++run)
    {
        TemporaryHome home;
        writeTestDeviceState(home.settingsFile());
        writeSettings(home.settingsFile(), {{"metronomeVolume", run == 0 ? "0" : "1"}});
        RunningApplication app;
        app.processor().start();
        runs[run] = play(48000 / TestAudioDevice::blockSize); // a second: two beats at 120
    }
    float drums = 0.0f, clicksWhenSilent = 0.0f, clicks = 0.0f;
    for (size_t block = 0; block < runs[0].size(); ++block)
    {
        for (int channel = 0; channel < 2; ++channel)
        {
            drums = std::max(drums, peakOf(runs[0][block], channel));
            for (int sample = 0; sample < TestAudioDevice::blockSize; ++sample)
                ASSERT_EQ(runs[0][block].getSample(channel, sample),
                          runs[1][block].getSample(channel, sample))
                    << "the metronome changes nothing on the drums' outputs";
        }
        for (int channel = 2; channel < 4; ++channel)
        {
            clicksWhenSilent = std::max(clicksWhenSilent, peakOf(runs[0][block], channel));
            clicks = std::max(clicks, peakOf(runs[1][block], channel));
        }
    }
    EXPECT_GT(drums, 0.01f);
    EXPECT_EQ(clicksWhenSilent, 0.0f) << "volume 0 silences the clicks";
    EXPECT_GT(clicks, 0.01f);
}

TEST(AudioPath, ThePlayerKeepsTheChannelSoTheFilterMeansTheSameOnBothPaths)
{
    TemporaryHome home;
    writeTestDeviceState(home.settingsFile());
    writeSettings(home.settingsFile(), {{"filter_midi_chanel", "1"}, {"midi_chanel", "3"}});
    RunningApplication app;
    auto& processor = app.processor();
    processor.displayCodes.open();
    processor.start();
    play(10);

    struct Codes : DisplayCodeListener
    {
        void
        displayCodeArrived(const juce::AudioProcessorEditor::ParameterControlHighlightInfo& info) override
        {
            if (info.isHighlighted && info.parameterIndex >= 0 && info.parameterIndex <= 5)
                ++notesAnalysed;
        }
        int notesAnalysed = 0;
    };
    for (const auto& [channel, reaches] : {std::pair<int, bool>{3, true}, {4, false}, {1, false}})
    {
        Codes codes;
        processor.displayCodes.drain(codes);
        codes.notesAnalysed = 0;
        app.application.getPlayer()->handleIncomingMidiMessage(
            nullptr, juce::MidiMessage::noteOn(channel, 60, juce::uint8(100)));
        play(4);
        processor.displayCodes.drain(codes);
        EXPECT_EQ(codes.notesAnalysed > 0, reaches) << "channel " << channel;
    }
}

TEST(Takes, EveryPerformanceIsKeptInTheTakesFolderAndQuitEndsTheTake)
{
    TemporaryHome home;
    writeTestDeviceState(home.settingsFile());
    const juce::File takes = home.folder.getChildFile(".Batto/Takes");
    {
        RunningApplication app;
        app.processor().start();
        play(48000 / TestAudioDevice::blockSize); // a second of drums
        app.finish();                             // quit while it plays
    }
    const auto files = takes.findChildFiles(juce::File::findFiles, false, "*");
    ASSERT_EQ(files.size(), 1) << "a MIDI file, no sound (off by default), nothing left half written";
    juce::MidiFile take;
    juce::FileInputStream stream(files[0]);
    ASSERT_TRUE(take.readFrom(stream));
    ASSERT_EQ(take.getNumTracks(), 3);
    int drumNotes = 0;
    for (const auto* event : *take.getTrack(2))
        drumNotes += event->message.isNoteOn() && event->message.getChannel() == 10 ? 1 : 0;
    EXPECT_GT(drumNotes, 4);
    // Ended where the drummer stopped: one second at 48 kHz, a tick a sample at 120 bpm.
    EXPECT_EQ(take.getTimeFormat(), 24000);
    EXPECT_EQ(take.getTrack(2)->getEndTime(), 48000.0);
}
