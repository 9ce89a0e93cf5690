// The plug-in's chooser and "Plugin Editor" window through the drummer's real editor: the sound
// box, the "EDIT" toggle, Escape and the close button, with the dialogs answered by the test.
#include "BattoEditor.h"
#include "SoundTestSupport.h"

namespace
{
// The editor as the standalone main window holds it.
struct Panel
{
    explicit Panel(TestProcessor& p) : processor(p), editor(dynamic_cast<BattoEditor*>(p.createEditorIfNeeded())) {}
    ~Panel()
    {
        processor.editorBeingDeleted(editor);
        delete editor;
    }
    void chooseSound(int kit)
    {
        editor->drum_kit_combo->setSelectedId(kit, juce::sendNotificationSync);
    }
    juce::Button& edit() const
    {
        return *editor->edit_button;
    }

    TestProcessor& processor;
    BattoEditor* editor;
};
} // namespace

TEST(ExternalPluginWindow, ChoosingAPluginShowsItsEditorAndEscapeClosesIt)
{
    TestProcessor processor;
    auto& windows = processor.pluginWindows();
    Panel panel(processor);

    // No plug-in yet: choosing the external sound asks for one at once; cancelled, nothing changes.
    panel.chooseSound(BattoAudioProcessor::kitExternalPlugin);
    EXPECT_EQ(windows.fileDialogs, 1);
    EXPECT_EQ(processor.getDrumKit(), BattoAudioProcessor::kitExternalPlugin);
    EXPECT_FALSE(processor.hasExternalPlugin());
    EXPECT_FALSE(panel.edit().isVisible());

    // The menu's "choose a plugin instrument...": loaded, "EDIT" shows, on, and the window opens.
    windows.fileToChoose = testInstrumentBundle();
    panel.editor->SetToneIsExternalPlugin();
    ASSERT_TRUE(processor.hasExternalPlugin());
    EXPECT_TRUE(panel.edit().isVisible());
    EXPECT_TRUE(panel.edit().getToggleState());
    auto* window = windows.getExternalPluginWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->getName(), "Plugin Editor");
    EXPECT_EQ(window->getContentComponent(), processor.getExternalPlugin()->getActiveEditor());

    // Escape with a modifier is not the window's; plain Escape closes it and turns "EDIT" off.
    EXPECT_FALSE(window->keyPressed(juce::KeyPress(juce::KeyPress::escapeKey, juce::ModifierKeys::shiftModifier, 0)));
    EXPECT_NE(windows.getExternalPluginWindow(), nullptr);
    EXPECT_TRUE(window->keyPressed(juce::KeyPress(juce::KeyPress::escapeKey)));
    EXPECT_EQ(windows.getExternalPluginWindow(), nullptr);
    EXPECT_FALSE(panel.edit().getToggleState());
    EXPECT_EQ(processor.getExternalPlugin()->getActiveEditor(), nullptr);

    // "EDIT" opens it again; its close button closes it.
    panel.edit().setToggleState(true, juce::sendNotificationSync);
    ASSERT_NE(windows.getExternalPluginWindow(), nullptr);
    windows.getExternalPluginWindow()->closeButtonPressed();
    EXPECT_EQ(windows.getExternalPluginWindow(), nullptr);
    EXPECT_FALSE(panel.edit().getToggleState());

    // Another sound: "EDIT" hides; back to the external one, it shows, off, with no dialog.
    panel.chooseSound(BattoAudioProcessor::kitInternal);
    EXPECT_FALSE(panel.edit().isVisible());
    panel.chooseSound(BattoAudioProcessor::kitExternalPlugin);
    EXPECT_TRUE(panel.edit().isVisible());
    EXPECT_FALSE(panel.edit().getToggleState());
    EXPECT_EQ(windows.fileDialogs, 2);
}

TEST(ExternalPluginWindow, AFailedChoiceIsReportedAndReplacingThePluginClosesItsWindowFirst)
{
    TemporaryFolder folder;
    TestProcessor processor(BattoAudioProcessor::kitExternalPlugin);
    auto& windows = processor.pluginWindows();
    auto panel = std::make_unique<Panel>(processor);
    windows.fileToChoose = testInstrumentBundle();
    panel->editor->CreateExternalProcessor();
    auto* firstPlugin = processor.getExternalPlugin();
    ASSERT_NE(windows.getExternalPluginWindow(), nullptr);

    // Not a plug-in: said with the file's name, and the present plug-in and its window stay.
    windows.fileToChoose = folder.file("notes.txt");
    windows.fileToChoose.replaceWithText("hello");
    panel->editor->CreateExternalProcessor();
    ASSERT_EQ(windows.failures.size(), 1);
    EXPECT_TRUE(windows.failures[0].contains(windows.fileToChoose.getFullPathName()));
    EXPECT_EQ(processor.getExternalPlugin(), firstPlugin);
    EXPECT_NE(windows.getExternalPluginWindow(), nullptr);

    // A bundle of several plug-ins asks which; cancelled, nothing changes.
    const juce::File avldrums("/usr/lib/lv2/avldrums.lv2");
    if (avldrums.isDirectory())
    {
        windows.fileToChoose = avldrums;
        panel->editor->CreateExternalProcessor();
        EXPECT_EQ(windows.offered, 4);
        EXPECT_EQ(processor.getExternalPlugin(), firstPlugin);
    }

    // The same bundle again: a new instance, whose window replaces the old one's.
    windows.fileToChoose = testInstrumentBundle();
    panel->editor->CreateExternalProcessor();
    EXPECT_NE(processor.getExternalPlugin(), firstPlugin);
    ASSERT_NE(windows.getExternalPluginWindow(), nullptr);
    EXPECT_EQ(windows.getExternalPluginWindow()->getContentComponent(),
              processor.getExternalPlugin()->getActiveEditor());

    // The editor goes with the window open: closing the window later touches no deleted toggle.
    panel.reset();
    ASSERT_NE(windows.getExternalPluginWindow(), nullptr);
    windows.getExternalPluginWindow()->closeButtonPressed();
    EXPECT_EQ(windows.getExternalPluginWindow(), nullptr);
}
