// batto-render against hostile input and a hostile machine: performances that would never
// end, outputs that are the input under another name, full disks and too little memory.

#include "RenderTestSupport.h"

#include <algorithm>
#include <functional>
#include <unistd.h>

namespace
{
juce::MemoryBlock contentsOf(const juce::File& file)
{
    juce::MemoryBlock bytes;
    file.loadFileAsData(bytes);
    return bytes;
}

// Every file and folder below a folder, by its path relative to it.
std::vector<std::string> everythingIn(const juce::File& folder)
{
    juce::Array<juce::File> found;
    folder.findChildFiles(found, juce::File::findFilesAndDirectories, true);
    std::vector<std::string> names;
    for (const auto& file : found)
        names.push_back(file.getRelativePathFrom(folder).toStdString());
    std::sort(names.begin(), names.end());
    return names;
}

void expectOneLine(const RunResult& run, const std::string& what)
{
    EXPECT_EQ(run.out, "") << what;
    EXPECT_EQ(run.err.rfind("batto-render: ", 0), 0u) << what << ": " << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << what << ": " << run.err;
}

// One note ten hours in: a 40-byte file.
void writeLateNote(const juce::File& file)
{
    writeMidiFile(file, 120.0, {{72000 * 960, 100}});
}
} // namespace

TEST(RenderOutput, APerformanceEndingPastAnHourIsRefusedUnlessItsBarsAreChosen)
{
    TemporaryFolder temp;
    writeLateNote(temp.file("late.mid"));
    writeMidiFile(temp.file("hour.mid"), 120.0, {{7100 * 960, 100}}); // 59 minutes 10 seconds

    const RunResult late = runRender({"late.mid", "--out", "late"}, temp.folder);
    EXPECT_EQ(late.exitStatus, 2);
    expectOneLine(late, "a note ten hours in");
    EXPECT_NE(late.err.find("one-hour limit"), std::string::npos) << late.err;
    EXPECT_NE(late.err.find("--bars"), std::string::npos) << late.err;
    EXPECT_FALSE(temp.file("late").exists());

    // --bars renders the bars asked for: the late note lies beyond them.
    ASSERT_EQ(runRender({"late.mid", "--out", "late", "--bars", "2"}, temp.folder).exitStatus, 0);
    EXPECT_EQ(readWav(temp.file("late/late.wav")).audio.getNumSamples(), 2 * 96000);

    // Within the hour, at a low rate so that the test stays quick.
    const RunResult hour =
        runRender({"hour.mid", "--out", "hour", "--sample-rate", "8000", "--block", "8192"}, temp.folder);
    ASSERT_EQ(hour.exitStatus, 0) << hour.err;
}

TEST(RenderOutput, ARenderNeverExceedsWhatAWavFileCanHold)
{
    TemporaryFolder temp;
    // 10 000 bars at 120 bpm last 5 h 33 min: 23 GB of WAV at 192 kHz, 5.8 GB at 48 kHz.
    for (const char* rate : {"192000", "48000"})
    {
        const RunResult run =
            runRender({"--bars", "10000", "--tempo", "120", "--sample-rate", rate}, temp.folder);
        EXPECT_EQ(run.exitStatus, 2) << rate;
        expectOneLine(run, rate);
        EXPECT_NE(run.err.find("more than a WAV file can hold"), std::string::npos) << run.err;
        EXPECT_FALSE(temp.file("out").exists());
    }
}

TEST(RenderOutput, ThePerformanceIsNeverWrittenOverWhateverItsName)
{
    struct Case
    {
        const char* what;
        // Makes the performance `take.mid` (under temp) and returns the arguments that render it.
        std::function<std::vector<std::string>(const TemporaryFolder&)> prepare;
    };
    const auto writeTake = [](const juce::File& file)
    {
        file.getParentDirectory().createDirectory();
        writeMidiFile(file, 120.0, {{0, 100}, {960, 80}});
    };
    const Case cases[] = {
        {"reached through a link into the output folder",
         [&](const TemporaryFolder& t)
         {
             writeTake(t.file("out/take.mid"));
             t.file("in").createDirectory();
             t.file("out/take.mid").createSymbolicLink(t.file("in/take.mid"), true);
             return std::vector<std::string>{"in/take.mid", "--out", "out"};
         }},
        {"a second name in the output folder",
         [&](const TemporaryFolder& t)
         {
             writeTake(t.file("in/take.mid"));
             t.file("out").createDirectory();
             EXPECT_EQ(link(t.file("in/take.mid").getFullPathName().toRawUTF8(),
                            t.file("out/take.mid").getFullPathName().toRawUTF8()),
                       0);
             return std::vector<std::string>{"in/take.mid", "--out", "out"};
         }},
        {"the output folder is a link to the performance's folder",
         [&](const TemporaryFolder& t)
         {
             writeTake(t.file("in/take.mid"));
             t.file("in").createSymbolicLink(t.file("out"), true);
             return std::vector<std::string>{"in/take.mid", "--out", "out"};
         }},
        {"the performance's folder named with ..",
         [&](const TemporaryFolder& t)
         {
             writeTake(t.file("in/take.mid"));
             return std::vector<std::string>{"in/take.mid", "--out", "in/../in"};
         }},
    };
    for (const Case& c : cases)
    {
        TemporaryFolder temp;
        const auto arguments = c.prepare(temp);
        const juce::File take = temp.file(juce::String(arguments[0])).getLinkedTarget();
        const juce::MemoryBlock before = contentsOf(take);
        const RunResult run = runRender(arguments, temp.folder);
        EXPECT_EQ(run.exitStatus, 2) << c.what;
        expectOneLine(run, c.what);
        EXPECT_EQ(contentsOf(take), before) << c.what;
        EXPECT_FALSE(temp.file("out/take.wav").exists()) << c.what;
    }
}

