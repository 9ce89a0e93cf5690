#include "BattoEditor.h"

#include "BattoEditorIndicators.h"
#include "EditorPictures.h"
#include "MidiDrumMapComponent.h"

#include <cmath>

namespace
{
constexpr int panelWidth = 480;
constexpr int panelHeight = 295;
constexpr int displayCodeIntervalMs = 5;
constexpr juce::uint32 comboButtonColour = 0xffa0a000;

const juce::Rectangle<int> logoArea{140, 224, 331, 56};
const juce::Rectangle<int> hihatCaptionArea{20, 180, 88, 25};
#if BATTO_PLUGIN_BUILD
const juce::Rectangle<int> tempoCaptionArea{12, 132, 97, 25};
#else
const juce::Rectangle<int> tempoCaptionArea{12, 139, 97, 25};
const juce::Rectangle<int> drumKitCaptionArea{4, 44, 121, 25};
#endif

// Subdivisions a beat for the ids of the subdivision box ("4", "8", "16" notes a bar).
int divisionsForId(int id)
{
    switch (id)
    {
    case 1:
        return 1;
    case 2:
        return 2;
    case 3:
        return 4;
    default:
        return 0;
    }
}

int idForDivisions(int divisions)
{
    return divisions == 2 ? 2 : divisions == 4 ? 3 : 1;
}

juce::Image picture(const char* data, int size)
{
    return juce::ImageCache::getFromMemory(data, size);
}

void setUpLinearSlider(juce::Slider& slider, juce::Slider::SliderStyle style, double minimum, double maximum,
                       double interval)
{
    slider.setRange(minimum, maximum, interval);
    slider.setSliderStyle(style);
    slider.setTextBoxStyle(juce::Slider::NoTextBox, false, 0, 0);
}

void setUpComboBox(juce::ComboBox& box)
{
    box.setEditableText(false);
    box.setJustificationType(juce::Justification::centredLeft);
    box.setTextWhenNothingSelected({});
    box.setTextWhenNoChoicesAvailable(TRANS("(no choices)"));
}
} // namespace

//==============================================================================
const juce::Image& BattoEditor::getBackground()
{
    static const juce::Image im =
        picture(EditorPictures::BattoEditor_metal_vert_png, EditorPictures::BattoEditor_metal_vert_pngSize);
    return im;
}

BattoEditor::BattoEditor(BattoAudioProcessor& owner)
    : juce::AudioProcessorEditor(owner), processor(owner),
      vex_look_and_feel(&getBackground(), this, nullptr)
{
    midi_drum_map_window = std::make_unique<MidiDrumMapWindow>();

    createControls();

    logo_image = picture(EditorPictures::BattoEditor_logo_png, EditorPictures::BattoEditor_logo_pngSize);
    hihat_image = picture(EditorPictures::BattoEditor_hihat_png, EditorPictures::BattoEditor_hihat_pngSize);
    tempo_image = picture(EditorPictures::BattoEditor_tempo_png, EditorPictures::BattoEditor_tempo_pngSize);
    drum_kit_image = picture(EditorPictures::BattoEditor_drumkit_png, EditorPictures::BattoEditor_drumkit_pngSize);
    edit_button->setVisible(false);

    setSize(panelWidth, panelHeight);
#if !BATTO_PLUGIN_BUILD
    // The panel takes the keys its controls leave (the space bar among them).
    setWantsKeyboardFocus(true);
#endif
    special_events_label->setEnabled(false);
    setLookAndFeel(&vex_look_and_feel);
    for (juce::Component* plain : std::initializer_list<juce::Component*>{
             division_combo.get(), drum_kit_combo.get(), auto_kick_button.get(), auto_snare_button.get()})
        plain->setLookAndFeel(&plain_look_and_feel);

    // The row of the subdivision in use shows from the start; the lights wait for events.
    showProgressionRow(processor.getDivisionDuTempsSetting());
    for (auto& light : flash_lights)
        light->setVisible(false);
    division_combo->setColour(juce::ComboBox::buttonColourId, juce::Colour(comboButtonColour));
    drum_kit_combo->setColour(juce::ComboBox::buttonColourId, juce::Colour(comboButtonColour));

    showTransportState();
    fillSoundBox();

    auto drumMap = std::make_unique<MidiDrumMapComponent>(&processor);
    midi_drum_map_component = drumMap.get();
    midi_drum_map_window->setContentOwned(drumMap.release(), true);

    takeProcessorValues();

    // Engine events flow from here on: the queue opens now and the timer drains it.
    processor.displayCodes.open();
    startTimer(displayCodeIntervalMs);
}

