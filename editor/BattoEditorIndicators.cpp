#include "BattoEditorIndicators.h"

// The editor's indicators and the dispatch of display codes (one class spread over files:
// this one holds what the engine's events do to the panel).

namespace
{
using namespace DisplayCode;

constexpr int numLights = 26;
constexpr int lightSize = 18;
// Top-left corners of the lights over the logo.
constexpr int lightPositions[numLights][2] = {
    {145, 229}, {145, 244}, {145, 259}, {175, 234}, {210, 229}, {210, 244}, {210, 259},
    {245, 229}, {245, 244}, {245, 259}, {300, 229}, {300, 244}, {300, 259}, {330, 234},
    {355, 224}, {355, 239}, {355, 254}, {385, 224}, {385, 239}, {385, 254}, {410, 229},
    {410, 244}, {410, 259}, {450, 229}, {450, 244}, {450, 259}};

constexpr int progressionY = 192;
constexpr int progressionHeight = 11;
constexpr int firstBeatX = 232;
constexpr int beatSpacing = 56;

int rowIndex(int divisions)
{
    return divisions == 1 ? 0 : divisions == 2 ? 1 : divisions == 4 ? 2 : -1;
}
} // namespace

//==============================================================================
// ProgressionBar

void BattoEditor::ProgressionBar::setSegmentColour(juce::uint32 newColour)
{
    if (colour == newColour)
        return;
    colour = newColour;
    repaint();
}

juce::uint32 BattoEditor::ProgressionBar::getSegmentColour() const
{
    return colour;
}

void BattoEditor::ProgressionBar::paint(juce::Graphics& g)
{
    // The slot is carved from the panel's own picture: without the panel's look there is
    // nothing to carve it from.
    auto* look = dynamic_cast<VexLookAndFeel*>(&getLookAndFeel());
    if (look == nullptr)
        return;
    const int width = getWidth(), height = getHeight();
    const auto at = look->positionOnBackground(*this);

    const juce::Rectangle<int> inside(2, 2, width - 2, height - 2);
    look->drawBackgroundPiece(g, {at.x, at.y, width - 2, height - 2}, inside);
    g.setColour(juce::Colour(colour));
    g.fillRect(inside);
    {
        juce::Graphics::ScopedSaveState state(g);
        g.addTransform(juce::AffineTransform::shear(1.0f, 0.0f)); // the top edge, cut at 45°
        look->drawBackgroundPiece(g, {at.x, at.y, width, 1}, {0, 0, width, 2});
        g.setColour(juce::Colour(0xaa000000));
        g.fillRect(0, 0, width, 2);
    }
    {
        juce::Graphics::ScopedSaveState state(g);
        g.addTransform(juce::AffineTransform::shear(0.0f, 1.0f)); // the left edge
        look->drawBackgroundPiece(g, {at.x, at.y, 1, height}, {0, 0, 2, height});
        g.setColour(juce::Colour(0x55000000));
        g.fillRect(0, 0, 2, height);
    }
}

//==============================================================================
// FlashLight

const int BattoEditor::FlashLight::MS_FIRST_FLASH_LIGHT_INDEX[numColours] = {7, 10, 7, 10, 0, 23};
const int BattoEditor::FlashLight::MS_DELAY[numColours] = {500, 500, 500, 500, 100, 100};
const juce::uint32 BattoEditor::FlashLight::MS_COLOR[numColours] = {0xffffaa, 0xffffaa, 0xaaaaff,
                                                                     0xaaaaff, 0xaaaaaa, 0xaaaaaa};

BattoEditor::FlashLight::FlashLight()
{
    setInterceptsMouseClicks(false, false);
}

void BattoEditor::FlashLight::startFlash()
{
    remaining_ms = MS_DELAY[colour_index];
    refresh();
    if (!isTimerRunning())
        startTimer(stepMs);
}

bool BattoEditor::FlashLight::isFlashing() const
{
    return isTimerRunning();
}

