#pragma once

#include "TakeMidiFile.h"
#include "TakeRecorder.h"
#include "TakeWavFile.h"

#include <functional>
#include <memory>
#include <vector>

// The take writer's thread: it takes what the audio thread recorded (TakeRecorder) and
// writes each take into the takes folder, a MIDI file named after the date and time of its
// start (never over an existing file) and, when asked for, the drums' sound beside it as
// a WAV file.
//
// Nothing is lost on a crash: at least every flushInterval the MIDI file is written again
// whole and complete (beside it, then renamed over it, so that it is complete at every
// moment) and the WAV file's sizes are brought up to date, each forced to the disk. A write
// that fails (a full disk) ends the take with a message, leaving the file as the last
// flush left it; the drummer is not disturbed.
//
// Threads: construct, start, finish and the setters on the message thread; the callbacks
// run on the writer's thread.
class TakeWriter : private juce::Thread
{
public:
    static constexpr int flushIntervalMilliseconds = 500;

    // Fills in the drummer's settings (beside the tempo, rate and block length that the take
    // starts with), read on the writer's thread when a take begins.
    using DrummerSettings = std::function<void(TakeSettings&)>;

    TakeWriter(TakeRecorder& recorder, const juce::File& folder, DrummerSettings drummerSettings);
    ~TakeWriter() override;

    void setFolder(const juce::File& folder); // for the takes that start from now on
    juce::File getFolder() const;

    void start();
    // Ends the take in progress and the thread, after the last event is written. Call it once
    // no audio block can run any more (the recorder then ends its take from this thread).
    void finish();

    // Writer thread: a take could not be written (the text says why, for the user).
    std::function<void(const juce::String&)> onProblem;
    // Writer thread: the take on disk now holds everything up to this sample.
    std::function<void(int64_t)> onFlushed;
    // Writer thread: a take has ended; its MIDI file.
    std::function<void(const juce::File&)> onTakeEnded;

    // The takes folder's takes, newest first (any thread).
    static juce::Array<juce::File> recentTakes(const juce::File& folder, int count);
    static juce::File defaultFolder(); // ~/.Batto/Takes

private:
    struct OpenTake;

    void run() override;
    void drain();
    void handle(const TakeEvent& event);
    void beginTake(const TakeEvent& start);
    void endTake(int64_t endSample);
    void writeAudio(const TakeEvent& frames);
    bool flush();
    void fail(const juce::String& what);

    TakeRecorder& recorder;
    DrummerSettings drummerSettings;
    mutable juce::CriticalSection folderLock;
    juce::File folder; // guarded by folderLock

    // Writer thread only.
    std::unique_ptr<OpenTake> take;
    bool ignoringTake = false; // the take in progress failed: its events go nowhere
    std::vector<juce::uint8> messagePieces;
    juce::AudioBuffer<float> audioScratch{2, 8192};
    double lastFlush = 0.0;
};
