#include "ExternalPluginWindowOwner.h"

#include "ExternalPluginOwner.h"

ExternalPluginWindowOwner::ExternalPluginWindow::ExternalPluginWindow(ExternalPluginWindowOwner& windowOwner,
                                                                     juce::AudioProcessorEditor* pluginEditor)
    : juce::DocumentWindow("Plugin Editor", juce::Colours::white, juce::DocumentWindow::closeButton, true),
      owner(windowOwner)
{
    setContentOwned(pluginEditor, true);
}

void ExternalPluginWindowOwner::ExternalPluginWindow::closeButtonPressed()
{
    owner.userClosedWindow(); // deletes this window: nothing of it is touched afterwards
}

bool ExternalPluginWindowOwner::ExternalPluginWindow::keyPressed(const juce::KeyPress& key)
{
    const auto modifiers = juce::ModifierKeys::shiftModifier | juce::ModifierKeys::ctrlModifier
                           | juce::ModifierKeys::altModifier | juce::ModifierKeys::commandModifier;
    if (key.getKeyCode() != juce::KeyPress::escapeKey || key.getModifiers().testFlags(modifiers))
        return false;
    owner.userClosedWindow();
    return true;
}

//==============================================================================
ExternalPluginWindowOwner::ExternalPluginWindowOwner(ExternalPluginOwner& owner) : pluginOwner(owner)
{
}

ExternalPluginWindowOwner::~ExternalPluginWindowOwner()
{
    closeExternalPluginWindow();
}

bool ExternalPluginWindowOwner::CreateExternalProcessor()
{
    const juce::File chosen = askForPluginFile();
    return chosen != juce::File() && loadChosenPluginFile(chosen);
}

bool ExternalPluginWindowOwner::loadChosenPluginFile(const juce::File& chosen)
{
    juce::String error;
    const auto choices = ExternalPluginLoader::pluginsIn(chosen, error);
    if (choices.empty())
    {
        reportPluginLoadFailure(error);
        return false;
    }
    const int picked = choices.size() == 1 ? 0 : askWhichPlugin(choices);
    if (picked < 0 || picked >= static_cast<int>(choices.size()))
        return false; // cancelled: the present plug-in stays

    const juce::Result loaded = pluginOwner.loadExternalPlugin(choices[static_cast<size_t>(picked)].identifier);
    if (loaded.failed())
    {
        reportPluginLoadFailure(loaded.getErrorMessage());
        return false;
    }
    return true;
}

void ExternalPluginWindowOwner::showExternalPluginWindow(juce::Button& editToggle, bool show)
{
    editButton = &editToggle;
    juce::AudioPluginInstance* plugin = pluginOwner.getExternalPlugin();
    if (plugin == nullptr)
    {
        closeExternalPluginWindow();
        editToggle.setToggleState(false, juce::dontSendNotification);
        editToggle.setVisible(false);
        return;
    }
    editToggle.setVisible(true);
    closeExternalPluginWindow(); // a new window replaces the one before
    if (!show)
        return;

    juce::AudioProcessorEditor* pluginEditor = plugin->createEditorIfNeeded();
    if (pluginEditor == nullptr)
    {
        reportPluginLoadFailure(plugin->getName() + " has no editor to show");
        editToggle.setToggleState(false, juce::dontSendNotification);
        return;
    }
    window = std::make_unique<ExternalPluginWindow>(*this, pluginEditor);
    if (juce::Desktop::getInstance().getDisplays().getPrimaryDisplay() != nullptr) // none without a screen
        window->centreWithSize(window->getWidth(), window->getHeight());
    window->setVisible(true);
}

void ExternalPluginWindowOwner::userClosedWindow()
{
    // The toggle's listeners may close the window themselves; it is closed here in any case.
    if (auto* toggle = editButton.getComponent())
        toggle->setToggleState(false, juce::sendNotificationSync);
    closeExternalPluginWindow();
}

void ExternalPluginWindowOwner::closeExternalPluginWindow()
{
    // The window owns the plug-in's editor; deleting it releases the plug-in's active editor.
    auto closing = std::move(window);
    closing.reset();
}

void ExternalPluginWindowOwner::pluginGoes()
{
    closeExternalPluginWindow();
    if (auto* toggle = editButton.getComponent())
        toggle->setToggleState(false, juce::dontSendNotification);
}

ExternalPluginWindowOwner::ExternalPluginWindow* ExternalPluginWindowOwner::getExternalPluginWindow() const
{
    return window.get();
}

//==============================================================================
juce::File ExternalPluginWindowOwner::askForPluginFile()
{
    // JUCE's own browser: the native ones on Linux pick either files or folders, and VST3
    // and LV2 bundles are folders.
    juce::FileChooser chooser("open vst instrument plugin...", juce::File(), "", false);
    const int flags = juce::FileBrowserComponent::openMode | juce::FileBrowserComponent::canSelectFiles
                      | juce::FileBrowserComponent::canSelectDirectories;
    if (!chooser.showDialog(flags, nullptr))
        return {};
    return chooser.getResult();
}

int ExternalPluginWindowOwner::askWhichPlugin(const std::vector<ExternalPluginLoader::Choice>& choices)
{
    juce::AlertWindow alert("Choose a plug-in", "This bundle holds several plug-ins. Which one should play the drums?",
                            juce::MessageBoxIconType::QuestionIcon);
    juce::StringArray names;
    for (const auto& choice : choices)
        names.add(choice.name + "  (" + choice.identifier + ")");
    alert.addComboBox("plugin", names);
    alert.addButton("Load", 1, juce::KeyPress(juce::KeyPress::returnKey));
    alert.addButton("Cancel", 0, juce::KeyPress(juce::KeyPress::escapeKey));
    if (alert.runModalLoop() != 1)
        return -1;
    return alert.getComboBoxComponent("plugin")->getSelectedItemIndex();
}

void ExternalPluginWindowOwner::reportPluginLoadFailure(const juce::String& message)
{
    juce::AlertWindow::showMessageBoxAsync(juce::MessageBoxIconType::WarningIcon, "Plug-in not loaded", message);
}