void BattoEditor::FlashLight::setRemaining(int milliseconds)
{
    remaining_ms = milliseconds;
    refresh();
}

void BattoEditor::FlashLight::rearm(int colourIndex)
{
    colour_index = colourIndex;
    setRemaining(MS_DELAY[colour_index]);
}

int BattoEditor::FlashLight::getRemaining() const
{
    return remaining_ms;
}

int BattoEditor::FlashLight::getColourIndex() const
{
    return colour_index;
}

void BattoEditor::FlashLight::setColourIndex(int index)
{
    colour_index = juce::jlimit(0, numColours - 1, index);
}

int BattoEditor::FlashLight::getPaintedRemaining() const
{
    return painted_ms;
}

void BattoEditor::FlashLight::countDown()
{
    remaining_ms -= stepMs;
    refresh();
    if (remaining_ms <= 0)
        stopTimer(); // a flash always ends dark: it starts from a multiple of the step
}

void BattoEditor::FlashLight::timerCallback()
{
    countDown();
}

void BattoEditor::FlashLight::refresh()
{
    if (remaining_ms > 0)
    {
        setVisible(true);
        repaint();
    }
    else
        setVisible(false);
}

void BattoEditor::FlashLight::paint(juce::Graphics& g)
{
    const int r = remaining_ms;
    painted_ms = r;
    const int i = colour_index;
    const int delay = MS_DELAY[i];
    // The colour fades linearly over the delay; an offset k makes a part fade out sooner.
    const auto colourWithOffset = [&](int k)
    {
        const auto alpha = static_cast<juce::uint32>((255 * r - k) / delay) & 0xffu;
        return juce::Colour((alpha << 24) | MS_COLOR[i]);
    };

    if (i != 0 && r > 100)
    {
        g.setColour(colourWithOffset(25500));
        for (const int at : {1, 6, 11, 16})
        {
            g.fillRect(2, at, 14, 1);
            g.fillRect(at, 2, 1, 14);
        }
        if (r > 200)
        {
            g.setColour(colourWithOffset(51000));
            g.fillRect(0, 2, 1, 14);
            g.fillRect(17, 2, 1, 14);
            g.fillRect(2, 0, 14, 1);
            g.fillRect(2, 17, 14, 1);
            for (const auto& [x, y] : {std::pair{1, 1}, std::pair{17, 1}, std::pair{17, 17}, std::pair{1, 17}})
                g.fillRect(x, y, 1, 1);
        }
    }
    g.setColour(colourWithOffset(0));
    for (const int x : {2, 7, 12})
        for (const int y : {2, 7, 12})
            g.fillRect(x, y, 4, 4);
}

//==============================================================================
// FlashSlider

BattoEditor::FlashSlider::FlashSlider(const juce::String& name) : juce::Slider(name)
{
}

void BattoEditor::FlashSlider::flash(bool bothThresholds)
{
    both = bothThresholds;
    remaining_ms = flashMs;
    refresh();
    if (!isTimerRunning())
        startTimer(stepMs);
}

bool BattoEditor::FlashSlider::isFlashing() const
{
    return isTimerRunning();
}

int BattoEditor::FlashSlider::getRemaining() const
{
    return remaining_ms;
}

void BattoEditor::FlashSlider::countDown()
{
    remaining_ms -= stepMs;
    refresh();
    if (remaining_ms <= 0)
        stopTimer();
}

void BattoEditor::FlashSlider::timerCallback()
{
    countDown();
}

void BattoEditor::FlashSlider::refresh()
{
    const auto v = static_cast<juce::uint8>(juce::jlimit(0, 255, 255 * remaining_ms / flashMs));
    juce::Colour track = juce::Colours::black;
    if (remaining_ms > 0)
        track = both ? juce::Colour(static_cast<juce::uint8>(0), static_cast<juce::uint8>(v / 2), v)
                     : juce::Colour(v, v, v);
    setColour(juce::Slider::trackColourId, track); // the track and the name take it
    repaint();
}

