#include "ProcessorTestSupport.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

namespace
{
// A state block written byte by byte, as a host would hand it back.
struct Chunk
{
    Chunk& intRecord(const char* tag, juce::int32 value)
    {
        juce::uint32 bits;
        std::memcpy(&bits, &value, 4);
        return raw(tag, bits);
    }

    Chunk& floatRecord(const char* tag, float value)
    {
        juce::uint32 bits;
        std::memcpy(&bits, &value, 4);
        return raw(tag, bits);
    }

    Chunk& raw(const char* tag, juce::uint32 bits)
    {
        bytes.insert(bytes.end(), tag, tag + 4);
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF)); // little-endian
        return *this;
    }

    std::vector<char> bytes;
};

struct Values
{
    float volume = 0.25f;
    float tempo = 97.3f;
    int divisions = 4;
    int autoKick = 1;
    int autoSnare = 0;
    int drumKit = -1;
    int noteBase = 60;
    float scaleBase = 0.5f;
    int grava = 1;
    float break1 = 0.125f;
    float break2 = 0.75f;
};

// The records of one build, in their fixed order; the standalone build has "DRMK".
Chunk chunkOf(const Values& v, bool withDrumKit, const char* skippedTag = "")
{
    Chunk chunk;
    auto keep = [&](const char* tag)
    {
        return std::strcmp(tag, skippedTag) != 0;
    };
    if (keep("VOLU"))
        chunk.floatRecord("VOLU", v.volume);
    if (keep("TEMP"))
        chunk.floatRecord("TEMP", v.tempo);
    chunk.intRecord("HIHA", v.divisions).intRecord("AKIC", v.autoKick).intRecord("ASNA", v.autoSnare);
    if (withDrumKit)
        chunk.intRecord("DRMK", v.drumKit);
    for (int voice = 0; voice < 10; ++voice)
    {
        const std::string digit(1, static_cast<char>('0' + voice));
        chunk.intRecord(("DMN" + digit).c_str(), v.noteBase + voice);
        chunk.floatRecord(("VLS" + digit).c_str(), v.scaleBase + 0.01f * voice);
    }
    chunk.intRecord("GRVA", v.grava).floatRecord("BRE1", v.break1).floatRecord("BRE2", v.break2);
    return chunk;
}

void load(BattoAudioProcessor& processor, const Chunk& chunk, int size = -1)
{
    processor.setStateInformation(chunk.bytes.data(), size < 0 ? static_cast<int>(chunk.bytes.size()) : size);
}

// Every setting that travels in the state, as the processor reports it.
struct Snapshot
{
    explicit Snapshot(const BattoAudioProcessor& p)
        : volume(p.getVolume()), tempo(p.getTempoSetting()), divisions(p.getDivisionDuTempsSetting()),
          autoKick(p.isAutoKickOn()), autoSnare(p.isAutoSnareOn()), grava(p.isGravaEnabled()),
          break1(const_cast<BattoAudioProcessor&>(p).GetBreakParam1()),
          break2(const_cast<BattoAudioProcessor&>(p).GetBreakParam2())
    {
#if !BATTO_PLUGIN_BUILD
        drumKit = p.getDrumKit();
#endif
        for (int voice = 0; voice < 10; ++voice)
        {
            notes.push_back(p.getDrumNote(voice));
            scales.push_back(p.getVelocityScale(voice));
        }
    }

    bool operator==(const Snapshot& o) const
    {
        return volume == o.volume && tempo == o.tempo && divisions == o.divisions && autoKick == o.autoKick
               && autoSnare == o.autoSnare && grava == o.grava && break1 == o.break1 && break2 == o.break2
               && drumKit == o.drumKit && notes == o.notes && scales == o.scales;
    }

    double volume, tempo;
    int divisions;
    bool autoKick, autoSnare, grava;
    double break1, break2;
    int drumKit = 0;
    std::vector<int> notes;
    std::vector<float> scales;
};

void expectLoaded(const BattoAudioProcessor& p, const Values& v)
{
    EXPECT_EQ(p.getVolume(), static_cast<double>(v.volume));
    EXPECT_EQ(p.getTempoSetting(), static_cast<double>(v.tempo));
    EXPECT_EQ(p.getDivisionDuTempsSetting(), v.divisions);
    EXPECT_EQ(p.isAutoKickOn(), v.autoKick != 0);
    EXPECT_EQ(p.isAutoSnareOn(), v.autoSnare != 0);
    for (int voice = 0; voice < 10; ++voice)
    {
        EXPECT_EQ(p.getDrumNote(voice), v.noteBase + voice);
        EXPECT_EQ(p.getVelocityScale(voice), v.scaleBase + 0.01f * voice);
    }
    EXPECT_EQ(p.isGravaEnabled(), v.grava != 0);
    EXPECT_EQ(Snapshot(p).break1, static_cast<double>(v.break1));
    EXPECT_EQ(Snapshot(p).break2, static_cast<double>(v.break2));
}

