#pragma once

#include "BattoAudioProcessor.h"
#include "VexStandAloneApplicationWithExternalPlugin.h"

#include <memory>

class BattoAudioProcessorWithJackMidiIn;
class DrumNoteOutput;
class JackAudioDevice;
class MetronomeComponent;
class StandaloneTakes;

// The standalone drummer: the shell with its processor, the MIDI thread that plays the
// drums out as MIDI notes, the metronome window and the drummer's menu items. It reads
// every setting once at start-up; the settings file follows every change while it runs and
// is written once more at shut-down.
//
// Message thread throughout. Beyond the framework's devices it follows the audio device and
// the default MIDI output that the device window chose (BattoStandAloneDevices.cpp): on JACK
// the MIDI comes in on the JACK client's MIDI input, and the MIDI output choice plays from
// the blocks onto its MIDI output unless a MIDI output device is chosen.
class BattoStandAloneApplication : public VexStandAloneApplicationWithExternalPlugin,
                                   private juce::ChangeListener
{
public:
    class BattoMidiProcessor;
    class BattoMainWindow;
    class MetronomeDocumentWindow;

    enum ItemIds
    {
        recordBattokitItem = 5,
        loadBattokitItem = 6,
        metronomeItem = 7,
        takesFolderItem = 8,
        takeAudioItem = 9,
        recentTakesItem = 10,    // the "Recent takes" submenu itself: opens the takes folder
        syncInternalItem = 11,   // the "Sync" submenu: one item per sync source, in SyncSource order
        syncJackTransportItem = 12,
        syncMidiClockItem = 13,
        sendMidiClockItem = 14,
        syncMenuItem = 15, // the "Sync" submenu itself: does nothing when chosen
        firstRecentTakeItem = 20 // to 29: the takes in it
    };

    // Settings keys.
    static const juce::String TEMPO_REF;             // "tempo"
    static const juce::String AUTOKICK_REF;          // "autokick"
    static const juce::String AUTOSNARE_REF;         // "autosnare"
    static const juce::String DRUM_KIT_REF;          // "drumKit"
    static const juce::String DIVISION_DU_TEMPS_REF; // "divisionDuTemps"
    static const juce::String DRUM_NOTE_REF;         // "drumNote", followed by the voice index 0..9
    static const juce::String MIDI_VEL_SCALE;        // "midiVelScale", followed by the voice index 0..9
    static const juce::String BREAK_REF_1;           // "break1"
    static const juce::String BREAK_REF_2;           // "break2"
    static const juce::String GRAVA_REF;             // "grava"
    static const juce::String BATTOKIT_PATH;         // "battokitpath"
    static const juce::String METRONOMEVOLUME;       // "metronomeVolume"
    static const juce::String SYNC_SOURCE_REF;       // "syncSource": "Internal", "JACK transport" or "MIDI clock"
    static const juce::String MIDI_CLOCK_OUT_REF;    // "midiClockOut"

    BattoStandAloneApplication();
    ~BattoStandAloneApplication() override;

    const juce::String getApplicationName() override; // "Batto"
    const juce::String getApplicationVersion() override;

    void createVexProcessor() override;
    void createMainWindow() override;
    int GetNumOutputs() override;
    AudioProcessorWITHMidiInFilter* GetAudioProcessorWithMidiInFilter() override;
    void shutdown() override;

    // The processor's settings as the settings file holds them (missing or unusable values
    // give the defaults), and back.
    static BattoAudioProcessor::Settings readProcessorSettings(const juce::PropertiesFile& settings);
    static void writeProcessorSettings(juce::PropertiesFile& settings, const BattoAudioProcessor& processor,
                                       const juce::String& battokitPath);

    BattoAudioProcessor* getProcessor() const;
    BattoMidiProcessor* getMidiProcessor() const;
    MetronomeDocumentWindow* getMetronomeWindow() const;
    JackAudioDevice* getJackDevice() const; // the audio device when it is the JACK client
    StandaloneTakes* getTakes() const;

protected:
    // The processor's settings as well; the plug-in's path once one is loaded (its state is
    // written at shut-down).
    void writeSettingsValues() override;
    // The processor plays the instrument plug-in and the kit folders.
    std::unique_ptr<ExternalSoundSources> createExternalSoundSources() override;

private:
    void changeListenerCallback(juce::ChangeBroadcaster* source) override;
    void followAudioDevice();
    void followDefaultMidiOutput();
    void stopFollowingDevices();
    void endTakes();

    // Owned. Deleted in this order: metronome window, MIDI thread, processor.
    std::unique_ptr<BattoMidiProcessor> midiProcessor;
    std::unique_ptr<BattoAudioProcessorWithJackMidiIn> processor;
    std::unique_ptr<MetronomeDocumentWindow> metronomeWindow;

    std::unique_ptr<StandaloneTakes> takes; // every performance kept; needs the processor

    bool midiInputsComeFromJack = false; // the MIDI input devices are closed meanwhile
    std::unique_ptr<DrumNoteOutput> midiDeviceOutput; // the MIDI thread's copy of the default MIDI output
    juce::String midiDeviceOutputIdentifier;
};