BattoEditor::~BattoEditor()
{
    stopTimer();
    // A host may build the next editor before it deletes this one: the queue then stays
    // open for that one.
    if (processor.getActiveEditor() == nullptr || processor.getActiveEditor() == this)
        processor.displayCodes.close();
    for (auto* child : getChildren())
        child->setLookAndFeel(nullptr);
    setLookAndFeel(nullptr);
}

//==============================================================================
void BattoEditor::createControls()
{
    volume_slider = std::make_unique<juce::Slider>("VOL");
    addAndMakeVisible(*volume_slider);
    setUpLinearSlider(*volume_slider, juce::Slider::LinearVertical, 0.0, 1.0, 0.0);
    volume_slider->addListener(this);
    volume_slider->setBounds(417, 11, 40, 111);

    tempo_slider = std::make_unique<juce::Slider>(); // no name: the thumb writes none
    addAndMakeVisible(*tempo_slider);
    tempo_slider->setRange(30.0, 240.0, 1.0);
    tempo_slider->setSliderStyle(juce::Slider::LinearHorizontal);
    tempo_slider->setTextBoxStyle(juce::Slider::TextBoxAbove, false, 45, 18);
    tempo_slider->addListener(this);
    tempo_slider->setBounds(112, 120, 228, 44);

    division_combo = std::make_unique<juce::ComboBox>("division combo");
    addAndMakeVisible(*division_combo);
    setUpComboBox(*division_combo);
    division_combo->addItem(TRANS("4"), 1);
    division_combo->addItem(TRANS("8"), 2);
    division_combo->addItem(TRANS("16"), 3);
    division_combo->addListener(this);
    division_combo->setBounds(112, 184, 102, 24);

    start_button = std::make_unique<juce::ToggleButton>("START");
    addAndMakeVisible(*start_button);
    start_button->setRadioGroupId(1);
    start_button->addListener(this);
    start_button->setBounds(16, 4, 127, 24);

    stop_button = std::make_unique<juce::ToggleButton>("STOP");
    addAndMakeVisible(*stop_button);
    stop_button->setRadioGroupId(1);
    stop_button->addListener(this);
    stop_button->setToggleState(true, juce::dontSendNotification);
    stop_button->setBounds(157, 4, 127, 24);

    createIndicators();

    drum_kit_combo = std::make_unique<juce::ComboBox>("drum kit box");
    addAndMakeVisible(*drum_kit_combo);
    setUpComboBox(*drum_kit_combo);
    drum_kit_combo->addListener(this);
    drum_kit_combo->setBounds(130, 47, 166, 24);

    midi_drum_map_button = std::make_unique<juce::TextButton>("MIDI Drum Map");
    addAndMakeVisible(*midi_drum_map_button);
    midi_drum_map_button->addListener(this);
    midi_drum_map_button->setBounds(129, 75, 146, 24);

    velocity_sens_slider = std::make_unique<FlashSlider>("VELOCITY SENS.");
    addAndMakeVisible(*velocity_sens_slider);
    setUpLinearSlider(*velocity_sens_slider, juce::Slider::LinearHorizontal, 0.0, 1.0, 0.0);
    velocity_sens_slider->addListener(this);
    velocity_sens_slider->setBounds(6, 240, 131, 24);

    dynamic_sens_slider = std::make_unique<FlashSlider>("DYNAMIC SENS.");
    addAndMakeVisible(*dynamic_sens_slider);
    setUpLinearSlider(*dynamic_sens_slider, juce::Slider::LinearHorizontal, 0.0, 1.0, 0.0);
    dynamic_sens_slider->addListener(this);
    dynamic_sens_slider->setBounds(6, 260, 131, 24);

    grava_button = std::make_unique<juce::ToggleButton>("Grava");
    addAndMakeVisible(*grava_button);
    grava_button->addListener(this);
    grava_button->setBounds(379, 142, 73, 28);

    edit_button = std::make_unique<juce::ToggleButton>(TRANS("edit"));
    addAndMakeVisible(*edit_button);
    edit_button->setName("EDIT");
    edit_button->addListener(this);
    edit_button->setBounds(304, 52, 40, 15);

    special_events_label = std::make_unique<juce::Label>("special events label", TRANS("SPECIAL EVENTS"));
    addAndMakeVisible(*special_events_label);
    special_events_label->setFont(juce::Font(13.0f, juce::Font::plain));
    special_events_label->setJustificationType(juce::Justification::centredLeft);
    special_events_label->setEditable(false, false, false);
    special_events_label->setColour(juce::TextEditor::textColourId, juce::Colours::black);
    special_events_label->setColour(juce::TextEditor::backgroundColourId, juce::Colour(0x00000000));
    special_events_label->setBounds(27, 227, 93, 13);

    auto_kick_button = std::make_unique<juce::ToggleButton>("auto kick");
    addAndMakeVisible(*auto_kick_button);
    auto_kick_button->addListener(this);
    auto_kick_button->setToggleState(true, juce::dontSendNotification);
    auto_kick_button->setBounds(307, 88, 88, 18);

    auto_snare_button = std::make_unique<juce::ToggleButton>("auto snare");
    addAndMakeVisible(*auto_snare_button);
    auto_snare_button->addListener(this);
    auto_snare_button->setToggleState(true, juce::dontSendNotification);
    auto_snare_button->setBounds(307, 105, 88, 18);
}

