#include "ToolDocumentWindow.h"

ToolDocumentWindow::ToolDocumentWindow(const juce::String& title, juce::Colour background)
    : juce::DocumentWindow(title, background,
                           juce::DocumentWindow::maximiseButton | juce::DocumentWindow::closeButton, false)
{
    // The native title bar first, the desktop second: switching the title bar of a window
    // already on the desktop brings it to the front, which on Linux maps it although the
    // window is hidden (an empty window at start-up).
    setUsingNativeTitleBar(true);
    addToDesktop();
}

bool ToolDocumentWindow::isPlainEscape(const juce::KeyPress& key)
{
    const auto modifiers = key.getModifiers();
    return key.getKeyCode() == juce::KeyPress::escapeKey && !modifiers.isShiftDown()
           && !modifiers.isCtrlDown() && !modifiers.isAltDown() && !modifiers.isCommandDown();
}

bool ToolDocumentWindow::keyPressed(const juce::KeyPress& key)
{
    if (!isPlainEscape(key))
        return false;
    closeButtonPressed();
    return true;
}

void ToolDocumentWindow::closeButtonPressed()
{
    setVisible(false);
}

void ToolDocumentWindow::showAndBringToFront()
{
    setVisible(true);
    toFront(true);
}
