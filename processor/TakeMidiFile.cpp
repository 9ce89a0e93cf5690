#include "TakeMidiFile.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>

namespace
{
// The shortest text that reads back as exactly this double.
juce::String exactText(double value)
{
    char text[32];
    const auto result = std::to_chars(text, text + sizeof(text), value);
    return juce::String(text, static_cast<size_t>(result.ptr - text));
}

bool parseDouble(const juce::String& text, double& value)
{
    const auto utf8 = text.toStdString();
    const auto result = std::from_chars(utf8.data(), utf8.data() + utf8.size(), value);
    return result.ec == std::errc() && result.ptr == utf8.data() + utf8.size() && std::isfinite(value);
}

const char* onOff(bool on)
{
    return on ? "on" : "off";
}

void writeVariableLength(juce::MemoryOutputStream& out, uint64_t value)
{
    juce::uint8 bytes[10];
    int count = 0;
    bytes[count++] = static_cast<juce::uint8>(value & 0x7F);
    while ((value >>= 7) != 0)
        bytes[count++] = static_cast<juce::uint8>(0x80 | (value & 0x7F));
    while (count > 0)
        out.writeByte(static_cast<char>(bytes[--count]));
}

void writeBigEndian32(juce::MemoryOutputStream& out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.writeByte(static_cast<char>((value >> shift) & 0xFF));
}

void writeChunk(juce::MemoryOutputStream& out, const char* type, const void* data, size_t size)
{
    out.write(type, 4);
    writeBigEndian32(out, static_cast<uint32_t>(size));
    out.write(data, size);
}

int microsecondsPerQuarter(double bpm)
{
    return juce::jlimit(1, 0xFFFFFF, juce::roundToInt(60'000'000.0 / bpm));
}
} // namespace

//==============================================================================
juce::String TakeSettings::toText() const
{
    juce::String text(textPrefix);
    text << " rate=" << exactText(sampleRate) << " block=" << blockSize
         << " clock=" << (externalClock ? "external" : "internal") << " tempo=" << exactText(tempo)
         << " division=" << divisionDuTemps << " auto-kick=" << onOff(autoKick)
         << " auto-snare=" << onOff(autoSnare) << " velocity-sens=" << exactText(breakParam1)
         << " dynamic-sens=" << exactText(breakParam2) << " bass-follower=" << onOff(gravaEnabled);
    return text;
}

std::optional<TakeSettings> TakeSettings::fromText(const juce::String& text)
{
    if (!text.startsWith(textPrefix))
        return std::nullopt;
    std::map<juce::String, juce::String> values;
    for (const auto& word : juce::StringArray::fromTokens(text.substring(juce::String(textPrefix).length()), " ", ""))
        if (word.contains("="))
            values[word.upToFirstOccurrenceOf("=", false, false)] = word.fromFirstOccurrenceOf("=", false, false);

    TakeSettings settings;
    bool usable = true;
    const auto number = [&](const char* key, double& value)
    {
        const auto found = values.find(key);
        if (found != values.end())
            usable = parseDouble(found->second, value) && usable;
    };
    const auto flag = [&](const char* key, bool& value)
    {
        const auto found = values.find(key);
        if (found == values.end())
            return;
        usable = (found->second == "on" || found->second == "off") && usable;
        value = found->second == "on";
    };
    double block = settings.blockSize, division = settings.divisionDuTemps;
    number("rate", settings.sampleRate);
    number("block", block);
    number("tempo", settings.tempo);
    number("division", division);
    number("velocity-sens", settings.breakParam1);
    number("dynamic-sens", settings.breakParam2);
    flag("auto-kick", settings.autoKick);
    flag("auto-snare", settings.autoSnare);
    flag("bass-follower", settings.gravaEnabled);
    settings.externalClock = values.count("clock") != 0 && values["clock"] == "external";
    settings.blockSize = static_cast<int>(block);
    settings.divisionDuTemps = static_cast<int>(division);
    if (!usable || settings.blockSize != block || settings.divisionDuTemps != division)
        return std::nullopt;
    return settings;
}

