#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

class AudioProcessorWITHMidiInFilter;

// The MIDI-in filter window's panel: one MIDI channel ("chanel" and its box) and a note
// range (a two-thumb slider with the names of its two notes). It writes the filter's
// settings at once; the audio thread and the standalone MIDI thread test the next message
// with them.
class MidiInFilterComponent : public juce::Component,
                              public juce::Button::Listener,
                              public juce::ComboBox::Listener,
                              public juce::Slider::Listener
{
public:
    explicit MidiInFilterComponent(AudioProcessorWITHMidiInFilter* filter);
    ~MidiInFilterComponent() override;

    void paint(juce::Graphics& g) override;
    void resized() override;
    void buttonClicked(juce::Button* button) override;
    void comboBoxChanged(juce::ComboBox* box) override;
    void sliderValueChanged(juce::Slider* slider) override;
    void UpdateTextEditors();

    // The name of a MIDI note as the labels show it: middle C (60) is "C3", 0 "C-2", 127
    // "G8"; empty outside 0..127.
    static juce::String noteName(int note);

    AudioProcessorWITHMidiInFilter* filter;
    juce::ToggleButton channelToggle;
    juce::ToggleButton rangeToggle;
    juce::ComboBox channelBox;
    juce::Slider noteRangeSlider;
    juce::Label lowNoteLabel;
    juce::Label highNoteLabel;
    juce::Label fromLabel;
    juce::Label toLabel;

private:
    void setUpLabel(juce::Label& label, const juce::String& text, juce::Justification justification,
                    juce::Rectangle<int> bounds);
};
