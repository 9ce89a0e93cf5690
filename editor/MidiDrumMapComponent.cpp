#include "MidiDrumMapComponent.h"

namespace
{
// The kit samples' resource names in voice order; the plug-in build, which has no samples,
// names its voices from the same list.
const char* const kitSampleResourceNames[Batto::numVoices] = {
    "Snare_wav", "Kick_wav", "CHH_wav", "OHH_wav", "ride_wav", "crash_wav", "crash2_wav", "hTom_wav", "mTom_wav", "lTom_wav"};

constexpr int firstRowY = 50;
constexpr int rowSpacing = 30;
constexpr int rowHeight = 24;
} // namespace

juce::String MidiDrumMapComponent::noteItemText(int note)
{
    juce::String text(note);
    if (note % 12 == 0)
        text << "(C" << (note / 12 - 2) << ")";
    return text;
}

juce::String MidiDrumMapComponent::voiceName(int voice)
{
    return juce::String(kitSampleResourceNames[voice]).upToFirstOccurrenceOf("_", false, false);
}

void MidiDrumMapComponent::setUpCaption(juce::Label& label)
{
    label.setFont(juce::Font(15.0f, juce::Font::plain));
    label.setJustificationType(juce::Justification::centredLeft);
    label.setEditable(false, false, false);
    label.setColour(juce::TextEditor::textColourId, juce::Colours::black);
    label.setColour(juce::TextEditor::backgroundColourId, juce::Colour(0x00000000));
    label.setColour(juce::Label::textColourId, juce::Colours::black);
    label.setColour(juce::Label::backgroundColourId, juce::Colour(0x00000000));
}

MidiDrumMapComponent::MidiDrumMapComponent(BattoAudioProcessor* owner) : processor(owner)
{
    reset_button = std::make_unique<juce::TextButton>("Reset Default");
    addAndMakeVisible(*reset_button);
    reset_button->addListener(this);
    reset_button->setBounds(240, 24, 150, 24);

    volume_label = std::make_unique<juce::Label>("new label", TRANS("Volume"));
    addAndMakeVisible(*volume_label);
    setUpCaption(*volume_label);
    volume_label->setBounds(350, 20, 71, 24);

    for (int voice = 0; voice < numVoices; ++voice)
    {
        auto& label = voice_labels[static_cast<size_t>(voice)];
        label = std::make_unique<juce::Label>("new label");
        addAndMakeVisible(*label);
        setUpCaption(*label);
        label->setText(voiceName(voice), juce::dontSendNotification);

        auto& slider = scale_sliders[static_cast<size_t>(voice)];
        slider = std::make_unique<juce::Slider>("new slider");
        addAndMakeVisible(*slider);
        slider->setRange(0.0, 1.0, 0.01);
        slider->setSliderStyle(juce::Slider::LinearHorizontal);
        slider->setTextBoxStyle(juce::Slider::NoTextBox, false, 0, 0);
        slider->setChangeNotificationOnlyOnRelease(true); // a drag previews once, at its end
        slider->addListener(this);

        auto& combo = note_combos[static_cast<size_t>(voice)];
        combo = std::make_unique<juce::ComboBox>("new combo box");
        addAndMakeVisible(*combo);
        combo->setEditableText(false);
        combo->setJustificationType(juce::Justification::centredLeft);
        combo->setTextWhenNothingSelected({});
        combo->setTextWhenNoChoicesAvailable(TRANS("(no choices)"));
        for (int note = 0; note < 128; ++note)
            combo->addItem(noteItemText(note), note + 1);
        combo->addListener(this);

        const int y = firstRowY + rowSpacing * voice;
        label->setBounds(100, y, 100, rowHeight);
        combo->setBounds(200, y, 100, rowHeight);
        slider->setBounds(350, y, 71, rowHeight);
    }

    reset_button->setTopLeftPosition(240, 350);
    // As wide as the "Volume" caption's right edge plus 100, as high as the button's bottom plus 50.
    setSize(volume_label->getRight() + 100, reset_button->getBottom() + 50);
    RefreshGui();
}

MidiDrumMapComponent::~MidiDrumMapComponent() = default;

void MidiDrumMapComponent::paint(juce::Graphics&)
{
    // Nothing: the window's background shows through.
}

void MidiDrumMapComponent::resized()
{
    // Every child keeps the bounds it was given.
}

void MidiDrumMapComponent::RefreshGui()
{
    for (int voice = 0; voice < numVoices; ++voice)
    {
        // A note outside 0..127 matches no item and shows nothing; a scale outside 0..1
        // shows at the slider's nearer end. The processor keeps both until the user acts.
        note_combos[static_cast<size_t>(voice)]->setSelectedId(processor->getDrumNote(voice) + 1,
                                                               juce::dontSendNotification);
        scale_sliders[static_cast<size_t>(voice)]->setValue(processor->getVelocityScale(voice),
                                                            juce::dontSendNotification);
    }
}

void MidiDrumMapComponent::preview(int voice)
{
    // Single precision, truncated: a scale of 0.5 previews at 63.
    const int velocity = static_cast<int>(processor->getVelocityScale(voice) * 127.0f);
    processor->previewVoice(static_cast<Batto::Percu>(voice), velocity); // and on the MIDI thread's engine
}

void MidiDrumMapComponent::sliderValueChanged(juce::Slider* slider)
{
    for (int voice = 0; voice < numVoices; ++voice)
        if (scale_sliders[static_cast<size_t>(voice)].get() == slider)
        {
            processor->setVelocityScale(voice, static_cast<float>(slider->getValue()));
            preview(voice);
            return;
        }
}

void MidiDrumMapComponent::comboBoxChanged(juce::ComboBox* box)
{
    for (int voice = 0; voice < numVoices; ++voice)
        if (note_combos[static_cast<size_t>(voice)].get() == box)
        {
            if (box->getSelectedId() < 1)
                return; // nothing chosen
            processor->setDrumNote(voice, box->getSelectedId() - 1);
            preview(voice);
            return;
        }
}

void MidiDrumMapComponent::buttonClicked(juce::Button* button)
{
    if (button != reset_button.get())
        return;
    for (int voice = 0; voice < numVoices; ++voice)
    {
        processor->setDrumNote(voice, Batto::drumNoteByDefault[voice]);
        processor->setVelocityScale(voice, 1.0f);
    }
    RefreshGui(); // shows the defaults and plays nothing
}