constexpr bool standalone = BATTO_PLUGIN_BUILD == 0;
} // namespace

TEST(StateChunk, DefaultProcessorWritesItsRecordsInOrder)
{
    BattoAudioProcessor processor;
    juce::MemoryBlock written;
    written.append("ab", 2); // records are appended to what the block holds
    processor.getStateInformation(written);

    Values defaults;
    defaults.volume = 1.0f;
    defaults.tempo = 120.0f;
    defaults.divisions = 2;
    defaults.autoKick = defaults.autoSnare = standalone ? 1 : 0;
    defaults.drumKit = -3;
    defaults.grava = 0;
    defaults.break1 = defaults.break2 = 0.5f;
    Chunk expected;
    expected.bytes = {'a', 'b'};
    const auto records = chunkOf(defaults, standalone).bytes;
    expected.bytes.insert(expected.bytes.end(), records.begin(), records.end());
    // chunkOf numbers the drum notes from a base; the defaults are the General MIDI map.
    const int defaultNotes[10] = {38, 36, 42, 46, 51, 49, 50, 45, 43, 41};
    const size_t firstVoiceRecord = 2 + 8 * (standalone ? 6 : 5);
    for (int voice = 0; voice < 10; ++voice)
    {
        const size_t at = firstVoiceRecord + 16 * static_cast<size_t>(voice);
        expected.bytes[at + 4] = static_cast<char>(defaultNotes[voice]);
        const float one = 1.0f;
        std::memcpy(&expected.bytes[at + 12], &one, 4);
    }

    ASSERT_EQ(written.getSize(), 2u + (standalone ? 232u : 224u));
    EXPECT_EQ(std::vector<char>(static_cast<const char*>(written.getData()),
                                static_cast<const char*>(written.getData()) + written.getSize()),
              expected.bytes);
    const unsigned char volumeRecord[8] = {'V', 'O', 'L', 'U', 0x00, 0x00, 0x80, 0x3F};
    EXPECT_EQ(std::memcmp(static_cast<const char*>(written.getData()) + 2, volumeRecord, 8), 0);
}

TEST(StateChunk, WritingThenReadingRestoresEverySetting)
{
    BattoAudioProcessor source;
    source.setVolume(0.3);
    source.setTempo(97.3);
    source.chooseDivisionDuTemps(4);
    BlockDriver(source, 44100.0, 256).run(256); // the subdivision is applied by a block
    source.setAutoKick(false);
    source.setAutoSnare(true);
    source.setGravaEnabled(true);
    source.setBreakParam1(0.2);
    source.setBreakParam2(0.9);
    for (int voice = 0; voice < 10; ++voice)
    {
        source.setDrumNote(voice, 70 + voice);
        source.setVelocityScale(voice, 0.05f * static_cast<float>(voice));
    }
#if !BATTO_PLUGIN_BUILD
    source.setDrumKit(BattoAudioProcessor::kitExternalPlugin);
#endif
    juce::MemoryBlock state;
    source.getStateInformation(state);

    BattoAudioProcessor restored;
    restored.setStateInformation(state.getData(), static_cast<int>(state.getSize()));
    EXPECT_EQ(restored.getTempoSetting(), 97.30000305175781); // doubles travel as floats
    EXPECT_EQ(restored.getVolume(), static_cast<double>(0.3f));
    EXPECT_EQ(restored.getDivisionDuTempsSetting(), 4);
    EXPECT_EQ(restored.getDrumNote(9), 79);
    EXPECT_EQ(restored.getVelocityScale(9), 0.05f * 9.0f);
#if !BATTO_PLUGIN_BUILD
    EXPECT_EQ(restored.getDrumKit(), BattoAudioProcessor::kitExternalPlugin);
#endif
    juce::MemoryBlock again;
    restored.getStateInformation(again);
    EXPECT_EQ(again, state);
}

