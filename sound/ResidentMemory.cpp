#include "ResidentMemory.h"

#include <sys/mman.h>
#include <unistd.h>

namespace
{
size_t pageSize()
{
    static const size_t size = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    return size;
}

// Reads one byte of every page, so that each is present (a locked range is already).
void touch(const void* start, size_t bytes)
{
    const auto* bytesToRead = static_cast<const volatile unsigned char*>(start);
    unsigned char sum = 0;
    for (size_t offset = 0; offset < bytes; offset += pageSize())
        sum = static_cast<unsigned char>(sum + bytesToRead[offset]);
    if (bytes > 0)
        sum = static_cast<unsigned char>(sum + bytesToRead[bytes - 1]);
    static volatile unsigned char sink;
    sink = sum;
}
} // namespace

ResidentMemory::~ResidentMemory()
{
    release();
}

void ResidentMemory::keep(const juce::AudioBuffer<float>& buffer)
{
    const auto frames = static_cast<size_t>(buffer.getNumSamples());
    for (int channel = 0; channel < buffer.getNumChannels(); ++channel)
        keep(buffer.getReadPointer(channel), frames * sizeof(float));
}

void ResidentMemory::keep(const void* start, size_t bytes)
{
    if (start == nullptr || bytes == 0)
        return;
    const bool locked = mlock(start, bytes) == 0;
    if (!locked)
        touch(start, bytes);
    ranges.push_back({start, bytes, locked});
}

void ResidentMemory::release()
{
    for (const Range& range : ranges)
        if (range.locked)
            munlock(range.start, range.bytes);
    ranges.clear();
}

void ResidentMemory::swapWith(ResidentMemory& other) noexcept
{
    ranges.swap(other.ranges);
}

size_t ResidentMemory::lockedBytes() const
{
    size_t bytes = 0;
    for (const Range& range : ranges)
        bytes += range.locked ? range.bytes : 0;
    return bytes;
}

size_t ResidentMemory::touchedBytes() const
{
    size_t bytes = 0;
    for (const Range& range : ranges)
        bytes += range.locked ? 0 : range.bytes;
    return bytes;
}
