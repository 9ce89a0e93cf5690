#pragma once

#include "VexStandAloneApplication.h"

// The application's one main window: the processor's editor inside a MainComponent, a menu
// bar with the single menu "Menu", and the two tool windows behind the commands
// "Audio & MIDI Settings..." and "Midi In Filter...". Each level of the application puts
// its own items into the menu through addSpecificsItems and acts on them in
// menuItemSelected. Closing it quits the application.
class VexStandAloneApplication::MainWindow : public juce::DocumentWindow,
                                             public juce::MenuBarModel,
                                             public juce::ApplicationCommandTarget
{
public:
    class AudioDeviceSelectorComponentWindow : public ToolDocumentWindow
    {
    public:
        AudioDeviceSelectorComponentWindow();
    };

    class MidiInFilterDocumentWindow : public ToolDocumentWindow
    {
    public:
        MidiInFilterDocumentWindow();
    };

    MainWindow(const juce::String& name, VexStandAloneApplication& application);
    ~MainWindow() override;

    // Completes the window: content, menu bar and the tool windows' panels.
    void showWithContent(MainComponent* content, AudioProcessorWITHMidiInFilter* filter);

    bool keyPressed(const juce::KeyPress& key) override;
    void closeButtonPressed() override;

    juce::StringArray getMenuBarNames() override;
    virtual void addSpecificsItems(juce::PopupMenu& menu);
    juce::PopupMenu getMenuForIndex(int topLevelMenuIndex, const juce::String& menuName) override;
    void menuItemSelected(int menuItemID, int topLevelMenuIndex) override;

    juce::ApplicationCommandTarget* getNextCommandTarget() override;
    void getAllCommands(juce::Array<juce::CommandID>& commands) override;
    void getCommandInfo(juce::CommandID commandID, juce::ApplicationCommandInfo& result) override;
    bool perform(const InvocationInfo& info) override;

    AudioDeviceSelectorComponentWindow deviceSelectorWindow;
    MidiInFilterDocumentWindow midiInFilterWindow;
    VexStandAloneApplication& application;
};
