#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// A small window of the application that comes and goes: hidden at first, on the desktop,
// with a native title bar. Its close button and Escape (with no modifier held) hide it; it
// keeps its content and position until it is shown again.
class ToolDocumentWindow : public juce::DocumentWindow
{
public:
    ToolDocumentWindow(const juce::String& title, juce::Colour background);

    bool keyPressed(const juce::KeyPress& key) override;
    void closeButtonPressed() override;

    // Shows the window (or only brings it to the front when it is already shown).
    void showAndBringToFront();

    static bool isPlainEscape(const juce::KeyPress& key);
};
