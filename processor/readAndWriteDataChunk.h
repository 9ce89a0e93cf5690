#pragma once

#include <juce_core/juce_core.h>

#include <optional>

// The state record codec shared by every processor that hands its settings to a host.
// A state block is a flat run of 8-byte records: four ASCII tag characters, then a
// 32-bit little-endian value (an int or an IEEE-754 float). No header, length or version.
//
// Writing appends records to whatever the destination already holds. Reading walks the
// records a processor expects, in its fixed order, with one read position: a record that
// matches is consumed; a record that does not match is left in place, so a missing record
// is skipped while an unexpected one stops every later record from matching.
class readAndWriteDataChunk
{
public:
    static constexpr int recordSize = 8;

    // tag must point at (at least) four characters.
    static void appendInt(juce::MemoryBlock& dest, const char* tag, int value);
    static void appendFloat(juce::MemoryBlock& dest, const char* tag, float value);

    // A reader over size bytes at data (the bytes are not copied and must outlive it).
    // A null pointer or a size below one record reads nothing.
    readAndWriteDataChunk(const void* data, int size);

    // The value of the record at the read position if it carries this tag (the position
    // then moves past it); nothing otherwise (the position stays).
    std::optional<int> readInt(const char* tag);
    std::optional<float> readFloat(const char* tag);

    int getPosition() const;

private:
    std::optional<juce::uint32> readRaw(const char* tag);

    const juce::uint8* bytes;
    int size;
    int position = 0;
};
