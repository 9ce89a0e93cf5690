// processBlock fed hostile MIDI (any status bytes, running status, system exclusive, floods,
// MIDI clock with Song Positions at any rate) in blocks of any size while a host's transport,
// the standalone's sync source and the user's settings change under it.
// Built once per build of the processor. After every block: no crash, no sanitizer report,
// every setting in its valid range, the engine's bar position within the bar, finite audio,
// and only channel-10 note-ons out (except the standalone build's MIDI-output choice, whose
// blocks pass the input through).

#include "BattoAudioProcessor.h"
#include "BattoAudioProcessorInternal.h"
#include "FuzzInput.h"

#include <algorithm>
#include <cmath>

namespace
{
class FuzzPlayHead : public juce::AudioPlayHead
{
public:
    juce::Optional<PositionInfo> getPosition() const override
    {
        if (!answers)
            return {};
        return position;
    }

    PositionInfo position;
    bool answers = false;
};

constexpr int largestBlock = 8192;
// Samples per input: enough for some twenty beats, few enough for a quick run.
constexpr int samplesPerInput = 1 << 18;
constexpr double sampleRates[] = {44100.0, 48000.0, 96000.0, 22050.0, 8000.0, 192000.0};

// Mostly the kit's own rate: any other makes every prepare resample the whole kit, which
// slows the fuzzing down tenfold.
double sampleRateFrom(FuzzInput& in)
{
    const uint8_t choice = in.byte();
    if (choice < 160)
        return 44100.0;
    if (choice < 240)
        return sampleRates[choice % std::size(sampleRates)];
    return in.anyDouble(); // a host that reports nonsense
}

// A volume or sensitivity: mostly a slider's, now and then one that a stored file may give
// (up to past the largest level the processor takes), or any bits at all.
double levelFrom(FuzzInput& in)
{
    const uint8_t choice = in.byte();
    if (choice < 160)
        return in.byte() / 255.0;
    if (choice < 230)
        return (in.byte() - 128) * 8.0 + in.byte() / 255.0;
    return in.anyDouble();
}

// A clock source's message: mostly timing clocks, then Start, Continue, Stop, a Song Position
// (whole or cut short, any value) and the other real-time bytes.
size_t clockMessage(FuzzInput& in, uint8_t* bytes)
{
    static constexpr uint8_t realTime[] = {0xF8, 0xF8, 0xF8, 0xF8, 0xFA, 0xFB, 0xFC, 0xFE, 0xFF, 0xF9, 0xFD};
    const uint8_t choice = in.byte();
    if (choice % 16 == 15)
    {
        bytes[0] = 0xF2;
        bytes[1] = in.byte();
        bytes[2] = in.byte();
        return 1 + choice / 16 % 3;
    }
    bytes[0] = realTime[choice % std::size(realTime)];
    return 1;
}

// A run of timing clocks at an even spacing inside the block: a clock the drummer can follow
// when the spacing is a clock period at a tempo it takes, or a flood.
void addClockRun(FuzzInput& in, juce::MidiBuffer& midi, int firstPosition)
{
    const uint8_t clock = 0xF8;
    const int count = 1 + in.byte() % 32;
    const int spacing = in.number(0, 2400);
    for (int i = 0; i < count; ++i)
        midi.addEvent(&clock, 1, firstPosition + i * spacing);
}

// A MIDI event as a host might deliver it: a well-formed message, a truncated one, a bare
// data byte (running status), a system-exclusive message, a clock source's message or a run
// of clocks, or raw bytes.
void addEvent(FuzzInput& in, juce::MidiBuffer& midi, int blockLength)
{
    uint8_t bytes[64];
    const int position = in.number(-8, blockLength + 8);
    const uint8_t kind = in.byte();
    size_t length;
    if (kind < 128)
    {
        bytes[0] = static_cast<uint8_t>(0x80 | (in.byte() & 0x7F)); // a status byte, then data
        bytes[1] = in.byte() & 0x7F;
        bytes[2] = in.byte() & 0x7F;
        length = 3;
    }
    else if (kind < 192)
    {
        bytes[0] = 0xF0;
        length = 1 + in.take(bytes + 1, in.byte() % 60);
        bytes[length++] = 0xF7;
    }
    else if (kind >= 248)
    {
        addClockRun(in, midi, position);
        return;
    }
    else if (kind >= 224)
        length = clockMessage(in, bytes);
    else
        length = in.take(bytes, 1 + in.byte() % 8);
    if (length > 0)
        midi.addEvent(bytes, static_cast<int>(length), position);
}

void checkSettings(BattoAudioProcessor& processor)
{
    FUZZ_REQUIRE(BattoAudioProcessor::isUsableTempo(processor.getTempoSetting()));
    FUZZ_REQUIRE(BattoAudioProcessor::isUsableDivisionDuTemps(processor.getDivisionDuTempsSetting()));
    FUZZ_REQUIRE(BattoAudioProcessor::isUsableDivisionDuTemps(*processor.getDivisionDuTemps()));
    using batto_processor::isUsableLevel;
    FUZZ_REQUIRE(isUsableLevel(processor.getVolume()));
    FUZZ_REQUIRE(isUsableLevel(processor.GetBreakParam1()) && isUsableLevel(processor.GetBreakParam2()));
#if !BATTO_PLUGIN_BUILD
    FUZZ_REQUIRE(isUsableLevel(processor.getClickVolume()));
#endif
    for (int voice = 0; voice < Batto::numVoices; ++voice)
        FUZZ_REQUIRE(std::isfinite(processor.getVelocityScale(voice)));
    FUZZ_REQUIRE(std::isfinite(*processor.getTempo()) && *processor.getTempo() > 0.0);
    FUZZ_REQUIRE(std::isfinite(processor.divisionDuration) && processor.divisionDuration > 0.0);
}

void checkBlock(BattoAudioProcessor& processor, const juce::AudioBuffer<float>& audio,
                const juce::MidiBuffer& out, int blockLength)
{
    checkSettings(processor);
    for (const auto* instant :
         {&processor.currentInstant, &processor.nextInstant, &processor.previousInstant})
    {
        const int position = processor.positionInBar(*instant);
        FUZZ_REQUIRE(position >= 0 && position <= 31);
    }
    FUZZ_REQUIRE(processor.dynamicLevel >= 0 && processor.dynamicLevel <= 127);

    bool drumsOnly = true;
#if !BATTO_PLUGIN_BUILD
    drumsOnly = processor.getDrumKit() != BattoAudioProcessor::kitMidiOut
                || !(processor.isRunning() || processor.isHostSynced());
    for (int channel = 0; channel < audio.getNumChannels(); ++channel)
        for (int sample = 0; sample < blockLength; ++sample)
            FUZZ_REQUIRE(std::isfinite(audio.getSample(channel, sample)));
#else
    juce::ignoreUnused(audio, blockLength);
#endif
    if (drumsOnly)
        for (const auto event : out)
        {
            FUZZ_REQUIRE(event.numBytes == 3);
            FUZZ_REQUIRE(event.data[0] == 0x99 && event.data[1] < 128 && event.data[2] < 128);
            FUZZ_REQUIRE(event.samplePosition >= 0);
        }
}

void prepare(BattoAudioProcessor& processor, FuzzInput& in, int& blockSize)
{
    const double rate = sampleRateFrom(in);
    blockSize = in.number(1, largestBlock);
    processor.setRateAndBufferSizeDetails(rate, blockSize);
    processor.prepareToPlay(rate, blockSize);
}

// The host's transport: playing or not, at any tempo, position and time signature.
void moveTransport(FuzzPlayHead& host, FuzzInput& in)
{
    host.answers = in.byte() != 0;
    host.position = {};
    host.position.setIsPlaying(in.byte() < 200);
    const uint8_t tempoChoice = in.byte();
    host.position.setBpm(tempoChoice < 200 ? 30.0 + tempoChoice : in.anyDouble());
    const uint8_t placeChoice = in.byte();
    host.position.setPpqPosition(placeChoice < 200 ? placeChoice * 0.25 : in.anyDouble());
    const uint8_t numerator = in.byte();
    host.position.setTimeSignature(
        juce::AudioPlayHead::TimeSignature{numerator < 200 ? 4 : numerator % 8, 4});
}

// A host's transport moves on by the block it just played.
void advanceTransport(FuzzPlayHead& host, int samples, double rate)
{
    const auto bpm = host.position.getBpm();
    const auto ppq = host.position.getPpqPosition();
    if (host.position.getIsPlaying() && bpm && ppq && std::isfinite(rate) && rate > 0.0)
        host.position.setPpqPosition(*ppq + samples / rate * *bpm / 60.0);
}

void runBlock(BattoAudioProcessor& processor, FuzzPlayHead& host, FuzzInput& in,
              juce::AudioBuffer<float>& audio, juce::MidiBuffer& midi, int& samplesLeft)
{
    const int blockLength = std::min(in.number(0, largestBlock), samplesLeft);
    samplesLeft -= blockLength;
    const int channels = in.number(0, 4);
    audio.setSize(channels, blockLength, false, false, true);
    audio.clear();
    midi.clear();
    const uint8_t countChoice = in.byte();
    const int events =
        countChoice < 250 ? countChoice % 16 : 64 * (countChoice - 249); // now and then a flood
    for (int i = 0; i < events && !in.empty(); ++i)
        addEvent(in, midi, blockLength);
    processor.processBlock(audio, midi);
    checkBlock(processor, audio, midi, blockLength);
    advanceTransport(host, blockLength, processor.getSampleRate());
}

void changeSomething(BattoAudioProcessor& processor, FuzzInput& in, int& blockSize)
{
    switch (in.byte() % 20)
    {
    case 0:
        processor.setTempo(in.byte() < 128 ? 30.0 + in.byte() : in.anyDouble());
        break;
    case 1:
        processor.chooseDivisionDuTemps(in.byte() < 200 ? 1 << (in.byte() % 3) : in.anyInt());
        break;
    case 2:
        processor.setVolume(levelFrom(in));
        break;
    case 3:
        processor.setBreakParam1(levelFrom(in));
        break;
    case 4:
        processor.setBreakParam2(levelFrom(in));
        break;
    case 5:
        processor.setAutoKick(in.flag());
        processor.setAutoSnare(in.flag());
        break;
    case 6:
        processor.setGravaEnabled(in.flag());
        break;
    case 7:
        processor.setDrumNote(in.number(-1, Batto::numVoices), in.anyInt());
        break;
    case 8:
        processor.setVelocityScale(in.number(-1, Batto::numVoices), in.anyFloat());
        break;
    case 9:
        processor.start();
        break;
    case 10:
        processor.stop();
        break;
    case 11:
        processor.previewVoice(static_cast<Batto::Percu>(in.number(0, Batto::numVoices - 1)), in.anyInt());
        break;
    case 12:
    {
        const size_t size = in.byte() < 128 ? 232 : in.byte();
        const size_t taken = std::min(size, in.restSize());
        processor.setStateInformation(in.rest(), static_cast<int>(taken));
        in.skip(taken);
        break;
    }
    case 13:
    {
        juce::MemoryBlock state;
        processor.getStateInformation(state);
        processor.setStateInformation(state.getData(), static_cast<int>(state.getSize()));
        break;
    }
    case 14:
        if (in.byte() < 16) // now and then: preparing decodes every sound again
            prepare(processor, in, blockSize);
        break;
#if !BATTO_PLUGIN_BUILD
    case 15:
        if (in.byte() < 32) // a change of kit rebuilds the kit's sounds
            processor.setDrumKit(in.byte() < 200 ? in.number(-4, -1) : in.anyInt());
        break;
    case 16:
        processor.setClickVolume(levelFrom(in));
        break;
    case 17:
        processor.channelFilterOn = in.flag();
        processor.midiInChannel = in.byte() < 200 ? in.number(1, 16) : in.anyInt();
        processor.noteRangeFilterOn = in.flag();
        processor.lowestNote = in.byte() < 200 ? in.number(0, 127) : in.anyInt();
        processor.highestNote = in.byte() < 200 ? in.number(0, 127) : in.anyInt();
        break;
    case 18:
        processor.requestClickFromMidiThread(in.flag());
        break;
    case 19: // what the drummer follows: its own tempo, a JACK transport (none here) or the MIDI clock
        processor.setSyncSource(static_cast<SyncSource>(in.number(0, 2)));
        break;
#endif
    default:
        break;
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    BattoAudioProcessor processor;
    FuzzPlayHead host;
    processor.setPlayHead(&host);
    int blockSize = 512;
    prepare(processor, in, blockSize);
    checkSettings(processor);

    juce::AudioBuffer<float> audio(4, largestBlock);
    juce::MidiBuffer midi;
    midi.ensureSize(64 * 1024);
    int samplesLeft = samplesPerInput;
    for (int step = 0; step < 256 && !in.empty(); ++step)
    {
        const uint8_t what = in.byte();
        if (what < 128)
            runBlock(processor, host, in, audio, midi, samplesLeft);
        else if (what < 160)
            moveTransport(host, in);
        else
            changeSomething(processor, in, blockSize);
        checkSettings(processor);
    }
    processor.setPlayHead(nullptr);
    return 0;
}
