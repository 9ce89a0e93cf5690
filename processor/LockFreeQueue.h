#pragma once

#include <juce_core/juce_core.h>

#include <array>

// A fixed-size queue for one writing thread and one reading thread, built on
// juce::AbstractFifo: neither side allocates, locks or waits. A push into a full queue
// fails and leaves the queue as it was.
template <typename Item, int capacity> class LockFreeQueue
{
public:
    bool push(const Item& item)
    {
        const auto scope = fifo.write(1);
        if (scope.blockSize1 + scope.blockSize2 != 1)
            return false;
        items[static_cast<size_t>(scope.blockSize1 == 1 ? scope.startIndex1 : scope.startIndex2)] = item;
        return true;
    }

    bool pop(Item& item)
    {
        const auto scope = fifo.read(1);
        if (scope.blockSize1 + scope.blockSize2 != 1)
            return false;
        item = items[static_cast<size_t>(scope.blockSize1 == 1 ? scope.startIndex1 : scope.startIndex2)];
        return true;
    }

    int freeSpace() const
    {
        return fifo.getFreeSpace();
    }

private:
    // AbstractFifo keeps one slot free to tell a full queue from an empty one.
    juce::AbstractFifo fifo{capacity + 1};
    std::array<Item, static_cast<size_t>(capacity) + 1> items{};
};