void BattoEditor::showTransportState()
{
    const bool following = processor.isHostSynced();
    const bool buttonsStartIt = !following && !processor.waitsForExternalClock();
    start_button->setEnabled(buttonsStartIt);
    stop_button->setEnabled(buttonsStartIt);
    tempo_slider->setEnabled(!following);
    if (processor.isRunning() && !following)
        start_button->setToggleState(true, juce::dontSendNotification);
    else if (!buttonsStartIt && !stop_button->getToggleState())
        stop_button->setToggleState(true, juce::dontSendNotification);
}

void BattoEditor::fillSoundBox()
{
#if BATTO_PLUGIN_BUILD
    // A plug-in's drums always leave as MIDI to the host: no sound box, no volume.
    drum_kit_combo->setEnabled(false);
    drum_kit_combo->setVisible(false);
    volume_slider->setEnabled(false);
    volume_slider->setVisible(false);
#else
    drum_kit_combo->addItem("Internal drum kit", BattoAudioProcessor::kitInternal);
    drum_kit_combo->addSeparator();
    drum_kit_combo->addItem(juce::String("MIDI Output") + " (Ch. 10)", BattoAudioProcessor::kitMidiOut);
    drum_kit_combo->addSeparator();
    drum_kit_combo->addItem("External Plugin", BattoAudioProcessor::kitExternalPlugin);
    drum_kit_combo->addItem("*.battokit (beta)", BattoAudioProcessor::kitBattokitFolder);
#endif
}

void BattoEditor::takeProcessorValues()
{
    // The slider shows the square root of the gain. A negative gain (no slider gives one)
    // shows as silence instead of a slider at an undefined place.
    volume_slider->setValue(std::sqrt(juce::jmax(0.0, processor.getVolume())), juce::sendNotificationAsync);
    tempo_slider->setValue(processor.getTempoSetting(), juce::sendNotificationAsync);
    // Applied by the subdivision rule once the change notification arrives.
    division_combo->setSelectedId(idForDivisions(processor.getDivisionDuTempsSetting()), juce::sendNotificationAsync);
    auto_kick_button->setToggleState(processor.isAutoKickOn(), juce::dontSendNotification);
    auto_snare_button->setToggleState(processor.isAutoSnareOn(), juce::dontSendNotification);
    velocity_sens_slider->setValue(processor.GetBreakParam1(), juce::sendNotificationAsync);
    dynamic_sens_slider->setValue(processor.GetBreakParam2(), juce::sendNotificationAsync);

#if !BATTO_PLUGIN_BUILD
    const int kit = processor.getDrumKit();
    drum_kit_combo->setSelectedId(kit, juce::dontSendNotification);
    showSoundControls(drum_kit_combo->getSelectedId());
    if (kit == BattoAudioProcessor::kitExternalPlugin)
    {
        if (processor.hasExternalPlugin())
        {
            edit_button->setVisible(true);
            edit_button->setToggleState(false, juce::sendNotification);
        }
        else
            CreateExternalProcessor();
    }
    else
    {
        edit_button->setToggleState(false, juce::sendNotification);
        edit_button->setVisible(false);
    }
#endif
    grava_button->setToggleState(processor.isGravaEnabled(), juce::dontSendNotification);
    midi_drum_map_component->RefreshGui();
}

