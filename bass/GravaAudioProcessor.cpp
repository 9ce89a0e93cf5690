#include "GravaAudioProcessor.h"

#include "GravaBassNote.h"
#include "readAndWriteDataChunk.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace
{
constexpr int allNotesOffController = 123;
constexpr int sustainController = 64;
constexpr int noteOffStatus = 0x80; // channel 1
constexpr int noteOnStatus = 0x90;  // channel 1
// A lower key that was pressed less than this before the bass key is released takes over.
constexpr float legatoSeconds = 0.065f;

enum VoiceStateValue
{
    idle = 0,
    sounding = 1,
    heldByPedal = 2,
    released = 3
};

bool isSounding(const voiceState& voice)
{
    return voice.state == sounding || voice.state == heldByPedal;
}

// The voice keeps its velocity on the 0..1 scale; the MIDI byte rounds half to even.
int velocityOnMidiScale(double velocity)
{
    const float scaled = (float)velocity * 127.0f;
    return juce::jlimit(0, 127, (int)std::nearbyint(scaled));
}
} // namespace

GravaAudioProcessor::GravaAudioProcessor()
{
    heldNotes.reserve(maxHeldNotes);
    voiceEvents.ensureStorageAllocated(reservedVoiceEvents);
    bassMidiOut.reserve(reservedBassMidiBytes);
}

void GravaAudioProcessor::reserveBassLine(size_t bytes)
{
    bassMidiOut.reserve(bytes);
}

int GravaAudioProcessor::bassOutputNote(int note) const
{
    return gravaBassOutputNote(note, octa.load(), lown.load());
}

// The voice as the events of this block have left it so far.
const voiceState& GravaAudioProcessor::latestVoice() const
{
    return voiceEvents.isEmpty() ? currentVoice : voiceEvents.getReference(voiceEvents.size() - 1);
}

//==============================================================================
void GravaAudioProcessor::insertNote(int note, int velocity, int time)
{
    insertNoteWithOctaveTranspose(note, velocity, time, gravaOctaveShift(note, octa.load(), lown.load()));
}

void GravaAudioProcessor::insertNoteWithOctaveTranspose(int note, int velocity, int time, int octaveTranspose)
{
    voiceState pressed;
    setVoiceState(pressed, note, velocity, time, octaveTranspose);

    // A key above the sounding bass, or above a held key, does not become the bass note.
    const auto& latest = latestVoice();
    const bool aboveSoundingBass = isSounding(latest) && pressed.note > latest.note;
    const bool aboveLowestHeld = !heldNotes.empty() && pressed.note > heldNotes.front().voice.note;
    if (!aboveSoundingBass && !aboveLowestHeld)
        voiceEvents.add(pressed);

    recordHeldNote(pressed);
}

void GravaAudioProcessor::recordHeldNote(const voiceState& pressed)
{
    auto place = heldNotes.begin();
    while (place != heldNotes.end() && place->voice.note < pressed.note)
        ++place;

    if (place != heldNotes.end() && place->voice.note == pressed.note)
    {
        auto& record = place->voice; // a re-struck key keeps its press time
        record.state = sounding;
        record.time = pressed.time;
        record.velocity = pressed.velocity;
    }
    else
        heldNotes.insert(place, HeldNote{pressed, pressed.time});
}

void GravaAudioProcessor::removeNote(int note, int time)
{
    bool releaseWasAppended = false;
    const voiceState latest = latestVoice();
    if (isSounding(latest) && latest.note == note)
    {
        voiceState ending = latest;
        ending.time = time;
        ending.note = note;
        ending.state = sustainPedal ? heldByPedal : released;
        voiceEvents.add(ending);
        releaseWasAppended = ending.state == released;
    }

    for (size_t index = 0; index < heldNotes.size();)
    {
        auto& record = heldNotes[index];
        if (record.voice.note != note)
        {
            ++index;
            continue;
        }

        const bool wasLowest = index == 0;
        if (sustainPedal)
        {
            // The lowest key stays as the bass that the pedal holds; other keys just go.
            if (wasLowest)
            {
                record.voice.state = heldByPedal;
                ++index;
            }
            else
                heldNotes.erase(heldNotes.begin() + (std::ptrdiff_t)index);
            continue;
        }

        heldNotes.erase(heldNotes.begin() + (std::ptrdiff_t)index);
        if (wasLowest)
            handOverBassIfLegato(note, time, releaseWasAppended);
    }
}

