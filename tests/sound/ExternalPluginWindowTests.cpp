// The editor's side of the hosted plug-in: the "EDIT" toggle and the "Plugin Editor" window,
// with the dialogs answered by the test.
#include "ExternalPluginOwner.h"
#include "SoundTestSupport.h"

namespace
{
// What the drummer's editor does with its ExternalPluginWindowOwner side.
class EditorSide : public ExternalPluginWindowOwner
{
public:
    explicit EditorSide(ExternalPluginOwner& owner)
    {
        editToggle.setVisible(false);
        editToggle.onClick = [this] { editToggleClicked(); };
        bindExternalPluginWindowOwner(editToggle, owner);
    }

    void SetToneIsExternalPlugin() override
    {
        CreateExternalProcessor();
    }

    juce::File askForPluginFile() override
    {
        ++fileDialogs;
        return fileToChoose;
    }
    int askWhichPlugin(const std::vector<ExternalPluginLoader::Choice>&) override
    {
        return -1;
    }
    void reportPluginLoadFailure(const juce::String& message) override
    {
        failures.add(message);
    }

    juce::ToggleButton editToggle{"edit"};
    juce::File fileToChoose;
    int fileDialogs = 0;
    juce::StringArray failures;
};

bool pressKey(juce::Component& window, const juce::KeyPress& key)
{
    return window.keyPressed(key);
}
} // namespace

TEST(ExternalPluginWindow, ChoosingAPluginShowsItsEditorAndEscapeClosesIt)
{
    TestProcessor processor(BattoAudioProcessor::kitExternalPlugin);
    EditorSide editor(processor);
    processor.windowOwner = &editor;

    // Cancelling the chooser changes nothing.
    editor.SetToneIsExternalPlugin();
    EXPECT_EQ(editor.fileDialogs, 1);
    EXPECT_FALSE(processor.hasExternalPlugin());
    EXPECT_FALSE(editor.editToggle.isVisible());

    editor.fileToChoose = testInstrumentBundle();
    editor.SetToneIsExternalPlugin();
    ASSERT_TRUE(processor.hasExternalPlugin());
    EXPECT_TRUE(editor.editToggle.isVisible());
    EXPECT_TRUE(editor.editToggle.getToggleState());
    auto* window = editor.getExternalPluginWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->getName(), "Plugin Editor");
    EXPECT_EQ(window->getContentComponent(), processor.getExternalPlugin()->getActiveEditor());

    // Escape with a modifier is not the window's; plain Escape closes it and turns the toggle off.
    EXPECT_FALSE(pressKey(*window, juce::KeyPress(juce::KeyPress::escapeKey, juce::ModifierKeys::shiftModifier, 0)));
    EXPECT_NE(editor.getExternalPluginWindow(), nullptr);
    EXPECT_TRUE(pressKey(*window, juce::KeyPress(juce::KeyPress::escapeKey)));
    EXPECT_EQ(editor.getExternalPluginWindow(), nullptr);
    EXPECT_FALSE(editor.editToggle.getToggleState());
    EXPECT_EQ(processor.getExternalPlugin()->getActiveEditor(), nullptr);

    // The toggle opens it again; its close button closes it.
    editor.editToggle.setToggleState(true, juce::sendNotificationSync);
    ASSERT_NE(editor.getExternalPluginWindow(), nullptr);
    editor.getExternalPluginWindow()->closeButtonPressed();
    EXPECT_EQ(editor.getExternalPluginWindow(), nullptr);
    EXPECT_FALSE(editor.editToggle.getToggleState());
}

TEST(ExternalPluginWindow, AFailedChoiceIsReportedAndReplacingThePluginClosesItsWindowFirst)
{
    TemporaryFolder folder;
    TestProcessor processor(BattoAudioProcessor::kitExternalPlugin);
    EditorSide editor(processor);
    processor.windowOwner = &editor;
    ASSERT_TRUE(editor.loadChosenPluginFile(testInstrumentBundle()));
    auto* firstPlugin = processor.getExternalPlugin();
    ASSERT_NE(editor.getExternalPluginWindow(), nullptr);

    const juce::File notAPlugin = folder.file("notes.txt");
    notAPlugin.replaceWithText("hello");
    EXPECT_FALSE(editor.loadChosenPluginFile(notAPlugin));
    ASSERT_EQ(editor.failures.size(), 1);
    EXPECT_TRUE(editor.failures[0].contains(notAPlugin.getFullPathName()));
    EXPECT_EQ(processor.getExternalPlugin(), firstPlugin);
    EXPECT_NE(editor.getExternalPluginWindow(), nullptr);

    // The same bundle again: a new instance, whose window replaces the old one's.
    ASSERT_TRUE(editor.loadChosenPluginFile(testInstrumentBundle()));
    EXPECT_NE(processor.getExternalPlugin(), firstPlugin);
    ASSERT_NE(editor.getExternalPluginWindow(), nullptr);
    EXPECT_EQ(editor.getExternalPluginWindow()->getContentComponent(),
              processor.getExternalPlugin()->getActiveEditor());

    // The processor goes with the window still open: the window closes before the plug-in goes.
    processor.deleteExternalPlugin();
    EXPECT_EQ(editor.getExternalPluginWindow(), nullptr);
    editor.updateEditToggle();
    EXPECT_FALSE(editor.editToggle.isVisible());
}
