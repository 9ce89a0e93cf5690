#include "TakeWriter.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace
{
juce::String systemError(int error)
{
    return juce::String(std::strerror(error));
}

// Creates the file only if no file of that name exists (atomically, so two programs never
// take the same name).
bool createExclusively(const juce::File& file)
{
    const int handle = ::open(file.getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (handle < 0)
        return false;
    ::close(handle);
    return true;
}

// Writes the bytes as the whole of the file: into a hidden file beside it, forced to the
// disk, renamed over it, and the folder forced too. An empty text means it worked.
juce::String replaceWhole(const juce::File& file, const juce::MemoryBlock& bytes)
{
    const juce::File part = file.getSiblingFile("." + file.getFileName() + ".part");
    const int handle = ::open(part.getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (handle < 0)
        return systemError(errno);
    const auto* data = static_cast<const char*>(bytes.getData());
    size_t left = bytes.getSize();
    int error = 0;
    while (left > 0 && error == 0)
    {
        const ssize_t written = ::write(handle, data, left);
        if (written < 0 && errno != EINTR)
            error = errno;
        else if (written > 0)
        {
            data += written;
            left -= static_cast<size_t>(written);
        }
    }
    if (error == 0 && ::fsync(handle) != 0)
        error = errno;
    ::close(handle);
    if (error == 0 && ::rename(part.getFullPathName().toRawUTF8(), file.getFullPathName().toRawUTF8()) != 0)
        error = errno;
    if (error != 0)
    {
        ::unlink(part.getFullPathName().toRawUTF8());
        return systemError(error);
    }
    const int folderHandle = ::open(file.getParentDirectory().getFullPathName().toRawUTF8(), O_RDONLY);
    if (folderHandle >= 0)
    {
        ::fsync(folderHandle);
        ::close(folderHandle);
    }
    return {};
}

juce::String clockTime(int64_t sample, double sampleRate)
{
    const auto seconds = static_cast<int64_t>(static_cast<double>(sample) / sampleRate);
    return juce::String(seconds / 60) + ":" + juce::String(seconds % 60).paddedLeft('0', 2);
}
} // namespace

struct TakeWriter::OpenTake
{
    OpenTake(const juce::File& file, const juce::String& name, const TakeSettings& takeSettings)
        : midiFile(file), settings(takeSettings), midi(name, takeSettings)
    {
    }

    juce::File midiFile;
    TakeSettings settings;
    TakeMidiFile midi;
    juce::File wavFile;
    std::unique_ptr<TakeWavFile> wav;
    int64_t audioFrames = 0;
    int64_t endSample = 0; // the last sample the take is known to reach
    int64_t flushedSample = 0;
    bool changed = true;
};

TakeWriter::TakeWriter(TakeRecorder& recorderToRead, const juce::File& takesFolder, DrummerSettings settings)
    : juce::Thread("Take writer"), recorder(recorderToRead), drummerSettings(std::move(settings)),
      folder(takesFolder)
{
}

TakeWriter::~TakeWriter()
{
    finish();
}

void TakeWriter::setFolder(const juce::File& takesFolder)
{
    const juce::ScopedLock lock(folderLock);
    folder = takesFolder;
}

juce::File TakeWriter::getFolder() const
{
    const juce::ScopedLock lock(folderLock);
    return folder;
}

juce::File TakeWriter::defaultFolder()
{
    return juce::File::getSpecialLocation(juce::File::userHomeDirectory).getChildFile(".Batto/Takes");
}

juce::Array<juce::File> TakeWriter::recentTakes(const juce::File& takesFolder, int count)
{
    auto takes = takesFolder.findChildFiles(juce::File::findFiles, false, "*.mid");
    std::sort(takes.begin(), takes.end(),
              [](const juce::File& a, const juce::File& b)
              {
                  // Names are the start's date and time: the newest sort last.
                  return a.getFileName() > b.getFileName();
              });
    takes.removeRange(count, takes.size());
    return takes;
}

void TakeWriter::start()
{
    startThread();
}

void TakeWriter::finish()
{
    if (!isThreadRunning())
    {
        recorder.endTake();
        drain();
        if (take != nullptr)
            endTake(take->endSample);
        return;
    }
    recorder.endTake(); // no block runs any more: this thread may end the take
    signalThreadShouldExit();
    notify();
    stopThread(-1);
}

void TakeWriter::run()
{
    while (!threadShouldExit())
    {
        drain();
        const double now = juce::Time::getMillisecondCounterHiRes();
        if (take != nullptr && take->changed && now - lastFlush >= flushIntervalMilliseconds)
            flush();
        wait(10); // the audio thread cannot wake anyone: the queue is looked at often
    }
    drain();
    if (take != nullptr)
        endTake(take->endSample);
}

void TakeWriter::drain()
{
    TakeEvent event;
    while (recorder.popEvent(event))
        handle(event);
}

void TakeWriter::handle(const TakeEvent& event)
{
    if (event.kind == TakeEvent::takeStarted)
    {
        if (take != nullptr)
            endTake(take->endSample);
        ignoringTake = false;
        beginTake(event);
        return;
    }
    if (event.kind == TakeEvent::audioFrames && event.audio && (take == nullptr || ignoringTake))
    {
        // A take that goes nowhere: its frames leave the queue all the same.
        for (int done = 0; done < event.count;)
        {
            const int frames = juce::jmin(event.count - done, audioScratch.getNumSamples());
            recorder.readAudio(audioScratch, frames);
            done += frames;
        }
        return;
    }
    if (take == nullptr || ignoringTake)
    {
        if (event.kind == TakeEvent::takeEnded)
            ignoringTake = false;
        return;
    }

    take->endSample = juce::jmax(take->endSample, event.sample);
    take->changed = true;
    switch (event.kind)
    {
    case TakeEvent::playerMessage:
        messagePieces.insert(messagePieces.end(), event.bytes, event.bytes + event.size);
        if (!event.continues)
        {
            take->midi.addPlayerMessage(event.sample, messagePieces.data(), static_cast<int>(messagePieces.size()));
            messagePieces.clear();
        }
        break;
    case TakeEvent::drumHit:
        take->midi.addDrumHit(event.sample, event.bytes[0], event.bytes[1], event.bytes[2]);
        break;
    case TakeEvent::tempoChanged:
        take->midi.addTempo(event.sample, event.tempo);
        break;
    case TakeEvent::eventsLost:
        take->midi.addMarker(event.sample, juce::String(event.count) + " events lost (the take writer fell behind)");
        break;
    case TakeEvent::audioFrames:
        writeAudio(event);
        break;
    case TakeEvent::takeEnded:
        if (event.count > 0)
            take->midi.addMarker(event.sample,
                                 juce::String(event.count) + " events lost (the take writer fell behind)");
        endTake(event.sample);
        break;
    case TakeEvent::takeStarted:
        break;
    }
}

void TakeWriter::beginTake(const TakeEvent& start)
{
    TakeSettings settings;
    if (drummerSettings)
        drummerSettings(settings);
    settings.sampleRate = start.sampleRate;
    settings.blockSize = start.count;
    settings.tempo = start.tempo;

    const juce::File takesFolder = getFolder();
    if (const auto created = takesFolder.createDirectory(); created.failed())
    {
        fail("The takes folder " + takesFolder.getFullPathName() + " cannot be made: " + created.getErrorMessage());
        return;
    }
    // The date and time of the start; a second take in the same second gets a number.
    const juce::String stem = juce::Time::getCurrentTime().formatted("%Y-%m-%d_%H-%M-%S");
    juce::File midiFile;
    juce::String name;
    for (int number = 1; number < 1000 && midiFile == juce::File(); ++number)
    {
        name = number == 1 ? stem : stem + "_" + juce::String(number);
        const auto candidate = takesFolder.getChildFile(name + ".mid");
        if (!takesFolder.getChildFile(name + ".wav").exists() && createExclusively(candidate))
            midiFile = candidate;
    }
    if (midiFile == juce::File())
    {
        fail("No new take can be made in " + takesFolder.getFullPathName() + ": " + systemError(errno));
        return;
    }

    take = std::make_unique<OpenTake>(midiFile, name, settings);
    messagePieces.clear();
    if (start.audio)
    {
        take->wavFile = midiFile.withFileExtension("wav");
        take->wav = std::make_unique<TakeWavFile>();
        if (!take->wav->create(take->wavFile, settings.sampleRate))
        {
            fail("The take's sound cannot be written: " + take->wav->errorMessage());
            return;
        }
    }
    lastFlush = 0.0;
    flush(); // the file is a readable take from its first moment
}

void TakeWriter::writeAudio(const TakeEvent& frames)
{
    if (take->wav == nullptr)
        return;
    // A block whose sound was lost (the writer fell behind) is silence in the file.
    bool written = true;
    if (frames.sample > take->audioFrames)
        written = take->wav->appendSilence(frames.sample - take->audioFrames);
    take->audioFrames = juce::jmax(take->audioFrames, frames.sample);
    for (int done = 0; done < frames.count && written;)
    {
        const int count = juce::jmin(frames.count - done, audioScratch.getNumSamples());
        if (frames.audio)
        {
            recorder.readAudio(audioScratch, count);
            written = take->wav->append(audioScratch, count);
        }
        else
            written = take->wav->appendSilence(count);
        done += count;
    }
    if (!written)
    {
        fail("The take's sound could not be written: " + take->wav->errorMessage());
        return;
    }
    if (!frames.audio)
        take->midi.addMarker(frames.sample, juce::String(frames.count) + " samples of sound lost (silence)");
    take->audioFrames += frames.count;
    take->endSample = juce::jmax(take->endSample, take->audioFrames);
}

bool TakeWriter::flush()
{
    lastFlush = juce::Time::getMillisecondCounterHiRes();
    if (take == nullptr)
        return false;
    if (take->wav != nullptr && !take->wav->flush())
    {
        fail("The take's sound could not be written: " + take->wav->errorMessage());
        return false;
    }
    const juce::String error = replaceWhole(take->midiFile, take->midi.toFile(take->endSample));
    if (error.isNotEmpty())
    {
        fail("The take could not be written: " + error);
        return false;
    }
    take->flushedSample = take->endSample;
    take->changed = false;
    if (onFlushed)
        onFlushed(take->flushedSample);
    return true;
}

void TakeWriter::endTake(int64_t endSample)
{
    if (take == nullptr)
        return;
    take->endSample = juce::jmax(take->endSample, endSample);
    take->changed = true;
    if (!flush())
        return; // fail() has let the take go
    take->wav.reset();
    const juce::File file = take->midiFile;
    take.reset();
    if (onTakeEnded)
        onTakeEnded(file);
}

void TakeWriter::fail(const juce::String& what)
{
    juce::String message = what;
    if (take != nullptr)
    {
        message << "\nThe take " << take->midiFile.getFileName() << " stopped there; it holds the first "
                << clockTime(take->flushedSample, take->settings.sampleRate)
                << ". The drummer plays on; the next Start begins a new take.";
        take->wav.reset(); // it holds the sound up to its last flush
    }
    take.reset();
    ignoringTake = true;
    if (onProblem)
        onProblem(message);
}
