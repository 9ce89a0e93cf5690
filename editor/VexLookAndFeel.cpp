#include "VexLookAndFeel.h"

namespace
{
constexpr juce::uint32 bottomBevelShade = 0xaa000000;
constexpr juce::uint32 rightBevelShade = 0x55000000;
constexpr juce::uint32 disabledText = 0xff808080;
constexpr juce::uint32 hoverTint = 0x8000ffff;
constexpr juce::uint32 thumbTint = 0x20000000;

bool isVertical(juce::Slider::SliderStyle style)
{
    return style == juce::Slider::LinearVertical || style == juce::Slider::LinearBarVertical
           || style == juce::Slider::TwoValueVertical || style == juce::Slider::ThreeValueVertical;
}

// The height of a slider's text box when it sits above the track, else 0.
int textBoxAbove(const juce::Slider& slider)
{
    return slider.getTextBoxPosition() == juce::Slider::TextBoxAbove ? slider.getTextBoxHeight() : 0;
}

// A text written as one line, horizontally centred on x.
void drawCentredLine(juce::Graphics& g, const juce::String& text, int x, int baseline)
{
    g.drawSingleLineText(text, x, baseline, juce::Justification::horizontallyCentred);
}

// Drops the top and bottom of a border: a field this low has no room for them.
juce::BorderSize<int> withoutTopAndBottom(const juce::BorderSize<int>& border)
{
    return {0, border.getLeft(), 0, border.getRight()};
}

bool hasTopOrBottom(const juce::BorderSize<int>& border)
{
    return border.getTop() != 0 || border.getBottom() != 0;
}
} // namespace

VexLookAndFeel::VexLookAndFeel(const juce::Image* backgroundImage, juce::Component* ownerComponent,
                               const float* opacityOrNull)
    : background(backgroundImage), owner(ownerComponent), opacity(opacityOrNull)
{
    setColour(juce::CaretComponent::caretColourId, juce::Colours::white);
    setColour(juce::Slider::textBoxTextColourId, juce::Colours::white);
    setColour(juce::Slider::textBoxBackgroundColourId, juce::Colours::black);
    setColour(juce::Slider::textBoxHighlightColourId, juce::Colour(0xffbcbcff));
    setColour(juce::Slider::textBoxOutlineColourId, juce::Colour(0x00000000));
    setColour(juce::Slider::trackColourId, juce::Colours::black);
}

//==============================================================================
void VexLookAndFeel::drawBackgroundPiece(juce::Graphics& g, juce::Rectangle<int> source,
                                         juce::Rectangle<int> destination) const
{
    if (opacity == nullptr)
        g.setColour(juce::Colours::black);
    else
    {
        g.setColour(juce::Colours::white);
        g.fillRect(destination);
        const float value = *opacity;
        const int alpha = value <= 0.0f ? 0 : value >= 1.0f ? 255 : juce::roundToInt(value * 255.0f);
        g.setColour(juce::Colours::black.withAlpha(static_cast<juce::uint8>(alpha)));
    }
    g.drawImage(*background, destination.getX(), destination.getY(), destination.getWidth(),
                destination.getHeight(), source.getX(), source.getY(), source.getWidth(), source.getHeight());
}

juce::Point<int> VexLookAndFeel::positionOnBackground(const juce::Component& component) const
{
    juce::Point<int> position;
    for (auto* c = &component; c != owner && c->getParentComponent() != nullptr; c = c->getParentComponent())
        position += c->getPosition();
    return position;
}

template <typename Draw>
void VexLookAndFeel::underShear(juce::Graphics& g, bool horizontal, juce::Rectangle<int> appearsAt, Draw&& draw)
{
    juce::Graphics::ScopedSaveState state(g);
    if (horizontal)
    {
        g.addTransform(juce::AffineTransform::shear(1.0f, 0.0f)); // x' = x + y
        draw(appearsAt.withX(appearsAt.getX() - appearsAt.getY()));
    }
    else
    {
        g.addTransform(juce::AffineTransform::shear(0.0f, 1.0f)); // y' = y + x
        draw(appearsAt.withY(appearsAt.getY() - appearsAt.getX()));
    }
}

