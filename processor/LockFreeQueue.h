#pragma once

#include <array>
#include <atomic>
#include <cstddef>

// A fixed-size queue for one writing thread and one reading thread: neither side
// allocates, locks or waits. A push into a full queue fails and leaves the queue as it was.
// The writer publishes an item by advancing `written` after storing it (release); the
// reader sees it by loading `written` (acquire), and hands the slot back the same way.
template <typename Item, int capacity> class LockFreeQueue
{
public:
    static_assert(capacity > 0, "a queue holds at least one item");

    bool push(const Item& item)
    {
        const size_t write = written.load(std::memory_order_relaxed);
        if (write - read.load(std::memory_order_acquire) == slotCount)
            return false;
        items[write % slotCount] = item;
        written.store(write + 1, std::memory_order_release);
        return true;
    }

    bool pop(Item& item)
    {
        const size_t next = read.load(std::memory_order_relaxed);
        if (next == written.load(std::memory_order_acquire))
            return false;
        item = items[next % slotCount];
        read.store(next + 1, std::memory_order_release);
        return true;
    }

    int freeSpace() const
    {
        const size_t used = written.load(std::memory_order_acquire) - read.load(std::memory_order_acquire);
        return capacity - static_cast<int>(used);
    }

private:
    static constexpr size_t slotCount = static_cast<size_t>(capacity);

    std::array<Item, slotCount> items{};
    std::atomic<size_t> written{0}; // items ever pushed; only the writer stores it
    std::atomic<size_t> read{0};    // items ever popped; only the reader stores it
};