//==============================================================================
void BattoEditor::paint(juce::Graphics& g)
{
    g.setOpacity(1.0f);
    g.drawImageAt(getBackground(), 0, 0);
    g.drawImageWithin(logo_image, logoArea.getX(), logoArea.getY(), logoArea.getWidth(), logoArea.getHeight(),
                      juce::RectanglePlacement::centred);
    g.drawImage(hihat_image, hihatCaptionArea.toFloat());
    g.drawImage(tempo_image, tempoCaptionArea.toFloat());
#if !BATTO_PLUGIN_BUILD
    g.drawImage(drum_kit_image, drumKitCaptionArea.toFloat());
#endif
}

void BattoEditor::resized()
{
#if BATTO_PLUGIN_BUILD
    // Without the sound box the transport moves to the middle of the top row and the
    // drum-map button up.
    start_button->setBounds(86, 14, 127, 24);
    stop_button->setBounds(227, 14, 127, 24);
    midi_drum_map_button->setBounds(129, 65, 146, 24);
#endif
}

#if !BATTO_PLUGIN_BUILD
bool BattoEditor::keyPressed(const juce::KeyPress& key)
{
    if (key.getKeyCode() != juce::KeyPress::spaceKey || key.getModifiers().isAnyModifierKeyDown())
        return false;
    if (!start_button->isEnabled())
        return true; // a host's transport or an external clock starts the drummer
    if (start_button->getToggleState())
        stop_button->setToggleState(true, juce::sendNotification);
    else
        start_button->setToggleState(true, juce::sendNotification);
    return true;
}
#endif

void BattoEditor::timerCallback()
{
    drainDisplayCodes();
#if !BATTO_PLUGIN_BUILD
    showInstrumentLoading(processor.isExternalPluginLoading());
#endif
}

int BattoEditor::drainDisplayCodes()
{
    return processor.displayCodes.drain(*this);
}

//==============================================================================
void BattoEditor::sliderValueChanged(juce::Slider* slider)
{
    if (slider == volume_slider.get())
    {
#if !BATTO_PLUGIN_BUILD
        processor.setVolume(slider->getValue() * slider->getValue());
#endif
    }
    else if (slider == tempo_slider.get())
    {
        if (slider->getValue() != processor.getTempoSetting())
            processor.setTempo(slider->getValue());
    }
    else if (slider == velocity_sens_slider.get())
        processor.setBreakParam1(slider->getValue());
    else if (slider == dynamic_sens_slider.get())
        processor.setBreakParam2(slider->getValue());

    special_events_label->setEnabled(velocity_sens_slider->getValue() > 0.0 || dynamic_sens_slider->getValue() > 0.0);
}

void BattoEditor::comboBoxChanged(juce::ComboBox* box)
{
    if (box == division_combo.get())
    {
        if (const int divisions = divisionsForId(box->getSelectedId()))
            applySubdivision(divisions);
    }
#if !BATTO_PLUGIN_BUILD
    else if (box == drum_kit_combo.get())
        soundChosen(box->getSelectedId());
#endif
}

void BattoEditor::buttonClicked(juce::Button* button)
{
    // Switching one transport button on switches its partner off, and JUCE reports that as
    // a click of the partner too: only the button that is now on acts.
    if (button == start_button.get())
    {
        if (button->getToggleState())
            startAction();
    }
    else if (button == stop_button.get())
    {
        if (button->getToggleState())
            stopAction();
    }
    else if (button == midi_drum_map_button.get())
    {
        midi_drum_map_window->setVisible(true);
        midi_drum_map_window->toFront(true);
    }
    else if (button == grava_button.get())
        processor.setGravaEnabled(button->getToggleState()); // releases every held key first
#if !BATTO_PLUGIN_BUILD
    else if (button == edit_button.get())
        externalPluginToggled();
#endif
    else if (button == auto_kick_button.get())
        processor.setAutoKick(button->getToggleState());
    else if (button == auto_snare_button.get())
        processor.setAutoSnare(button->getToggleState());
}