//==============================================================================
int takeTicksPerQuarterNote(double sampleRate, double bpm)
{
    constexpr int unit = 960, largest = 32640;
    const double samplesPerBeat = sampleRate * 60.0 / bpm;
    if (!std::isfinite(samplesPerBeat) || samplesPerBeat >= largest)
        return largest;
    return juce::jmax(unit, static_cast<int>(std::ceil(samplesPerBeat / unit)) * unit);
}

void TakeMidiFile::Track::add(int64_t tick, const juce::uint8* data, size_t size)
{
    tick = std::max(tick, lastTick); // never backwards, whatever the caller gives
    writeVariableLength(bytes, static_cast<uint64_t>(tick - lastTick));
    bytes.write(data, size);
    lastTick = tick;
}

void TakeMidiFile::Track::addMeta(int64_t tick, int type, const juce::String& text)
{
    juce::MemoryOutputStream event;
    event.writeByte(static_cast<char>(0xFF));
    event.writeByte(static_cast<char>(type));
    const auto utf8 = text.toStdString();
    writeVariableLength(event, utf8.size());
    event.write(utf8.data(), utf8.size());
    add(tick, static_cast<const juce::uint8*>(event.getData()), event.getDataSize());
}

TakeMidiFile::TakeMidiFile(const juce::String& name, const TakeSettings& settings)
    : sampleRate(settings.sampleRate), ppq(takeTicksPerQuarterNote(settings.sampleRate, settings.tempo))
{
    std::fill(std::begin(pendingNoteOff), std::end(pendingNoteOff), int64_t(-1));
    tempos.push_back({0, 0, microsecondsPerQuarter(settings.tempo)});
    conductor.addMeta(0, 0x03, name);
    conductor.addMeta(0, 0x01, settings.toText());
    const int us = tempos.front().microsecondsPerQuarter;
    const juce::uint8 tempo[] = {0xFF, 0x51, 0x03, static_cast<juce::uint8>(us >> 16),
                                 static_cast<juce::uint8>(us >> 8), static_cast<juce::uint8>(us)};
    conductor.add(0, tempo, sizeof tempo);
    // 4/4 with 24 MIDI clocks a click and 8 thirty-seconds a beat.
    const juce::uint8 fourFour[] = {0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08};
    conductor.add(0, fourFour, sizeof fourFour);
    player.addMeta(0, 0x03, TakeSettings::playerTrackName);
    drums.addMeta(0, 0x03, TakeSettings::drumTrackName);
}

int64_t TakeMidiFile::tickAt(int64_t sample) const
{
    auto segment = tempos.rbegin();
    while (segment != tempos.rend() - 1 && segment->sample > sample)
        ++segment;
    const double ticksPerSample = ppq * 1'000'000.0 / (segment->microsecondsPerQuarter * sampleRate);
    return segment->tick + std::llround(static_cast<double>(sample - segment->sample) * ticksPerSample);
}

void TakeMidiFile::addPlayerMessage(int64_t sample, const juce::uint8* data, int size)
{
    if (size <= 0)
        return;
    const int64_t tick = tickAt(sample);
    if (data[0] == 0xF0)
    {
        // A system-exclusive message: F0, its length, the rest of it (F7 included).
        juce::MemoryOutputStream event;
        event.writeByte(static_cast<char>(0xF0));
        writeVariableLength(event, static_cast<uint64_t>(size - 1));
        event.write(data + 1, static_cast<size_t>(size - 1));
        player.add(tick, static_cast<const juce::uint8*>(event.getData()), event.getDataSize());
        return;
    }
    // Channel messages as they are; other system messages (clock, active sensing...) have
    // no place in a track and carry nothing the drummer plays from.
    const int length = juce::MidiMessage::getMessageLengthFromFirstByte(data[0]);
    if (data[0] < 0x80 || data[0] >= 0xF0 || size < length)
        return;
    player.add(tick, data, static_cast<size_t>(length));
}

