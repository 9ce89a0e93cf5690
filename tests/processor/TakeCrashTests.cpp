// A program writing a take (take_writer_process) is killed, or its disk runs full: the
// take it leaves opens in JUCE and in another reader (Python's mido) and holds what the
// writer had put on disk.

#include "TakeFileReader.h"
#include "TemporaryFolder.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{
// The program, its output read line by line as it comes.
class WriterProcess
{
public:
    explicit WriterProcess(const std::vector<std::string>& arguments)
    {
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0)
            return;
        pid = fork();
        if (pid == 0)
        {
            dup2(pipeEnds[1], STDOUT_FILENO);
            close(pipeEnds[0]);
            close(pipeEnds[1]);
            std::vector<char*> argv{const_cast<char*>(BATTO_TAKE_WRITER_PROCESS)};
            for (const auto& argument : arguments)
                argv.push_back(const_cast<char*>(argument.c_str()));
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(pipeEnds[1]);
        out = fdopen(pipeEnds[0], "r");
    }

    ~WriterProcess()
    {
        if (pid > 0 && !ended)
        {
            kill(pid, SIGKILL);
            wait();
        }
        if (out != nullptr)
            fclose(out);
    }

    // The next line, or false at the end of the output.
    bool readLine(std::string& line)
    {
        char text[4096];
        if (out == nullptr || fgets(text, sizeof text, out) == nullptr)
            return false;
        line = text;
        while (!line.empty() && line.back() == '\n')
            line.pop_back();
        return true;
    }

    int wait()
    {
        int status = 0;
        waitpid(pid, &status, 0);
        ended = true;
        return status;
    }

    pid_t pid = -1;

private:
    FILE* out = nullptr;
    bool ended = false;
};

juce::File onlyTake(const juce::File& folder)
{
    const auto takes = folder.findChildFiles(juce::File::findFiles, false, "*.mid");
    EXPECT_EQ(takes.size(), 1);
    return takes.isEmpty() ? juce::File() : takes[0];
}

// Python's mido reads the file; the number of note-ons of velocity above 0 on channel 1
// of the player's track, or -1 when it cannot read it.
int noteOnsReadByMido(const juce::File& take)
{
    // Debian's Python, which has the python3-mido package (a python3 earlier on the PATH may not).
    const std::string interpreter = juce::File("/usr/bin/python3").existsAsFile() ? "/usr/bin/python3" : "python3";
    const std::string command =
        interpreter + " -c \"import mido, sys\n"
        "f = mido.MidiFile(sys.argv[1])\n"
        "print(sum(1 for t in f.tracks if t.name == 'Player' for m in t"
        " if m.type == 'note_on' and m.channel == 0 and m.velocity > 0))\" '"
        + take.getFullPathName().toStdString() + "' 2>&1";
    FILE* python = popen(command.c_str(), "r");
    if (python == nullptr)
        return -1;
    char text[4096] = {};
    const std::string answer = fgets(text, sizeof text, python) != nullptr ? text : "";
    pclose(python);
    try
    {
        return std::stoi(answer);
    }
    catch (...)
    {
        ADD_FAILURE() << "mido: " << answer;
        return -1;
    }
}

int playerNoteOnsUpTo(const TakeFileContents& take, int64_t sample)
{
    int count = 0;
    for (const auto& event : take.player)
        count += event.sample <= sample && (event.bytes[0] & 0xF0) == 0x90 && event.bytes[2] > 0 ? 1 : 0;
    return count;
}
} // namespace

TEST(TakeCrash, AKilledWriterLeavesATakeThatHoldsEverythingUpToItsLastFlush)
{
    TemporaryFolder folder;
    WriterProcess writer({folder.folder.getFullPathName().toStdString(), "60"});
    ASSERT_GT(writer.pid, 0);
    // Killed once the take on disk holds three seconds.
    constexpr int64_t threeSeconds = 3 * 48000;
    int64_t flushed = 0;
    std::string line;
    while (flushed < threeSeconds && writer.readLine(line))
        if (line.rfind("flushed ", 0) == 0)
            flushed = std::stoll(line.substr(8));
    ASSERT_GE(flushed, threeSeconds) << "the writer ended early: " << line;
    kill(writer.pid, SIGKILL);
    writer.wait();

    const juce::File take = onlyTake(folder.folder);
    const auto contents = TakeFileContents::read(take);
    ASSERT_TRUE(contents.readable);
    ASSERT_TRUE(contents.settings.has_value());
    // The player's notes come every 6000 samples from sample 100.
    const int expected = static_cast<int>((flushed - 100) / 6000 + 1);
    EXPECT_EQ(playerNoteOnsUpTo(contents, flushed), expected);
    std::vector<int64_t> noteOns;
    for (const auto& event : contents.player)
        if ((event.bytes[0] & 0xF0) == 0x90)
            noteOns.push_back(event.sample);
    ASSERT_GE(noteOns.size(), static_cast<size_t>(expected));
    for (int i = 0; i < expected; ++i)
        EXPECT_EQ(noteOns[static_cast<size_t>(i)], 100 + 6000 * i);
    EXPECT_FALSE(contents.drumNoteOns.empty());
    EXPECT_GE(noteOnsReadByMido(take), expected);
}

TEST(TakeCrash, AFullDiskStopsTheTakeWithAMessageAndTheDrummerPlaysOn)
{
    struct Case
    {
        const char* what;
        std::vector<std::string> options;
    };
    const Case cases[] = {
        {"the MIDI file", {"--dense", "--file-size-limit", "3000"}},
        {"the sound", {"--audio", "--file-size-limit", "300000"}},
    };
    for (const Case& full : cases)
    {
        SCOPED_TRACE(full.what);
        TemporaryFolder folder;
        std::vector<std::string> arguments{folder.folder.getFullPathName().toStdString(), "30"};
        arguments.insert(arguments.end(), full.options.begin(), full.options.end());
        WriterProcess writer(arguments);
        std::string line, problem, playedOn;
        while (writer.readLine(line))
        {
            if (line.rfind("problem: ", 0) == 0)
                problem = line;
            if (line.rfind("played on: ", 0) == 0)
                playedOn = line;
        }
        const int status = writer.wait();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_NE(problem.find("stopped there"), std::string::npos) << problem;
        ASSERT_FALSE(playedOn.empty());
        EXPECT_GT(std::stoi(playedOn.substr(11)), 0) << playedOn; // hits in the second after the message

        const juce::File take = onlyTake(folder.folder);
        const auto contents = TakeFileContents::read(take);
        ASSERT_TRUE(contents.readable);
        EXPECT_GT(playerNoteOnsUpTo(contents, contents.endSample), 0);
        EXPECT_GT(noteOnsReadByMido(take), 0);
        const juce::File wav = take.withFileExtension("wav");
        if (wav.existsAsFile())
        {
            juce::WavAudioFormat format;
            std::unique_ptr<juce::AudioFormatReader> reader(format.createReaderFor(new juce::FileInputStream(wav), true));
            ASSERT_NE(reader, nullptr);
            EXPECT_GT(reader->lengthInSamples, 0);
            // The header claims no frame that is not in the file.
            EXPECT_LE(44 + reader->lengthInSamples * 6, wav.getSize());
            EXPECT_LE(wav.getSize(), 300000);
        }
    }
}