//==============================================================================
// Transport and subdivision

void BattoEditor::startAction()
{
    // Resets the engine and starts it unless it runs already; with the MIDI output as
    // sound, the MIDI thread starts too.
    processor.start();
}

void BattoEditor::stopAction()
{
    processor.stop(); // stops the MIDI thread, resets the engine, applies a waiting subdivision
    cleanProgressionBar();
    if (const int waiting = processor.getWaitForTheTimeToUpdateProgressionBarDisplay())
        showProgressionRow(waiting);
}

bool BattoEditor::isPlaying() const
{
    return processor.isRunning() || processor.isHostSynced() || start_button->getToggleState();
}

void BattoEditor::applySubdivision(int divisions)
{
    processor.chooseDivisionDuTemps(divisions);
    if (!isPlaying())
        showProgressionRow(divisions);
}

//==============================================================================
// The sound output (standalone)

#if !BATTO_PLUGIN_BUILD
void BattoEditor::showSoundControls(int kit)
{
    volume_slider->setEnabled(kit != BattoAudioProcessor::kitMidiOut);
    midi_drum_map_button->setVisible(kit == BattoAudioProcessor::kitMidiOut
                                     || kit == BattoAudioProcessor::kitExternalPlugin);
}

void BattoEditor::soundChosen(int kit)
{
    if (kit < BattoAudioProcessor::kitBattokitFolder || kit > BattoAudioProcessor::kitMidiOut)
        return; // not a sound output: nothing to switch to
    showSoundControls(kit);
    processor.setDrumKit(kit); // suspends processing; starts or stops the MIDI thread
    if (kit == BattoAudioProcessor::kitMidiOut)
    {
        edit_button->setToggleState(false, juce::sendNotification);
        edit_button->setVisible(false);
    }
    else if (kit == BattoAudioProcessor::kitExternalPlugin)
    {
        if (processor.hasExternalPlugin())
        {
            edit_button->setVisible(true);
            edit_button->setToggleState(false, juce::sendNotification);
        }
        else
            CreateExternalProcessor();
    }
    else if (kit == BattoAudioProcessor::kitInternal || kit == BattoAudioProcessor::kitBattokitFolder)
    {
        edit_button->setToggleState(false, juce::sendNotification);
        edit_button->setVisible(false);
    }
}

void BattoEditor::showInstrumentLoading(bool loading)
{
    if (loading == instrumentLoadingShown)
        return;
    instrumentLoadingShown = loading;
    drum_kit_combo->changeItemText(BattoAudioProcessor::kitExternalPlugin,
                                   loading ? "External Plugin (still loading...)" : "External Plugin");
    const int shown = drum_kit_combo->getSelectedId();
    drum_kit_combo->setSelectedId(shown, juce::dontSendNotification); // shows the item's new text
}

void BattoEditor::SetToneIsExternalPlugin()
{
    drum_kit_combo->setSelectedId(BattoAudioProcessor::kitExternalPlugin, juce::dontSendNotification);
    showSoundControls(BattoAudioProcessor::kitExternalPlugin);
    processor.setDrumKit(BattoAudioProcessor::kitExternalPlugin);
    CreateExternalProcessor();
}

void BattoEditor::CreateExternalProcessor()
{
    juce::Component::SafePointer<BattoEditor> editor(this);
    processor.chooseExternalPlugin(
        [editor]
        {
            if (editor == nullptr)
                return; // the editor was closed while the user chose
            editor->edit_button->setVisible(true);
            editor->edit_button->setToggleState(true, juce::sendNotification);
        });
}

void BattoEditor::externalPluginToggled()
{
    if (!processor.hasExternalPlugin())
    {
        edit_button->setToggleState(false, juce::dontSendNotification);
        edit_button->setVisible(false);
        return;
    }
    edit_button->setVisible(true);
    processor.showExternalPluginWindow(*edit_button, edit_button->getToggleState());
}
#endif
