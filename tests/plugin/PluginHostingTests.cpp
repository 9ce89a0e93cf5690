// The built BattoMidiFx bundles in JUCE's own plug-in hosting, as a DAW loads them.
#include "PluginHostTestSupport.h"

namespace
{
constexpr double rate = 48000.0;
constexpr int eighth = 12000; // at 120 bpm
constexpr int bar = 8 * eighth;

const Format formats[] = {Format::vst3, Format::lv2};

// What the drummer plays with the plug-in's defaults (eighths, no automatic kick or snare,
// sensitivities 0.5), worked out from its rules: a closed hi-hat on every eighth, velocity
// 104 on the beat and 65 (0.625 of it: eighths of 250 ms) between, and an open hi-hat (104)
// on the last eighth of the second bar of each two-bar phrase. A player who keeps playing
// keeps the phrase from moving on, so only the first phrase ends with an open hi-hat.
std::vector<Hit> groove(int bars, bool playerPlaysInTheSecondBar)
{
    std::vector<Hit> hits;
    for (int k = 0; k < 8 * bars; ++k)
    {
        const bool phraseEnd = playerPlaysInTheSecondBar ? k == 15 : k % 16 == 15;
        hits.push_back({k * eighth, 0x99, phraseEnd ? 46 : 42, phraseEnd || k % 2 == 0 ? 104 : 65});
    }
    return hits;
}

// The hash that the framework's VST3 hosting gives the class id (its "deprecated uid").
int vst3ClassIdHash(const char* hex)
{
    juce::uint32 value = 0;
    for (int i = 0; i < 16; ++i)
    {
        const auto byte = static_cast<char>(juce::String(hex).substring(2 * i, 2 * i + 2).getHexValue32());
        value = value * 31 + static_cast<juce::uint32>(byte);
    }
    return static_cast<int>(value);
}
} // namespace

TEST(PluginIdentity, BothFormatsLoadAsTheDrummer)
{
    for (const auto format : formats)
    {
        HostedPlugin plugin(format, rate, 512);
        ASSERT_TRUE(plugin.isLoaded()) << nameOf(format);
        auto& instance = plugin.get();
        const auto description = instance.getPluginDescription();
        EXPECT_EQ(description.name, "Batto MIDI FX") << nameOf(format);
        EXPECT_TRUE(instance.acceptsMidi()) << nameOf(format);
        EXPECT_TRUE(instance.producesMidi()) << nameOf(format);
        EXPECT_FALSE(instance.isMidiEffect()) << nameOf(format);
        EXPECT_EQ(instance.getTotalNumInputChannels(), 2) << nameOf(format);
        EXPECT_EQ(instance.getTotalNumOutputChannels(), 2) << nameOf(format);
        EXPECT_EQ(instance.getLatencySamples(), 0) << nameOf(format);
        EXPECT_EQ(instance.getTailLengthSeconds(), 0.0) << nameOf(format);
        // The identity that saved projects refer to.
        if (format == Format::vst3)
            EXPECT_EQ(description.deprecatedUid, vst3ClassIdHash(BATTO_VST3_CLASS_ID));
        else
            EXPECT_EQ(description.fileOrIdentifier, BATTO_LV2_URI);
    }
}

TEST(HostedPlugin, TheGrooveAndThePlayersNotesLandOnTheHostsBeats)
{
    for (const auto format : formats)
    {
        HostedPlugin plugin(format, rate, 512);
        ASSERT_TRUE(plugin.isLoaded()) << nameOf(format);

        // Stopped, with no input: no MIDI out (and the audio untouched, as in every block).
        for (int block = 0; block < 20; ++block)
            EXPECT_TRUE(plugin.processBlock(512).isEmpty()) << nameOf(format);

        // The host plays 4/4 from bar 1 at 120 bpm; the player strikes beats 1 and 2 of bar 2
        // at velocity 90: a kick and a snare (104: the drummer's level, 90, halved plus 59).
        plugin.transport.playFrom(0);
        const auto hits =
            plugin.play(4 * bar, {{bar, juce::MidiMessage::noteOn(1, 60, juce::uint8(90))},
                                  {bar + 2 * eighth, juce::MidiMessage::noteOn(1, 62, juce::uint8(90))},
                                  {bar + 3 * eighth, juce::MidiMessage::noteOff(1, 62)}});
        auto expected = groove(4, true);
        expected.insert(expected.begin() + 9, {bar, 0x99, 36, 104});
        expected.insert(expected.begin() + 12, {bar + 2 * eighth, 0x99, 38, 104});
        EXPECT_EQ(hits, expected) << nameOf(format);
    }
}

TEST(HostedPlugin, AHostLoopOfTwoBarsRestartsTheGrooveOnTheLoopsFirstBar)
{
    for (const auto format : formats)
    {
        HostedPlugin plugin(format, rate, 512);
        ASSERT_TRUE(plugin.isLoaded()) << nameOf(format);
        plugin.transport.playFrom(0);
        const auto song = plugin.play(3 * bar);
        std::vector<Hit> passes[2];
        for (auto& pass : passes)
        {
            plugin.transport.playFrom(bar); // the loop's wrap
            pass = plugin.play(3 * bar);
        }

        EXPECT_EQ(song, groove(3, false)) << nameOf(format);
        auto loop = groove(2, false);
        for (auto& hit : loop)
            hit.sample += bar;
        EXPECT_EQ(passes[0], loop) << nameOf(format);
        EXPECT_EQ(passes[1], loop) << nameOf(format);
    }
}