//==============================================================================
void VexLookAndFeel::drawParallelepiped(juce::Graphics& g, int depth, int x, int y, int width, int height,
                                        int sourceX, int sourceY, juce::uint32 faceColour,
                                        juce::uint32 textColour, juce::String text, int textHeight,
                                        juce::String caption, int captionX, int captionBaseline)
{
    if (caption.isNotEmpty())
    {
        g.setColour(juce::Colour(textColour));
        g.setFont(10.0f);
        drawCentredLine(g, caption, captionX, captionBaseline);
    }

    const juce::Rectangle<int> face(x - depth, y - depth, width, height);
    drawBackgroundPiece(g, {sourceX, sourceY, width, height}, face);
    if (faceColour != 0)
    {
        g.setColour(juce::Colour(faceColour));
        g.fillRect(face);
    }

    if (text.isNotEmpty())
    {
        if (textHeight != 0)
            g.setFont(g.getCurrentFont().boldened().withHeight(
                juce::jlimit(0.1f, 10000.0f, static_cast<float>(textHeight))));
        g.setColour(juce::Colour(textColour));
        const float ascent = g.getCurrentFont().getAscent();
        drawCentredLine(g, text, face.getX() + width / 2,
                        static_cast<int>(static_cast<float>(face.getY()) + (ascent + static_cast<float>(height)) / 2.0f));
    }

    underShear(g, true, {face.getX(), face.getBottom(), width, depth},
               [&](juce::Rectangle<int> strip)
               {
                   drawBackgroundPiece(g, {sourceX, sourceY + height - 1, width, 1}, strip);
                   g.setColour(juce::Colour(bottomBevelShade));
                   g.fillRect(strip);
               });
    underShear(g, false, {face.getRight(), face.getY(), depth, height},
               [&](juce::Rectangle<int> strip)
               {
                   drawBackgroundPiece(g, {sourceX + width - 1, sourceY, 1, height}, strip);
                   g.setColour(juce::Colour(rightBevelShade));
                   g.fillRect(strip);
               });
}

void VexLookAndFeel::drawBlackDeepRectangle(juce::Graphics& g, const juce::Rectangle<int>& source, int depth, int x,
                                            int y, juce::uint32 colour)
{
    g.setColour(juce::Colour(colour));
    g.fillRect(x + depth, y + depth, source.getWidth() - depth, source.getHeight() - depth);

    underShear(g, true, {x, y, source.getWidth(), depth},
               [&](juce::Rectangle<int> strip)
               {
                   drawBackgroundPiece(g, {source.getX(), source.getY(), source.getWidth(), 1}, strip);
                   g.setColour(juce::Colour((colour & 0x00ffffffu) | (colour & 0x80000000u)));
                   g.fillRect(strip);
               });
    underShear(g, false, {x, y, depth, source.getHeight()},
               [&](juce::Rectangle<int> strip)
               {
                   drawBackgroundPiece(g, {source.getX(), source.getY(), 1, source.getHeight()}, strip);
                   g.setColour(juce::Colour((colour & 0x00ffffffu) | (colour & 0x40000000u)));
                   g.fillRect(strip);
               });
    g.setOrigin(depth, depth);
}

//==============================================================================
void VexLookAndFeel::drawButtonBackground(juce::Graphics& g, juce::Button& button, const juce::Colour&,
                                          bool mouseOver, bool buttonDown)
{
    const int width = button.getWidth(), height = button.getHeight();
    const auto at = positionOnBackground(button);
    int depth = 3;
    if (height < 24)
    {
        depth = 2;
        g.setFont(10.0f);
    }
    const bool enabled = button.isEnabled(); // false as well when a parent is disabled
    const juce::String name = button.getName(); // the name is what a button of this panel shows

    if (!buttonDown && !button.getToggleState())
    {
        juce::uint32 textColour = 0xff000000;
        if (!enabled)
            textColour = disabledText;
        else if (button.findColour(juce::TextButton::buttonColourId).getARGB() == 0xfffbffbb)
            textColour = hoverTint;
        const juce::uint32 faceColour = mouseOver && enabled ? hoverTint : 0;
        drawParallelepiped(g, depth, depth, depth, width - depth, height - depth, at.x + depth, at.y + depth,
                           faceColour, textColour, name, 0, {}, 0, 0);
    }
    else
    {
        // Sunk: the frame shows the metal where it lies, the face the metal pushed `depth`
        // pixels further down and to the right, with inner shadows along its top and left.
        drawBackgroundPiece(g, {at.x, at.y, width, depth}, {0, 0, width, depth});
        drawBackgroundPiece(g, {at.x, at.y + depth, depth, height - depth}, {0, depth, depth, height - depth});
        drawBackgroundPiece(g, {at.x + depth, at.y + depth, width - 2 * depth, height - 2 * depth},
                            {2 * depth, 2 * depth, width - 2 * depth, height - 2 * depth});

        g.setColour(juce::Colour(enabled ? 0xff000000 : disabledText));
        const float ascent = g.getCurrentFont().getAscent();
        drawCentredLine(g, name, 2 * depth + (width - depth) / 2,
                        static_cast<int>(2.0f * depth + (ascent + static_cast<float>(height - depth)) / 2.0f));

        underShear(g, true, {0, depth, width - depth, depth},
                   [&](juce::Rectangle<int> strip)
                   {
                       drawBackgroundPiece(g, {at.x + depth, at.y + depth, width - depth, 1}, strip);
                       g.setColour(juce::Colour(bottomBevelShade));
                       g.fillRect(strip);
                   });
        underShear(g, false, {depth, 0, depth, height - depth},
                   [&](juce::Rectangle<int> strip)
                   {
                       drawBackgroundPiece(g, {at.x + depth, at.y + depth, 1, height - depth}, strip);
                       g.setColour(juce::Colour(rightBevelShade));
                       g.fillRect(strip);
                   });
    }
    g.setColour(juce::Colours::black);
}

