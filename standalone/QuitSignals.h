#pragma once

#include <functional>

// Turns SIGINT (Ctrl+C), SIGHUP (its terminal closed) and SIGTERM (the session ends, or
// kill) into a quit request on the message thread, so that the application shuts down as
// through "Exit" and keeps its settings. The handler only writes a byte into a pipe; the
// message loop reads it and calls quitRequested. While an object lives the signals are
// taken; its destruction gives them back their previous handlers.
class QuitSignals
{
public:
    explicit QuitSignals(std::function<void()> quitRequested);
    ~QuitSignals();

    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

private:
    void drainPipe();

    std::function<void()> quitRequested;
    int pipeEnds[2] = {-1, -1};
};
