#include "TakeRecorder.h"

#include <algorithm>
#include <cstring>

namespace
{
constexpr int pieceBytes = static_cast<int>(sizeof(TakeEvent::bytes));
} // namespace

TakeRecorder::TakeRecorder()
{
    keptMidi.reserve(keptMidiBytes);
    earlyMidi.reserve(keptMidiBytes);
    audioRing.clear();
}

void TakeRecorder::setTakesOn(bool on)
{
    takesOn.store(on);
}

void TakeRecorder::setAudioOn(bool on)
{
    audioOn.store(on);
}

bool TakeRecorder::isAudioOn() const
{
    return audioOn.load();
}

void TakeRecorder::copyInto(ReservedMidiBuffer& destination, const juce::MidiBuffer& source)
{
    destination.clear();
    for (const auto event : source)
        destination.add(event.data, event.numBytes, event.samplePosition);
}

void TakeRecorder::keepBlockMidi(const juce::MidiBuffer& midi)
{
    copyInto(keptMidi, midi);
}

void TakeRecorder::keepEarlyMidi(const juce::MidiBuffer& held)
{
    copyInto(earlyMidi, held);
}

int TakeRecorder::keptMidiDropped() const
{
    return keptMidi.getDroppedCount() + earlyMidi.getDroppedCount() - keptMidiDroppedBefore;
}

void TakeRecorder::drumHit(int position, int status, int note, int velocity)
{
    if (hitCount == maximumHitsPerBlock)
    {
        ++hitsLost;
        return;
    }
    hits[hitCount++] = {position,
                        {static_cast<juce::uint8>(status), static_cast<juce::uint8>(note & 0x7F),
                         static_cast<juce::uint8>(velocity & 0x7F)}};
}

void TakeRecorder::performanceRestarted()
{
    restartRequested = true;
}

bool TakeRecorder::push(const TakeEvent& event)
{
    // The last few slots are kept for the start and the end of a take, which must never be lost.
    if (pendingLost > 0)
    {
        TakeEvent lost;
        lost.kind = TakeEvent::eventsLost;
        lost.sample = event.sample;
        lost.count = static_cast<int32_t>(std::min<int64_t>(pendingLost, INT32_MAX));
        if (events.freeSpace() <= controlReserve + 1 || !events.push(lost))
        {
            ++pendingLost;
            return false;
        }
        pendingLost = 0;
    }
    if (events.freeSpace() <= controlReserve || !events.push(event))
    {
        ++pendingLost;
        return false;
    }
    return true;
}

bool TakeRecorder::pushControl(const TakeEvent& event)
{
    return events.push(event);
}

void TakeRecorder::pushPlayerMessage(int64_t sample, const juce::uint8* data, int size)
{
    // A long message (system exclusive) goes in pieces, all or none.
    const int pieces = (size + pieceBytes - 1) / pieceBytes;
    if (events.freeSpace() <= controlReserve + pieces + 1)
    {
        ++pendingLost;
        return;
    }
    for (int offset = 0; offset < size; offset += pieceBytes)
    {
        TakeEvent piece;
        piece.kind = TakeEvent::playerMessage;
        piece.sample = sample;
        piece.size = static_cast<uint8_t>(std::min(pieceBytes, size - offset));
        piece.continues = offset + pieceBytes < size;
        std::memcpy(piece.bytes, data + offset, piece.size);
        push(piece);
    }
}

void TakeRecorder::pushAudio(const juce::AudioBuffer<float>& audio, int numSamples)
{
    // The frames go into the audio queue only with their event, or the writer would read
    // them for another block; a block whose event cannot go is a gap, which the writer fills
    // with silence when the next block's event comes.
    if (events.freeSpace() <= controlReserve + 2)
    {
        ++pendingLost;
        return;
    }
    TakeEvent frames;
    frames.kind = TakeEvent::audioFrames;
    frames.sample = blockStart - takeStart;
    frames.count = numSamples;
    frames.audio = audioFifo.getFreeSpace() >= numSamples;
    if (frames.audio)
    {
        const auto scope = audioFifo.write(numSamples);
        const int channels = audio.getNumChannels();
        for (int channel = 0; channel < 2; ++channel)
        {
            // A one-channel device: its channel on both sides.
            const float* source = channels > 0 ? audio.getReadPointer(std::min(channel, channels - 1)) : nullptr;
            const auto copy = [&](int start, int size, int from)
            {
                if (size <= 0)
                    return;
                if (source != nullptr)
                    juce::FloatVectorOperations::copy(audioRing.getWritePointer(channel, start), source + from, size);
                else
                    juce::FloatVectorOperations::clear(audioRing.getWritePointer(channel, start), size);
            };
            copy(scope.startIndex1, scope.blockSize1, 0);
            copy(scope.startIndex2, scope.blockSize2, scope.blockSize1);
        }
    }
    push(frames); // there is room for it (and for a count of lost events before it)
}