TEST(StateChunk, MissingRecordsAreSkippedAndAnUnexpectedOneStopsTheReader)
{
    const Values v;
    {
        BattoAudioProcessor processor;
        load(processor, chunkOf(v, standalone, "TEMP"));
        EXPECT_EQ(processor.getTempoSetting(), 120.0);
        Values withoutTempo = v;
        withoutTempo.tempo = 120.0f;
        expectLoaded(processor, withoutTempo);
    }
    {
        BattoAudioProcessor processor;
        const Snapshot before(processor);
        Chunk chunk = chunkOf(v, standalone);
        std::memcpy(&chunk.bytes[16], "XXXX", 4); // the third record's tag belongs to no record
        load(processor, chunk);
        EXPECT_EQ(processor.getVolume(), 0.25);
        EXPECT_EQ(processor.getTempoSetting(), static_cast<double>(97.3f));
        Snapshot after(processor);
        after.volume = before.volume;
        after.tempo = before.tempo;
        EXPECT_TRUE(after == before) << "nothing after the unexpected record is read";
    }
}

TEST(StateChunk, ShortBlocksChangeNothingAndExtraRecordsAreIgnored)
{
    const Values v;
    for (int size : {0, 7})
    {
        BattoAudioProcessor processor;
        const Snapshot before(processor);
        load(processor, chunkOf(v, standalone), size);
        EXPECT_TRUE(Snapshot(processor) == before) << size;
    }
    {
        BattoAudioProcessor processor;
        processor.setStateInformation(nullptr, 100);
        EXPECT_TRUE(Snapshot(processor) == Snapshot(BattoAudioProcessor()));
    }
    {
        BattoAudioProcessor processor;
        Chunk chunk = chunkOf(v, standalone);
        chunk.intRecord("MORE", 5).floatRecord("EXTR", 1.0f);
        load(processor, chunk);
        expectLoaded(processor, v);
    }
    {
        // A truncated block loads the records that fit entirely: VOLU, TEMP, and HIHA cut short.
        BattoAudioProcessor processor;
        load(processor, chunkOf(v, standalone), 20);
        EXPECT_EQ(processor.getVolume(), 0.25);
        EXPECT_EQ(processor.getTempoSetting(), static_cast<double>(97.3f));
        EXPECT_EQ(processor.getDivisionDuTempsSetting(), 2);
    }
}

TEST(StateChunk, BlocksOfTheOtherBuild)
{
    const Values v;
    BattoAudioProcessor processor;
    const Snapshot before(processor);
#if BATTO_PLUGIN_BUILD
    // A standalone block: "DRMK" stands where "DMN0" is expected, and nothing from there loads.
    load(processor, chunkOf(v, true));
    EXPECT_EQ(processor.getVolume(), 0.25);
    EXPECT_EQ(processor.getDivisionDuTempsSetting(), 4);
    EXPECT_TRUE(processor.isAutoKickOn());
    EXPECT_EQ(processor.getDrumNote(0), before.notes[0]);
    EXPECT_EQ(processor.getVelocityScale(9), before.scales[9]);
    EXPECT_EQ(processor.isGravaEnabled(), before.grava);
    EXPECT_EQ(processor.GetBreakParam2(), before.break2);
#else
    // A plug-in block: "DRMK" is missing, the drum kit keeps its value, everything else loads.
    load(processor, chunkOf(v, false));
    expectLoaded(processor, v);
    EXPECT_EQ(processor.getDrumKit(), before.drumKit);
#endif
}

TEST(StateChunk, ValuesThatWouldStallTheEngineKeepThePreviousSetting)
{
    Values hazards;
    hazards.volume = std::numeric_limits<float>::infinity();
    hazards.tempo = 0.0f;
    hazards.divisions = 3;
    hazards.scaleBase = std::nanf("");
    hazards.break1 = std::nanf("");
    hazards.break2 = -1.0e22f;
    BattoAudioProcessor processor;
    load(processor, chunkOf(hazards, standalone));
    EXPECT_EQ(processor.getVolume(), 1.0);
    EXPECT_EQ(processor.getTempoSetting(), 120.0);
    EXPECT_EQ(processor.getDivisionDuTempsSetting(), 2);
    EXPECT_EQ(processor.getVelocityScale(0), 1.0f);
    EXPECT_EQ(processor.GetBreakParam1(), 0.5);
    EXPECT_EQ(processor.GetBreakParam2(), 0.5);
    EXPECT_EQ(processor.getDrumNote(9), hazards.noteBase + 9); // the rest loads

    for (float tempo : {-120.0f, std::nanf(""), std::numeric_limits<float>::infinity()})
    {
        hazards.tempo = tempo;
        load(processor, chunkOf(hazards, standalone));
        EXPECT_EQ(processor.getTempoSetting(), 120.0) << tempo;
    }

    // Everything else stays as read: a drum note of 200 and a scale of 3.0.
    Values odd;
    odd.noteBase = 200;
    odd.scaleBase = 3.0f;
    load(processor, chunkOf(odd, standalone));
    EXPECT_EQ(processor.getDrumNote(0), 200);
    EXPECT_EQ(processor.getVelocityScale(0), 3.0f);
}