// When the lowest key goes up, the next held key takes the bass over if the two overlapped
// for less than the legato time; after a longer overlap the bass simply stops. Only a key
// that is still down can take over: records that only the pedal kept are on their way out
// (the pedal has just risen), and a bass handed to one of them would never be released.
void GravaAudioProcessor::handOverBassIfLegato(int releasedNote, int time, bool releaseWasAppended)
{
    const auto stillDown = std::find_if(heldNotes.begin(), heldNotes.end(),
                                        [](const HeldNote& record)
                                        {
                                            return record.voice.state == sounding;
                                        });
    if (stillDown == heldNotes.end())
        return;
    auto& next = *stillDown;
    if (next.voice.note == releasedNote)
        return;

    const auto heldForSamples = (float)((juce::int64)time - next.pressTime);
    if (!((float)getSampleRate() * legatoSeconds > heldForSamples))
        return;

    // The new bass replaces the release that the old one just appended. It is overwritten in
    // place: removing it would shrink the reserved storage.
    next.voice.time = time;
    if (releaseWasAppended)
        voiceEvents.getReference(voiceEvents.size() - 1) = next.voice;
    else
        voiceEvents.add(next.voice);
}

void GravaAudioProcessor::releaseSustainedNotes(int time)
{
    const voiceState latest = latestVoice();
    if (latest.state == heldByPedal)
        removeNote(latest.note, time); // the pedal is up now, so this releases the bass

    const auto heldByPedalOnly = [](const HeldNote& record)
    {
        return record.voice.state == heldByPedal;
    };
    heldNotes.erase(std::remove_if(heldNotes.begin(), heldNotes.end(), heldByPedalOnly), heldNotes.end());
}

void GravaAudioProcessor::byPassMidiMessage(const juce::MidiMessage& message, int time)
{
    addToBassLine(message.getRawData(), message.getRawDataSize(), time);
}

//==============================================================================
void GravaAudioProcessor::processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi)
{
    // Released before the block's own messages, so that a key struck at the first sample of
    // the block survives the switch.
    if (allNotesOffRequested.exchange(false))
        releaseEverything();

    bassMidiOut.clear();
    FilterByMidiChannelAndNoteLimits(midi);
    const int blockLength = buffer.getNumSamples();

    readPlayerMessages(midi);
    writeBassLine();
    voiceEvents.clearQuick();
    agePressTimes(blockLength);

    // The line replaces the block's MIDI by an exchange of storage: nothing is copied, and
    // nothing grows (the player's messages go back into the line's storage next block).
    midi.swapWith(bassMidiOut.events);
    bassMidiOut.clear();
}

// The same as a note-off for every key at position 0 followed by the pedal going up.
void GravaAudioProcessor::releaseEverything()
{
    for (int note = 0; note < 128; ++note)
        removeNote(note, 0);
    handleSustainController(0, 0);
}

void GravaAudioProcessor::readPlayerMessages(const juce::MidiBuffer& midi)
{
    for (const auto event : midi)
    {
        const int position = event.samplePosition;
        if (event.numBytes > 0 && event.data[0] == 0xF0)
        {
            // System exclusive passes as it came. A juce::MidiMessage of that length would
            // allocate on the audio thread.
            addToBassLine(event.data, event.numBytes, position);
            continue;
        }
        const auto message = event.getMessage();

        if (message.isNoteOn())
            insertNote(message.getNoteNumber(), message.getVelocity(), position);
        else if (message.isNoteOff())
            removeNote(message.getNoteNumber(), position);
        else if (message.isControllerOfType(allNotesOffController))
        {
            for (int note = 0; note < 128; ++note)
                removeNote(note, position);
        }
        else if (message.isControllerOfType(sustainController))
            handleSustainController(message.getControllerValue(), position);
        else
            byPassMidiMessage(message, position);
    }
}

