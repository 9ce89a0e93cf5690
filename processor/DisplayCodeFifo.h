#pragma once

#include "LockFreeQueue.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <atomic>

// Receives display codes on the message thread, as the editor's setControlHighlight does.
class DisplayCodeListener
{
public:
    virtual ~DisplayCodeListener() = default;
    virtual void
    displayCodeArrived(const juce::AudioProcessorEditor::ParameterControlHighlightInfo& info) = 0;
};

// Carries display codes (engine events) from the thread that runs the engine to the
// message thread. The writing side never blocks or allocates: a code that finds the queue
// full, no reader open or another writer busy is dropped, as a report with no editor is.
class DisplayCodeFifo
{
public:
    static constexpr int capacity = 1024;

    // Writer side (the audio thread; any thread may write, a collision drops the code).
    void push(int code, bool highlighted);

    // Reader side, message thread only. open() forgets codes left from an earlier reader
    // and starts accepting codes; close() stops accepting them.
    void open();
    void close();
    bool isOpen() const;
    // Hands every waiting code, oldest first, to the listener; returns how many.
    int drain(DisplayCodeListener& listener);
    // The same into an editor's setControlHighlight.
    int drain(juce::AudioProcessorEditor& editor);

private:
    struct Code
    {
        int code;
        bool highlighted;
    };

    template <typename Deliver> int drainWith(Deliver&& deliver);

    LockFreeQueue<Code, capacity> queue;
    std::atomic<bool> accepting{false}; // written by the reader, read by writers
    juce::SpinLock writerLock;          // only ever try-entered
};