TEST(StateChunk, LoadedTempoAndSubdivisionReachTheEngine)
{
    BattoAudioProcessor processor;
    BlockDriver driver(processor, 44100.0, 512);
    Values v;
    v.tempo = 60.0f;
    v.divisions = 1;
    load(processor, chunkOf(v, standalone));
    driver.run(512);
    EXPECT_DOUBLE_EQ(processor.divisionDuration, 44100.0);
}

TEST(StateChunk, SwitchingTheBassFollowerReleasesTheKeysItStillHolds)
{
    // A key held when a chunk switches the follower off, and released while it is off, must
    // not stay "held" when a chunk switches it on again: a stale low key keeps every higher
    // key off the bass line, and the drummer would hear nothing.
    BattoAudioProcessor processor;
    BlockDriver driver(processor, 44100.0, 512);
    processor.setGravaEnabled(true);
    processor.start();
    driver.run(512);
    driver.run(512, {{10, noteOn(40, 100)}});
    ASSERT_EQ(processor.getGravaProcessor().heldNotes.size(), 1u);

    Values v;
    v.divisions = 2;
    v.drumKit = BattoAudioProcessor::kitInternal;
    v.grava = 0;
    load(processor, chunkOf(v, standalone));
    driver.run(512, {{10, juce::MidiMessage::noteOff(1, 40)}}); // the follower does not see it
    v.grava = 1;
    load(processor, chunkOf(v, standalone));
    const int heardBefore = processor.lastNoteOnInstant.bar * 1000 + processor.lastNoteOnInstant.beat;
    for (int block = 0; block < 200; ++block)
        driver.run(512, {{100, noteOn(60, 100)}, {400, juce::MidiMessage::noteOff(1, 60)}});

    ASSERT_EQ(processor.getGravaProcessor().heldNotes.size(), 0u);
    EXPECT_NE(processor.lastNoteOnInstant.bar * 1000 + processor.lastNoteOnInstant.beat, heardBefore)
        << "the drummer answers the new bass notes";
}

TEST(StateChunk, SubdivisionLoadedMidBeatWaitsForTheNextBeat)
{
    // Running in sixteenths, a chunk with quarter notes arrives on the third sixteenth of a
    // beat. Applied there, the bar position would run past 31 and the display would get an
    // out-of-range code; it waits for the beat like the editor's choice.
    BattoAudioProcessor processor;
    processor.displayCodes.open();
    BlockDriver driver(processor, 44100.0, 256);
    processor.chooseDivisionDuTemps(4);
    driver.run(256);
    processor.start();
    int blocks = 0;
    while (!(processor.nextInstant.beat == 3 && processor.nextInstant.division >= 2) && blocks < 2000)
    {
        driver.run(256);
        ++blocks;
    }
    ASSERT_LT(blocks, 2000);

    Values v;
    v.divisions = 1;
    v.drumKit = BattoAudioProcessor::kitInternal;
    load(processor, chunkOf(v, standalone));
    EXPECT_EQ(processor.getDivisionDuTempsSetting(), 1) << "the loaded value is the setting at once";
    RecordingDisplay display;
    processor.displayCodes.drain(display);
    display.codes.clear();
    int furthestPosition = 0;
    for (int block = 0; block < 400; ++block)
    {
        driver.run(256);
        furthestPosition = std::max(furthestPosition, processor.positionInBar(processor.currentInstant));
        processor.displayCodes.drain(display);
    }
    EXPECT_LE(furthestPosition, 31);
    EXPECT_EQ(*processor.getDivisionDuTemps(), 1);
    int furthestShown = 0;
    for (const auto& [code, highlighted] : display.codes)
        if (!highlighted)
            furthestShown = std::max(furthestShown, code);
    EXPECT_LE(furthestShown, 31) << "progression-bar positions";
}