void TakeMidiFile::closeDrumNotesUpTo(int64_t tick)
{
    for (;;)
    {
        int earliest = -1;
        for (int note = 0; note < 128; ++note)
            if (pendingNoteOff[note] >= 0 && pendingNoteOff[note] <= tick
                && (earliest < 0 || pendingNoteOff[note] < pendingNoteOff[earliest]))
                earliest = note;
        if (earliest < 0)
            return;
        const juce::uint8 noteOff[] = {0x89, static_cast<juce::uint8>(earliest), 0};
        drums.add(pendingNoteOff[earliest], noteOff, sizeof noteOff);
        pendingNoteOff[earliest] = -1;
    }
}

void TakeMidiFile::addDrumHit(int64_t sample, int status, int note, int velocity)
{
    note &= 0x7F;
    const int64_t tick = tickAt(sample);
    closeDrumNotesUpTo(tick);
    const auto channel = static_cast<juce::uint8>(status & 0x0F);
    if (pendingNoteOff[note] >= 0)
    {
        // The same drum again before its note ended: it ends here.
        const juce::uint8 noteOff[] = {static_cast<juce::uint8>(0x80 | channel), static_cast<juce::uint8>(note), 0};
        drums.add(tick, noteOff, sizeof noteOff);
        pendingNoteOff[note] = -1;
    }
    const juce::uint8 noteOn[] = {static_cast<juce::uint8>(0x90 | channel), static_cast<juce::uint8>(note),
                                  static_cast<juce::uint8>(velocity & 0x7F)};
    drums.add(tick, noteOn, sizeof noteOn);
    if ((velocity & 0x7F) > 0)
        pendingNoteOff[note] = tick + juce::jmax(1, ppq / 16); // DAWs hide notes that never end
}

void TakeMidiFile::addTempo(int64_t sample, double bpm)
{
    const int us = microsecondsPerQuarter(bpm);
    if (us == tempos.back().microsecondsPerQuarter)
        return;
    const int64_t tick = tickAt(sample);
    tempos.push_back({sample, tick, us});
    const juce::uint8 tempo[] = {0xFF, 0x51, 0x03, static_cast<juce::uint8>(us >> 16),
                                 static_cast<juce::uint8>(us >> 8), static_cast<juce::uint8>(us)};
    conductor.add(tick, tempo, sizeof tempo);
}

void TakeMidiFile::addMarker(int64_t sample, const juce::String& text)
{
    conductor.addMeta(tickAt(sample), 0x06, text);
}

juce::MemoryBlock TakeMidiFile::endedTrack(const Track& track, int64_t endTick,
                                           const std::vector<std::pair<int64_t, int>>& noteOffs)
{
    Track ended;
    ended.bytes.write(track.bytes.getData(), track.bytes.getDataSize());
    ended.lastTick = track.lastTick;
    for (const auto& [tick, note] : noteOffs)
    {
        const juce::uint8 noteOff[] = {0x89, static_cast<juce::uint8>(note), 0};
        ended.add(tick, noteOff, sizeof noteOff);
    }
    const juce::uint8 endOfTrack[] = {0xFF, 0x2F, 0x00};
    ended.add(std::max(endTick, ended.lastTick), endOfTrack, sizeof endOfTrack);
    return ended.bytes.getMemoryBlock();
}

juce::MemoryBlock TakeMidiFile::toFile(int64_t endSample) const
{
    // The notes still sounding end with the take.
    const int64_t endTick =
        std::max(tickAt(endSample), std::max({conductor.lastTick, player.lastTick, drums.lastTick}));
    std::vector<std::pair<int64_t, int>> noteOffs;
    for (int note = 0; note < 128; ++note)
        if (pendingNoteOff[note] >= 0)
            noteOffs.push_back({std::min(pendingNoteOff[note], endTick), note});
    std::sort(noteOffs.begin(), noteOffs.end());

    juce::MemoryOutputStream file;
    const juce::uint8 header[] = {0, 1, 0, 3, static_cast<juce::uint8>(ppq >> 8), static_cast<juce::uint8>(ppq)};
    writeChunk(file, "MThd", header, sizeof header);
    for (const auto* track : {&conductor, &player, &drums})
    {
        const auto bytes = endedTrack(*track, endTick, track == &drums ? noteOffs : decltype(noteOffs){});
        writeChunk(file, "MTrk", bytes.getData(), bytes.getSize());
    }
    return file.getMemoryBlock();
}
