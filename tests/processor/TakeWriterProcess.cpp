// A program that plays a known performance through the real processor in real time, as an
// audio device would, and keeps it as a take with the real take writer, so that a check can
// kill it or let its disk run full while it writes.
//
//   take_writer_process FOLDER SECONDS [--audio] [--dense] [--file-size-limit BYTES]
//
// The player strikes a note every 6000 samples from sample 100 (every 500 with --dense),
// each held for half that time. The program prints "flushed SAMPLE" whenever the take on
// disk holds everything up to SAMPLE, "problem: TEXT" when the take cannot be written, and
// then, a second later, "played on: N hits" with the drum hits of that second.

#include "ProcessorTakeSettings.h"
#include "TakeRecorder.h"
#include "TakeWriter.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <sys/resource.h>
#include <thread>

namespace
{
std::mutex printing;

void say(const std::string& line)
{
    const std::lock_guard<std::mutex> lock(printing);
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}
} // namespace

int main(int argc, char* argv[])
{
    if (argc < 3)
    {
        std::fprintf(stderr, "usage: take_writer_process FOLDER SECONDS [--audio] [--dense] [--file-size-limit BYTES]\n");
        return 2;
    }
    const juce::File folder(argv[1]);
    const double seconds = std::atof(argv[2]);
    bool audio = false, dense = false;
    for (int i = 3; i < argc; ++i)
    {
        if (std::strcmp(argv[i], "--audio") == 0)
            audio = true;
        else if (std::strcmp(argv[i], "--dense") == 0)
            dense = true;
        else if (std::strcmp(argv[i], "--file-size-limit") == 0 && i + 1 < argc)
        {
            // Past the limit a write fails (with the signal ignored) as on a full disk.
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{static_cast<rlim_t>(std::atoll(argv[++i])), RLIM_INFINITY};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
    }

    constexpr double rate = 48000.0;
    constexpr int blockSize = 512;
    BattoAudioProcessor::Settings settings;
    settings.drumKit = BattoAudioProcessor::kitExternalPlugin; // the hits leave as MIDI, to be counted
    BattoAudioProcessor processor(settings);
    TakeRecorder recorder;
    recorder.setAudioOn(audio);
    TakeWriter writer(recorder, folder, drummerSettingsOf(processor));
    std::atomic<bool> problem{false};
    writer.onProblem = [&](const juce::String& text)
    {
        say("problem: " + text.replaceCharacter('\n', ' ').toStdString());
        problem.store(true);
    };
    writer.onFlushed = [](int64_t sample) { say("flushed " + std::to_string(sample)); };
    processor.setTakeRecorder(&recorder);
    processor.setRateAndBufferSizeDetails(rate, blockSize);
    processor.prepareToPlay(rate, blockSize);
    writer.start();
    processor.start();

    juce::AudioBuffer<float> buffer(2, blockSize);
    juce::MidiBuffer midi;
    midi.ensureSize(64 * 1024);
    const int noteEvery = dense ? 500 : 6000; // the player's notes: at 100, 100 + noteEvery, ...
    const auto started = std::chrono::steady_clock::now();
    const auto blocks = static_cast<long long>(seconds * rate / blockSize);
    long long problemBlock = -1;
    int hitsAfterProblem = 0;
    for (long long block = 0; block < blocks; ++block)
    {
        const long long first = block * blockSize;
        midi.clear();
        for (long long sample = first; sample < first + blockSize; ++sample)
        {
            if (sample % noteEvery == 100 + noteEvery / 2)
                midi.addEvent(juce::MidiMessage::noteOff(1, 48 + static_cast<int>(sample / noteEvery % 12)),
                              int(sample - first));
            if (sample % noteEvery == 100)
            {
                // Loudness that varies, with an accent now and then, for the drummer to answer.
                const long long note = sample / noteEvery;
                const int velocity = note % 16 == 7 ? 125 : 45 + static_cast<int>(note * 37 % 70);
                midi.addEvent(juce::MidiMessage::noteOn(1, 48 + static_cast<int>(note % 12),
                                                        static_cast<juce::uint8>(velocity)),
                              int(sample - first));
                if (dense)
                    midi.addEvent(juce::MidiMessage::controllerEvent(1, 1, int(sample / noteEvery % 128)),
                                  int(sample - first));
            }
        }
        buffer.clear();
        processor.processBlock(buffer, midi);
        if (problem.load() && problemBlock < 0)
            problemBlock = block;
        if (problemBlock >= 0)
        {
            hitsAfterProblem += midi.getNumEvents();
            if (block - problemBlock >= static_cast<long long>(rate / blockSize))
            {
                say("played on: " + std::to_string(hitsAfterProblem) + " hits");
                break;
            }
        }
        // As a sound card: the next block when its time comes.
        std::this_thread::sleep_until(started + std::chrono::microseconds((block + 1) * blockSize * 1000000LL
                                                                          / static_cast<long long>(rate)));
    }
    processor.stop();
    buffer.clear();
    midi.clear();
    processor.processBlock(buffer, midi);
    writer.finish();
    processor.setTakeRecorder(nullptr);
    return 0;
}
