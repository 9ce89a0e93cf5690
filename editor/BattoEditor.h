#pragma once

#include "BattoAudioProcessor.h"
#include "VexLookAndFeel.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>
#include <memory>
#include <vector>

class MidiDrumMapComponent;

// The drummer's panel: one fixed 480 x 295 metal plate, the same in the standalone
// application and in a host's plug-in window. On it the user starts and stops the drummer,
// sets tempo, hi-hat subdivision, sound output, the two sensitivities, automatic kick and
// snare and the bass follower, and opens the drum-map window; lights, progression segments
// and flashing sliders show what the drummer hears and plays.
//
// Threads. Everything here runs on the message thread. The editor keeps no copy of the
// settings: it reads the processor's values when it is built and hands every change to the
// processor's thread-safe setters and commands. Engine events come from the audio thread
// through the processor's display-code queue, which a timer drains every few milliseconds
// into setControlHighlight, so nothing of the editor ever runs on the audio thread.
//
// The plug-in build (BATTO_PLUGIN_BUILD=1) has no sound box, volume, space bar or external
// instrument plug-in, and moves the transport buttons (see resized()).
class BattoEditor : public juce::AudioProcessorEditor,
                    public juce::Slider::Listener,
                    public juce::ComboBox::Listener,
                    public juce::Button::Listener,
                    private juce::Timer
{
public:
    class ProgressionBar;
    class FlashLight;
    class FlashSlider;
    class MidiDrumMapWindow;

    explicit BattoEditor(BattoAudioProcessor& processor);
    ~BattoEditor() override;

    void paint(juce::Graphics&) override;
    void resized() override;
#if !BATTO_PLUGIN_BUILD
    // The space bar without modifiers starts or stops the drummer.
    bool keyPressed(const juce::KeyPress& key) override;
#endif
    // One display code: an engine event (isHighlighted) or a progression position.
    void setControlHighlight(ParameterControlHighlightInfo info) override;
#if !BATTO_PLUGIN_BUILD
    // Makes the external instrument plug-in the sound output, as choosing it in the sound box
    // does, then lets the user choose a plug-in (the main window's menu item).
    void SetToneIsExternalPlugin();
    // Lets the user choose an instrument plug-in; once one is loaded, "EDIT" is shown and
    // switched on, which opens the plug-in's own window.
    void CreateExternalProcessor();
#endif

    void sliderValueChanged(juce::Slider*) override;
    void comboBoxChanged(juce::ComboBox*) override;
    void buttonClicked(juce::Button*) override;

    // START and STOP follow who starts the drummer: greyed while a host's transport or an
    // external clock does; the tempo is greyed while the drummer follows one.
    void showTransportState();

    // Returns every progression segment to its idle colour.
    void cleanProgressionBar();
    // Hands every waiting display code to setControlHighlight, oldest first (the timer does
    // this every few milliseconds); returns how many.
    int drainDisplayCodes();

    // The panel's picture, decoded once per process and shared by every editor.
    static const juce::Image& getBackground();

    // The progression rows: 4, 8 and 16 segments, shown for 1, 2 and 4 subdivisions a beat.
    const std::vector<ProgressionBar*>& progressionRow(int divisions) const;
    int shownProgressionRow() const;

    //==============================================================================
    // The controls, bottom to top. The standalone main window reaches the sound box directly.
    BattoAudioProcessor& processor;
    std::unique_ptr<juce::Slider> volume_slider;
    std::unique_ptr<juce::Slider> tempo_slider;
    std::unique_ptr<juce::ComboBox> division_combo;
    std::unique_ptr<juce::ToggleButton> start_button;
    std::unique_ptr<juce::ToggleButton> stop_button;
    std::vector<std::unique_ptr<ProgressionBar>> progression_bars; // rows 1, 2, 4, left to right
    std::vector<std::unique_ptr<FlashLight>> flash_lights;         // 26 lights over the logo
    std::unique_ptr<juce::ComboBox> drum_kit_combo;                // the sound box
    std::unique_ptr<juce::TextButton> midi_drum_map_button;
    std::unique_ptr<FlashSlider> velocity_sens_slider;
    std::unique_ptr<FlashSlider> dynamic_sens_slider;
    std::unique_ptr<juce::ToggleButton> grava_button;
    std::unique_ptr<juce::ToggleButton> edit_button; // the external plug-in's window
    std::unique_ptr<juce::Label> special_events_label;
    std::unique_ptr<juce::ToggleButton> auto_kick_button;
    std::unique_ptr<juce::ToggleButton> auto_snare_button;

    std::unique_ptr<MidiDrumMapWindow> midi_drum_map_window;
    MidiDrumMapComponent* midi_drum_map_component = nullptr; // owned by the window

private:
    void timerCallback() override; // drains the display codes

    void createControls();
    void createIndicators();
    void createProgressionBars();
    void fillSoundBox();
    void takeProcessorValues();

    // Engine events.
    void flashMidiIn(int colourIndex);
    void darkenIdleLights();
    void glowIdleLights(int subdivisionsToBarLine);
    void flashIdleLights();
    void showProgressionPosition(int positionInBar);
    void followHostTransport(bool following);

    // The subdivision rule: at once while the drummer is stopped (its row shows at once),
    // else from the next beat on.
    void applySubdivision(int divisions);
    bool isPlaying() const;
    void showProgressionRow(int divisions);

    void startAction();
    void stopAction();
#if !BATTO_PLUGIN_BUILD
    void soundChosen(int kit);
    void showSoundControls(int kit);
    void externalPluginToggled();
    // The sound box says so while the instrument plug-in still loads its samples.
    void showInstrumentLoading(bool loading);
    bool instrumentLoadingShown = false;
#endif

    juce::TooltipWindow tooltip_window{nullptr, 700};
    VexLookAndFeel vex_look_and_feel;
    juce::LookAndFeel_V2 plain_look_and_feel;

    juce::Image logo_image, hihat_image, tempo_image, drum_kit_image;

    std::array<std::vector<ProgressionBar*>, 3> progressionRows; // for 1, 2 and 4 subdivisions
    int shownDivisions = 0; // the row on show; 0 before the first
};
