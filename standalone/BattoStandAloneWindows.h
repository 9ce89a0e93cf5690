#pragma once

#include "BattoStandAloneApplication.h"
#include "MetronomeComponent.h"

// The drummer's main window: the shell's menu with the drummer's own items (the external
// instrument, kit folders, the metronome window, the sync source, the takes).
class BattoStandAloneApplication::BattoMainWindow
    : public VexStandAloneApplicationWithExternalPlugin::MainWindowWithExternalPlugin
{
public:
    BattoMainWindow(const juce::String& name, VexStandAloneApplication& application,
                    ExternalSoundSources* externalPluginOwner, MetronomeDocumentWindow* metronomeWindow);

    void addSpecificsItems(juce::PopupMenu& menu) override;
    void menuItemSelected(int menuItemID, int topLevelMenuIndex) override;

    MetronomeDocumentWindow* metronomeWindow;

private:
    void addSyncItems(juce::PopupMenu& menu);
    void chooseSyncSource(SyncSource source);
    BattoAudioProcessor* drummer() const;
    StandaloneTakes* takes() const;
    juce::Array<juce::File> recentTakesShown; // "Recent takes" as the menu last showed them
};

// The "Metronome" window with the clicks' volume slider. Hidden at first; shown by the menu
// item "Metronome...", hidden again by its close button or Escape.
class BattoStandAloneApplication::MetronomeDocumentWindow : public ToolDocumentWindow
{
public:
    MetronomeDocumentWindow(double clickVolume, std::function<void(double)> setClickVolume);
    ~MetronomeDocumentWindow() override;

    MetronomeComponent metronomeComponent;
};
