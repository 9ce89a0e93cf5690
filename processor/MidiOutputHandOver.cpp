#include "MidiOutputHandOver.h"

void MidiOutputHandOver::reserve(size_t bytes)
{
    for (auto& storage : storages)
    {
        if (storage.isFree && storage.capacity >= bytes)
            continue;
        storage.buffer = juce::MidiBuffer(); // lets go of a host's old storage
        storage.buffer.ensureSize(bytes);
        storage.capacity = bytes;
        storage.isFree = true;
    }
}

void MidiOutputHandOver::handOver(juce::MidiBuffer& hostBuffer,
                                  std::initializer_list<const juce::MidiBuffer*> sources)
{
    size_t bytes = 0;
    for (const auto* source : sources)
        bytes += static_cast<size_t>(source->data.size());

    if (hasRoomInLoan(hostBuffer, bytes))
    {
        copyEvents(hostBuffer, sources); // the host brought our storage back
        return;
    }
    if (auto* storage = freeStorageWithRoom(bytes))
    {
        copyEvents(storage->buffer, sources);
        hostBuffer.swapWith(storage->buffer);
        loans[storage - storages] = {hostBuffer.data.begin(), storage->capacity};
        storage->isFree = false; // it holds the host's old storage now, of unknown room
        return;
    }
    copyEvents(hostBuffer, sources); // a host that brings new buffers: its own must serve
}

void MidiOutputHandOver::copyEvents(juce::MidiBuffer& destination,
                                    std::initializer_list<const juce::MidiBuffer*> sources)
{
    destination.clear(); // keeps the storage
    for (const auto* source : sources)
        for (const auto event : *source)
            if (event.samplePosition >= 0)
                destination.addEvent(event.data, event.numBytes, event.samplePosition);
}

bool MidiOutputHandOver::hasRoomInLoan(const juce::MidiBuffer& hostBuffer, size_t bytes) const
{
    const auto* data = hostBuffer.data.begin();
    if (data == nullptr)
        return false;
    for (const auto& loan : loans)
        if (loan.data == data && loan.capacity >= bytes)
            return true;
    return false;
}

MidiOutputHandOver::Storage* MidiOutputHandOver::freeStorageWithRoom(size_t bytes)
{
    for (auto& storage : storages)
        if (storage.isFree && storage.capacity >= bytes)
            return &storage;
    return nullptr;
}
