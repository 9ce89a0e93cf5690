#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

// The metronome window's content: a volume slider for the clicks (0 silent .. 1), with a
// tooltip that tells where the clicks sound. The slider writes the processor's click
// volume at once; the audio thread picks it up at its next block.
class MetronomeComponent : public juce::Component, private juce::Slider::Listener
{
public:
    // clickVolume: the volume now; setClickVolume: stores a new one into the processor.
    MetronomeComponent(double clickVolume, std::function<void(double)> setClickVolume);
    ~MetronomeComponent() override;

    void paint(juce::Graphics& g) override;
    void resized() override;

    juce::Slider& getVolumeSlider();
    juce::Label& getVolumeLabel();

    static const char* const tooltip;

private:
    void sliderValueChanged(juce::Slider* slider) override;

    std::function<void(double)> setClickVolume;
    juce::Label volumeLabel;
    juce::Slider volumeSlider;
};
