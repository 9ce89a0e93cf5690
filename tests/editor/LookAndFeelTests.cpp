#include "EditorTestSupport.h"

namespace
{
// A plain white plate stands in for the metal, so that every shade drawn on it shows as grey.
class Plate : public ::testing::Test
{
protected:
    Plate() : background(juce::Image::ARGB, 480, 295, true), look(&background, &owner, nullptr)
    {
        background.clear(background.getBounds(), juce::Colours::white);
        owner.setSize(480, 295);
    }

    ~Plate() override
    {
        for (auto* child : owner.getChildren())
            child->setLookAndFeel(nullptr);
    }

    template <typename ComponentType> ComponentType& place(ComponentType& component, juce::Rectangle<int> bounds)
    {
        owner.addAndMakeVisible(component);
        component.setBounds(bounds);
        component.setLookAndFeel(&look);
        return component;
    }

    static int grey(const juce::Image& image, int x, int y)
    {
        return image.getPixelAt(x, y).getRed();
    }

    juce::Image background;
    juce::Component owner;
    VexLookAndFeel look;
};

// The shades over white: the bottom bevel (0xaa000000) and the right one (0x55000000).
constexpr int bottomShade = 85;
constexpr int rightShade = 170;
} // namespace

TEST_F(Plate, RaisedButtonsStandOutTwoPixelsBelow24PixelsHighAndThreeFromThere)
{
    for (const auto& [height, depth] : {std::pair{20, 2}, std::pair{24, 3}})
    {
        SCOPED_TRACE(height);
        juce::TextButton button;
        button.setName({}); // no text over the pixels looked at
        place(button, {10, 10, 60, height});
        const juce::Image image = snapshotOf(button);
        EXPECT_EQ(grey(image, 30, height - depth - 1), 255); // the face
        EXPECT_NEAR(grey(image, 30, height - depth), bottomShade, 1);
        EXPECT_NEAR(grey(image, 30, height - 1), bottomShade, 1);
        EXPECT_NEAR(grey(image, 60 - depth, height / 2), rightShade, 1);
        EXPECT_EQ(grey(image, 60 - depth - 1, height / 2), 255);
    }
}

TEST_F(Plate, ToggleButtonsSinkWhileOnAndTheFaceIsTintedUnderTheMouse)
{
    juce::ToggleButton toggle;
    toggle.setName({});
    place(toggle, {10, 10, 60, 24});

    juce::Image image = snapshotOf(toggle);
    EXPECT_EQ(grey(image, 30, 4), 255);                  // raised: face at the top
    EXPECT_NEAR(grey(image, 30, 23), bottomShade, 1);    // and its side below
    toggle.setToggleState(true, juce::dontSendNotification);
    image = snapshotOf(toggle);
    EXPECT_EQ(grey(image, 30, 1), 255);                  // sunk: the frame
    EXPECT_NEAR(grey(image, 30, 4), bottomShade, 1);     // the inner shadow along its top
    EXPECT_EQ(grey(image, 30, 23), 255);                 // the face pushed down to the bottom
    EXPECT_NEAR(grey(image, 4, 15), rightShade, 1);      // the inner shadow on its left

    juce::TextButton hovered;
    hovered.setName({});
    place(hovered, {10, 40, 60, 24});
    juce::Image tinted(juce::Image::ARGB, 60, 24, true);
    {
        juce::Graphics g(tinted);
        look.drawButtonBackground(g, hovered, juce::Colours::black, true, false);
    }
    EXPECT_NEAR(tinted.getPixelAt(30, 5).getRed(), 127, 1); // white under 0x8000ffff
    EXPECT_NEAR(tinted.getPixelAt(30, 5).getGreen(), 255, 1);
    hovered.setEnabled(false);
    {
        juce::Graphics g(tinted);
        look.drawButtonBackground(g, hovered, juce::Colours::black, true, false);
    }
    EXPECT_EQ(tinted.getPixelAt(30, 5).getRed(), 255); // a disabled button takes no tint
}

TEST_F(Plate, DisabledSlidersShowTheirSlotButNeitherThumbNorName)
{
    juce::Slider slider("NAME");
    slider.setRange(0.0, 1.0);
    slider.setSliderStyle(juce::Slider::LinearHorizontal);
    slider.setTextBoxStyle(juce::Slider::NoTextBox, false, 0, 0);
    slider.setValue(0.5);
    place(slider, {6, 240, 131, 24});

    const auto drawnPixels = [](const juce::Image& image, int fromRow, int toRow)
    {
        int drawn = 0;
        for (int y = fromRow; y < toRow; ++y)
            for (int x = 0; x < image.getWidth(); ++x)
                drawn += image.getPixelAt(x, y).getAlpha() != 0 ? 1 : 0;
        return drawn;
    };
    const int thumbX = 65; // the middle of the track
    juce::Image image = snapshotOf(slider);
    EXPECT_NEAR(grey(image, thumbX, 3), 223, 1); // the thumb's face, lightly darkened
    EXPECT_GT(drawnPixels(image, 18, 24), 20);   // the name under the track
    EXPECT_EQ(grey(image, 20, 12), 0);           // the black slot

    slider.setEnabled(false);
    image = snapshotOf(slider);
    EXPECT_EQ(image.getPixelAt(thumbX, 3).getAlpha(), 0);
    EXPECT_EQ(drawnPixels(image, 18, 24), 0);
    EXPECT_EQ(grey(image, 20, 12), 0);
}

TEST_F(Plate, LabelsShowTheMetalOrASlotAndPiecesFollowTheOpacity)
{
    background.clear({0, 0, 100, 100}, juce::Colours::red);
    juce::Label plain, editable;
    editable.setEditable(true);
    place(plain, {10, 10, 40, 13});
    place(editable, {10, 40, 40, 13});
    EXPECT_EQ(snapshotOf(plain).getPixelAt(20, 6), juce::Colours::red); // the metal shows through
    EXPECT_EQ(snapshotOf(editable).getPixelAt(20, 6).getRed(), 0);       // a slot

    const float half = 0.5f;
    juce::Image black(juce::Image::ARGB, 10, 10, true);
    black.clear(black.getBounds(), juce::Colours::black);
    VexLookAndFeel faded(&black, &owner, &half);
    juce::Image drawn(juce::Image::ARGB, 10, 10, true);
    {
        juce::Graphics g(drawn);
        faded.drawBackgroundPiece(g, {0, 0, 10, 10}, {0, 0, 10, 10});
    }
    EXPECT_NEAR(drawn.getPixelAt(5, 5).getRed(), 128, 1); // half black over white
    EXPECT_EQ(drawn.getPixelAt(5, 5).getAlpha(), 255);
}