void VexLookAndFeel::drawButtonText(juce::Graphics&, juce::TextButton&, bool, bool)
{
    // The text is part of the block that drawButtonBackground draws.
}

void VexLookAndFeel::drawToggleButton(juce::Graphics& g, juce::ToggleButton& button, bool mouseOver,
                                      bool buttonDown)
{
    // No tick box: a toggle is a block that stays sunk while it is on.
    drawButtonBackground(g, button, juce::Colours::black, mouseOver, buttonDown);
}

void VexLookAndFeel::fillTextEditorBackground(juce::Graphics& g, int, int, juce::TextEditor& editor)
{
    if (editor.getHeight() <= 23 && hasTopOrBottom(editor.getBorder()))
        editor.setBorder(withoutTopAndBottom(editor.getBorder()));
    g.fillAll(editor.findColour(juce::TextEditor::backgroundColourId));
}

void VexLookAndFeel::drawLabel(juce::Graphics& g, juce::Label& label)
{
    const int width = label.getWidth(), height = label.getHeight();
    const auto at = positionOnBackground(label);
    if (label.isEditableOnSingleClick() || label.isEditableOnDoubleClick())
        drawBlackDeepRectangle(g, {at.x, at.y, width, height}, height < 24 ? 1 : 2, 0, 0, 0xff000000);
    else
        drawBackgroundPiece(g, {at.x, at.y, width, height}, {0, 0, width, height}); // the metal shows through

    if (height <= 23 && hasTopOrBottom(label.getBorderSize()))
    {
        label.setBorderSize(withoutTopAndBottom(label.getBorderSize()));
        label.repaint();
    }
    juce::LookAndFeel_V2::drawLabel(g, label);
}

//==============================================================================
void VexLookAndFeel::drawLinearSliderBackground(juce::Graphics& g, int x, int y, int width, int height, float,
                                                float, float, juce::Slider::SliderStyle style,
                                                juce::Slider& slider)
{
    const auto at = positionOnBackground(slider);
    const int t = textBoxAbove(slider);
    const juce::Rectangle<int> slot = isVertical(style) ? juce::Rectangle<int>(width / 2 - 3, y - 2 + t, 6, height + 5)
                                                        : juce::Rectangle<int>(x - 2, height / 2 - 3 + t, width + 5, 6);
    // Leaves the context translated by (1, 1) for the thumb that follows.
    drawBlackDeepRectangle(g, slot.translated(at.x, at.y), 1, slot.getX(), slot.getY(),
                           slider.findColour(juce::Slider::trackColourId).getARGB());
}

void VexLookAndFeel::drawLinearSliderThumb(juce::Graphics& g, int x, int y, int width, int height,
                                           float sliderPos, float, float, juce::Slider::SliderStyle style,
                                           juce::Slider& slider)
{
    if (!slider.isEnabled())
        return; // a disabled slider shows its slot only
    const int p = static_cast<int>(sliderPos + 0.5f);
    const auto at = positionOnBackground(slider);
    const int t = textBoxAbove(slider);
    g.setColour(juce::Colours::black);
    if (isVertical(style))
        drawParallelepiped(g, 3, 3, p - 5, width - 6, 11, at.x + 3, at.y + y + height - 5, thumbTint, 0xff000000,
                           slider.getName(), 13, {}, 0, 0);
    else
        drawParallelepiped(g, 3, p - 5, 3 + t, 11, height - 6, x + at.x - 5, at.y + 3 + t, thumbTint,
                           slider.findColour(juce::Slider::trackColourId).getARGB(), {}, 0, slider.getName(),
                           width / 2 + 3, height - 2);
}

juce::Label* VexLookAndFeel::createSliderTextBox(juce::Slider& slider)
{
    auto* label = juce::LookAndFeel_V2::createSliderTextBox(slider);
    label->setFont(juce::Font(12.0f, juce::Font::plain));
    label->setColour(juce::TextEditor::textColourId, juce::Colours::white);
    label->setColour(juce::TextEditor::backgroundColourId, juce::Colours::black);
    label->setColour(juce::TextEditor::highlightColourId, juce::Colour(0xffbcbcff));
    return label;
}
