#include "ProcessorTestSupport.h"

#include <algorithm>
#include <cmath>

namespace
{
constexpr double rate = 44100.0;
constexpr int blockSize = 512;

// A processor whose hits come out as MIDI in both builds, with no automatic kick or snare
// so that the player's notes decide the kicks.
struct MidiSoundingProcessor
{
    MidiSoundingProcessor()
    {
#if !BATTO_PLUGIN_BUILD
        processor.setDrumKit(BattoAudioProcessor::kitExternalPlugin);
#endif
        processor.setAutoKick(false);
        processor.setAutoSnare(false);
        processor.displayCodes.open();
    }

    std::vector<std::pair<int, bool>> drainCodes()
    {
        RecordingDisplay display;
        processor.displayCodes.drain(display);
        return display.codes;
    }

    BattoAudioProcessor processor;
    BlockDriver driver{processor, rate, blockSize};
};

bool contains(const std::vector<std::pair<int, bool>>& codes, std::pair<int, bool> code)
{
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

bool isNoteOff(const Event& event)
{
    return (event.bytes[0] & 0xF0) == 0x80;
}

// The code that displayMidiIn sent for the last analysed note, or -1.
int lastMidiInCode(const std::vector<std::pair<int, bool>>& codes)
{
    int found = -1;
    for (const auto& [code, highlighted] : codes)
        if (highlighted && code >= 0 && code <= 5)
            found = code;
    return found;
}
} // namespace

TEST(BlockLoop, HitDecidedAtASampleIsANoteOnAtThatSampleAndNoNoteOffEverFollows)
{
    MidiSoundingProcessor fixture;
    auto& driver = fixture.driver;
    fixture.processor.start();
    driver.run(blockSize); // the first instant falls one block after the start
    const auto hits = eventsOf(driver.run(blockSize, {{37, noteOn(60, 64)}}));

    // The first instant is reached at sample 0; the note at 37 falls in its late window and
    // its kick sounds at once, at the drummer's level (90 / 2 + 59 on beat 1).
    const std::vector<Event> expected{{0, {0x99, 42, 104}}, {37, {0x99, 36, 104}}};
    EXPECT_EQ(hits, expected);

    for (int block = 0; block < 200; ++block)
        for (const auto& event : eventsOf(driver.run(blockSize, {{block % blockSize, noteOn(40, 90)}})))
        {
            EXPECT_FALSE(isNoteOff(event)) << event;
            EXPECT_EQ(event.bytes[0], 0x99) << event;
        }
}

TEST(BlockLoop, DrumMapAndVelocityScaleShapeTheNoteOn)
{
    struct Case
    {
        int drumNote;
        float scale;
        int velocity;
        int expectedNote;
        int expectedVelocity;
    };
    const Case cases[] = {
        {200, 0.5f, 100, 72, 50},                           // the note is masked to 7 bits
        {36, 0.7f, 100, 36, 70},                            // single precision: 100 * 0.7f is 70, not 69
        {36, 1.0f, 127, 36, 127}, {36, 3.0f, 100, 36, 127}, // saturates
        {38, 1.0f, 0, 38, 0},                               // a velocity-0 hit is still sent
        {38, -1.0f, 100, 38, 0},                            // a negative scale sends no byte above 127
        {38, 1.0f, 400, 38, 127},                           // a preview velocity is limited to the MIDI range
    };
    for (const auto& c : cases)
    {
        MidiSoundingProcessor fixture;
        fixture.processor.setDrumNote(Batto::Kick, c.drumNote);
        fixture.processor.setVelocityScale(Batto::Kick, c.scale);
        fixture.driver.run(blockSize); // settings reach the audio thread
        fixture.processor.previewVoice(Batto::Kick, c.velocity);
        const auto out = eventsOf(fixture.driver.run(blockSize));
        const std::vector<Event> expected{{0, {0x99, c.expectedNote, c.expectedVelocity}}};
        EXPECT_EQ(out, expected) << "note " << c.drumNote << " scale " << c.scale << " velocity "
                                 << c.velocity;
    }
}

TEST(BlockLoop, ADueStepRunsBeforeANoteOnAtTheSameSample)
{
    // The first instant is due at sample 512, that is sample 0 of the second block.
    // displayMidiIn's bit 0 tells whether the instant had been reached when the note came.
    struct Case
    {
        int block;
        int position;
        int reachedBit;
    };
    for (const Case c : {Case{1, 511, 0}, Case{2, 0, 1}})
    {
        MidiSoundingProcessor fixture;
        fixture.processor.start();
        for (int block = 1; block <= c.block; ++block)
            fixture.driver.run(
                blockSize, block == c.block
                               ? std::vector<std::pair<int, juce::MidiMessage>>{{c.position, noteOn(60, 64)}}
                               : std::vector<std::pair<int, juce::MidiMessage>>{});
        auto codes = fixture.drainCodes();
        ASSERT_FALSE(codes.empty());
        EXPECT_EQ(codes.front(), std::make_pair(int{DisplayCode::performanceReset}, true)) << "Start resets first";
        codes.erase(codes.begin());
        ASSERT_NE(lastMidiInCode(codes), -1) << "block " << c.block;
        EXPECT_EQ(lastMidiInCode(codes) & 1, c.reachedBit) << "block " << c.block;
        if (c.reachedBit == 1)
        {
            EXPECT_EQ(codes.front(), std::make_pair(0, false))
                << "the step's progression display comes first";
        }
    }
}

TEST(BlockLoop, EarlyNotesReachTheEngineOnlyWithinTheNoteWindow)
{
    // 44 100 Hz, 120 bpm, 2 subdivisions: the window is 1749.5 samples (about 40 ms).
    struct Case
    {
        int samplesBeforeStart;
        bool reachesEngine;
    };
    for (const Case c : {Case{44, true}, Case{1700, true}, Case{1800, false}, Case{4410, false}})
    {
        MidiSoundingProcessor fixture;
        const int stoppedBlocks = 12;
        const int noteAt = stoppedBlocks * blockSize - c.samplesBeforeStart;
        for (int block = 0; block < stoppedBlocks; ++block)
        {
            const int offset = noteAt - block * blockSize;
            if (offset >= 0 && offset < blockSize)
                EXPECT_TRUE(fixture.driver.run(blockSize, {{offset, noteOn(60, 70)}}).isEmpty());
            else
                fixture.driver.run(blockSize);
        }
        fixture.drainCodes();
        fixture.processor.start();
        fixture.driver.run(blockSize);
        EXPECT_EQ(lastMidiInCode(fixture.drainCodes()) != -1, c.reachesEngine) << c.samplesBeforeStart;
        EXPECT_EQ(fixture.processor.lastNoteOnInstant.bar, c.reachesEngine ? 0 : -1) << c.samplesBeforeStart;
    }
}

TEST(BlockLoop, EarlyNotesKeepTheirAgeWhenTheBlockSizeChanges)
{
    // Received in a long block followed by a short one: the note 44 ms before the start is
    // too old, the one 1 ms before it reaches the engine. Ages count from the block that
    // received the notes.
    MidiSoundingProcessor fixture;
    fixture.driver.run(2048, {{100, noteOn(50, 70)}, {2048 - 44, noteOn(60, 70)}});
    fixture.processor.start();
    fixture.driver.run(256);
    EXPECT_EQ(fixture.processor.lastNoteOnInstant.bar, 0);
    const auto codes = fixture.drainCodes();
    EXPECT_EQ(std::count_if(codes.begin(), codes.end(),
                            [](const auto& code)
                            {
                                return code.second && code.first <= 5;
                            }),
              1);
}

TEST(BlockLoop, StoppedBlocksOutputOnlyPreviewsAndHoldTheInput)
{
    MidiSoundingProcessor fixture;
    auto& driver = fixture.driver;
    EXPECT_TRUE(driver.run(blockSize, {{10, noteOn(60, 100)}, {20, noteOn(62, 100)}}).isEmpty());

    fixture.processor.previewVoice(Batto::Snare, 127);
    const std::vector<Event> preview{{0, {0x99, 38, 127}}};
    EXPECT_EQ(eventsOf(driver.run(blockSize, {{5, noteOn(64, 100)}})), preview);
    EXPECT_TRUE(driver.run(blockSize).isEmpty());
}

TEST(BlockLoop, StopResetsTheEngineAtTheNextBlock)
{
    MidiSoundingProcessor fixture;
    auto& processor = fixture.processor;
    processor.start();
    for (int block = 0; block < 50; ++block)
        fixture.driver.run(blockSize);
    EXPECT_TRUE(processor.isRunning());
    EXPECT_GT(processor.currentInstant.beat, 0);

    processor.stop();
    EXPECT_TRUE(fixture.driver.run(blockSize).isEmpty());
    EXPECT_FALSE(processor.isRunning());
    const Batto::instantRythmique startOfPerformance{0, 0, 0, 0, blockSize};
    EXPECT_EQ(processor.nextInstant, startOfPerformance);
#if !BATTO_PLUGIN_BUILD
    for (int voice = 0; voice < Batto::numVoices; ++voice)
        EXPECT_EQ(processor.getVoiceVelocity(voice), 0) << voice;
#endif
}

TEST(BlockLoop, SubdivisionChoiceWaitsForTheNextBeatWhileRunning)
{
    MidiSoundingProcessor fixture;
    auto& processor = fixture.processor;
    processor.start();
    fixture.driver.run(blockSize);
    fixture.driver.run(blockSize); // beat 1 of bar 0 reached at sample 0
    processor.chooseDivisionDuTemps(4);
    fixture.drainCodes();

    // The next beat is 22 050 samples later: sample 22 562, in block 45.
    for (int block = 3; block <= 44; ++block)
        fixture.driver.run(blockSize);
    EXPECT_EQ(processor.getDivisionDuTempsSetting(), 4); // the user's choice
    EXPECT_EQ(*processor.getDivisionDuTemps(), 2);       // the engine's count
    EXPECT_EQ(processor.getWaitForTheTimeToUpdateProgressionBarDisplay(), 4);
    EXPECT_DOUBLE_EQ(processor.divisionDuration, 11025.0);
    EXPECT_FALSE(contains(fixture.drainCodes(), {12, true}));

    fixture.driver.run(blockSize);
    EXPECT_EQ(*processor.getDivisionDuTemps(), 4);
    EXPECT_EQ(processor.getWaitForTheTimeToUpdateProgressionBarDisplay(), 0);
    EXPECT_DOUBLE_EQ(processor.divisionDuration, 5512.5);
    EXPECT_TRUE(contains(fixture.drainCodes(), {12, true}));
}

TEST(BlockLoop, SubdivisionChoiceAppliesAtOnceWhileStoppedAndWhenStopping)
{
    {
        MidiSoundingProcessor fixture;
        fixture.processor.chooseDivisionDuTemps(1);
        fixture.driver.run(blockSize);
        EXPECT_EQ(*fixture.processor.getDivisionDuTemps(), 1);
        EXPECT_DOUBLE_EQ(fixture.processor.divisionDuration, 22050.0);
        EXPECT_EQ(fixture.drainCodes(), (std::vector<std::pair<int, bool>>{{12, true}}));
    }
    {
        MidiSoundingProcessor fixture;
        fixture.processor.start();
        fixture.driver.run(blockSize);
        fixture.driver.run(blockSize); // past the first beat
        fixture.processor.chooseDivisionDuTemps(4);
        fixture.driver.run(blockSize);
        EXPECT_EQ(*fixture.processor.getDivisionDuTemps(), 2);
        fixture.processor.stop();
        fixture.driver.run(blockSize);
        EXPECT_EQ(*fixture.processor.getDivisionDuTemps(), 4);
        EXPECT_DOUBLE_EQ(fixture.processor.divisionDuration, 5512.5);
    }
}

TEST(BlockLoop, ValuesThatWouldStallTheEngineAreRefused)
{
    BattoAudioProcessor::Settings unusable;
    unusable.tempo = 0.0;
    unusable.divisionDuTemps = 3;
    unusable.breakParam1 = std::nan("");
    unusable.velocityScales[2] = std::numeric_limits<float>::infinity();
    unusable.drumNotes[1] = 200; // not a hazard: kept, masked when sent
    BattoAudioProcessor processor(unusable);
    EXPECT_EQ(processor.getTempoSetting(), 120.0);
    EXPECT_EQ(processor.getDivisionDuTempsSetting(), 2);
    EXPECT_EQ(processor.GetBreakParam1(), 0.5);
    EXPECT_EQ(processor.getVelocityScale(2), 1.0f);
    EXPECT_EQ(processor.getDrumNote(1), 200);

    for (double tempo : {0.0, -60.0, std::nan(""), std::numeric_limits<double>::infinity(), 1.0e7, 0.001})
    {
        processor.setTempo(tempo);
        EXPECT_EQ(processor.getTempoSetting(), 120.0) << tempo;
    }
    processor.setVelocityScale(0, std::nanf(""));
    EXPECT_EQ(processor.getVelocityScale(0), 1.0f);
    // The volume and the sensitivities come from sliders, 0..1. A stored value outside that
    // range is used as read, up to a bound within which every threshold and sample fits its
    // type (at 1000 the thresholds stay within some 140 000); past it, or not a number, the
    // setting keeps its value.
    struct Level
    {
        double value;
        bool kept;
    };
    const Level levels[] = {{-0.5, true},
                            {2.5, true},
                            {-1000.0, true},
                            {1000.0, true},
                            {1000.5, false},
                            {-1.0e22, false},
                            {1.0e22, false},
                            {std::nan(""), false},
                            {-std::numeric_limits<double>::infinity(), false}};
    for (const Level& level : levels)
    {
        const double expected = level.kept ? level.value : 0.25;
        processor.setVolume(0.25);
        processor.setBreakParam1(0.25);
        processor.setBreakParam2(0.25);
        processor.setVolume(level.value);
        processor.setBreakParam1(level.value);
        processor.setBreakParam2(level.value);
        EXPECT_EQ(processor.getVolume(), expected) << level.value;
        EXPECT_EQ(processor.GetBreakParam1(), expected) << level.value;
        EXPECT_EQ(processor.GetBreakParam2(), expected) << level.value;
#if !BATTO_PLUGIN_BUILD
        processor.setClickVolume(0.25);
        processor.setClickVolume(level.value);
        EXPECT_EQ(processor.getClickVolume(), expected) << level.value;
#endif
    }
    processor.setBreakParam1(0.5);
    processor.setBreakParam2(0.5);

    // An unusable sample rate keeps the last usable one, and blocks still run.
    BlockDriver driver(processor, 0.0, blockSize);
    EXPECT_DOUBLE_EQ(processor.divisionDuration, 11025.0);
    EXPECT_EQ(processor.getOneOrSampleRatePerMs(), 44);
    processor.chooseDivisionDuTemps(3);
    processor.start();
    for (int block = 0; block < 10; ++block)
        driver.run(blockSize, {{3, noteOn(50, 100)}});
    EXPECT_EQ(processor.getDivisionDuTempsSetting(), 2);
}

TEST(BlockLoop, PrepareTakesTheProcessorsRateWhenGivenNone)
{
    BattoAudioProcessor processor;
    processor.setRateAndBufferSizeDetails(48000.0, 256);
    processor.prepareToPlay(0.0, 256);
    EXPECT_DOUBLE_EQ(processor.divisionDuration, 12000.0);
    EXPECT_EQ(processor.getOneOrSampleRatePerMs(), 48);
}

TEST(BlockLoop, TempoChangeReachesTheEngineAtTheNextBlock)
{
    MidiSoundingProcessor fixture;
    fixture.processor.setTempo(60.0);
    EXPECT_DOUBLE_EQ(fixture.processor.divisionDuration, 11025.0);
    fixture.driver.run(blockSize);
    EXPECT_DOUBLE_EQ(fixture.processor.divisionDuration, 22050.0);
    EXPECT_EQ(*fixture.processor.getTempo(), 60.0);
}

TEST(BlockLoop, ZeroAndOverlongBlocksRunTheClockOn)
{
    MidiSoundingProcessor fixture;
    fixture.processor.start();
    fixture.driver.run(0);
    fixture.driver.run(blockSize);
    fixture.driver.run(0);
    // 64 times the prepared size: three subdivisions of hi-hats, each on its own sample
    // (every half subdivision of 5512.5 samples is truncated), the off-beat one softer.
    const std::vector<Event> hiHats{{0, {0x99, 42, 104}}, {11024, {0x99, 42, 65}}, {22048, {0x99, 42, 104}}};
    EXPECT_EQ(eventsOf(fixture.driver.run(64 * blockSize)), hiHats);
    EXPECT_EQ(fixture.processor.nextInstant.time, 33072 - 64 * blockSize);
}

TEST(DisplayCodes, EngineReportsBecomeCodes)
{
    BattoAudioProcessor processor;
    processor.displayCodes.open();
    processor.displayMidiIn(5);
    processor.displayBreakCreshendo(0);
    processor.displayBreakCreshendo(3);
    processor.displayBreakCreshendo(4); // more than 3 subdivisions: not shown
    processor.updateProgressionBarDisplay();
    processor.displayCrashRoulement();
    processor.displaySpecialevent(2);
    processor.displayProgressionBar(31, 4);
    RecordingDisplay display;
    EXPECT_EQ(processor.displayCodes.drain(display), 7);
    const std::vector<std::pair<int, bool>> expected{{5, true},  {6, true},  {9, true},  {12, true},
                                                     {13, true}, {16, true}, {31, false}};
    EXPECT_EQ(display.codes, expected);
}

TEST(DisplayCodes, QueueDropsCodesWithNoReaderOrNoRoom)
{
    DisplayCodeFifo fifo;
    RecordingDisplay display;
    fifo.push(1, true); // no reader yet
    EXPECT_EQ(fifo.drain(display), 0);

    fifo.open();
    for (int code = 0; code < DisplayCodeFifo::capacity + 10; ++code)
        fifo.push(code, code % 2 == 0);
    EXPECT_EQ(fifo.drain(display), DisplayCodeFifo::capacity);
    EXPECT_EQ(display.codes.back(), std::make_pair(DisplayCodeFifo::capacity - 1, false));

    fifo.push(7, true);
    fifo.close();
    fifo.push(8, true);
    fifo.open(); // a new reader does not see what an old one left
    fifo.push(9, true);
    display.codes.clear();
    fifo.drain(display);
    EXPECT_EQ(display.codes, (std::vector<std::pair<int, bool>>{{9, true}}));
}

TEST(DisplayCodes, DrainIntoAnEditorCallsSetControlHighlight)
{
    struct Editor : juce::AudioProcessorEditor
    {
        explicit Editor(juce::AudioProcessor& owner) : juce::AudioProcessorEditor(owner)
        {
        }
        void setControlHighlight(ParameterControlHighlightInfo info) override
        {
            received.push_back(info);
        }
        std::vector<ParameterControlHighlightInfo> received;
    };
    const juce::ScopedJuceInitialiser_GUI gui;
    BattoAudioProcessor processor;
    Editor editor(processor);
    processor.displayCodes.open();
    processor.displayCrashRoulement();
    processor.displayCodes.drain(editor);
    ASSERT_EQ(editor.received.size(), 1u);
    EXPECT_EQ(editor.received[0].parameterIndex, 13);
    EXPECT_TRUE(editor.received[0].isHighlighted);
    EXPECT_EQ(editor.received[0].suggestedColour.getARGB(), 0u);
}

TEST(ProcessorIdentity, BuildsAnswerAsTheirDeliverable)
{
    BattoAudioProcessor processor;
    EXPECT_EQ(processor.getName(), BATTO_PLUGIN_BUILD ? "Batto MIDI FX" : "Batto");
    EXPECT_EQ(processor.acceptsMidi(), BATTO_PLUGIN_BUILD != 0);
    EXPECT_EQ(processor.producesMidi(), BATTO_PLUGIN_BUILD != 0);
    EXPECT_TRUE(processor.hasEditor());
    EXPECT_FALSE(processor.silenceInProducesSilenceOut());
    EXPECT_EQ(processor.getNumPrograms(), 1);
    EXPECT_EQ(processor.getProgramName(0), "");
    // No host parameters of its own (a plug-in wrapper adds its bypass switch).
    EXPECT_TRUE(processor.getParameters().isEmpty());
    EXPECT_DOUBLE_EQ(processor.divisionDuration, 22050.0);
    EXPECT_EQ(*processor.getAutoKick(), BATTO_PLUGIN_BUILD == 0);
}

TEST(BlockLoop, ASubdivisionChoiceIsTheSettingAtOnceEvenWithNoAudio)
{
    // No device, or a host that stopped processing: the choice is what the state saves.
    BattoAudioProcessor processor;
    processor.chooseDivisionDuTemps(4);
    EXPECT_EQ(processor.getDivisionDuTempsSetting(), 4);
    juce::MemoryBlock state;
    processor.getStateInformation(state);
    BattoAudioProcessor restored;
    restored.setStateInformation(state.getData(), static_cast<int>(state.getSize()));
    EXPECT_EQ(restored.getDivisionDuTempsSetting(), 4);

    // Running, the setting is the choice while the engine keeps its subdivision to the beat.
    MidiSoundingProcessor fixture;
    fixture.processor.start();
    fixture.driver.run(blockSize);
    fixture.driver.run(blockSize); // the first beat is reached at this block's start
    fixture.processor.chooseDivisionDuTemps(1);
    fixture.driver.run(blockSize);
    EXPECT_EQ(fixture.processor.getDivisionDuTempsSetting(), 1);
    EXPECT_EQ(*fixture.processor.getDivisionDuTemps(), 2);
}

TEST(BlockLoop, StartAndStopAreNeverLost)
{
    // Without audio blocks the user may choose subdivisions and press Start and Stop any
    // number of times; the last word counts when blocks come.
    {
        MidiSoundingProcessor fixture;
        for (int choice = 0; choice < 1000; ++choice)
            fixture.processor.chooseDivisionDuTemps(choice % 2 == 0 ? 1 : 4);
        for (int voice = 0; voice < 1000; ++voice)
            fixture.processor.previewVoice(Batto::Snare, 100);
        fixture.processor.start();
        fixture.driver.run(blockSize);
        EXPECT_TRUE(fixture.processor.isRunning());
        EXPECT_EQ(*fixture.processor.getDivisionDuTemps(), 4);

        for (int press = 0; press < 1000; ++press)
        {
            fixture.processor.start();
            fixture.processor.stop();
        }
        fixture.driver.run(blockSize);
        EXPECT_FALSE(fixture.processor.isRunning());
    }
    {
        // Stop then Start before the next block starts the performance again from bar 0.
        MidiSoundingProcessor fixture;
        fixture.processor.start();
        for (int block = 0; block < 300; ++block)
            fixture.driver.run(blockSize);
        ASSERT_GT(fixture.processor.currentInstant.bar, 0);
        fixture.processor.stop();
        fixture.processor.start();
        fixture.driver.run(blockSize);
        EXPECT_TRUE(fixture.processor.isRunning());
        EXPECT_EQ(fixture.processor.currentInstant.bar, 0);
    }
}

TEST(BlockLoop, AFillAndItsCrashRollCrossBlockBoundaries)
{
    // 44 100 Hz, 120 bpm in eighths: a subdivision is 11 025 samples, some twenty blocks.
    // The fill starts just before beat 2 of bar 1 and the player rolls one note per
    // subdivision, 10 ms late. The pulse is measured across blocks, so the engine's record
    // of the last roll note must move with every block: one note 27 ms off the pulse turns
    // the rest of the fill into toms. A loud note 10 ms before the bar line ends the fill
    // with a crash roll on it.
    struct Case
    {
        const char* what;
        double thirdNoteLate;                           // ms after position 16
        std::vector<std::vector<int>> notesAtRollNotes; // what sounds at 12, 16, 20 and 28
    };
    const Case cases[] = {
        {"on the pulse", 10.0, {{36, 38}, {36, 38}, {36, 38}, {36, 41}}}, // snare and kick, low tom at 28
        {"one note off", 37.0, {{36, 38}, {45}, {43}, {41}}},             // high, middle, low tom
    };
    for (const Case& c : cases)
    {
        MidiSoundingProcessor fixture;
        auto& processor = fixture.processor;
        processor.setAutoKick(true);
        processor.start();
        const double subdivision = 11025.0;
        const auto sampleOf = [&](int bar, int position, double milliseconds)
        {
            // The grid starts one block after Start.
            return static_cast<long long>(blockSize + (bar * 32 + position) * subdivision / 4
                                          + milliseconds * 44.1);
        };
        const std::vector<long long> rollNotes{sampleOf(1, 12, 10), sampleOf(1, 16, c.thirdNoteLate),
                                               sampleOf(1, 20, 10), sampleOf(1, 28, 10)};
        std::vector<std::pair<long long, int>> notes{{sampleOf(1, 8, -10), 127}};
        for (const long long sample : rollNotes)
            notes.push_back({sample, 100});
        notes.push_back({sampleOf(1, 24, 10), 100});
        notes.push_back({sampleOf(2, 0, -10), 100});
        std::sort(notes.begin(), notes.end());

        std::vector<std::pair<long long, Event>> out;
        std::vector<std::pair<int, bool>> codes;
        for (long long blockStart = 0; blockStart < sampleOf(2, 8, 0); blockStart += blockSize)
        {
            std::vector<std::pair<int, juce::MidiMessage>> in;
            for (const auto& [sample, velocity] : notes)
                if (sample >= blockStart && sample < blockStart + blockSize)
                    in.push_back({static_cast<int>(sample - blockStart), noteOn(60, velocity)});
            for (const auto& event : eventsOf(fixture.driver.run(blockSize, in)))
                out.push_back({blockStart + event.position, event});
            for (const auto& code : fixture.drainCodes())
                codes.push_back(code);
        }
        const auto notesAt = [&](long long sample)
        {
            std::vector<int> found;
            for (const auto& [at, event] : out)
                if (at == sample)
                    found.push_back(event.bytes[1]);
            std::sort(found.begin(), found.end());
            return found;
        };

        for (size_t i = 0; i < rollNotes.size(); ++i)
            EXPECT_EQ(notesAt(rollNotes[i]), c.notesAtRollNotes[i]) << c.what << ", roll note " << i;
        EXPECT_TRUE(notesAt(sampleOf(2, 0, -10)).empty())
            << c.what << ": the crash roll waits for the bar line";
        EXPECT_EQ(std::count(codes.begin(), codes.end(), std::make_pair(13, true)), 1) << c.what;
        // Kick, crash and the ride of the phrase that the crash opens, together on the bar line.
        bool crashRollOnTheBarLine = false;
        for (const auto& [at, event] : out)
            if (event.bytes[1] == 49 && at > sampleOf(2, 0, -10))
                crashRollOnTheBarLine = notesAt(at) == std::vector<int>{36, 49, 51};
        EXPECT_TRUE(crashRollOnTheBarLine) << c.what;
    }
}
