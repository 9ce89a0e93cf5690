#pragma once

#include "BattoEditor.h"
#include "BattoEditorIndicators.h"
#include "MidiDrumMapComponent.h"
#include "ProcessorTestSupport.h"

#include <memory>

// The processor and its editor as a host holds them: the editor is the processor's active
// one and is deleted the way a host deletes it.
class EditorSession
{
public:
    explicit EditorSession(BattoAudioProcessor& processorToEdit) : processor(processorToEdit)
    {
        editor = dynamic_cast<BattoEditor*>(processor.createEditorIfNeeded());
    }

    ~EditorSession()
    {
        close();
    }

    void close()
    {
        if (editor == nullptr)
            return;
        processor.editorBeingDeleted(editor);
        delete editor;
        editor = nullptr;
    }

    BattoEditor* operator->() const
    {
        return editor;
    }

    BattoEditor& operator*() const
    {
        return *editor;
    }

    BattoAudioProcessor& processor;
    BattoEditor* editor = nullptr;
};

// Lets the message loop deliver what is pending (asynchronous notifications, timers).
inline void pumpMessages(int milliseconds = 20)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil(milliseconds);
}

// Forwards drained display codes to the editor and keeps a copy of each.
struct ForwardingDisplay : DisplayCodeListener
{
    explicit ForwardingDisplay(BattoEditor& editorToFeed) : editor(editorToFeed)
    {
    }

    void displayCodeArrived(const juce::AudioProcessorEditor::ParameterControlHighlightInfo& info) override
    {
        codes.push_back({info.parameterIndex, info.isHighlighted});
        editor.setControlHighlight(info);
    }

    BattoEditor& editor;
    std::vector<std::pair<int, bool>> codes;
};

inline juce::AudioProcessorEditor::ParameterControlHighlightInfo eventCode(int code)
{
    return {code, true, juce::Colour()};
}

inline juce::AudioProcessorEditor::ParameterControlHighlightInfo positionCode(int position)
{
    return {position, false, juce::Colour()};
}

// A component painted on its own into an image.
inline juce::Image snapshotOf(juce::Component& component)
{
    return component.createComponentSnapshot(component.getLocalBounds(), false, 1.0f);
}
