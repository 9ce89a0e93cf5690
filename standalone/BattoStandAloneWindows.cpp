#include "BattoStandAloneWindows.h"

#include "BattoEditor.h"
#include "StandaloneTakes.h"

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
    addSyncItems(menu);
    if (auto* kept = takes())
    {
        menu.addItem(takesFolderItem, "Takes folder...", true, false);
        menu.addItem(takeAudioItem, "Record the drums' audio with each take", true, kept->isAudioOn());
        recentTakesShown = kept->recentTakes();
        juce::PopupMenu recent;
        for (int i = 0; i < recentTakesShown.size(); ++i)
            recent.addItem(firstRecentTakeItem + i, recentTakesShown[i].getFileNameWithoutExtension());
        if (recentTakesShown.isEmpty())
            recent.addItem(firstRecentTakeItem, "No take yet", false, false);
        menu.addSubMenu("Recent takes", recent, true, nullptr, false, recentTakesItem);
    }
}

void BattoStandAloneApplication::BattoMainWindow::addSyncItems(juce::PopupMenu& menu)
{
    auto* processor = drummer();
    if (processor == nullptr)
        return;
    juce::PopupMenu sources;
    const auto chosen = processor->getSyncSource();
    for (const auto source : {SyncSource::internal, SyncSource::jackTransport, SyncSource::midiClock})
        sources.addItem(syncInternalItem + static_cast<int>(source), syncSourceName(source), true, source == chosen);
    menu.addSubMenu("Sync", sources, true, nullptr, false, syncMenuItem);
    // Following a clock and sending one are never both on: the clock goes out only while
    // the drummer runs on its own tempo.
    menu.addItem(sendMidiClockItem, "Send MIDI clock", chosen == SyncSource::internal,
                 processor->isMidiClockOutputOn());
}

void BattoStandAloneApplication::BattoMainWindow::chooseSyncSource(SyncSource source)
{
    auto* processor = drummer();
    if (processor == nullptr)
        return;
    processor->setSyncSource(source);
    if (auto* editor = dynamic_cast<BattoEditor*>(processor->getActiveEditor()))
        editor->showTransportState();
}

BattoAudioProcessor* BattoStandAloneApplication::BattoMainWindow::drummer() const
{
    auto* battoApplication = dynamic_cast<BattoStandAloneApplication*>(&application);
    return battoApplication != nullptr ? battoApplication->getProcessor() : nullptr;
}

StandaloneTakes* BattoStandAloneApplication::BattoMainWindow::takes() const
{
    auto* battoApplication = dynamic_cast<BattoStandAloneApplication*>(&application);
    return battoApplication != nullptr ? battoApplication->getTakes() : nullptr;
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
    case takesFolderItem:
        if (auto* kept = takes())
            kept->chooseFolder();
        break;
    case takeAudioItem:
        if (auto* kept = takes())
            kept->setAudioOn(!kept->isAudioOn());
        break;
    case syncInternalItem:
    case syncJackTransportItem:
    case syncMidiClockItem:
        chooseSyncSource(static_cast<SyncSource>(menuItemID - syncInternalItem));
        break;
    case sendMidiClockItem:
        if (auto* processor = drummer())
            processor->setMidiClockOutput(!processor->isMidiClockOutputOn());
        break;
    case recentTakesItem:
        if (auto* kept = takes())
            kept->showFolder();
        break;
    default:
        if (auto* kept = takes(); kept != nullptr && menuItemID >= firstRecentTakeItem
                                  && menuItemID < firstRecentTakeItem + recentTakesShown.size())
            kept->showTake(recentTakesShown[menuItemID - firstRecentTakeItem]);
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
