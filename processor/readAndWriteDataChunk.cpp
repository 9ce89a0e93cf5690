#include "readAndWriteDataChunk.h"

#include <cstring>

namespace
{
void appendRaw(juce::MemoryBlock& dest, const char* tag, juce::uint32 bits)
{
    juce::uint8 record[readAndWriteDataChunk::recordSize];
    std::memcpy(record, tag, 4);
    for (int i = 0; i < 4; ++i)
        record[4 + i] = static_cast<juce::uint8>(bits >> (8 * i)); // little-endian
    dest.append(record, sizeof(record));
}
} // namespace

void readAndWriteDataChunk::appendInt(juce::MemoryBlock& dest, const char* tag, int value)
{
    appendRaw(dest, tag, static_cast<juce::uint32>(value));
}

void readAndWriteDataChunk::appendFloat(juce::MemoryBlock& dest, const char* tag, float value)
{
    juce::uint32 bits;
    std::memcpy(&bits, &value, sizeof(bits));
    appendRaw(dest, tag, bits);
}

readAndWriteDataChunk::readAndWriteDataChunk(const void* data, int sizeInBytes)
    : bytes(static_cast<const juce::uint8*>(data)), size(data != nullptr ? juce::jmax(0, sizeInBytes) : 0)
{
}

std::optional<juce::uint32> readAndWriteDataChunk::readRaw(const char* tag)
{
    if (size - position < recordSize)
        return std::nullopt; // only whole records are read
    if (std::memcmp(bytes + position, tag, 4) != 0)
        return std::nullopt;
    const auto bits = juce::ByteOrder::littleEndianInt(bytes + position + 4);
    position += recordSize;
    return bits;
}

std::optional<int> readAndWriteDataChunk::readInt(const char* tag)
{
    if (auto bits = readRaw(tag))
        return static_cast<int>(*bits);
    return std::nullopt;
}

std::optional<float> readAndWriteDataChunk::readFloat(const char* tag)
{
    if (auto bits = readRaw(tag))
    {
        float value;
        std::memcpy(&value, &*bits, sizeof(value));
        return value;
    }
    return std::nullopt;
}

int readAndWriteDataChunk::getPosition() const
{
    return position;
}
