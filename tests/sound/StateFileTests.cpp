// The plug-in's state file: written whole or not at all, never lost.
#include "ExternalPluginStateFile.h"
#include "SoundTestSupport.h"

TEST(StateFile, WritesExactlyTheStateAndAnEmptyStateRemovesTheFile)
{
    TemporaryFolder folder;
    const juce::File file = folder.file("Batto_external_plugin_state_information");
    const juce::MemoryBlock state("\0state\xff bytes", 13);
    ASSERT_TRUE(ExternalPluginStateFile::write(file, state).wasOk());
    juce::MemoryBlock read;
    ASSERT_TRUE(ExternalPluginStateFile::read(file, read));
    EXPECT_EQ(read, state);
    EXPECT_EQ(folder.folder.getNumberOfChildFiles(juce::File::findFiles | juce::File::ignoreHiddenFiles, "*"), 1);

    ASSERT_TRUE(ExternalPluginStateFile::write(file, {}).wasOk());
    EXPECT_FALSE(file.exists());
    EXPECT_FALSE(ExternalPluginStateFile::read(file, read));
    EXPECT_TRUE(read.isEmpty());
}

TEST(StateFile, AWriteThatCannotHappenLeavesThePreviousState)
{
    TemporaryFolder folder;
    const juce::File file = folder.file("state");
    const juce::MemoryBlock previous("previous", 8);
    ASSERT_TRUE(ExternalPluginStateFile::write(file, previous).wasOk());

    // A folder where the file should be, and a read-only folder.
    const juce::File aFolder = folder.file("folder");
    aFolder.createDirectory();
    EXPECT_TRUE(ExternalPluginStateFile::write(aFolder, previous).failed());
    ASSERT_TRUE(folder.folder.setReadOnly(true));
    const juce::Result failed = ExternalPluginStateFile::write(file, juce::MemoryBlock("new", 3));
    folder.folder.setReadOnly(false);
    if (geteuid() != 0) // root writes into read-only folders anyway
    {
        EXPECT_TRUE(failed.failed());
        juce::MemoryBlock read;
        ASSERT_TRUE(ExternalPluginStateFile::read(file, read));
        EXPECT_EQ(read, previous);
    }
}

TEST(StateFile, KillingTheWriterLeavesTheOldStateOrTheNewNeverNeither)
{
    TemporaryFolder folder;
    const juce::File file = folder.file("Batto_external_plugin_state_information");
    constexpr size_t size = 4 * 1024 * 1024;
    juce::MemoryBlock initial(size);
    initial.fillWith('A');
    ASSERT_TRUE(ExternalPluginStateFile::write(file, initial).wasOk());

    juce::Random random(12);
    for (int round = 0; round < 20; ++round)
    {
        juce::ChildProcess writer;
        ASSERT_TRUE(writer.start(juce::StringArray{BATTO_STATE_FILE_WRITER, file.getFullPathName(),
                                                   juce::String(static_cast<juce::int64>(size))}));
        char started[8] = {};
        ASSERT_EQ(writer.readProcessOutput(started, 7), 7); // its loop runs
        juce::Thread::sleep(random.nextInt(40));
        ASSERT_TRUE(writer.isRunning()) << "the writer stopped by itself";
        writer.kill(); // SIGKILL, in the middle of some write

        juce::MemoryBlock state;
        ASSERT_TRUE(ExternalPluginStateFile::read(file, state)) << "round " << round;
        ASSERT_EQ(state.getSize(), size) << "round " << round;
        const char first = static_cast<const char*>(state.getData())[0];
        ASSERT_TRUE(first == 'A' || first == 'B');
        juce::MemoryBlock whole(size);
        whole.fillWith(static_cast<juce::uint8>(first));
        ASSERT_EQ(state, whole) << "round " << round;
    }
}
