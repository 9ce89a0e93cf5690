#pragma once

#include <juce_audio_devices/juce_audio_devices.h>
#include <juce_audio_processors/juce_audio_processors.h>

#include <memory>

// The main window's content: the processor's editor, shown at its own position. Key presses
// that reach the window go to the editor (the space bar starts and stops the drummer).
class MainComponent : public juce::Component
{
public:
    explicit MainComponent(juce::AudioProcessor& processor);
    ~MainComponent() override;

    // A keyboard component would listen on this channel; there is none here.
    virtual void SetMidiInChanelForKeyboardCompIfAny(int channel);
    // A component that wants the MIDI inputs itself answers it here; none does, so the
    // player receives them.
    virtual juce::MidiInputCallback* GetMidiInputCallbackIfAny();

    void paint(juce::Graphics& g) override;
    void resized() override;
    bool keyPressed(const juce::KeyPress& key) override;

    juce::AudioProcessorEditor* getEditor() const;

private:
    juce::AudioProcessor& processor;
    std::unique_ptr<juce::AudioProcessorEditor> editor;
};
