// Shows the panel in a real window (run it under Xvfb) and reports the drummer's transport
// on standard output, one line per change: "running" or "stopped". The editor test script
// presses keys with xdotool and reads the lines. A key that the panel leaves alone ("x")
// reaches the window, which answers "keys read" after the next block: by then every key
// pressed before it has been read and its start or stop has been reported. The processor's blocks run on a timer in
// place of an audio device. It quits by itself after the given number of seconds.

#include "BattoEditor.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <cstdio>

namespace
{
class CheckWindow : public juce::DocumentWindow, private juce::Timer
{
public:
    CheckWindow(int seconds)
        : juce::DocumentWindow("Batto panel check", juce::Colours::black, juce::DocumentWindow::closeButton),
          deadline(juce::Time::getMillisecondCounter() + static_cast<juce::uint32>(seconds) * 1000u)
    {
        processor.setRateAndBufferSizeDetails(48000.0, 480);
        processor.prepareToPlay(48000.0, 480);
        audio.setSize(2, 480);
        setUsingNativeTitleBar(true);
        setContentNonOwned(processor.createEditorIfNeeded(), true);
        setVisible(true);
        startTimer(10);
    }

    ~CheckWindow() override
    {
        auto* editor = getContentComponent();
        clearContentComponent();
        processor.editorBeingDeleted(processor.getActiveEditor());
        delete editor;
    }

    void closeButtonPressed() override
    {
        juce::JUCEApplicationBase::quit();
    }

    bool keyPressed(const juce::KeyPress& key) override
    {
        if (key.getTextCharacter() != 'x')
            return juce::DocumentWindow::keyPressed(key);
        keysReadAsked = true;
        return true;
    }

private:
    void timerCallback() override
    {
        if (!shown && isShowing())
        {
            shown = true;
            std::printf("ready\n");
            std::fflush(stdout);
        }
        midi.clear();
        processor.processBlock(audio, midi);
        if (processor.isRunning() != running)
        {
            running = processor.isRunning();
            std::printf("%s\n", running ? "running" : "stopped");
            std::fflush(stdout);
        }
        if (keysReadAsked)
        {
            keysReadAsked = false;
            std::printf("keys read\n");
            std::fflush(stdout);
        }
        if (juce::Time::getMillisecondCounter() > deadline)
            juce::JUCEApplicationBase::quit();
    }

    BattoAudioProcessor processor;
    juce::AudioBuffer<float> audio;
    juce::MidiBuffer midi;
    bool running = false, shown = false, keysReadAsked = false;
    juce::uint32 deadline;
};

class CheckApplication : public juce::JUCEApplicationBase
{
public:
    const juce::String getApplicationName() override
    {
        return "batto-editor-window-check";
    }
    const juce::String getApplicationVersion() override
    {
        return "1";
    }
    bool moreThanOneInstanceAllowed() override
    {
        return true;
    }
    void initialise(const juce::String& commandLine) override
    {
        window = std::make_unique<CheckWindow>(juce::jmax(1, commandLine.getIntValue()));
    }
    void shutdown() override
    {
        window = nullptr;
    }
    void anotherInstanceStarted(const juce::String&) override
    {
    }
    void systemRequestedQuit() override
    {
        quit();
    }
    void suspended() override
    {
    }
    void resumed() override
    {
    }
    void unhandledException(const std::exception*, const juce::String&, int) override
    {
    }

private:
    std::unique_ptr<CheckWindow> window;
};
} // namespace

START_JUCE_APPLICATION(CheckApplication)
