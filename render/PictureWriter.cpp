#include "PictureWriter.h"

#include "Batto.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace
{
const juce::Colour background(0xff15171c);
const juce::Colour laneShades[2] = {juce::Colour(0xff1c1f26), juce::Colour(0xff20242c)};
const juce::Colour playerLaneShade(0xff191c22);
const juce::Colour barLineColour(0xff8a93a6);
const juce::Colour beatLineColour(0xff3a404c);
const juce::Colour subdivisionLineColour(0xff272b33);
const juce::Colour textColour(0xffd8dce4);
const juce::Colour dimTextColour(0xff8a90a0);
const juce::Colour softNoteColour(0xff2c4660);
const juce::Colour loudNoteColour(0xffa8ecff);
const juce::Colour fillBandColour(0x1cf4a261);

struct DrumLane
{
    const char* label;
    Batto::Percu voice;
    juce::uint32 colour;
};

// Cymbals on top, kick at the bottom, as drummers read a kit.
const DrumLane drumLanes[] = {
    {"Crash 2", Batto::Crash2, 0xfff7c948},    {"Crash", Batto::Crash, 0xfff7c948},
    {"Ride", Batto::Ride, 0xff5ccfe6},         {"Open hi-hat", Batto::OHH, 0xffb8e986},
    {"Closed hi-hat", Batto::CHH, 0xff74d39a}, {"High tom", Batto::HTom, 0xfff4a261},
    {"Mid tom", Batto::MTom, 0xfff4a261},      {"Low tom", Batto::LTom, 0xfff4a261},
    {"Snare", Batto::Snare, 0xffef5f7f},       {"Kick", Batto::Kick, 0xff5b8cff},
};
constexpr int laneCount = static_cast<int>(std::size(drumLanes));

// A picture of thousands of bars would not fit in memory; the first ones are enough.
constexpr int maximumBars = 512;

struct Layout
{
    int bars;
    int barsPerRow;
    int rows;
    float beatWidth;

    static constexpr float margin = 20.0f;
    static constexpr float labelWidth = 104.0f;
    static constexpr float titleHeight = 66.0f;
    static constexpr float barNumberHeight = 16.0f;
    static constexpr float playerLaneHeight = 78.0f;
    static constexpr float laneGap = 6.0f;
    static constexpr float drumLaneHeight = 17.0f;
    static constexpr float rowGap = 24.0f;
    static constexpr float legendHeight = 34.0f;

    float gridLeft() const
    {
        return margin + labelWidth;
    }
    float rowWidth() const
    {
        return barsPerRow * 4 * beatWidth;
    }
    float rowHeight() const
    {
        return barNumberHeight + playerLaneHeight + laneGap + laneCount * drumLaneHeight + rowGap;
    }
    float rowTop(int row) const
    {
        return titleHeight + row * rowHeight();
    }
    float playerTop(int row) const
    {
        return rowTop(row) + barNumberHeight;
    }
    float drumLaneTop(int row, int lane) const
    {
        return playerTop(row) + playerLaneHeight + laneGap + lane * drumLaneHeight;
    }
    float drumLanesBottom(int row) const
    {
        return drumLaneTop(row, laneCount);
    }
    int width() const
    {
        return static_cast<int>(gridLeft() + rowWidth() + margin);
    }
    int height() const
    {
        return static_cast<int>(titleHeight + rows * rowHeight() + legendHeight);
    }
    double beatsPerRow() const
    {
        return barsPerRow * 4.0;
    }
    // The row a grid beat falls in, or -1 when it lies after the last bar (a hit on the
    // closing bar line, a sample early because grid times are truncated, belongs to the
    // next bar).
    int rowOf(double beat) const
    {
        if (beat >= bars * 4.0 - 1.0 / 64.0)
            return -1;
        return static_cast<int>(std::floor(std::max(0.0, beat) / beatsPerRow()));
    }
    float rowWidthOf(int row) const
    {
        return std::min(barsPerRow, bars - row * barsPerRow) * 4 * beatWidth;
    }
    float xAt(double beat, int row) const
    {
        const double inRow = std::clamp(beat - row * beatsPerRow(), 0.0, beatsPerRow());
        return gridLeft() + static_cast<float>(inRow) * beatWidth;
    }
};

Layout layoutFor(const Timeline& timeline, int divisionDuTemps)
{
    Layout layout{};
    layout.bars = std::clamp(timeline.bars, 1, maximumBars);
    layout.barsPerRow = std::min(8, layout.bars);
    layout.rows = (layout.bars + layout.barsPerRow - 1) / layout.barsPerRow;
    layout.beatWidth = divisionDuTemps >= 4 ? 56.0f : 42.0f;
    return layout;
}

double gridBeatAtSample(double sample, const Timeline& timeline)
{
    return timeline.gridBeatAt(sample);
}

// The grid beat at which the player's event at this beat of the performance sounds.
double gridBeatOfPlayed(double beat, const Timeline& timeline)
{
    return timeline.gridBeatAt(timeline.sampleAt(beat));
}

float velocityShare(int velocity)
{
    return juce::jlimit(0.0f, 1.0f, velocity / 127.0f);
}

juce::Font uiFont(float height, int style = juce::Font::plain)
{
    return juce::Font(height, style);
}

void drawTitle(juce::Graphics& g, const Layout& layout, const PictureCaption& caption)
{
    g.setColour(textColour);
    g.setFont(uiFont(22.0f, juce::Font::bold));
    g.drawText(caption.title, juce::Rectangle<float>(Layout::margin, 10.0f, 900.0f, 28.0f),
               juce::Justification::centredLeft);
    g.setColour(dimTextColour);
    g.setFont(uiFont(14.0f));
    g.drawText(caption.subtitle,
               juce::Rectangle<float>(Layout::margin, 38.0f, layout.width() - 2 * Layout::margin, 18.0f),
               juce::Justification::centredLeft);
}

void drawRowBackground(juce::Graphics& g, const Layout& layout, int row)
{
    const float left = layout.gridLeft();
    const float width = layout.rowWidthOf(row);
    g.setColour(playerLaneShade);
    g.fillRect(left, layout.playerTop(row), width, Layout::playerLaneHeight);
    for (int lane = 0; lane < laneCount; ++lane)
    {
        g.setColour(laneShades[lane % 2]);
        g.fillRect(left, layout.drumLaneTop(row, lane), width, Layout::drumLaneHeight);
    }

    g.setFont(uiFont(12.5f));
    g.setColour(textColour);
    g.drawText("Player",
               juce::Rectangle<float>(Layout::margin, layout.playerTop(row), Layout::labelWidth - 10.0f,
                                      Layout::playerLaneHeight),
               juce::Justification::centredRight);
    for (int lane = 0; lane < laneCount; ++lane)
    {
        g.setColour(juce::Colour(drumLanes[lane].colour).interpolatedWith(textColour, 0.35f));
        g.drawText(drumLanes[lane].label,
                   juce::Rectangle<float>(Layout::margin, layout.drumLaneTop(row, lane),
                                          Layout::labelWidth - 10.0f, Layout::drumLaneHeight),
                   juce::Justification::centredRight);
    }
}

void drawGrid(juce::Graphics& g, const Layout& layout, int row, int divisionDuTemps)
{
    const float top = layout.playerTop(row);
    const float bottom = layout.drumLanesBottom(row);
    const int firstBar = row * layout.barsPerRow;
    const int barsInRow = std::min(layout.barsPerRow, layout.bars - firstBar);
    for (int beat = 0; beat < barsInRow * 4; ++beat)
        for (int division = 1; division < divisionDuTemps; ++division)
        {
            g.setColour(subdivisionLineColour);
            const float x = layout.gridLeft()
                            + (beat + division / static_cast<float>(divisionDuTemps)) * layout.beatWidth;
            g.drawVerticalLine(juce::roundToInt(x), top, bottom);
        }
    for (int beat = 0; beat <= barsInRow * 4; ++beat)
    {
        const float x = layout.gridLeft() + beat * layout.beatWidth;
        const bool barLine = beat % 4 == 0;
        g.setColour(barLine ? barLineColour : beatLineColour);
        g.fillRect(x - (barLine ? 0.75f : 0.5f), top, barLine ? 1.5f : 1.0f, bottom - top);
        if (barLine && beat < barsInRow * 4)
        {
            g.setColour(dimTextColour);
            g.setFont(uiFont(12.0f));
            g.drawText(juce::String(firstBar + beat / 4 + 1),
                       juce::Rectangle<float>(x + 3.0f, layout.rowTop(row), 40.0f, Layout::barNumberHeight),
                       juce::Justification::centredLeft);
        }
    }
}

bool isTom(int note)
{
    return note == Batto::drumNoteByDefault[Batto::HTom] || note == Batto::drumNoteByDefault[Batto::MTom]
           || note == Batto::drumNoteByDefault[Batto::LTom];
}

bool hasBeatNear(const std::vector<double>& sortedBeats, double beat, double tolerance)
{
    const auto next = std::lower_bound(sortedBeats.begin(), sortedBeats.end(), beat - tolerance);
    return next != sortedBeats.end() && *next <= beat + tolerance;
}

// A fill plays toms, and a regular one starts as a snare roll on every subdivision: a
// fill's band runs from the start of the roll before its first tom to the next bar line.
void drawFillBands(juce::Graphics& g, const Layout& layout, const std::vector<DrumHit>& hits,
                   const Timeline& timeline, int divisionDuTemps)
{
    std::vector<double> snareBeats;
    for (const DrumHit& hit : hits)
        if (hit.note == Batto::drumNoteByDefault[Batto::Snare] && hit.velocity > 0)
            snareBeats.push_back(gridBeatAtSample(static_cast<double>(hit.sample), timeline));
    std::sort(snareBeats.begin(), snareBeats.end());

    const double step = 1.0 / divisionDuTemps;
    double lastBandEnd = -1.0;
    for (const DrumHit& hit : hits)
    {
        if (!isTom(hit.note) || hit.velocity <= 0)
            continue;
        const double beat = gridBeatAtSample(static_cast<double>(hit.sample), timeline);
        const int row = layout.rowOf(beat);
        const double barStart = 4.0 * std::floor(beat / 4.0 + 1e-9);
        // The fill's first tom drew the band already (hits come in time order).
        if (row < 0 || barStart + 4.0 == lastBandEnd)
            continue;
        lastBandEnd = barStart + 4.0;
        double start = beat;
        while (start - step > barStart - 1e-6 && hasBeatNear(snareBeats, start - step, step / 4.0))
            start -= step;
        const float left = layout.xAt(start, row) - 3.0f;
        const float right = layout.xAt(barStart + 4.0, row);
        g.setColour(fillBandColour);
        g.fillRect(left, layout.drumLaneTop(row, 0), right - left,
                   layout.drumLanesBottom(row) - layout.drumLaneTop(row, 0));
    }
}

struct PitchRange
{
    int lowest = 127;
    int highest = 0;
};

PitchRange pitchRangeOf(const Performance& performance)
{
    PitchRange range;
    for (const auto* event : performance.events)
        if (event->message.isNoteOn())
        {
            range.lowest = std::min(range.lowest, event->message.getNoteNumber());
            range.highest = std::max(range.highest, event->message.getNoteNumber());
        }
    if (range.lowest > range.highest)
        range = {60, 60};
    return range;
}

void drawPlayerNotes(juce::Graphics& g, const Layout& layout, const Performance& performance,
                     const Timeline& timeline)
{
    const PitchRange range = pitchRangeOf(performance);
    const float usable = Layout::playerLaneHeight - 10.0f;
    const float noteHeight = std::clamp(usable / (range.highest - range.lowest + 1), 2.0f, 7.0f);
    const float pitchSpan = std::max(1, range.highest - range.lowest) * 1.0f;
    for (const auto* event : performance.events)
    {
        if (!event->message.isNoteOn())
            continue;
        const double start = gridBeatOfPlayed(event->message.getTimeStamp(), timeline);
        const double end = event->noteOffObject != nullptr
                               ? gridBeatOfPlayed(event->noteOffObject->message.getTimeStamp(), timeline)
                               : start + 0.25;
        const int row = layout.rowOf(start);
        if (row < 0)
            continue;
        const float pitchShare = (event->message.getNoteNumber() - range.lowest) / pitchSpan;
        const float y = layout.playerTop(row) + 5.0f + (1.0f - pitchShare) * (usable - noteHeight);
        const float left = layout.xAt(start, row);
        const float right = std::max(left + 4.0f, layout.xAt(std::max(end, start), row));
        const float share = velocityShare(event->message.getVelocity());
        g.setColour(softNoteColour.interpolatedWith(loudNoteColour, share));
        g.fillRoundedRectangle(left, y, right - left, noteHeight, 1.5f);
    }
}

int laneOfNote(int note)
{
    for (int lane = 0; lane < laneCount; ++lane)
        if (Batto::drumNoteByDefault[drumLanes[lane].voice] == note)
            return lane;
    return -1;
}

// Each hit is a bar whose height and brightness follow its velocity.
void drawDrumHits(juce::Graphics& g, const Layout& layout, const std::vector<DrumHit>& hits,
                  const Timeline& timeline, int divisionDuTemps)
{
    const float hitWidth = std::clamp(layout.beatWidth / (divisionDuTemps * 2.0f) * 0.6f, 3.0f, 8.0f);
    for (const DrumHit& hit : hits)
    {
        const int lane = laneOfNote(hit.note);
        const double beat = gridBeatAtSample(static_cast<double>(hit.sample), timeline);
        const int row = layout.rowOf(beat);
        if (lane < 0 || row < 0 || hit.velocity <= 0)
            continue;
        const float share = velocityShare(hit.velocity);
        const float laneTop = layout.drumLaneTop(row, lane);
        const float fullHeight = Layout::drumLaneHeight - 3.0f;
        const float height = fullHeight * (0.3f + 0.7f * share);
        const float x = layout.xAt(beat, row);
        g.setColour(laneShades[lane % 2].interpolatedWith(juce::Colour(drumLanes[lane].colour),
                                                          0.35f + 0.65f * share));
        g.fillRoundedRectangle(x - hitWidth / 2.0f, laneTop + 1.5f + fullHeight - height, hitWidth, height,
                               1.0f);
    }
}

void drawLegend(juce::Graphics& g, const Layout& layout)
{
    const float y = static_cast<float>(layout.height()) - Layout::legendHeight + 6.0f;
    g.setFont(uiFont(12.0f));
    g.setColour(dimTextColour);
    g.drawText("velocity: soft", juce::Rectangle<float>(Layout::margin, y, 90.0f, 16.0f),
               juce::Justification::centredLeft);
    for (int step = 0; step < 8; ++step)
    {
        g.setColour(softNoteColour.interpolatedWith(loudNoteColour, step / 7.0f));
        g.fillRoundedRectangle(Layout::margin + 92.0f + step * 16.0f, y + 3.0f, 13.0f, 10.0f, 1.5f);
    }
    g.setColour(dimTextColour);
    g.drawText("loud", juce::Rectangle<float>(Layout::margin + 96.0f + 8 * 16.0f, y, 40.0f, 16.0f),
               juce::Justification::centredLeft);
    g.setColour(fillBandColour.withMultipliedAlpha(3.0f));
    g.fillRect(Layout::margin + 290.0f, y + 2.0f, 26.0f, 12.0f);
    g.setColour(dimTextColour);
    g.drawText("fill", juce::Rectangle<float>(Layout::margin + 322.0f, y, 40.0f, 16.0f),
               juce::Justification::centredLeft);
}
} // namespace

