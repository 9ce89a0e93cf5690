#pragma once

#include "ToolDocumentWindow.h"

#include <juce_audio_utils/juce_audio_utils.h>

#include <memory>

class AudioProcessorWITHMidiInFilter;
class MyAudioProcessorPlayer;
class MainComponent;
class QuitSignals;

// The reusable shell of a standalone application around one audio processor: the settings
// file, the audio and MIDI devices, the player that runs the processor, and a main window
// with a menu and two tool windows. The application object is its own command manager: the
// menu bar and the main window's key presses use it.
//
// Everything here runs on the message thread. The derived levels add the processor and
// whatever belongs to it (createVexProcessor) and the main window (createMainWindow).
class VexStandAloneApplication : public juce::JUCEApplication, public juce::ApplicationCommandManager
{
public:
    class MainWindow;

    // Menu item and command ids share one number space.
    enum ItemIds
    {
        audioSettingsCommand = 1,
        midiInFilterCommand = 2,
        exitItem = 3
    };

    VexStandAloneApplication();
    ~VexStandAloneApplication() override;

    bool moreThanOneInstanceAllowed() override;
    void initialise(const juce::String& commandLine) override;
    void shutdown() override;
    void anotherInstanceStarted(const juce::String& commandLine) override;
    void systemRequestedQuit() override;
    // The main window's commands can be reached wherever the keyboard focus is.
    juce::ApplicationCommandTarget* getNextCommandTarget() override;

    virtual void createVexProcessor() = 0;
    virtual void createMainWindow() = 0;
    virtual int GetNumOutputs();
    virtual AudioProcessorWITHMidiInFilter* GetAudioProcessorWithMidiInFilter() = 0;

    // The settings file's options: an XML file named after the application with the suffix
    // "settings" (on Linux ~/.<name>/<name>.settings).
    static juce::PropertiesFile::Options settingsFileOptions(const juce::String& applicationName);

    // The settings keys of this level.
    static const char* const filterMidiChannelKey; // "filter_midi_chanel"
    static const char* const midiChannelKey;       // "midi_chanel"
    static const char* const filterMidiRangeKey;   // "filter_midi_range"
    static const char* const highestNoteKey;       // "highest_note"
    static const char* const lowestNoteKey;        // "lowest_note"
    static const char* const audioDeviceStateKey;  // "audioDeviceState"

    // What the start-up made of the devices (the device window shows it).
    juce::AudioDeviceManager* getDeviceManager() const;
    const juce::String& getDeviceOpeningError() const;
    MainWindow* getMainWindow() const;
    juce::PropertiesFile* getSettings() const;
    MyAudioProcessorPlayer* getPlayer() const;

protected:
    // Called with the new device manager before it opens a device (tests add device types).
    virtual void prepareDeviceManager(juce::AudioDeviceManager& manager);
    // The main window's content, or null.
    MainComponent* getMainComponent() const;
    // Closes the windows and the devices, then lets the player go: after this no device
    // thread calls into the processor any more. Safe to call twice.
    void deleteWindowAndDevices();
    // Puts the present values of every setting into the settings file's keys (not yet on
    // disk). Called at shut-down and, while the application runs, a few times a second: the
    // file saves itself once its keys have stopped changing (millisecondsBeforeSaving).
    virtual void writeSettingsValues();

    // Owned; null until initialise creates them.
    std::unique_ptr<MainWindow> mainWindow;
    std::unique_ptr<juce::AudioDeviceManager> deviceManager;
    std::unique_ptr<MyAudioProcessorPlayer> player;
    std::unique_ptr<juce::ApplicationProperties> appProperties;

    // Enables every MIDI input device present now, each by its own identifier.
    void enableEveryMidiInput();

private:
    void openAudioDevice();
    void readMidiInFilterSettings();
    void writeMidiInFilterSettings();
    void connectMidiInput();
    void registerCommands();
    void saveSettingsFile();

    class SettingsFollower;

    juce::String deviceOpeningError;
    std::unique_ptr<QuitSignals> quitSignals;
    // Keeps the settings file's keys up to date while the application runs, so that a crash,
    // a kill or a power cut loses at most the last second's changes.
    std::unique_ptr<SettingsFollower> settingsFollower;
};
