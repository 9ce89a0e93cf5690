#pragma once

#include "ExternalPluginLoader.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>
#include <vector>

class ExternalPluginOwner;

// The editor's side of the external instrument plug-in (a base of the standalone BattoEditor):
// the "EDIT" toggle that shows the plug-in's own editor in a "Plugin Editor" window, and the
// chooser that loads a plug-in. The editor binds it to its toggle and to the processor's
// ExternalPluginOwner side, routes the toggle's clicks to editToggleClicked(), and implements
// SetToneIsExternalPlugin (make the external plug-in the sound, then CreateExternalProcessor).
//
// Message thread only.
class ExternalPluginWindowOwner
{
public:
    // A window titled "Plugin Editor" whose content is the plug-in's own editor. Its close
    // button and Escape (without modifiers) switch the editor's toggle off and close it.
    class ExternalPluginWindow : public juce::DocumentWindow
    {
    public:
        ExternalPluginWindow(ExternalPluginWindowOwner& owner, juce::AudioProcessorEditor* pluginEditor);

        void closeButtonPressed() override;
        bool keyPressed(const juce::KeyPress& key) override;

    private:
        ExternalPluginWindowOwner& owner;
    };

    ExternalPluginWindowOwner() = default;
    virtual ~ExternalPluginWindowOwner(); // closes the window

    // The editor's choice of the external plug-in as the sound (standalone build).
    virtual void SetToneIsExternalPlugin() = 0;

    // Binds the toggle (hidden until a plug-in is loaded) and the processor's side.
    void bindExternalPluginWindowOwner(juce::Button& editToggle, ExternalPluginOwner& pluginOwner);

    // Asks for a plug-in file ("open vst instrument plugin...") and loads it. A bundle with
    // several plug-ins lets the user pick one. A file that cannot be loaded is reported with
    // its name and the reason, and the present plug-in stays. After a load the toggle shows
    // and is switched on, which opens the plug-in's window.
    void CreateExternalProcessor();
    // The same, for a file already chosen. True when a plug-in was loaded.
    bool loadChosenPluginFile(const juce::File& chosen);

    // The toggle was clicked: open the plug-in's window when it is on and a plug-in is loaded,
    // close it when off. With no plug-in loaded, the toggle is switched off and hidden.
    void editToggleClicked();
    // Shows the toggle (switched off) when a plug-in is loaded, hides it otherwise.
    void updateEditToggle();

    void closeExternalPluginWindow();
    ExternalPluginWindow* getExternalPluginWindow() const;

protected:
    // The dialogs, replaceable where no one can answer them (tests).
    virtual juce::File askForPluginFile();
    // Returns the index of the chosen plug-in, or -1 when the user cancels.
    virtual int askWhichPlugin(const std::vector<ExternalPluginLoader::Choice>& choices);
    virtual void reportPluginLoadFailure(const juce::String& message);

private:
    void openExternalPluginWindow();

    juce::Button* editButton = nullptr;
    ExternalPluginOwner* pluginOwner = nullptr;
    std::unique_ptr<ExternalPluginWindow> window;
};
