#include "DisplayCodeFifo.h"

namespace
{
juce::AudioProcessorEditor::ParameterControlHighlightInfo highlightInfo(int code, bool highlighted)
{
    return {code, highlighted, juce::Colour(0x00000000)}; // transparent black: colour unused
}
} // namespace

void DisplayCodeFifo::push(int code, bool highlighted)
{
    if (!accepting.load(std::memory_order_acquire))
        return;
    const juce::SpinLock::ScopedTryLockType tryLock(writerLock);
    if (tryLock.isLocked())
        queue.push({code, highlighted});
}

void DisplayCodeFifo::open()
{
    Code stale;
    while (queue.pop(stale))
    {
    }
    accepting.store(true, std::memory_order_release);
}

void DisplayCodeFifo::close()
{
    accepting.store(false, std::memory_order_release);
}

bool DisplayCodeFifo::isOpen() const
{
    return accepting.load(std::memory_order_acquire);
}

template <typename Deliver> int DisplayCodeFifo::drainWith(Deliver&& deliver)
{
    int delivered = 0;
    Code next;
    while (queue.pop(next))
    {
        deliver(highlightInfo(next.code, next.highlighted));
        ++delivered;
    }
    return delivered;
}

int DisplayCodeFifo::drain(DisplayCodeListener& listener)
{
    return drainWith(
        [&](const auto& info)
        {
            listener.displayCodeArrived(info);
        });
}

int DisplayCodeFifo::drain(juce::AudioProcessorEditor& editor)
{
    return drainWith(
        [&](const auto& info)
        {
            editor.setControlHighlight(info);
        });
}