juce::Image drawPerformancePicture(const Performance& performance, const std::vector<DrumHit>& hits,
                                   const Timeline& timeline, const PictureCaption& caption)
{
    const Layout layout = layoutFor(timeline, caption.divisionDuTemps);
    juce::Image picture(juce::Image::RGB, layout.width(), layout.height(), true);
    // The framework leaves a picture it could not allocate without pixels, and drawing into
    // it would write through a null pointer.
    if (juce::Image::BitmapData(picture, juce::Image::BitmapData::readOnly).data == nullptr)
        throw std::bad_alloc();
    juce::Graphics g(picture);
    g.fillAll(background);
    drawTitle(g, layout, caption);
    for (int row = 0; row < layout.rows; ++row)
    {
        drawRowBackground(g, layout, row);
        drawGrid(g, layout, row, caption.divisionDuTemps);
    }
    drawFillBands(g, layout, hits, timeline, caption.divisionDuTemps);
    drawPlayerNotes(g, layout, performance, timeline);
    drawDrumHits(g, layout, hits, timeline, caption.divisionDuTemps);
    drawLegend(g, layout);
    return picture;
}

bool writePerformancePicture(const juce::File& file, const juce::Image& picture)
{
    juce::FileOutputStream stream(file);
    juce::PNGImageFormat png;
    if (!stream.openedOk() || !stream.setPosition(0) || stream.truncate().failed()
        || !png.writeImageToStream(picture, stream))
        return false;
    stream.flush();
    return stream.getStatus().wasOk();
}
