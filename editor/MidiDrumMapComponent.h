#pragma once

#include "BattoAudioProcessor.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <array>
#include <memory>

// The content of the "MIDI Drum Map" window: for each of the ten drum voices, the MIDI note
// it leaves as and the scale of its velocity. It edits the processor's drum map in place
// (through its setters) and keeps no copy; every change plays the voice once as a preview.
// Message thread only.
class MidiDrumMapComponent : public juce::Component,
                             public juce::ComboBox::Listener,
                             public juce::Slider::Listener,
                             public juce::Button::Listener
{
public:
    static constexpr int numVoices = Batto::numVoices;

    explicit MidiDrumMapComponent(BattoAudioProcessor* processor);
    ~MidiDrumMapComponent() override;

    void paint(juce::Graphics&) override;
    void resized() override;
    void sliderValueChanged(juce::Slider*) override;
    void comboBoxChanged(juce::ComboBox*) override;
    void buttonClicked(juce::Button*) override;

    // Shows the processor's map, without notification: nothing is played.
    void RefreshGui();

    // The text of the item for a MIDI note: "60(C3)", "0(C-2)", "61".
    static juce::String noteItemText(int note);
    // The name of a voice: its kit sample's resource name up to the first underscore.
    static juce::String voiceName(int voice);

    std::array<std::unique_ptr<juce::ComboBox>, numVoices> note_combos;
    std::array<std::unique_ptr<juce::Label>, numVoices> voice_labels;
    std::array<std::unique_ptr<juce::Slider>, numVoices> scale_sliders;

private:
    void preview(int voice);
    static void setUpCaption(juce::Label& label);

    BattoAudioProcessor* processor;

public:
    std::unique_ptr<juce::TextButton> reset_button;
    std::unique_ptr<juce::Label> volume_label;
};
