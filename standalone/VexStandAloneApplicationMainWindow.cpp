#include "VexStandAloneApplicationMainWindow.h"

#include "DeviceSelectorPanel.h"
#include "MainComponent.h"
#include "MidiInFilterComponent.h"

VexStandAloneApplication::MainWindow::AudioDeviceSelectorComponentWindow::AudioDeviceSelectorComponentWindow()
    : ToolDocumentWindow({}, juce::Colour(0xff00ff00))
{
    centreWithSize(getWidth(), getHeight());
}

VexStandAloneApplication::MainWindow::MidiInFilterDocumentWindow::MidiInFilterDocumentWindow()
    : ToolDocumentWindow({}, juce::Colours::white)
{
    centreWithSize(getWidth(), getHeight());
}

VexStandAloneApplication::MainWindow::MainWindow(const juce::String& name, VexStandAloneApplication& app)
    : juce::DocumentWindow(name, juce::Colours::lightgrey, juce::DocumentWindow::allButtons, true),
      application(app)
{
    // The commands' key presses act while this window has the keyboard focus.
    addKeyListener(application.getKeyMappings());
    setUsingNativeTitleBar(true);
}

VexStandAloneApplication::MainWindow::~MainWindow()
{
    setMenuBar(nullptr);
    // The tool windows go next (members), the content last (with the window itself).
}

void VexStandAloneApplication::MainWindow::showWithContent(MainComponent* content,
                                                           AudioProcessorWITHMidiInFilter* filter)
{
    setContentOwned(content, true);
    centreWithSize(getWidth(), getHeight());
    setVisible(true);
    setMenuBar(this, getLookAndFeel().getDefaultMenuBarHeight());

    // Two stereo pairs may be chosen: drums on the first, metronome clicks on the second.
    deviceSelectorWindow.setContentOwned(
        new DeviceSelectorPanel(*application.getDeviceManager(), application.getDeviceOpeningError()), false);
    deviceSelectorWindow.setBounds(deviceSelectorWindow.getX(), deviceSelectorWindow.getY(), 500, 450);

    midiInFilterWindow.setContentOwned(new MidiInFilterComponent(filter), true);
    const auto* panel = midiInFilterWindow.getContentComponent();
    midiInFilterWindow.setBounds(midiInFilterWindow.getX(), midiInFilterWindow.getY(), panel->getWidth(),
                                 panel->getHeight());
}

bool VexStandAloneApplication::MainWindow::keyPressed(const juce::KeyPress& key)
{
    if (auto* content = getContentComponent())
        return content->keyPressed(key);
    return false;
}

void VexStandAloneApplication::MainWindow::closeButtonPressed()
{
    application.systemRequestedQuit();
}

juce::StringArray VexStandAloneApplication::MainWindow::getMenuBarNames()
{
    return {"Menu"};
}

void VexStandAloneApplication::MainWindow::addSpecificsItems(juce::PopupMenu&)
{
}

juce::PopupMenu VexStandAloneApplication::MainWindow::getMenuForIndex(int topLevelMenuIndex,
                                                                      const juce::String&)
{
    juce::PopupMenu menu;
    if (topLevelMenuIndex != 0)
        return menu;
    menu.addCommandItem(&application, audioSettingsCommand);
    menu.addCommandItem(&application, midiInFilterCommand);
    addSpecificsItems(menu);
    menu.addSeparator();
    menu.addItem(exitItem, "Exit", true, false);
    return menu;
}

void VexStandAloneApplication::MainWindow::menuItemSelected(int menuItemID, int)
{
    if (menuItemID == exitItem)
        application.systemRequestedQuit();
}

juce::ApplicationCommandTarget* VexStandAloneApplication::MainWindow::getNextCommandTarget()
{
    return nullptr;
}

void VexStandAloneApplication::MainWindow::getAllCommands(juce::Array<juce::CommandID>& commands)
{
    commands.add(audioSettingsCommand);
    commands.add(midiInFilterCommand);
}

void VexStandAloneApplication::MainWindow::getCommandInfo(juce::CommandID commandID,
                                                          juce::ApplicationCommandInfo& result)
{
    const auto command = juce::ModifierKeys::commandModifier;
    switch (commandID)
    {
    case audioSettingsCommand:
        result.setInfo("Audio & MIDI Settings...", "Audio & MIDI Settings...", "param", 0);
        result.addDefaultKeypress(',', command);
        break;
    case midiInFilterCommand:
        result.setInfo("Midi In Filter...", "Select Midi In chanel and pitch range", "param", 0);
        result.addDefaultKeypress('M', command);
        break;
    default:
        break;
    }
}

bool VexStandAloneApplication::MainWindow::perform(const InvocationInfo& info)
{
    switch (info.commandID)
    {
    case audioSettingsCommand:
        deviceSelectorWindow.showAndBringToFront();
        return true;
    case midiInFilterCommand:
        midiInFilterWindow.showAndBringToFront();
        return true;
    default:
        return false;
    }
}
