#pragma once

#include "BattoEditor.h"

// The panel's activity indicators. Display codes reach them on the message thread (the
// editor drains the processor's queue), so each countdown is a message-thread timer: a
// light's countdown and its painting can never race, and nothing outlives the editor.

// One segment of the progression display: a slot cut into the metal, tinted by its colour.
class BattoEditor::ProgressionBar : public juce::Component
{
public:
    static constexpr juce::uint32 idle = 0x18000000;    // not in the beat that is playing
    static constexpr juce::uint32 beat = 0x18ffffff;    // in the beat that is playing
    static constexpr juce::uint32 current = 0xffffffff; // the segment that is playing

    // Sets the colour and repaints when it changes.
    void setSegmentColour(juce::uint32 newColour);
    juce::uint32 getSegmentColour() const;

    void paint(juce::Graphics&) override;

private:
    juce::uint32 colour = idle;
};

// One of the 26 lights over the logo: a 3 x 3 grid of squares that fades out over its
// delay, with a grid of lines and a frame that fade faster for the brighter colours.
class BattoEditor::FlashLight : public juce::Component, private juce::Timer
{
public:
    static constexpr int numColours = 6;
    static constexpr int stepMs = 25;
    // Per colour index (for a MIDI-in flash, its display code): the first light of the
    // group it flashes, the flash's length and its colour.
    static const int MS_FIRST_FLASH_LIGHT_INDEX[numColours];
    static const int MS_DELAY[numColours];
    static const juce::uint32 MS_COLOR[numColours];

    FlashLight();

    // Flashes with the current colour index from its full delay, in 25 ms steps.
    void startFlash();
    // True while a flash counts down.
    bool isFlashing() const;
    // Sets the light's time left without a countdown: a steady glow until changed.
    void setRemaining(int milliseconds);
    // The same while a flash counts down: it goes on from the new value.
    void rearm(int colourIndex);

    int getRemaining() const;
    int getColourIndex() const;
    void setColourIndex(int index);
    int getPaintedRemaining() const;

    // One 25 ms step of a flash (the timer's; tests call it to step time themselves).
    void countDown();

    void paint(juce::Graphics&) override;

private:
    void timerCallback() override;
    void refresh(); // shown while time is left, hidden when none

    int remaining_ms = 0;
    int painted_ms = 0;
    int colour_index = 0;
};

// A sensitivity slider whose track and name flash when a note crosses its threshold, and
// fade to black over two seconds.
class BattoEditor::FlashSlider : public juce::Slider, private juce::Timer
{
public:
    static constexpr int flashMs = 2000;
    static constexpr int stepMs = 25;

    explicit FlashSlider(const juce::String& name);

    // Flashes from the start: grey for its own threshold, blue when both thresholds were
    // crossed together. A new flash during one restarts it.
    void flash(bool bothThresholds);
    bool isFlashing() const;
    int getRemaining() const;

    // One 25 ms step (the timer's; tests call it to step time themselves).
    void countDown();

private:
    void timerCallback() override;
    void refresh(); // the track colour for the time left

    bool both = false;
    int remaining_ms = 0;
};

// The "MIDI Drum Map" window: hidden until the panel's button shows it; its close button
// and the Escape key hide it again, keeping every value.
class BattoEditor::MidiDrumMapWindow : public juce::DocumentWindow
{
public:
    MidiDrumMapWindow();

    bool keyPressed(const juce::KeyPress& key) override;
    void closeButtonPressed() override;
};
