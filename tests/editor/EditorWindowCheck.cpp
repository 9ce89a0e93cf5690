// Shows the panel in a real window (run it under Xvfb) and reports the drummer's transport
// on standard output, one line per change: "running" or "stopped". The editor test scripts
// press keys and drag with xdotool and read the lines. A key that the panel leaves alone
// ("x") reaches the window, which answers "keys read" after the next block: by then every
// key pressed before it has been read and its start or stop has been reported. The
// processor's blocks run on a timer in place of an audio device. It quits by itself after
// the given number of seconds.
//
// With "drum-map" after the seconds it also shows the drum-map window ("drum map ready" once
// it shows, "drum map hidden" when it goes) and reports the first voice's scale slider as it
// moves ("thumb 0.42"), the processor's scale of that voice when it changes ("scale 0.42")
// and every note-on a block sends while the drummer is stopped ("preview 38 22"); the drums
// then leave as MIDI notes.

#include "BattoEditor.h"
#include "BattoEditorIndicators.h"
#include "MidiDrumMapComponent.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <cstdio>

namespace
{
class CheckWindow : public juce::DocumentWindow, private juce::Timer
{
public:
    CheckWindow(int seconds, bool withDrumMap)
        : juce::DocumentWindow("Batto panel check", juce::Colours::black, juce::DocumentWindow::closeButton),
          processor(settingsFor(withDrumMap)), drumMap(withDrumMap),
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
        if (drumMap)
            reportDrumMap();
        midi.clear();
        processor.processBlock(audio, midi);
        if (drumMap && !processor.isRunning())
            for (const auto event : midi) // the block's MIDI output
                if (const auto message = event.getMessage(); message.isNoteOn(true))
                    say("preview " + juce::String(message.getNoteNumber()) + " "
                        + juce::String(message.getVelocity()));
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

    // With the drum map shown, the drums leave as MIDI notes, so that a preview shows in the
    // block's output with its velocity.
    static BattoAudioProcessor::Settings settingsFor(bool withDrumMap)
    {
        BattoAudioProcessor::Settings settings;
        if (withDrumMap)
            settings.drumKit = BattoAudioProcessor::kitMidiOut;
        return settings;
    }

    static void say(const juce::String& line)
    {
        std::printf("%s\n", line.toRawUTF8());
        std::fflush(stdout);
    }

    void reportDrumMap()
    {
        auto* editor = dynamic_cast<BattoEditor*>(processor.getActiveEditor());
        if (editor == nullptr || !shown)
            return;
        auto& window = *editor->midi_drum_map_window;
        if (!drumMapOpened)
        {
            drumMapOpened = true;
            window.setVisible(true);
            window.toFront(true);
        }
        const bool showing = window.isShowing();
        if (showing != drumMapShowing)
        {
            drumMapShowing = showing;
            say(showing ? "drum map ready" : "drum map hidden");
        }
        const double thumb = editor->midi_drum_map_component->scale_sliders[0]->getValue();
        if (thumb != lastThumb)
            say("thumb " + juce::String(lastThumb = thumb));
        const float scale = processor.getVelocityScale(0);
        if (scale != lastScale)
            say("scale " + juce::String(lastScale = scale));
    }

    BattoAudioProcessor processor;
    juce::AudioBuffer<float> audio;
    juce::MidiBuffer midi;
    bool running = false, shown = false, keysReadAsked = false;
    const bool drumMap;
    bool drumMapOpened = false, drumMapShowing = false;
    double lastThumb = 1.0;
    float lastScale = 1.0f;
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
        window = std::make_unique<CheckWindow>(juce::jmax(1, commandLine.getIntValue()),
                                               commandLine.contains("drum-map"));
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
