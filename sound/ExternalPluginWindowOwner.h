#pragma once

#include "ExternalPluginLoader.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>
#include <vector>

class ExternalPluginOwner;

// The window side of the external instrument plug-in: the chooser that loads a plug-in and
// the "Plugin Editor" window that shows the plug-in's own editor. The standalone processor
// owns one and answers the editor's sound box through it; the editor's "EDIT" toggle opens
// and closes the window.
//
// Message thread only.
class ExternalPluginWindowOwner
{
public:
    // A window titled "Plugin Editor" whose content is the plug-in's own editor. Its close
    // button and Escape (without modifiers) switch the "EDIT" toggle off and close it.
    class ExternalPluginWindow : public juce::DocumentWindow
    {
    public:
        ExternalPluginWindow(ExternalPluginWindowOwner& owner, juce::AudioProcessorEditor* pluginEditor);

        void closeButtonPressed() override;
        bool keyPressed(const juce::KeyPress& key) override;

    private:
        ExternalPluginWindowOwner& owner;
    };

    explicit ExternalPluginWindowOwner(ExternalPluginOwner& pluginOwner);
    virtual ~ExternalPluginWindowOwner(); // closes the window

    // Asks for a plug-in file ("open vst instrument plugin...") and loads it; a bundle with
    // several plug-ins lets the user pick one. A file that cannot be loaded is reported with
    // its name and the reason, and the present plug-in stays. True when a plug-in was loaded.
    bool CreateExternalProcessor();
    // The same, for a file already chosen.
    bool loadChosenPluginFile(const juce::File& chosen);

    // Opens (show) or closes the plug-in's window. `editToggle` is switched off (with
    // notification) when the user closes the window; with no plug-in loaded it is switched
    // off and hidden. The toggle may go before the window does.
    void showExternalPluginWindow(juce::Button& editToggle, bool show);
    void closeExternalPluginWindow();
    // The plug-in is about to be replaced or deleted: its window closes and "EDIT" goes off.
    void pluginGoes();
    ExternalPluginWindow* getExternalPluginWindow() const;

protected:
    // The dialogs, replaceable where no one can answer them (tests).
    virtual juce::File askForPluginFile();
    // Returns the index of the chosen plug-in, or -1 when the user cancels.
    virtual int askWhichPlugin(const std::vector<ExternalPluginLoader::Choice>& choices);
    virtual void reportPluginLoadFailure(const juce::String& message);

private:
    void userClosedWindow();

    ExternalPluginOwner& pluginOwner;
    juce::Component::SafePointer<juce::Button> editButton;
    std::unique_ptr<ExternalPluginWindow> window;
};