//==============================================================================
// MidiDrumMapWindow

BattoEditor::MidiDrumMapWindow::MidiDrumMapWindow()
    : juce::DocumentWindow("MIDI Drum Map", juce::Colour(0xff00ff00),
                           juce::DocumentWindow::maximiseButton | juce::DocumentWindow::closeButton, false)
{
    // The title bar and the borders before the desktop: changing either on a window already
    // on the desktop brings it to the front, which on Linux shows it although it is hidden.
    setUsingNativeTitleBar(true);
    setResizable(false, false);
    addToDesktop();
    // Centred on the main display; with no display at all (a headless host) there is
    // nothing to centre on.
    if (juce::Desktop::getInstance().getDisplays().getPrimaryDisplay() != nullptr)
        centreWithSize(getWidth(), getHeight());
}

bool BattoEditor::MidiDrumMapWindow::keyPressed(const juce::KeyPress& key)
{
    if (key.getKeyCode() == juce::KeyPress::escapeKey && !key.getModifiers().isAnyModifierKeyDown())
    {
        closeButtonPressed();
        return true;
    }
    return false;
}

void BattoEditor::MidiDrumMapWindow::closeButtonPressed()
{
    setVisible(false); // the window and every value stay
}

//==============================================================================
// The editor's side

void BattoEditor::createIndicators()
{
    createProgressionBars();
    for (int i = 0; i < numLights; ++i)
    {
        auto light = std::make_unique<FlashLight>();
        addAndMakeVisible(*light);
        light->setBounds(lightPositions[i][0], lightPositions[i][1], lightSize, lightSize);
        flash_lights.push_back(std::move(light));
    }
}

void BattoEditor::createProgressionBars()
{
    // Row n has 4·n segments; beat b starts at x = 232 + 56·b in every row.
    for (const int divisions : {1, 2, 4})
    {
        const int segmentWidth = divisions == 1 ? 47 : divisions == 2 ? 23 : 11;
        for (int segment = 0; segment < 4 * divisions; ++segment)
        {
            const int beat = segment / divisions, inBeat = segment % divisions;
            auto bar = std::make_unique<ProgressionBar>();
            addAndMakeVisible(*bar);
            bar->setInterceptsMouseClicks(false, false);
            bar->setBounds(firstBeatX + beatSpacing * beat + (segmentWidth + 1) * inBeat, progressionY,
                           segmentWidth, progressionHeight);
            progressionRows[static_cast<size_t>(rowIndex(divisions))].push_back(bar.get());
            progression_bars.push_back(std::move(bar));
        }
    }
}

const std::vector<BattoEditor::ProgressionBar*>& BattoEditor::progressionRow(int divisions) const
{
    return progressionRows[static_cast<size_t>(juce::jmax(0, rowIndex(divisions)))];
}

int BattoEditor::shownProgressionRow() const
{
    return shownDivisions;
}

void BattoEditor::cleanProgressionBar()
{
    for (auto& bar : progression_bars)
        bar->setSegmentColour(ProgressionBar::idle);
}

void BattoEditor::showProgressionRow(int divisions)
{
    if (rowIndex(divisions) < 0)
        return;
    cleanProgressionBar();
    for (const int rowDivisions : {1, 2, 4})
        for (auto* bar : progressionRow(rowDivisions))
            bar->setVisible(rowDivisions == divisions);
    shownDivisions = divisions;
}

