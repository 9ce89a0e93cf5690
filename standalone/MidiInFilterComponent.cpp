#include "MidiInFilterComponent.h"

#include "AudioProcessorWITHMidiInFilter.h"

MidiInFilterComponent::MidiInFilterComponent(AudioProcessorWITHMidiInFilter* filterToEdit)
    : filter(filterToEdit)
{
    channelToggle.setName("new toggle button");
    channelToggle.setButtonText(TRANS("chanel"));
    channelToggle.addListener(this);
    addAndMakeVisible(channelToggle);
    channelToggle.setBounds(40, 48, 80, 24);

    rangeToggle.setName("new toggle button");
    rangeToggle.setButtonText(TRANS("range"));
    rangeToggle.addListener(this);
    addAndMakeVisible(rangeToggle);
    rangeToggle.setBounds(40, 152, 80, 24);

    channelBox.setName("new combo box");
    channelBox.setEditableText(false);
    channelBox.setJustificationType(juce::Justification::centredLeft);
    channelBox.setTextWhenNothingSelected({});
    channelBox.setTextWhenNoChoicesAvailable(TRANS("(no choices)"));
    for (int channel = 1; channel <= 16; ++channel)
        channelBox.addItem(juce::String(channel), channel);
    channelBox.addListener(this);
    addAndMakeVisible(channelBox);
    channelBox.setBounds(136, 48, 80, 24);

    noteRangeSlider.setName("new slider");
    noteRangeSlider.setRange(0.0, 127.0, 1.0);
    noteRangeSlider.setSliderStyle(juce::Slider::TwoValueHorizontal);
    noteRangeSlider.setTextBoxStyle(juce::Slider::NoTextBox, false, 80, 20);
    noteRangeSlider.addListener(this);
    addAndMakeVisible(noteRangeSlider);
    noteRangeSlider.setBounds(128, 152, 240, 24);

    setUpLabel(lowNoteLabel, "C#4", juce::Justification::centred, {200, 176, 40, 24});
    setUpLabel(highNoteLabel, "C#5", juce::Justification::centredLeft, {272, 176, 40, 24});
    setUpLabel(fromLabel, TRANS("from"), juce::Justification::centredLeft, {160, 176, 40, 24});
    setUpLabel(toLabel, TRANS("to"), juce::Justification::centredLeft, {240, 176, 24, 24});

    setSize(400, 250);

    if (filter != nullptr)
    {
        channelToggle.setToggleState(filter->channelFilterOn.load(), juce::dontSendNotification);
        channelBox.setSelectedId(filter->midiInChannel.load(), juce::dontSendNotification);
        rangeToggle.setToggleState(filter->noteRangeFilterOn.load(), juce::dontSendNotification);
        // Both thumbs at once: one at a time, the first could be held back by the other.
        noteRangeSlider.setMinAndMaxValues(filter->lowestNote.load(), filter->highestNote.load(),
                                           juce::dontSendNotification);
    }
    buttonClicked(&channelToggle);
    buttonClicked(&rangeToggle);
    UpdateTextEditors();
}

MidiInFilterComponent::~MidiInFilterComponent() = default;

void MidiInFilterComponent::setUpLabel(juce::Label& label, const juce::String& text,
                                       juce::Justification justification, juce::Rectangle<int> bounds)
{
    label.setName("new label");
    label.setText(text, juce::dontSendNotification);
    label.setFont(juce::Font(15.0f, juce::Font::plain).withTypefaceStyle("Regular"));
    label.setJustificationType(justification);
    label.setEditable(false, false, false);
    label.setColour(juce::TextEditor::textColourId, juce::Colours::black);
    label.setColour(juce::TextEditor::backgroundColourId, juce::Colour(0x00000000));
    addAndMakeVisible(label);
    label.setBounds(bounds);
}

void MidiInFilterComponent::paint(juce::Graphics& g)
{
    g.fillAll(juce::Colour(0xff323e44));
}

void MidiInFilterComponent::resized()
{
}

void MidiInFilterComponent::buttonClicked(juce::Button* button)
{
    if (button == &channelToggle)
    {
        const bool on = channelToggle.getToggleState();
        if (filter != nullptr)
            filter->channelFilterOn = on;
        channelBox.setEnabled(on);
    }
    else if (button == &rangeToggle)
    {
        const bool on = rangeToggle.getToggleState();
        if (filter != nullptr)
            filter->noteRangeFilterOn = on;
        for (juce::Component* control : std::initializer_list<juce::Component*>{
                 &lowNoteLabel, &highNoteLabel, &noteRangeSlider, &toLabel, &fromLabel})
            control->setEnabled(on);
    }
}

void MidiInFilterComponent::comboBoxChanged(juce::ComboBox* box)
{
    if (box == &channelBox && filter != nullptr)
        filter->midiInChannel = channelBox.getSelectedId();
}

void MidiInFilterComponent::sliderValueChanged(juce::Slider* slider)
{
    if (slider != &noteRangeSlider)
        return;
    if (filter != nullptr)
    {
        filter->highestNote = static_cast<int>(noteRangeSlider.getMaxValue());
        filter->lowestNote = static_cast<int>(noteRangeSlider.getMinValue());
    }
    UpdateTextEditors();
}

void MidiInFilterComponent::UpdateTextEditors()
{
    if (filter == nullptr)
        return;
    lowNoteLabel.setText(noteName(filter->lowestNote.load()), juce::dontSendNotification);
    highNoteLabel.setText(noteName(filter->highestNote.load()), juce::dontSendNotification);
}

juce::String MidiInFilterComponent::noteName(int note)
{
    if (note < 0 || note > 127)
        return {};
    static const char* const pitches[12] = {"C", "C#", "D", "Eb", "E", "F", "F#", "G", "Ab", "A", "Bb", "B"};
    return juce::String(pitches[note % 12]) + juce::String(note / 12 - 2);
}
