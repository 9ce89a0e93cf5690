#include "MainComponent.h"

MainComponent::MainComponent(juce::AudioProcessor& processorToShow) : processor(processorToShow)
{
    editor.reset(processor.createEditorIfNeeded());
    if (editor != nullptr)
    {
        editor->setOpaque(true);
        addAndMakeVisible(*editor);
    }
}

MainComponent::~MainComponent() = default;

void MainComponent::SetMidiInChanelForKeyboardCompIfAny(int)
{
}

juce::MidiInputCallback* MainComponent::GetMidiInputCallbackIfAny()
{
    return nullptr;
}

void MainComponent::paint(juce::Graphics&)
{
}

void MainComponent::resized()
{
}

bool MainComponent::keyPressed(const juce::KeyPress& key)
{
    return editor != nullptr && editor->keyPressed(key);
}

juce::AudioProcessorEditor* MainComponent::getEditor() const
{
    return editor.get();
}
