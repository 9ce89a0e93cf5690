#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The editor's machined-metal look. It has no picture of its own: it draws pieces of the
// panel's background picture again, displaced by a few pixels and darkened along bevels cut
// at 45°, so that every control seems carved from the metal that lies under it. Buttons are
// raised blocks that sink while pressed or switched on; slider tracks, text fields and the
// progression segments are slots cut into the metal.
//
// Message thread only. It must not outlive the background picture, and its owner detaches
// it from every component before destroying it.
class VexLookAndFeel : public juce::LookAndFeel_V2
{
public:
    // background: the picture the owner paints at its origin at natural size; owner: that
    // component, against which every control's place on the picture is found; opacity:
    // null to draw the pieces opaque, else the opacity they are drawn with over white.
    VexLookAndFeel(const juce::Image* background, juce::Component* owner, const float* opacity);

    void drawButtonBackground(juce::Graphics&, juce::Button&, const juce::Colour& backgroundColour,
                              bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;
    void drawButtonText(juce::Graphics&, juce::TextButton&, bool shouldDrawButtonAsHighlighted,
                        bool shouldDrawButtonAsDown) override;
    void drawToggleButton(juce::Graphics&, juce::ToggleButton&, bool shouldDrawButtonAsHighlighted,
                          bool shouldDrawButtonAsDown) override;
    void fillTextEditorBackground(juce::Graphics&, int width, int height, juce::TextEditor&) override;
    void drawLabel(juce::Graphics&, juce::Label&) override;
    void drawLinearSliderBackground(juce::Graphics&, int x, int y, int width, int height, float sliderPos,
                                    float minSliderPos, float maxSliderPos, juce::Slider::SliderStyle,
                                    juce::Slider&) override;
    void drawLinearSliderThumb(juce::Graphics&, int x, int y, int width, int height, float sliderPos,
                               float minSliderPos, float maxSliderPos, juce::Slider::SliderStyle,
                               juce::Slider&) override;
    juce::Label* createSliderTextBox(juce::Slider&) override;

    // A raised block: its face is (x - depth, y - depth, width, height) and shows the picture
    // at (sourceX, sourceY); its bottom and right sides stand out `depth` pixels. The face is
    // tinted with faceColour unless it is 0; text is centred on it (bold at textHeight when
    // that is not 0); the caption, if any, is written 10 pixels high centred on captionX
    // with its baseline at captionBaseline, before the block.
    void drawParallelepiped(juce::Graphics& g, int depth, int x, int y, int width, int height, int sourceX,
                            int sourceY, juce::uint32 faceColour, juce::uint32 textColour, juce::String text,
                            int textHeight, juce::String caption, int captionX, int captionBaseline);

    // A slot of the size of `source` at (x, y), `source` being the same rectangle on the
    // picture: dark along its top and left bevels, filled with `colour`. The context is left
    // translated by (depth, depth), so what the caller draws next seems sunk into the slot.
    void drawBlackDeepRectangle(juce::Graphics& g, const juce::Rectangle<int>& source, int depth, int x, int y,
                                juce::uint32 colour);

    // Draws the picture's (source) rectangle scaled into (destination), opaque or over white
    // at the opacity (see the constructor).
    void drawBackgroundPiece(juce::Graphics& g, juce::Rectangle<int> source, juce::Rectangle<int> destination) const;

    // Where a component lies on the picture: its position in the owner's coordinates (the
    // sum of the positions of its parents up to the owner, or up to the top without one).
    juce::Point<int> positionOnBackground(const juce::Component& component) const;

private:
    // Runs `draw` under a shear that cuts the ends of a bevel at 45°: x' = x + y for a
    // horizontal bevel, y' = y + x for a vertical one. `appearsAt` is given where the
    // rectangle must appear and is moved so that the shear puts it there.
    template <typename Draw>
    static void underShear(juce::Graphics& g, bool horizontal, juce::Rectangle<int> appearsAt, Draw&& draw);

    const juce::Image* background;
    juce::Component* owner;
    const float* opacity;
};
