#include "MetronomeComponent.h"

const char* const MetronomeComponent::tooltip =
    "If you want the metronome and the drums sound separately, you have to use an audio device with two "
    "stereo outputs selected.";

MetronomeComponent::MetronomeComponent(double clickVolume, std::function<void(double)> setVolume)
    : setClickVolume(std::move(setVolume))
{
    volumeLabel.setName("new label");
    volumeLabel.setText(TRANS("Volume :\n"), juce::dontSendNotification);
    volumeLabel.setFont(juce::Font(15.0f, juce::Font::plain).withTypefaceStyle("Regular"));
    volumeLabel.setJustificationType(juce::Justification::centredLeft);
    volumeLabel.setEditable(false, false, false);
    volumeLabel.setColour(juce::TextEditor::textColourId, juce::Colours::black);
    volumeLabel.setColour(juce::TextEditor::backgroundColourId, juce::Colour(0x00000000));
    addAndMakeVisible(volumeLabel);
    volumeLabel.setBounds(80, 80, 72, 24);

    volumeSlider.setName("new slider");
    addAndMakeVisible(volumeSlider);
    volumeSlider.setRange(0.0, 1.0, 0.01);
    volumeSlider.setSliderStyle(juce::Slider::LinearHorizontal);
    volumeSlider.setTextBoxStyle(juce::Slider::NoTextBox, false, 80, 20);
    volumeSlider.addListener(this);
    volumeSlider.setBounds(160, 80, 150, 24);

    volumeLabel.setTooltip(TRANS(tooltip));
    volumeSlider.setTooltip(TRANS(tooltip));

    setSize(400, 200);
    volumeSlider.setValue(clickVolume, juce::dontSendNotification);
}

MetronomeComponent::~MetronomeComponent()
{
    volumeSlider.removeListener(this);
}

void MetronomeComponent::paint(juce::Graphics& g)
{
    g.fillAll(juce::Colour(0xff7a8734));
}

void MetronomeComponent::resized()
{
}

void MetronomeComponent::sliderValueChanged(juce::Slider* slider)
{
    if (slider == &volumeSlider && setClickVolume)
        setClickVolume(volumeSlider.getValue());
}

juce::Slider& MetronomeComponent::getVolumeSlider()
{
    return volumeSlider;
}

juce::Label& MetronomeComponent::getVolumeLabel()
{
    return volumeLabel;
}
