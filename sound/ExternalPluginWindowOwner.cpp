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
    // The toggle goes off and the window closes: this is deleted, touch nothing afterwards.
    ExternalPluginWindowOwner& windowOwner = owner;
    if (windowOwner.editButton != nullptr)
        windowOwner.editButton->setToggleState(false, juce::dontSendNotification);
    windowOwner.closeExternalPluginWindow();
}

bool ExternalPluginWindowOwner::ExternalPluginWindow::keyPressed(const juce::KeyPress& key)
{
    const auto modifiers = juce::ModifierKeys::shiftModifier | juce::ModifierKeys::ctrlModifier
                           | juce::ModifierKeys::altModifier | juce::ModifierKeys::commandModifier;
    if (key.getKeyCode() != juce::KeyPress::escapeKey || key.getModifiers().testFlags(modifiers))
        return false;
    closeButtonPressed();
    return true;
}

//==============================================================================
ExternalPluginWindowOwner::~ExternalPluginWindowOwner()
{
    closeExternalPluginWindow();
}

void ExternalPluginWindowOwner::bindExternalPluginWindowOwner(juce::Button& editToggle,
                                                              ExternalPluginOwner& owner)
{
    editButton = &editToggle;
    pluginOwner = &owner;
}

void ExternalPluginWindowOwner::CreateExternalProcessor()
{
    const juce::File chosen = askForPluginFile();
    if (chosen != juce::File())
        loadChosenPluginFile(chosen);
}

bool ExternalPluginWindowOwner::loadChosenPluginFile(const juce::File& chosen)
{
    if (pluginOwner == nullptr)
        return false;
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

    const juce::Result loaded = pluginOwner->loadExternalPlugin(choices[static_cast<size_t>(picked)].identifier);
    if (loaded.failed())
    {
        reportPluginLoadFailure(loaded.getErrorMessage());
        return false;
    }
    if (editButton != nullptr)
    {
        editButton->setToggleState(true, juce::dontSendNotification);
        editToggleClicked(); // shows the toggle and opens the plug-in's window
    }
    return true;
}

void ExternalPluginWindowOwner::editToggleClicked()
{
    if (editButton == nullptr)
        return;
    if (pluginOwner == nullptr || !pluginOwner->hasExternalPlugin())
    {
        closeExternalPluginWindow();
        editButton->setToggleState(false, juce::dontSendNotification);
        editButton->setVisible(false);
        return;
    }
    editButton->setVisible(true);
    if (editButton->getToggleState())
        openExternalPluginWindow();
    else
        closeExternalPluginWindow();
}

void ExternalPluginWindowOwner::updateEditToggle()
{
    if (editButton == nullptr)
        return;
    const bool loaded = pluginOwner != nullptr && pluginOwner->hasExternalPlugin();
    if (!loaded)
        closeExternalPluginWindow();
    editButton->setToggleState(window != nullptr, juce::dontSendNotification);
    editButton->setVisible(loaded);
}

void ExternalPluginWindowOwner::openExternalPluginWindow()
{
    closeExternalPluginWindow();
    auto* plugin = pluginOwner->getExternalPlugin();
    juce::AudioProcessorEditor* pluginEditor = plugin->createEditorIfNeeded();
    if (pluginEditor == nullptr)
    {
        reportPluginLoadFailure(plugin->getName() + " has no editor to show");
        editButton->setToggleState(false, juce::dontSendNotification);
        return;
    }
    window = std::make_unique<ExternalPluginWindow>(*this, pluginEditor);
    if (juce::Desktop::getInstance().getDisplays().getPrimaryDisplay() != nullptr) // none without a screen
        window->centreWithSize(window->getWidth(), window->getHeight());
    window->setVisible(true);
}

void ExternalPluginWindowOwner::closeExternalPluginWindow()
{
    if (window == nullptr)
        return;
    // The window owns the plug-in's editor; deleting it releases the plug-in's active editor.
    auto closing = std::move(window);
    closing.reset();
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
