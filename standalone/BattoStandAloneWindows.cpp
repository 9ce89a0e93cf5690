#include "BattoStandAloneWindows.h"

BattoStandAloneApplication::BattoMainWindow::BattoMainWindow(const juce::String& name,
                                                             VexStandAloneApplication& app,
                                                             ExternalSoundSources* owner,
                                                             MetronomeDocumentWindow* metronome)
    : MainWindowWithExternalPlugin(name, app, owner), metronomeWindow(metronome)
{
}

void BattoStandAloneApplication::BattoMainWindow::addSpecificsItems(juce::PopupMenu& menu)
{
    const bool canRecord = externalPluginOwner != nullptr && externalPluginOwner->hasExternalPlugin();
    menu.addItem(chooseInstrumentItem, "choose a plugin instrument...", true, false);
    menu.addItem(recordBattokitItem, "Record a battokit from these settings... (beta)", canRecord, false);
    menu.addItem(loadBattokitItem, "Load battokit... (beta)", true, false);
    menu.addItem(metronomeItem, "Metronome...", true, false);
}

void BattoStandAloneApplication::BattoMainWindow::menuItemSelected(int menuItemID, int)
{
    switch (menuItemID)
    {
    case exitItem:
        application.systemRequestedQuit();
        break;
    case chooseInstrumentItem:
        if (externalPluginOwner != nullptr)
            externalPluginOwner->chooseExternalPlugin();
        break;
    case recordBattokitItem:
        if (externalPluginOwner != nullptr)
            externalPluginOwner->recordBattokit();
        break;
    case loadBattokitItem:
        if (externalPluginOwner != nullptr)
            externalPluginOwner->loadBattokit();
        break;
    case metronomeItem:
        if (metronomeWindow != nullptr)
            metronomeWindow->showAndBringToFront();
        break;
    default:
        break;
    }
}

BattoStandAloneApplication::MetronomeDocumentWindow::MetronomeDocumentWindow(
    double clickVolume, std::function<void(double)> setClickVolume)
    : ToolDocumentWindow("Metronome", juce::Colour(0xff00ff00)),
      metronomeComponent(clickVolume, std::move(setClickVolume))
{
    setContentNonOwned(&metronomeComponent, true);
    centreWithSize(getWidth(), getHeight());
}

BattoStandAloneApplication::MetronomeDocumentWindow::~MetronomeDocumentWindow()
{
    clearContentComponent();
}