void BattoEditor::setControlHighlight(ParameterControlHighlightInfo info)
{
    const int code = info.parameterIndex;
    if (!info.isHighlighted)
    {
        showProgressionPosition(code);
        return;
    }
    if (code >= firstMidiIn && code <= lastMidiIn)
        flashMidiIn(code);
    else if (code == breakEnded)
        darkenIdleLights();
    else if (code >= breakOneToGo && code <= breakThreeToGo)
        glowIdleLights(code - breakEnded);
    else if (code == hostTookOver || code == hostLetGo)
        followHostTransport(code == hostTookOver);
    else if (code == progressionRowChanged)
        showProgressionRow(processor.getDivisionDuTempsSetting());
    else if (code == crashRoll)
        flashIdleLights();
    else if (code == performanceReset)
    {
        cleanProgressionBar();
        darkenIdleLights();
    }
    else if (code == velocityThreshold)
        velocity_sens_slider->flash(false);
    else if (code == dynamicThreshold)
        dynamic_sens_slider->flash(false);
    else if (code == bothThresholds)
    {
        velocity_sens_slider->flash(true);
        dynamic_sens_slider->flash(true);
    }
}

void BattoEditor::flashMidiIn(int colourIndex)
{
    // The group's first idle light flashes; when all three flash, the one with the least
    // time left starts over in the new colour (the earlier one on a tie).
    const int first = FlashLight::MS_FIRST_FLASH_LIGHT_INDEX[colourIndex];
    FlashLight* leastTimeLeft = nullptr;
    for (int i = first; i < first + 3; ++i)
    {
        FlashLight& light = *flash_lights[static_cast<size_t>(i)];
        if (!light.isFlashing())
        {
            light.setColourIndex(colourIndex);
            light.startFlash();
            return;
        }
        if (leastTimeLeft == nullptr || light.getRemaining() < leastTimeLeft->getRemaining())
            leastTimeLeft = &light;
    }
    leastTimeLeft->rearm(colourIndex);
}

void BattoEditor::darkenIdleLights()
{
    for (auto& light : flash_lights)
        if (!light->isFlashing())
            light->setRemaining(0);
}

void BattoEditor::glowIdleLights(int subdivisionsToBarLine)
{
    // 250, 166 and 125 ms of a 500 ms flash: brighter as the bar line comes nearer.
    for (auto& light : flash_lights)
        if (!light->isFlashing())
        {
            light->setColourIndex(0);
            light->setRemaining(FlashLight::MS_DELAY[0] / (subdivisionsToBarLine + 1));
        }
}

void BattoEditor::flashIdleLights()
{
    for (auto& light : flash_lights)
        if (!light->isFlashing())
        {
            light->setColourIndex(0);
            light->startFlash();
        }
}

void BattoEditor::showProgressionPosition(int positionInBar)
{
    const int d = shownDivisions;
    if (rowIndex(d) < 0 || positionInBar < 0 || positionInBar > lastPositionInBar)
        return;
    const auto& row = progressionRow(d);
    const auto segment = [&row](int index) -> ProgressionBar&
    {
        return *row[static_cast<size_t>(index)];
    };

    const int k = positionInBar * d / 8; // the segment that is playing
    const int previous = k == 0 ? 4 * d - 1 : k - 1;
    segment(k).setSegmentColour(ProgressionBar::current);
    if (k % d != 0)
    {
        segment(previous).setSegmentColour(ProgressionBar::beat);
        return;
    }
    // The first segment of a beat: the rest of the beat lights faintly, the beat before goes out.
    for (int i = 1; i < d; ++i)
        segment(k + i).setSegmentColour(ProgressionBar::beat);
    for (int i = 0; i < d; ++i)
        segment(previous - i).setSegmentColour(ProgressionBar::idle);
}

void BattoEditor::followHostTransport(bool following)
{
    darkenIdleLights(); // the host's transport resets the performance either way
    if (following)
    {
        if (!stop_button->getToggleState())
            stop_button->setToggleState(true, juce::dontSendNotification);
        start_button->setEnabled(false);
        stop_button->setEnabled(false);
        tempo_slider->setEnabled(false);
        cleanProgressionBar();
        return;
    }
    showTransportState(); // the buttons again, unless an external clock starts the drummer
    cleanProgressionBar();
    if (const int waiting = processor.getWaitForTheTimeToUpdateProgressionBarDisplay())
        applySubdivision(waiting);
}