void TakeRecorder::endBlock(bool performing, double tempo, double sampleRate,
                            const juce::AudioBuffer<float>& audio, int numSamples)
{
    numSamples = std::max(0, numSamples);
    if (inTake && (!performing || restartRequested))
        finishTake();
    restartRequested = false;

    if (performing && !inTake && takesOn.load() && numSamples > 0)
    {
        TakeEvent start;
        start.kind = TakeEvent::takeStarted;
        start.tempo = tempo;
        start.sampleRate = sampleRate;
        start.count = numSamples;
        start.audio = audioOn.load();
        if (pushControl(start))
        {
            inTake = true;
            audioInTake = start.audio;
            takeStart = blockStart;
            lastTempo = tempo;
            pendingLost = 0;
        }
    }

    if (inTake)
    {
        const int64_t at = blockStart - takeStart;
        if (tempo != lastTempo)
        {
            TakeEvent change;
            change.kind = TakeEvent::tempoChanged;
            change.sample = at;
            change.tempo = tempo;
            push(change);
            lastTempo = tempo;
        }
        pendingLost += keptMidiDropped() + hitsLost;
        // In the order the engine took them: the block's first sample, the early notes, the rest.
        for (const auto event : keptMidi.events)
            if (event.samplePosition == 0)
                pushPlayerMessage(at, event.data, event.numBytes);
        for (const auto event : earlyMidi.events)
            pushPlayerMessage(at, event.data, event.numBytes);
        for (const auto event : keptMidi.events)
            if (event.samplePosition > 0 && event.samplePosition < numSamples)
                pushPlayerMessage(at + event.samplePosition, event.data, event.numBytes);
        for (int i = 0; i < hitCount; ++i)
        {
            TakeEvent hit;
            hit.kind = TakeEvent::drumHit;
            hit.sample = at + std::clamp(hits[i].position, 0, std::max(0, numSamples - 1));
            hit.size = 3;
            std::memcpy(hit.bytes, hits[i].bytes, 3);
            push(hit);
        }
        if (audioInTake)
            pushAudio(audio, numSamples);
    }
    keptMidi.clear();
    earlyMidi.clear();
    keptMidiDroppedBefore = keptMidi.getDroppedCount() + earlyMidi.getDroppedCount();
    hitCount = 0;
    hitsLost = 0;
    blockStart += numSamples;
}

void TakeRecorder::endTake()
{
    keptMidi.clear();
    earlyMidi.clear();
    hitCount = 0;
    finishTake();
}

void TakeRecorder::finishTake()
{
    if (!inTake)
        return;
    TakeEvent end;
    end.kind = TakeEvent::takeEnded;
    end.sample = blockStart - takeStart;
    end.count = static_cast<int32_t>(std::min<int64_t>(pendingLost, INT32_MAX));
    inTake = !pushControl(end); // the reserve keeps a slot for it
    pendingLost = 0;
}

bool TakeRecorder::hasRoomFor(int frames) const
{
    return audioFifo.getFreeSpace() >= frames && events.freeSpace() > eventCapacity / 2;
}

bool TakeRecorder::popEvent(TakeEvent& event)
{
    return events.pop(event);
}

void TakeRecorder::readAudio(juce::AudioBuffer<float>& destination, int frames)
{
    const auto scope = audioFifo.read(frames);
    for (int channel = 0; channel < 2; ++channel)
    {
        if (scope.blockSize1 > 0)
            destination.copyFrom(channel, 0, audioRing, channel, scope.startIndex1, scope.blockSize1);
        if (scope.blockSize2 > 0)
            destination.copyFrom(channel, scope.blockSize1, audioRing, channel, scope.startIndex2, scope.blockSize2);
    }
}
