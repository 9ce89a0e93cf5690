#pragma once

#include "LockFreeQueue.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <atomic>

// The display codes: the engine's events as the processor reports them to its panel (the
// parameter index of a ParameterControlHighlightInfo). All are reported highlighted, except
// the positions in the bar, which share the numbers 0..31 and are reported not highlighted.
namespace DisplayCode
{
enum Code : int
{
    firstMidiIn = 0,            // 0..5: a note of the player, by where it fell (displayMidiIn)
    lastMidiIn = 5,
    breakEnded = 6,             // a fill reached the bar line
    breakOneToGo = 7,           // 7, 8, 9: 1, 2, 3 subdivisions left in a fill
    breakThreeToGo = 9,
    hostTookOver = 10,          // the host's transport drives the drummer
    hostLetGo = 11,             // ... and no longer does
    progressionRowChanged = 12, // the subdivision in use changed
    crashRoll = 13,             // a fill ended in a crash roll
    velocityThreshold = 14,     // special events: 14 + kind (displaySpecialevent)
    dynamicThreshold = 15,
    bothThresholds = 16,
    // The performance was reset (Start, Stop): it comes after every position and light that
    // the performance reported before, so the panel darkens the bar and the lights in order.
    performanceReset = 17,
    lastPositionInBar = 31 // positions (not highlighted): 0..31, in eighths of a beat
};
}

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