TEST(HostedPlugin, SettingsTravelWithTheHostsProject)
{
    // Sixteenths, the closed hi-hat on note 44 at half velocity, the automatic kick on,
    // other sensitivities: unlike the defaults in every kind of record.
    DrummerSettings custom;
    custom.volume = 0.25f;
    custom.tempo = 97.5f;
    custom.divisions = 4;
    custom.autoKick = 1;
    custom.drumNotes[2] = 44;
    custom.velocityScales[2] = 0.5f;
    custom.bassFollower = 1;
    custom.velocitySensitivity = 0.25f;
    custom.dynamicSensitivity = 0.75f;

    // What a project can hold instead, and what the plug-in keeps of it: a chunk that the
    // standalone build wrote loads up to its "DRMK" record; a truncated one loads the records
    // it holds whole; garbage and nothing change nothing.
    DrummerSettings other;
    other.volume = 0.5f;
    other.tempo = 140.0f;
    other.divisions = 1;
    other.autoSnare = 1;
    other.drumNotes[2] = 50;
    DrummerSettings upToDrumKit = custom, firstThree = custom;
    upToDrumKit.volume = firstThree.volume = other.volume;
    upToDrumKit.tempo = firstThree.tempo = other.tempo;
    upToDrumKit.divisions = firstThree.divisions = other.divisions;
    upToDrumKit.autoKick = other.autoKick;
    upToDrumKit.autoSnare = other.autoSnare;
    juce::MemoryBlock truncated(other.chunk().getData(), 3 * 8 + 5);
    juce::MemoryBlock garbage;
    for (int i = 0; i < 100; ++i)
        garbage.append("\x9f\x13\xe2\x07\x51", 1 + i % 5);
    struct Case
    {
        const char* what;
        juce::MemoryBlock chunk;
        juce::MemoryBlock kept;
    };
    const Case cases[] = {
        {"the standalone build's chunk", other.chunk(true), upToDrumKit.chunk()},
        {"a truncated chunk", truncated, firstThree.chunk()},
        {"garbage", garbage, custom.chunk()},
        {"an empty chunk", {}, custom.chunk()},
    };

    for (const auto format : formats)
    {
        HostedPlugin saved(format, rate, 512), reopened(format, rate, 512);
        ASSERT_TRUE(saved.isLoaded() && reopened.isLoaded()) << nameOf(format);
        const auto load = [](HostedPlugin& plugin, const juce::MemoryBlock& hostState)
        {
            plugin.get().setStateInformation(hostState.getData(), static_cast<int>(hostState.getSize()));
        };
        const auto chunkOf = [format](HostedPlugin& plugin)
        {
            juce::MemoryBlock hostState;
            plugin.get().getStateInformation(hostState);
            return chunkInHostState(format, hostState);
        };

        // A fresh instance's state is the default chunk.
        juce::MemoryBlock model;
        saved.get().getStateInformation(model);
        EXPECT_EQ(chunkInHostState(format, model), DrummerSettings().chunk()) << nameOf(format);

        // One instance takes the settings; a second, fresh one restores them from its state.
        load(saved, hostStateWithChunk(format, model, custom.chunk()));
        juce::MemoryBlock project;
        saved.get().getStateInformation(project);
        load(reopened, project);
        EXPECT_EQ(chunkOf(reopened), custom.chunk()) << nameOf(format);

        // And it plays with them: the first hits are the hi-hat on note 44 (velocity halved)
        // and the automatic kick, then a hi-hat every sixteenth.
        reopened.transport.playFrom(0);
        const auto hits = reopened.play(eighth + 1);
        const std::vector<Hit> expected{
            {0, 0x99, 44, 52}, {0, 0x99, 36, 104}, {eighth / 2, 0x99, 44, 16}, {eighth, 0x99, 44, 52}};
        EXPECT_EQ(hits, expected) << nameOf(format);

        for (const auto& c : cases)
        {
            load(reopened, project);
            load(reopened, hostStateWithChunk(format, model, c.chunk));
            EXPECT_EQ(chunkOf(reopened), c.kept) << nameOf(format) << ", " << c.what;
        }
    }
}

TEST(HostedPlugin, TheSustainPedalReachesTheBassFollower)
{
    // With the bass follower on, the drummer hears only the lowest key. C3 on beat 1 of bar 2
    // is the bass (a kick); the pedal goes down and C3 is released; E3 on beat 2 is higher
    // than the bass the pedal keeps, so the drummer does not answer it. A pedal lost on the
    // way (a format that carries no controllers) would end the bass with C3's release and
    // let E3 through as a snare.
    DrummerSettings follower;
    follower.bassFollower = 1;
    const auto pedal = [](int value) { return juce::MidiMessage::controllerEvent(1, 64, value); };
    const std::vector<std::pair<juce::int64, juce::MidiMessage>> keyboard{
        {bar, juce::MidiMessage::noteOn(1, 48, juce::uint8(90))},
        {bar + 1000, pedal(127)},
        {bar + eighth, juce::MidiMessage::noteOff(1, 48)},
        {bar + 2 * eighth, juce::MidiMessage::noteOn(1, 52, juce::uint8(90))},
        {bar + 3 * eighth, juce::MidiMessage::noteOff(1, 52)},
        {bar + 3 * eighth + 1000, pedal(0)}};

    for (const auto format : formats)
    {
        HostedPlugin plugin(format, rate, 512);
        ASSERT_TRUE(plugin.isLoaded()) << nameOf(format);
        juce::MemoryBlock model;
        plugin.get().getStateInformation(model);
        const auto state = hostStateWithChunk(format, model, follower.chunk());
        plugin.get().setStateInformation(state.getData(), static_cast<int>(state.getSize()));

        plugin.transport.playFrom(0);
        auto expected = groove(3, true);
        expected.insert(expected.begin() + 9, {bar, 0x99, 36, 104});
        EXPECT_EQ(plugin.play(3 * bar, keyboard), expected) << nameOf(format);
    }
}
