// Draws the five pictures of the editor panel (resources/BattoEditor_*.png) with JUCE's
// graphics: the machined-metal background, the logo plate and three engraved captions.
//
// Usage: batto-make-pictures [output folder]   (default: resources)
//
// Everything comes from fixed seeds and constants, so two runs on the same fonts write the
// same pixels. Each file is read back and checked (size, 8-bit RGBA); the program exits
// non-zero if one could not be written or does not read back as drawn.

#include <juce_gui_basics/juce_gui_basics.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace
{

// Small, fully specified generator (splitmix64): the pictures never depend on the standard
// library's random engines.
class Random
{
public:
    explicit Random(std::uint64_t seed) : state(seed)
    {
    }

    // Uniform in [0, 1).
    float unit()
    {
        std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        z ^= z >> 31;
        return static_cast<float>(z >> 40) * (1.0f / 16777216.0f);
    }

    // Roughly normal, mean 0 and deviation 1 (sum of four uniforms).
    float normal()
    {
        return (unit() + unit() + unit() + unit() - 2.0f) * 1.7320508f;
    }

private:
    std::uint64_t state;
};

juce::uint8 toByte(float value)
{
    return static_cast<juce::uint8>(juce::jlimit(0, 255, juce::roundToInt(value)));
}

juce::Font engravingFont(float height, bool bold = true)
{
    return juce::Font(juce::Font::getDefaultSansSerifFontName(), height,
                      bold ? juce::Font::bold : juce::Font::plain);
}

//==============================================================================
// The panel: aluminium brushed top to bottom. Each column carries its own streak (the
// brush's grain), slow waves give the sheen, fine grain the texture; light falls from the
// top left and a machined chamfer frames the plate.
juce::Image drawBackground()
{
    constexpr int width = 480, height = 295;
    juce::Image image(juce::Image::ARGB, width, height, true);
    Random random(0x5eed0001);

    std::vector<float> column(width);
    float streak = 0.0f;
    for (int x = 0; x < width; ++x)
    {
        streak = 0.6f * streak + 0.4f * random.normal();
        column[static_cast<size_t>(x)] = 5.0f * streak + 2.0f * random.normal();
    }

    {
        juce::Image::BitmapData pixels(image, juce::Image::BitmapData::writeOnly);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
            {
                const float fx = static_cast<float>(x) / width, fy = static_cast<float>(y) / height;
                const float light = 18.0f * (1.0f - 0.55f * fx - 0.45f * fy);
                const float sheen = 7.0f * std::sin(fx * 9.0f + 1.3f) * std::sin(fx * 3.1f + 0.4f);
                const float grain = column[static_cast<size_t>(x)] + 2.2f * random.normal()
                                    + 1.5f * std::sin(static_cast<float>(y) * 0.9f + column[static_cast<size_t>(x)]);
                const float level = 168.0f + light + sheen + grain;
                pixels.setPixelColour(x, y,
                                      juce::Colour(toByte(level - 3.0f), toByte(level), toByte(level + 5.0f)));
            }
    }

    // A few long scratches along the grain.
    {
        juce::Graphics g(image);
        for (int i = 0; i < 40; ++i)
        {
            const float x = random.unit() * width;
            const float top = random.unit() * height;
            const float length = 20.0f + random.unit() * 120.0f;
            const bool bright = random.unit() < 0.5f;
            g.setColour(bright ? juce::Colours::white.withAlpha(0.18f) : juce::Colours::black.withAlpha(0.10f));
            g.drawLine(x, top, x + random.normal() * 0.6f, top + length, 0.7f);
        }

        // The chamfer round the plate: lit on its top and left, in shade on the others.
        const juce::Colour lit = juce::Colours::white.withAlpha(0.55f);
        const juce::Colour shade = juce::Colours::black.withAlpha(0.45f);
        for (int edge = 0; edge < 2; ++edge)
        {
            const float alphaScale = edge == 0 ? 1.0f : 0.45f;
            g.setColour(lit.withMultipliedAlpha(alphaScale));
            g.fillRect(edge, edge, width - 2 * edge, 1);
            g.fillRect(edge, edge, 1, height - 2 * edge);
            g.setColour(shade.withMultipliedAlpha(alphaScale));
            g.fillRect(edge, height - 1 - edge, width - 2 * edge, 1);
            g.fillRect(width - 1 - edge, edge, 1, height - 2 * edge);
        }

        // Two machined grooves part the panel: the transport and sound above, the
        // performance (indicators and sensitivities) below.
        for (const int y : {113, 217})
        {
            const int from = y == 113 ? 8 : 4, to = y == 113 ? 300 : 476;
            g.setColour(juce::Colours::black.withAlpha(0.30f));
            g.fillRect(from, y, to - from, 1);
            g.setColour(juce::Colours::white.withAlpha(0.45f));
            g.fillRect(from, y + 1, to - from, 1);
        }
    }
    return image;
}

// Text cut into the metal: a dark engraving whose lower edge catches the light.
void engrave(juce::Graphics& g, const juce::String& text, juce::Rectangle<int> area, float height,
             juce::Justification justification)
{
    g.setFont(engravingFont(height).withExtraKerningFactor(0.12f));
    g.setColour(juce::Colours::white.withAlpha(0.75f));
    g.drawText(text, area.translated(0, 1), justification, false);
    g.setColour(juce::Colour(0xff1c1e22));
    g.drawText(text, area, justification, false);
}

juce::Image drawCaption(const juce::String& text, int width)
{
    juce::Image image(juce::Image::ARGB, width, 25, true);
    juce::Graphics g(image);
    engrave(g, text, {0, 2, width - 4, 21}, 15.0f, juce::Justification::centredRight);
    return image;
}

//==============================================================================
// The logo: a black anodised plate set into the panel, the name in polished steel with a
// row of grid marks, the beat positions the drummer lights up when it plays.
juce::Image drawLogo()
{
    constexpr int width = 331, height = 56;
    juce::Image image(juce::Image::ARGB, width, height, true);
    juce::Graphics g(image);
    const juce::Rectangle<float> plate(0.5f, 0.5f, width - 1.0f, height - 1.0f);

    g.setGradientFill(juce::ColourGradient(juce::Colour(0xff34373d), 0.0f, 0.0f, juce::Colour(0xff121316), 0.0f,
                                           static_cast<float>(height), false));
    g.fillRoundedRectangle(plate, 6.0f);

    // Fine horizontal brushing on the anodised plate.
    Random random(0x5eed0002);
    for (int y = 2; y < height - 2; ++y)
    {
        g.setColour(juce::Colours::white.withAlpha(0.015f + 0.02f * random.unit()));
        g.fillRect(3, y, width - 6, 1);
        ++y;
    }

    // The rim: shade above (the plate is sunk), light below.
    g.setColour(juce::Colours::black.withAlpha(0.8f));
    g.drawRoundedRectangle(plate, 6.0f, 1.0f);
    g.setColour(juce::Colours::white.withAlpha(0.35f));
    g.drawLine(6.0f, height - 0.5f, width - 6.0f, height - 0.5f, 1.0f);

    // The name, in steel that shades from bright to dark, with a dark cut below it.
    const juce::Font nameFont = engravingFont(44.0f).withExtraKerningFactor(0.28f);
    juce::GlyphArrangement name;
    name.addLineOfText(nameFont, "BATTO", 0.0f, 0.0f);
    juce::Path letters;
    name.createPath(letters);
    const auto bounds = letters.getBounds();
    letters.applyTransform(juce::AffineTransform::translation(
        (width - bounds.getWidth()) * 0.5f - bounds.getX(), (height - bounds.getHeight()) * 0.5f - bounds.getY() - 1.0f));
    const auto placed = letters.getBounds();

    g.setColour(juce::Colours::black.withAlpha(0.9f));
    g.fillPath(letters, juce::AffineTransform::translation(1.5f, 2.0f));
    juce::ColourGradient steel(juce::Colour(0xfff4f6f8), 0.0f, placed.getY(), juce::Colour(0xff7d838c), 0.0f,
                               placed.getBottom(), false);
    steel.addColour(0.48, juce::Colour(0xffc9ced6));
    steel.addColour(0.52, juce::Colour(0xff9aa1ab));
    g.setGradientFill(steel);
    g.fillPath(letters);
    g.setColour(juce::Colours::white.withAlpha(0.5f));
    g.strokePath(letters, juce::PathStrokeType(0.6f));

    // Grid marks along both sides of the name: sixteen ticks a bar, longer on the beats.
    for (int side = 0; side < 2; ++side)
    {
        const float from = side == 0 ? 12.0f : placed.getRight() + 12.0f;
        const float to = side == 0 ? placed.getX() - 12.0f : width - 12.0f;
        for (int tick = 0; tick < 16; ++tick)
        {
            const float x = from + (to - from) * (tick + 0.5f) / 16.0f;
            const bool beat = tick % 4 == 0;
            g.setColour(beat ? juce::Colour(0xffd8dde4) : juce::Colour(0xff6c727b));
            g.fillRect(juce::Rectangle<float>(x - 0.75f, beat ? 20.0f : 24.0f, 1.5f, beat ? 16.0f : 8.0f));
        }
    }
    return image;
}

//==============================================================================
bool writePng(const juce::Image& image, const juce::File& file)
{
    file.deleteFile();
    {
        juce::FileOutputStream out(file);
        juce::PNGImageFormat png;
        if (!out.openedOk() || !png.writeImageToStream(image, out))
            return false;
    }
    // Read back: the same size, with an alpha channel (8-bit RGBA), the same pixels.
    const juce::Image back = juce::ImageFileFormat::loadFrom(file);
    if (!back.isValid() || back.getWidth() != image.getWidth() || back.getHeight() != image.getHeight()
        || !back.hasAlphaChannel())
        return false;
    // Compared premultiplied, as JUCE holds them: the file stores straight alpha, so faint
    // pixels may come back one step off.
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
        {
            const auto drawn = image.getPixelAt(x, y).getPixelARGB();
            const auto read = back.getPixelAt(x, y).getPixelARGB();
            for (int channel = 0; channel < 4; ++channel)
            {
                const int a = static_cast<int>(drawn.getNativeARGB() >> (8 * channel) & 0xff);
                const int b = static_cast<int>(read.getNativeARGB() >> (8 * channel) & 0xff);
                if (std::abs(a - b) > 1)
                    return false;
            }
        }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    juce::ScopedJuceInitialiser_GUI gui;
    const juce::File folder = juce::File::getCurrentWorkingDirectory().getChildFile(argc > 1 ? argv[1] : "resources");
    if (!folder.createDirectory())
    {
        std::fprintf(stderr, "batto-make-pictures: cannot create %s\n", folder.getFullPathName().toRawUTF8());
        return 1;
    }

    const struct
    {
        const char* name;
        juce::Image image;
    } pictures[] = {
        {"BattoEditor_metal_vert.png", drawBackground()},
        {"BattoEditor_logo.png", drawLogo()},
        {"BattoEditor_hihat.png", drawCaption("HI-HAT", 88)},
        {"BattoEditor_tempo.png", drawCaption("TEMPO", 97)},
        {"BattoEditor_drumkit.png", drawCaption("DRUM KIT", 121)},
    };

    int failures = 0;
    for (const auto& picture : pictures)
    {
        const juce::File file = folder.getChildFile(picture.name);
        const bool written = writePng(picture.image, file);
        std::printf("%-28s %3d x %3d  %s\n", picture.name, picture.image.getWidth(), picture.image.getHeight(),
                    written ? "ok" : "FAILED");
        failures += written ? 0 : 1;
    }
    return failures == 0 ? 0 : 1;
}