void GravaAudioProcessor::handleSustainController(int value, int time)
{
    if (value > 63)
        sustainPedal = true;
    else if (sustainPedal)
    {
        sustainPedal = false;
        releaseSustainedNotes(time);
    }
}

// The follower always runs at the rate of the block it reads, so every event of the bass line
// is written at the sample where it was played.
void GravaAudioProcessor::writeBassLine()
{
    for (const auto& event : voiceEvents)
    {
        if (event.state == released)
        {
            if (currentVoice.state != released && lastOutputNote != -1)
            {
                writeBassNote(noteOffStatus, bassOutputNote(lastOutputNote), 0, event.time);
                lastOutputNote = -1;
            }
        }
        else if (event.state == sounding)
        {
            if (lastOutputNote != -1 && lastOutputNote != event.note)
                writeBassNote(noteOffStatus, bassOutputNote(lastOutputNote), 0, event.time);
            writeBassNote(noteOnStatus, bassOutputNote(event.note), velocityOnMidiScale(event.velocity),
                          event.time);
            lastOutputNote = event.note;
        }
        currentVoice = event;
    }
}

void GravaAudioProcessor::writeBassNote(int status, int note, int velocity, int position)
{
    const juce::uint8 bytes[] = {(juce::uint8)status, (juce::uint8)(note & 0x7F), (juce::uint8)velocity};
    addToBassLine(bytes, (int)sizeof(bytes), position);
}

// Events before the block's start are not part of its output (the note logic still saw them).
void GravaAudioProcessor::addToBassLine(const juce::uint8* data, int numBytes, int position)
{
    if (position >= 0)
        bassMidiOut.add(data, numBytes, position);
}

// Press times count from the start of the current block; the floor keeps a key held for
// hours from overflowing.
void GravaAudioProcessor::agePressTimes(int blockLength)
{
    constexpr int floor = std::numeric_limits<int>::min() / 2;
    for (auto& record : heldNotes)
        record.pressTime = record.pressTime - floor > blockLength ? record.pressTime - blockLength : floor;
}

//==============================================================================
const juce::String GravaAudioProcessor::getName() const
{
#if BATTO_PLUGIN_BUILD
    return "Batto MIDI FX";
#else
    return "Batto";
#endif
}

void GravaAudioProcessor::prepareToPlay(double, int)
{
}

void GravaAudioProcessor::releaseResources()
{
}

bool GravaAudioProcessor::acceptsMidi() const
{
    return false;
}

bool GravaAudioProcessor::producesMidi() const
{
    return false;
}

bool GravaAudioProcessor::silenceInProducesSilenceOut() const
{
    return false;
}

double GravaAudioProcessor::getTailLengthSeconds() const
{
    return 0.0;
}

bool GravaAudioProcessor::hasEditor() const
{
    return false;
}

juce::AudioProcessorEditor* GravaAudioProcessor::createEditor()
{
    return nullptr;
}

int GravaAudioProcessor::getNumPrograms()
{
    return 1;
}

int GravaAudioProcessor::getCurrentProgram()
{
    return 0;
}

void GravaAudioProcessor::setCurrentProgram(int)
{
}

const juce::String GravaAudioProcessor::getProgramName(int)
{
    return {};
}

void GravaAudioProcessor::changeProgramName(int, const juce::String&)
{
}

//==============================================================================
// "MIDI" and "DNRL" are written for readers that expect them; they are never read back.
void GravaAudioProcessor::getStateInformation(juce::MemoryBlock& destData)
{
    readAndWriteDataChunk::appendInt(destData, "OCTA", octa.load());
    readAndWriteDataChunk::appendInt(destData, "LOWN", lown.load());
    readAndWriteDataChunk::appendInt(destData, "MIDI", 1);
    readAndWriteDataChunk::appendInt(destData, "DNRL", 0);
}

void GravaAudioProcessor::setStateInformation(const void* data, int sizeInBytes)
{
    readAndWriteDataChunk reader(data, sizeInBytes);
    if (const auto value = reader.readInt("OCTA"))
        octa = *value;
    if (const auto value = reader.readInt("LOWN"))
        lown = *value;
}
