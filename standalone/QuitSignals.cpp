#include "QuitSignals.h"

#include <juce_events/juce_events.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace
{
constexpr int quitSignalNumbers[] = {SIGINT, SIGHUP, SIGTERM};
constexpr int signalCount = sizeof(quitSignalNumbers) / sizeof(quitSignalNumbers[0]);

std::atomic<int> signalPipeWriteEnd{-1};
struct sigaction previousActions[signalCount];

void writeToSignalPipe(int signalNumber)
{
    const int savedErrno = errno;
    const int fd = signalPipeWriteEnd.load();
    if (fd >= 0)
    {
        const char byte = static_cast<char>(signalNumber);
        [[maybe_unused]] const auto written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}
} // namespace

QuitSignals::QuitSignals(std::function<void()> callback) : quitRequested(std::move(callback))
{
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    signalPipeWriteEnd.store(pipeEnds[1]);
    juce::LinuxEventLoop::registerFdCallback(pipeEnds[0],
                                             [this](int)
                                             {
                                                 drainPipe();
                                             });

    struct sigaction action = {};
    action.sa_handler = writeToSignalPipe;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < signalCount; ++i)
        sigaction(quitSignalNumbers[i], &action, &previousActions[i]);
}

QuitSignals::~QuitSignals()
{
    if (pipeEnds[0] < 0)
        return;
    for (int i = 0; i < signalCount; ++i)
        sigaction(quitSignalNumbers[i], &previousActions[i], nullptr);
    signalPipeWriteEnd.store(-1);
    juce::LinuxEventLoop::unregisterFdCallback(pipeEnds[0]);
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
}

void QuitSignals::drainPipe()
{
    char bytes[16];
    bool received = false;
    while (::read(pipeEnds[0], bytes, sizeof(bytes)) > 0)
        received = true;
    if (received && quitRequested)
        quitRequested();
}
