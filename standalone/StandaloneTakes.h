#pragma once

#include "TakeRecorder.h"
#include "TakeWriter.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

class BattoAudioProcessor;

// The standalone's takes: every performance is written into the takes folder (see
// TakeWriter) from what the processor's audio thread hands the recorder. The folder and
// whether the drums' sound is kept too are settings ("takesFolder", "takeAudio"), written
// to the settings file when they change. A take that cannot be written is reported in a
// message box; the drummer plays on.
//
// Message thread, apart from the recorder (the processor's audio thread).
class StandaloneTakes
{
public:
    static const juce::String TAKES_FOLDER_REF; // "takesFolder": the folder's full path
    static const juce::String TAKE_AUDIO_REF;   // "takeAudio": the drums' sound with each take
    static constexpr int recentCount = 10;

    StandaloneTakes(BattoAudioProcessor& processor, juce::PropertiesFile& settings);
    ~StandaloneTakes();

    // The writer runs from start to finish; finish once no audio block can run any more.
    void start();
    void finish();

    juce::File getFolder() const;
    void setFolder(const juce::File& folder);
    void chooseFolder(); // "Takes folder...": a folder chooser, the choice taken when it closes
    bool isAudioOn() const;
    void setAudioOn(bool on);
    juce::Array<juce::File> recentTakes() const; // newest first
    void showTake(const juce::File& take);       // opens the folder that holds it
    void showFolder();                           // opens the takes folder (made if need be)

    TakeRecorder recorder;

private:
    juce::PropertiesFile& settings;
    TakeWriter writer;
    std::unique_ptr<juce::FileChooser> chooser;
};