TEST(RenderOutput, AnOutputNameThatLinksElsewhereIsReplacedNotWrittenThrough)
{
    // An earlier file of the output's name that is a link to another file, or a second name
    // of one: the render replaces the name and leaves the other file as it was.
    TemporaryFolder temp;
    writeMidiFile(temp.file("take.mid"), 120.0, {{0, 100}, {960, 80}});
    temp.file("out").createDirectory();
    temp.file("keep.wav").replaceWithText("mine\n");
    temp.file("keep.csv").replaceWithText("mine too\n");
    temp.file("keep.wav").createSymbolicLink(temp.file("out/take.wav"), true);
    ASSERT_EQ(link(temp.file("keep.csv").getFullPathName().toRawUTF8(),
                   temp.file("out/take.csv").getFullPathName().toRawUTF8()),
              0);

    const RunResult run = runRender({"take.mid", "--out", "out"}, temp.folder);
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(temp.file("keep.wav").loadFileAsString().trim(), "mine");
    EXPECT_EQ(temp.file("keep.csv").loadFileAsString().trim(), "mine too");
    EXPECT_FALSE(temp.file("out/take.wav").isSymbolicLink());
    EXPECT_GT(readWav(temp.file("out/take.wav")).audio.getNumSamples(), 0);
    EXPECT_TRUE(temp.file("out/take.csv").loadFileAsString().startsWith("sample,status,note,velocity"));
}

TEST(RenderOutput, AFailedWriteStopsAtOnceAndLeavesTheFolderAsItWas)
{
    // A file-size limit of 1 MB stands for a full disk: the 11 MB WAV of the demo fails.
    TemporaryFolder temp;
    ASSERT_EQ(runRender({"--out", "out", "--bars", "1"}, temp.folder).exitStatus, 0);
    const auto earlier = everythingIn(temp.file("out"));
    const juce::MemoryBlock earlierWav = contentsOf(temp.file("out/demo.wav"));

    const auto started = juce::Time::getMillisecondCounterHiRes();
    const RunResult run = runRender({"--out", "out"}, temp.folder, "ulimit -f 1024 &&");
    EXPECT_EQ(run.exitStatus, 2);
    expectOneLine(run, "a full disk");
    EXPECT_NE(run.err.find("demo.wav"), std::string::npos) << run.err;
    EXPECT_LT(juce::Time::getMillisecondCounterHiRes() - started, 20000.0);
    EXPECT_EQ(everythingIn(temp.file("out")), earlier) << "no half-written file, nothing new";
    EXPECT_EQ(contentsOf(temp.file("out/demo.wav")), earlierWav);
    juce::Array<juce::File> hidden;
    temp.file("out").findChildFiles(hidden, juce::File::findFiles, false, ".*");
    EXPECT_TRUE(hidden.isEmpty());
}

TEST(RenderOutput, RunningOutOfMemoryIsOneLineNeverACrash)
{
    // A picture of 512 bars takes some 70 MB. With less memory than that the render must
    // fail with one line and leave nothing behind; with enough it succeeds.
    TemporaryFolder temp;
    int outOfMemory = 0;
    for (const int kilobytes : {70000, 100000, 400000})
    {
        const std::string folder = "out" + std::to_string(kilobytes);
        const RunResult run =
            runRender({"--bars", "512", "--sample-rate", "8000", "--block", "8192", "--out", folder},
                      temp.folder, "ulimit -v " + std::to_string(kilobytes) + " &&");
        if (run.exitStatus == 0)
        {
            EXPECT_TRUE(temp.file(folder + "/demo.png").existsAsFile()) << kilobytes;
            continue;
        }
        ++outOfMemory;
        EXPECT_EQ(run.exitStatus, 1) << kilobytes << ": " << run.err;
        expectOneLine(run, std::to_string(kilobytes) + " kB");
        EXPECT_EQ(run.err, "batto-render: out of memory\n");
        EXPECT_TRUE(everythingIn(temp.file(folder)).empty()) << kilobytes;
    }
    EXPECT_GT(outOfMemory, 0) << "no limit was low enough to test anything";
}
